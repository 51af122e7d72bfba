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
#include "io/io_fixture.hpp"

namespace fs = std::filesystem;
using namespace dot11a;
using namespace dot11a::test;

namespace {

class FilesTest : public test::ParametersFolderTest {
 protected:
  FilesTest() : ParametersFolderTest("files") {}
  bool equalRecords(const Value& a, const Value& b) {
    return feval1("compareStruct", {a, b}).truthy();
  }
};

TEST_F(FilesTest, DefaultParameterSetRoundTripsThroughAParameterFile) {
  const Value before = global("parameters");
  const std::string file = path("set.mat");
  feval("saveParameters", 0, {Value(file), before});
  const auto vars = readMatFile(file);
  ASSERT_EQ(vars.size(), 2u);
  EXPECT_EQ(vars[0].first, "fileParameters");
  EXPECT_EQ(vars[1].first, "filename");
  EXPECT_EQ(vars[1].second.str(), file);

  global("parameters").setField("dataLength", 7.0);
  EXPECT_EQ(feval1("loadParameters", {Value(file), Value::empty()}).toScalar(), 1.0);
  EXPECT_TRUE(equalRecords(global("parameters"), before));
  EXPECT_EQ(global("parameters").fieldNames(), before.fieldNames());
  EXPECT_EQ(global("parameters").field("MACheader").fieldNames(),
            before.field("MACheader").fieldNames());
}

TEST_F(FilesTest, BadParameterFilesAreRefusedAndChangeNothing) {
  const Value running = global("parameters");
  Value wrongId = running;
  wrongId.setField("ParameterFileFormat_ID", Value("dot11a - format 1.0"));
  Value noId = running;
  noId.removeField("ParameterFileFormat_ID");
  Value shortMask = running;
  shortMask.setField("SubCarriers", Value::row(std::vector<double>(52, 1.0)));
  Value noHeader = running;
  noHeader.removeField("MACheader");
  Value textRate = running;
  textRate.setField("modulation", Value("4"));
  Value badRatio = running;
  badRatio.setField("OverSampling", 0.0);
  Value badSpacing = running;
  badSpacing.setField("ChannelSpacing", 7.0);

  struct Case {
    std::string name;
    std::vector<NamedValue> vars;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"other.mat", {{"somethingElse", running}}, "has an Invalid File Format."},
      {"noid.mat", {{"fileParameters", noId}}, "has an Invalid File Structure."},
      {"notrecord.mat", {{"fileParameters", Value(3.0)}}, "has an Invalid File Structure."},
      {"wrongid.mat", {{"fileParameters", wrongId}}, "has an Invalid File Parameter ID."},
      {"mask.mat", {{"fileParameters", shortMask}}, "has an Invalid File Structure."},
      {"header.mat", {{"fileParameters", noHeader}}, "has an Invalid File Structure."},
      {"text.mat", {{"fileParameters", textRate}}, "has an Invalid File Structure."},
      {"ratio.mat", {{"fileParameters", badRatio}}, "has an Invalid File Structure."},
      {"spacing.mat", {{"fileParameters", badSpacing}}, "has an Invalid File Structure."},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    writeMatFile(path(k.name), k.vars);
    ScopedScriptedDialogs script;
    EXPECT_EQ(feval1("loadParameters", {Value(path(k.name)), Value::empty()}).toScalar(), 0.0);
    ASSERT_EQ(script->shown.size(), 1u);
    EXPECT_EQ(script->shown[0].title, "Error Loading File");
    // The line may be followed by what exactly is wrong.
    EXPECT_EQ(script->shown[0].text.substr(0, path(k.name).size() + 1 + k.expected.size()),
              path(k.name) + "\n" + k.expected);
    EXPECT_EQ(global("parameters"), running);
  }
}

// A 10 MHz frame's file loads by name; the window, whose generator clock
// follows 20 MHz, refuses it rather than play it at twice its clock.
TEST_F(FilesTest, TheWindowRefusesAFrameOfANarrowChannel) {
  const Value running = global("parameters");
  Value narrow = running;
  narrow.setField("ChannelSpacing", 10.0);
  const std::vector<NamedValue> vars = {{"fileParameters", narrow}};
  writeMatFile(path("narrow.mat"), vars);
  {
    ScopedScriptedDialogs script;
    const Value window = Value::record({{"main", 1.0}});
    EXPECT_EQ(feval1("loadParameters", {Value(path("narrow.mat")), window}).toScalar(), 0.0);
    ASSERT_EQ(script->shown.size(), 1u);
    EXPECT_NE(script->shown[0].text.find("holds a frame of a 10 MHz channel"), std::string::npos);
    EXPECT_EQ(global("parameters"), running);
  }
  EXPECT_EQ(feval1("loadParameters", {Value(path("narrow.mat")), Value::empty()}).toScalar(), 1.0);
  EXPECT_EQ(global("parameters").field("ChannelSpacing").toScalar(), 10);
  global("parameters") = running;
}

