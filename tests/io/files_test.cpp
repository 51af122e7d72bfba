// Parameter files, the stored configuration and MAT containers: round trips,
// refusal of bad files, atomic replacement and what interrupted writes left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <span>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "dot11a/files.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/parameters.hpp"
#include "io_fixture.hpp"

namespace fs = std::filesystem;
using namespace dot11a;
using namespace dot11a::test;

namespace {

class FilesTest : public test::TempFolderTest {
 protected:
  FilesTest() : TempFolderTest("files") {}
  bool equalRecords(const Value& a, const Value& b) {
    return feval1("compareStruct", {a, b}).truthy();
  }
};

TEST_F(FilesTest, ValuesOfEveryKindRoundTrip) {
  const Value nested = Value::record(
      {{"z", Value::matrix(2, 2, {1, 2, 3, 4}, {0.5, -0.5, 0, 1e-300})},
       {"i", Value::int32Matrix(1, 3, {-7, 0, 2147483647})},
       {"t", Value("text with spaces")},
       {"empty", Value::empty()},
       {"cells", Value::cellRow({Value(1.0), Value("a"), Value::record({{"k", Value(2.0)}})})},
       {"inner", Value::record({{"b", Value(1.0)}, {"a", Value::row({1, 2, 3})}})}});
  const std::string file = path("kinds.mat");
  const NamedValue vars[] = {{"nested", nested}, {"column", Value::column({1, 2, 3})}};
  writeMatFile(file, vars);
  const auto back = readMatFile(file);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].second, nested);
  EXPECT_EQ(back[1].second.rows(), 3u);
  EXPECT_EQ(back[1].second.cols(), 1u);
}

std::string contents(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST_F(FilesTest, OnlyStaleTemporaryFilesOfOurOwnAreRemovedOnTheNextWrite) {
  const auto hourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
  auto leave = [&](const std::string& name, bool old) {
    std::ofstream(path(name)) << "left";
    if (old) fs::last_write_time(dir / name, hourAgo);
  };
  leave(".a.mat.dot11a-Ab12Cd", true);   // a killed write
  leave(".b.mat.dot11a-Xy34Zw", false);  // too recent to be sure
  leave(".c.mat.dot11a-Qq56Rr", true);   // locked: its writer is alive
  // Files of other programs, however much they look like temporary files.
  leave("notes.tmp202401", true);
  leave("a.mat.tmpAb12Cd", true);
  leave("tmpXy34Zw", true);
  leave(".d.mat.dot11a-AB", true);
  // Half of a pair replaced together: only its owner may judge it.
  leave(".e.sigmf-data.dot11a-set-Ab12Cd", true);
  const int held = ::open(path(".c.mat.dot11a-Qq56Rr").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  writeFileAtomically(path("x.bin"), bytesOf("x"));
  ::close(held);
  EXPECT_EQ(entries(dir),
            (std::vector<std::string>{".b.mat.dot11a-Xy34Zw", ".c.mat.dot11a-Qq56Rr",
                                      ".d.mat.dot11a-AB", ".e.sigmf-data.dot11a-set-Ab12Cd",
                                      "a.mat.tmpAb12Cd", "notes.tmp202401", "tmpXy34Zw", "x.bin"}));
}

// A link that another user planted in a shared folder such as /tmp must not
// turn a write elsewhere; the kernel refuses to follow such links, and so do
// the writers, which follow links by hand.
TEST_F(FilesTest, LinksOfOtherUsersInSharedFoldersAreNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a link to another user needs root";
  constexpr uid_t kOther = 65534;
  const fs::path shared = dir / "shared";
  fs::create_directories(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  std::ofstream(path("victim")) << "precious";
  fs::create_symlink(dir / "victim", shared / "planted.bin");
  ASSERT_EQ(::lchown((shared / "planted.bin").c_str(), kOther, kOther), 0);
  try {
    writeFileAtomically((shared / "planted.bin").string(), bytesOf("new"));
    ADD_FAILURE() << "a planted link was followed";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("symbolic link of another user in the shared folder"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(contents(path("victim")), "precious");

  // The user's own links, and the folder owner's, are followed there.
  fs::create_symlink(dir / "victim", shared / "mine.bin");
  writeFileAtomically((shared / "mine.bin").string(), bytesOf("mine"));
  EXPECT_EQ(contents(path("victim")), "mine");
  ASSERT_EQ(::chown(shared.c_str(), kOther, kOther), 0);
  writeFileAtomically((shared / "planted.bin").string(), bytesOf("owner's"));
  EXPECT_EQ(contents(path("victim")), "owner's");
}

TEST_F(FilesTest, FilesReplacedTogetherAreAllNewOrAllAsBefore) {
  std::ofstream(path("one")) << "old one";
  std::ofstream(path("two")) << "old two";
  for (const char* first : {"one", "three"}) {  // with and without a previous file
    SCOPED_TRACE(first);
    {
      AtomicFile a(path(first), Commit::Together), b(path("two"), Commit::Together);
      std::ofstream(a.tempPath()) << "new";
      std::ofstream(b.tempPath()) << "new";
      // The second replacement fails after the first succeeded.
      fs::remove(b.tempPath());
      AtomicFile* const both[] = {&a, &b};
      EXPECT_THROW(commitTogether(both), Error);
    }
    EXPECT_EQ(contents(path("one")), "old one");
    EXPECT_EQ(contents(path("two")), "old two");
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"one", "two"}));
  }
}

TEST(FileNames, AddFileExtentionAppendsOnlyAMissingExtension) {
  EXPECT_EQ(addFileExtention("a", ".mat"), "a.mat");
  EXPECT_EQ(addFileExtention("set.mat", ".mat"), "set.mat");
  EXPECT_EQ(addFileExtention("set.MAT", ".mat"), "set.MAT.mat");
  EXPECT_EQ(addFileExtention("set.ma", ".mat"), "set.ma.mat");
  EXPECT_EQ(addFileExtention("", ".mat"), ".mat");
}

}  // namespace
