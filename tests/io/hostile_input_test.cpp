// Files and records built to hurt: oversized MAT files, parameter sets whose
// fields the calculation cannot use or whose lengths disagree, paths that are
// not files, and exports of waveforms that cannot be written faithfully.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <complex>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "dot11a/call.hpp"
#include "dot11a/capture.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/files.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/parameters.hpp"
#include "io/mat_bytes.hpp"
#include "io_fixture.hpp"

namespace fs = std::filesystem;
using namespace dot11a;
using namespace dot11a::test;

namespace {

class HostileInput : public test::TempFolderTest {
 protected:
  HostileInput() : TempFolderTest("hostile") {}

  // loadParameters of `record` stored as a parameter file: the dialog text
  // when refused, empty when accepted.
  std::string refusal(const Value& record) {
    const std::string file = path("candidate.mat");
    writeParameterFile(file, record);
    ScopedScriptedDialogs script;
    const double ok = feval1("loadParameters", {Value(file), Value::empty()}).toScalar();
    if (ok == 1) return "";
    return script->shown.empty() ? "refused silently" : script->shown[0].text;
  }
};

TEST_F(HostileInput, RecordsThatMatioWouldReadOtherwiseThanTheCheckAreRefused) {
  // The field names element claims 20 bytes for one 16-byte name. matio reads
  // the whole name only and takes the next 8 bytes (4 stray, 4 of padding) as
  // the tag of the field array, whose dimensions the size check never saw.
  auto misread = [](std::uint32_t n, bool withData) {
    const std::string hidden = doublesBody(n, withData ? n : 1);
    std::string names = words({1, 20}) + "a" + std::string(15, '\0');
    names += words({14, static_cast<std::uint32_t>(hidden.size())});
    return matHeader() + recordStart("fileParameters", names, hidden);
  };
  // A thousand doubles behind the stray bytes: read as a field before.
  const std::string quiet = path("misread.mat");
  writeBytes(quiet, misread(1000, true));
  std::string reason = "read";
  try {
    readMatFile(quiet);
  } catch (const std::exception& e) {
    reason = e.what();
  }
  EXPECT_NE(reason.find("the file is truncated or damaged"), std::string::npos) << reason;
  // 536,870,913 doubles declared behind them: matio sized a 4 GiB buffer.
  const std::string huge = path("misread-huge.mat");
  writeBytes(huge, misread(0x20000001, false));
  // Names for two fields with one array behind them: matio would read the
  // second from whatever follows the record.
  const std::string oneShort = path("one-short.mat");
  std::string two = subElement(1, "a" + std::string(15, '\0') + "b" + std::string(15, '\0'));
  writeBytes(oneShort, matHeader() +
                           recordStart("fileParameters", two, words({14, 56}) + doublesBody(1)) +
                           matrixStart("x", 6, 9, 1, 8) + std::string(8, '\0'));
  const bool refused = withinMemoryBudget(std::size_t{96} << 20, [&] {
    return refusedReason(huge).find("the file is truncated or damaged") != std::string::npos &&
           refusedReason(oneShort).find("the file is truncated or damaged") != std::string::npos;
  });
  EXPECT_TRUE(refused);

  // The same record with its names element of whole names reads.
  const std::string good = path("whole-names.mat");
  writeBytes(good,
             matHeader() + recordStart("fileParameters", subElement(1, "a" + std::string(15, '\0')),
                                       words({14, 56}) + doublesBody(1)));
  const auto vars = readMatFile(good, kSmallMatFile);
  ASSERT_EQ(vars.size(), 1u);
  EXPECT_EQ(vars[0].second.field("a"), Value(0.0));
}

TEST_F(HostileInput, PathsThatAreNotFilesAreNamedForWhatTheyAre) {
  const std::string fifo = path("pipe.mat");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& p : {fifo, std::string("/dev/zero"), dir.string()}) {
    SCOPED_TRACE(p);
    // A pipe without a writer would block an open(): the reader never opens it.
    EXPECT_NE(refusedReason(p).find("is not a regular file"), std::string::npos)
        << refusedReason(p);
  }
  EXPECT_NE(refusedReason(path("absent.mat")).find("not found"), std::string::npos);
}

TEST_F(HostileInput, SigmfReplacesBothFilesOrNeither) {
  const std::string base = path("rec");
  const std::vector<std::complex<double>> samples = {{1, 0}, {0, 1}};
  writeSigmf(base, samples, SigmfInfo{});
  const auto before = fs::file_size(base + ".sigmf-data");
  fs::remove(base + ".sigmf-meta");
  fs::create_directory(base + ".sigmf-meta");
  const std::vector<std::complex<double>> longer(100, {0.5, 0.5});
  EXPECT_THROW(writeSigmf(base, longer, SigmfInfo{}), Error);
  EXPECT_EQ(fs::file_size(base + ".sigmf-data"), before);
  // No temporary file is left behind.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 2u);
}