TEST_F(FilesTest, DamagedAndForeignFilesGiveAnErrorNotACrash) {
  const Value running = global("parameters");
  const std::string good = path("good.mat");
  writeParameterFile(good, running);
  std::string bytes;
  {
    std::ifstream in(good, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::pair<std::string, std::string>> files = {
      {"text.mat", "this is not a MAT file at all\n"},
      {"empty.mat", ""},
      {"header-only.mat", bytes.substr(0, 128)},
  };
  for (std::size_t cut : {130u, 200u, 600u, static_cast<unsigned>(bytes.size() - 9)})
    files.emplace_back("cut" + std::to_string(cut) + ".mat", bytes.substr(0, cut));
  std::string flipped = bytes;
  for (std::size_t i = 140; i < flipped.size(); i += 97)
    flipped[i] = static_cast<char>(~flipped[i]);
  files.emplace_back("flipped.mat", flipped);

  for (const auto& [name, content] : files) {
    SCOPED_TRACE(name);
    std::ofstream(path(name), std::ios::binary) << content;
    ScopedScriptedDialogs script;
    EXPECT_EQ(feval1("loadParameters", {Value(path(name)), Value::empty()}).toScalar(), 0.0);
    EXPECT_EQ(script->shown.size(), 1u);
    EXPECT_EQ(global("parameters"), running);
  }
  ScopedScriptedDialogs script;
  EXPECT_EQ(feval1("loadParameters", {Value(path("missing.mat")), Value::empty()}).toScalar(), 0.0);
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].title, "Error Loading File");
}

TEST_F(FilesTest, AFailedWriteLeavesThePreviousFileAndNoTemporaryFiles) {
  const std::string file = path("keep.mat");
  writeParameterFile(file, global("parameters"));
  const auto sizeBefore = fs::file_size(file);

  // The target is a folder: the final rename fails after the data was written.
  fs::create_directories(path("folder.mat"));
  ScopedScriptedDialogs script;
  feval("saveParameters", 0, {Value(path("folder.mat")), global("parameters")});
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].title, "Error Saving " + path("folder.mat"));
  EXPECT_TRUE(fs::is_directory(path("folder.mat")));

  feval("saveParameters", 0, {Value(path("no/such/folder/x.mat")), global("parameters")});
  EXPECT_EQ(script->shown.size(), 2u);

  EXPECT_EQ(entries(dir), (std::vector<std::string>{"folder.mat", "keep.mat"}));
  EXPECT_EQ(fs::file_size(file), sizeBefore);
}

std::string contents(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST_F(FilesTest, WritesThroughALinkReplaceTheFileItNamesAndKeepTheLink) {
  fs::create_directories(dir / "elsewhere");
  std::ofstream(path("elsewhere/real.bin")) << "old";
  fs::create_symlink("elsewhere/real.bin", dir / "link.bin");
  fs::create_symlink(dir / "elsewhere/new.mat", dir / "dangling.mat");
  writeFileAtomically(path("link.bin"), bytesOf("new contents"));
  writeParameterFile(path("dangling.mat"), global("parameters"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.bin"));
  EXPECT_EQ(contents(path("elsewhere/real.bin")), "new contents");
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.mat"));
  EXPECT_TRUE(readParameterFile(path("elsewhere/new.mat"), kParameterFileFormatId).parameters);
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"dangling.mat", "elsewhere", "link.bin"}));
  EXPECT_EQ(entries(dir / "elsewhere"), (std::vector<std::string>{"new.mat", "real.bin"}));
}

TEST_F(FilesTest, StoredConfigurationRoundTripsAndIsSilentWhenMissing) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  EXPECT_TRUE(feval1("loadConfig", {}).isEmpty());
  const Value config = Value::record({{"BBGtype", Value(1.0)},
                                      {"LastParameterFilename", Value("/tmp/x.mat")},
                                      {"Address", Value("192.168.0.2")}});
  feval("saveConfig", 0, {config});
  EXPECT_EQ(feval1("loadConfig", {}), config);
  std::ofstream("defaults.mat") << "garbage";
  EXPECT_TRUE(feval1("loadConfig", {}).isEmpty());
  fs::current_path(previous);
}

}  // namespace
