// dot11a-gen as a test bench runs it: bounds of the options, parameter files it
// writes, and (once frames can be made) the files it writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/test_folder.hpp"
#include "dot11a/call.hpp"
#include "dot11a/capture.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/files.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/parameters.hpp"
#include "io_fixture.hpp"

namespace fs = std::filesystem;
using namespace dot11a;
using namespace dot11a::test;

namespace {

class GenTest : public test::TempFolderTest {
 protected:
  GenTest() : TempFolderTest("gen") {}
  void SetUp() override {
    if (!fs::exists(std::string(DOT11A_BIN_DIR) + "/dot11a-gen"))
      GTEST_SKIP() << "dot11a-gen not built";
    TempFolderTest::SetUp();
  }
};

TEST_F(GenTest, OutOfRangeOptionsAreErrorsThatNameTheRange) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--rate 7", "6, 9, 12, 18, 24, 36, 48, 54"},
      {"--length 0", "from 1 to 4095"},
      {"--length 4095 --mac-header on --fcs on", "from 1 to 4061"},
      {"--window 17", "from 0 to 16"},
      {"--oversampling 5", "from 1 to 4"},
      {"--idle-us 1001", "from 0 to 1000"},
      {"--scrambler-init 80", "0 to 7F"},
      {"--service 10000", "0 to FFFF"},
      {"--modulation 8psk", "bpsk, qpsk, 16qam or 64qam"},
      {"--mask 101", "53 characters"},
      {"--source nosuchfile", "--source"},
  };
  for (const auto& [args, expected] : cases) {
    SCOPED_TRACE(args);
    const GenRun r = gen(args + " --save-params " + path("never.mat"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find(expected), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(path("never.mat")));
  }
}

TEST_F(GenTest, WritesTheFormatTheExtensionNames) {
  const GenRun summary = gen("");
  EXPECT_EQ(summary.status, 0);
  for (const char* key :
       {"samples:", "duration:", "DATA symbols:", "peak level:", "RMS level:", "crest factor:"})
    EXPECT_NE(summary.output.find(key), std::string::npos) << key;
  ASSERT_EQ(gen("--length 100 -o " + path("f.mat")).status, 0);
  const auto vars = readMatFile(path("f.mat"));
  ASSERT_EQ(vars.size(), 2u);
  EXPECT_EQ(vars[0].first, "samples");
  EXPECT_EQ(vars[1], NamedValue("dacPrecompensated", Value(1.0)));
  EXPECT_TRUE(vars[0].second.isComplex());
  EXPECT_EQ(vars[0].second.cols(), 1u);
  ASSERT_EQ(gen("--length 100 -o " + path("f.bin")).status, 0);
  EXPECT_EQ(fs::file_size(path("f.bin")), 4 * vars[0].second.rows());
  ASSERT_EQ(gen("--length 100 -o " + path("f.sigmf-meta")).status, 0);
  EXPECT_EQ(fs::file_size(path("f.sigmf-data")), 8 * vars[0].second.rows());
  if (std::system("/usr/bin/python3 -c 'import scipy.io' 2>/dev/null") == 0) {
    // SciPy reads the container: an N x 1 complex double column equal to the
    // SigMF samples of the same frame.
    const std::string check =
        "/usr/bin/python3 -c \"import sys, numpy as np, scipy.io as sio; "
        "s = sio.loadmat(sys.argv[1])['samples']; "
        "d = np.fromfile(sys.argv[2], dtype='<c8'); "
        "assert s.dtype == np.complex128 and s.shape == (d.size, 1), (s.dtype, s.shape); "
        "assert np.allclose(s[:, 0], d, atol=1e-6) and np.abs(s).max() > 0\" " +
        path("f.mat") + " " + path("f.sigmf-data");
    EXPECT_EQ(std::system(check.c_str()), 0);
  } else {
    std::printf("SciPy check skipped: /usr/bin/python3 has no scipy\n");
  }
  ASSERT_EQ(gen("--length 100 --mac-header on --fcs on -o " + path("f.pcap")).status, 0);
  EXPECT_GT(fs::file_size(path("f.pcap")), 100u + 30 + 4);
  EXPECT_NE(gen("-o " + path("f.wav")).status, 0);
}

}  // namespace