TEST_F(HostileInput, SigmfDataOfAnotherRecordingIsRefused) {
  const std::string a = path("a"), b = path("b");
  writeSigmf(a, std::vector<std::complex<double>>(2, {1, 0}), SigmfInfo{});
  writeSigmf(b, std::vector<std::complex<double>>(100, {0.5, 0.5}), SigmfInfo{});
  EXPECT_EQ(readCapture(a + ".sigmf-meta").samples.size(), 2u);
  // New samples under old metadata, as an interrupted replacement would leave.
  fs::copy_file(b + ".sigmf-data", a + ".sigmf-data", fs::copy_options::overwrite_existing);
  try {
    readCapture(a + ".sigmf-meta");
    ADD_FAILURE() << "a mixed pair was read";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("the data file does not belong to this metadata"),
              std::string::npos)
        << e.what();
  }
  // Recordings of others carry no digest and read as they are.
  std::ofstream(a + ".sigmf-meta") << R"({"global":{"core:datatype":"cf32_le"}})";
  EXPECT_EQ(readCapture(a + ".sigmf-meta").samples.size(), 100u);
}

TEST_F(HostileInput, LargeMatCapturesAreRefusedBeforeTheyAreRead) {
  // 1.5 GiB sparse files: one that is no MAT file, one behind a valid header
  // that holds more than the 2^26 samples of any capture.
  const std::string text = path("text.mat"), big = path("big.mat");
  writeBytes(text, std::string(200, 'x'));
  writeBytes(big, matHeader() + matrixStart("samples", 6, 9, 2, 16) + std::string(16, '\0'));
  for (const std::string& f : {text, big}) ASSERT_EQ(::truncate(f.c_str(), off_t{3} << 29), 0);
  auto refusal = [](const std::string& file) {
    try {
      readCapture(file);
    } catch (const Error& e) {
      return std::string(e.what());
    }
    return std::string("read");
  };
  EXPECT_TRUE(withinMemoryBudget(std::size_t{96} << 20, [&] {
    return refusal(text).find("not a MAT file") != std::string::npos &&
           refusal(big).find("has 1610612736 bytes") != std::string::npos;
  }));
}

// Damaged files just under the 1025 MiB a capture may have are judged as
// they are read: the first tag that no array can hold refuses them, within
// a small memory budget (the file is never read whole, nor are its tags
// collected first).
TEST_F(HostileInput, DamagedLargeMatFilesAreRefusedAsTheyAreRead) {
  constexpr off_t kSize = (off_t{1025} << 20) - 64;
  auto variable = [](std::uint32_t cls, std::uint32_t n, const std::string& rest) {
    const std::string body = subElement(6, words({cls, 0})) + subElement(5, words({1, n})) +
                             subElement(1, "samples") + rest;
    // Declares the whole rest of the file as its body.
    return words({14, static_cast<std::uint32_t>(kSize - 128 - 8)}) + body;
  };
  // A double followed by zeroed tags, one per 8 bytes, to the end.
  const std::string zeros = path("zero-tags.mat");
  writeBytes(zeros, matHeader() + variable(6, 1, subElement(9, std::string(8, '\0'))));
  // A double with a real part followed by imaginary parts, ever more of them.
  std::string parts;
  for (int k = 0; k < 8; ++k) parts += subElement(9, std::string(8, '\0'));
  const std::string many = path("many-parts.mat");
  writeBytes(many, matHeader() + variable(6, 1, parts));
  // A cell list whose cells are more arrays than any capture holds.
  std::string cells;
  for (int k = 0; k < 70000; ++k) cells += words({14, 0});
  const std::string crowded = path("crowded.mat");
  writeBytes(crowded, matHeader() + variable(1, 70000, cells));
  for (const std::string& f : {zeros, many, crowded}) ASSERT_EQ(::truncate(f.c_str(), kSize), 0);
  auto refusal = [](const std::string& file) {
    try {
      readCapture(file);
    } catch (const Error& e) {
      return std::string(e.what());
    }
    return std::string("read");
  };
  EXPECT_TRUE(withinMemoryBudget(std::size_t{64} << 20, [&] {
    return refusal(zeros).find("truncated or damaged") != std::string::npos &&
           refusal(many).find("truncated or damaged") != std::string::npos &&
           refusal(crowded).find("more than 65536 arrays") != std::string::npos;
  }));
}

}  // namespace