namespace {

int exitCode(const GenRun& r) {
  return WIFEXITED(r.status) ? WEXITSTATUS(r.status) : -1;
}

std::string fileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// dot11a-gen killed between the two renames that replace a SigMF pair leaves
// new data under the old metadata. The next read of the pair finishes the
// replacement with the new metadata beside it, or, without that, puts the old
// data back; no clean-up by another write takes those files first.
TEST_F(GenTest, ASigmfReplacementKilledBetweenItsRenamesIsFinishedOrUndone) {
  if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  const std::string rec = path("rec.sigmf-meta");
  ASSERT_EQ(gen("--rate 6 --length 50 -o " + path("old.sigmf-meta")).status, 0);
  ASSERT_EQ(gen("--rate 54 --length 50 -o " + path("new.sigmf-meta")).status, 0);
  const auto oldSamples = readCapture(path("old.sigmf-meta")).samples;
  const auto newSamples = readCapture(path("new.sigmf-meta")).samples;
  auto leftovers = [&] {
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().filename().string().starts_with(".rec.")) found.push_back(e.path());
    return found;
  };
  for (const bool forward : {true, false}) {
    SCOPED_TRACE(forward ? "forward" : "back");
    const std::string cmd =
        "strace -f -o /dev/null -e trace=rename -e "
        "inject=rename:signal=SIGKILL:when=2 " +
        std::string(DOT11A_BIN_DIR) + "/dot11a-gen --rate 54 --length 50 -o " + rec +
        " >/dev/null 2>&1";
    ASSERT_EQ(gen("--rate 6 --length 50 -o " + rec).status, 0);
    EXPECT_NE(std::system(cmd.c_str()), 0);
    ASSERT_EQ(fileBytes(path("rec.sigmf-data")), fileBytes(path("new.sigmf-data")))
        << "not killed between the renames";
    // An hour later another write to the folder cleans up what it may.
    for (const fs::path& f : leftovers())
      fs::last_write_time(f, fs::file_time_type::clock::now() - std::chrono::hours(1));
    ASSERT_EQ(gen("--rate 6 --length 1 -o " + path("other.bin")).status, 0);
    if (!forward)
      for (const fs::path& f : leftovers())
        if (f.filename().string().starts_with(".rec.sigmf-meta")) fs::remove(f);
    EXPECT_EQ(readCapture(rec).samples, forward ? newSamples : oldSamples);
    // The pair agrees again: its leftovers, unchanged for an hour, are gone.
    EXPECT_TRUE(leftovers().empty());
  }
}

TEST_F(GenTest, MalformedOptionsExitOneAndNameTheAcceptedValues) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"--oversampling 2.5", "--oversampling must be a whole number from 1 to 4, not 2.5"},
      {"--oversampling two", "--oversampling: \"two\" is not a whole number from 1 to 4"},
      {"--length 12x", "--length: \"12x\" is not a whole number"},
      {"--scrambler-init 0x", "0 to 7F in hexadecimal or 0d to 127d"},
      {"--scrambler-init 128d", "not \"128d\""},
      {"--frequency 1", "--frequency: \"1\" is not a frequency from 100e3 to 6e9 Hz"},
      {"--power -3.5", "--power: \"-3.5\" is not a whole number of dBm from -136 to 20"},
      {"--io-timeout 0", "a time-out from 0.1 to 3600 s"},
      {"--filter 9M", "--filter"},
      {"--no-such-option", "no-such-option"},
      {"--download 'tcpip:tgx lab'", "--download: The TCP/IP address \"tgx lab\" is not a host"},
      {"--download tcpip:tgx-lab:65536", "\"tgx-lab:65536\" is not a host name"},
      {"--download usb:1", "--download: Cannot use the instrument address \"usb:1\""},
      {"--params ''", "--params: the file name is empty."},
      {"--sequence ''", "--sequence: the file name is empty."},
      {"-o ''", "-o: the file name is empty."},
      {"--save-params ''", "--save-params: the file name is empty."},
  };
  for (const auto& [args, expected] : cases) {
    SCOPED_TRACE(args);
    const GenRun r = gen(args);
    EXPECT_EQ(exitCode(r), 1);
    EXPECT_NE(r.output.find(expected), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("samples:"), std::string::npos) << "a frame was made first";
  }
  EXPECT_EQ(exitCode(gen("--help")), 0);
}

TEST_F(GenTest, OutputsThatAreNotRegularFilesAreRefused) {
  for (const char* name : {"pipe.sigmf-data", "pipe.mat"})
    ASSERT_EQ(::mkfifo(path(name).c_str(), 0600), 0);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"-o " + path("pipe.sigmf-meta"), "pipe.sigmf-data: it is not a regular file."},
      {"--save-params " + path("pipe.mat"), "pipe.mat: it is not a regular file."}};
  for (const auto& [args, expected] : cases) {
    SCOPED_TRACE(args);
    const GenRun r = gen(args);
    EXPECT_EQ(exitCode(r), 1);
    EXPECT_NE(r.output.find(expected), std::string::npos) << r.output;
  }
  EXPECT_TRUE(fs::is_fifo(path("pipe.sigmf-data")));
  EXPECT_TRUE(fs::is_fifo(path("pipe.mat")));
  EXPECT_FALSE(fs::exists(path("pipe.sigmf-meta")));
}

TEST_F(GenTest, SavedParameterFileRecordsItsFullPath) {
  const std::string cmd = "cd " + dir.string() + " && " + std::string(DOT11A_BIN_DIR) +
                          "/dot11a-gen --save-params p.mat >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (const auto& [name, value] : readMatFile(path("p.mat"))) {
    if (name == "filename") {
      EXPECT_EQ(value.str(), path("p.mat"));
    }
  }
}

}  // namespace
