// dot11a-verify on raw samples from standard input: each format, a frame
// printed as soon as it is decoded, and the summary on Ctrl+C.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "common/reference_data.hpp"
#include "dot11a/synthesis.hpp"

namespace fs = std::filesystem;

namespace dot11a {
namespace {

const std::string kVerify = std::string(DOT11A_BIN_DIR) + "/dot11a-verify";

struct Waveform {
  std::vector<cplx> samples;
  std::vector<std::vector<std::uint8_t>> psdus;  // as octets
};

// Three frames with idle gaps.
Waveform threeFrames() {
  std::mt19937 rng(23);
  Waveform w;
  w.samples.assign(500, cplx(0.0, 0.0));
  for (const double mbps : {6.0, 24.0, 54.0}) {
    FrameSettings s;
    s.dataRate = mbps;
    s.data.modulation = mbps == 6 ? 1 : mbps == 24 ? 3 : 4;
    s.data.encoderRate = mbps == 54 ? kRate3_4 : kRate1_2;
    s.idleSamples = 2000;
    const Bits bits = test::randomBits(8 * 200, rng);
    std::vector<std::uint8_t> octets(200, 0);
    for (std::size_t i = 0; i < bits.size(); ++i)
      octets[i / 8] |= static_cast<std::uint8_t>(bits[i] << (i % 8));
    w.psdus.push_back(octets);
    const Frame f = synthesizeFrame(s, bits);
    w.samples.insert(w.samples.end(), f.waveform.begin(), f.waveform.end());
  }
  return w;
}

// The samples in a raw format, scaled to half of full scale.
std::string rawBytes(const std::vector<cplx>& x, const std::string& format) {
  double peak = 0.0;
  for (const cplx& v : x) peak = std::max({peak, std::abs(v.real()), std::abs(v.imag())});
  std::string out;
  auto put = [&](auto v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); };
  for (const cplx& v : x) {
    const double re = 0.5 * v.real() / peak, im = 0.5 * v.imag() / peak;
    if (format == "cf32") {
      put(static_cast<float>(re));
      put(static_cast<float>(im));
    } else if (format == "ci16") {
      put(static_cast<std::int16_t>(std::lround(re * 32767)));
      put(static_cast<std::int16_t>(std::lround(im * 32767)));
    } else {
      put(static_cast<std::int8_t>(std::lround(re * 127)));
      put(static_cast<std::int8_t>(std::lround(im * 127)));
    }
  }
  return out;
}

class VerifyStream : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kVerify)) GTEST_SKIP() << "dot11a-verify not built";
    dir_ = fs::temp_directory_path() /
           ("dot11a-rxstream-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string p = (dir_ / name).string();
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  fs::path dir_;
};

std::string runShell(const std::string& cmd, int& status) {
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  std::array<char, 4096> buf;
  while (std::fgets(buf.data(), buf.size(), p)) out += buf.data();
  const int st = ::pclose(p);
  status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}

TEST_F(VerifyStream, StandardInputInEachFormatGivesAFrameALineAndTheSummary) {
  const Waveform w = threeFrames();
  for (const std::string format : {"cf32", "ci16", "ci8"}) {
    SCOPED_TRACE(format);
    const std::string file = write("x." + format, rawBytes(w.samples, format));
    int status = -1;
    const std::string out = runShell(
        kVerify + " - --format " + format + " --sample-rate 20e6 --json < " + file, status);
    std::istringstream lines(out);
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);)
      objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 4u) << out;
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_TRUE(objects[i]["decoded"].get<bool>());
      EXPECT_EQ(objects[i]["psdu"].get<std::vector<std::uint8_t>>(), w.psdus[i]);
    }
    EXPECT_EQ(objects[3]["summary"]["frames"], 3);
    EXPECT_EQ(objects[3]["summary"]["samples"], w.samples.size());
    EXPECT_EQ(status, objects[3]["pass"].get<bool>() ? 0 : 1);
    // The same bytes as a file of that format.
    const std::string table = runShell(kVerify + " " + file + " --sample-rate 20e6", status);
    EXPECT_NE(table.find("summary: 3 PASS"), std::string::npos) << table;
  }
  int status = -1;
  const std::string out = runShell(kVerify + " - --format cf32 < /dev/null 2>&1", status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(out.find("--sample-rate"), std::string::npos);
}

TEST_F(VerifyStream, CtrlCEndsTheStreamWithTheSummaryOfWhatWasDecoded) {
  const Waveform w = threeFrames();
  const std::string bytes = rawBytes(w.samples, "cf32");
  int toChild[2], fromChild[2];
  ASSERT_EQ(::pipe(toChild), 0);
  ASSERT_EQ(::pipe(fromChild), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(toChild[0], 0);
    ::dup2(fromChild[1], 1);
    ::close(toChild[1]);
    ::close(fromChild[0]);
    ::execl(kVerify.c_str(), kVerify.c_str(), "-", "--format", "cf32", "--sample-rate", "20e6",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(toChild[0]);
  ::close(fromChild[1]);
  // All three frames, and then the stream stays open: the last frame can only
  // be decoded once the receiver knows no more samples follow, or on Ctrl+C.
  ASSERT_EQ(::write(toChild[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  std::string out;
  char buf[4096];
  while (out.find("frame 2 at") == std::string::npos) {
    const ssize_t n = ::read(fromChild[0], buf, sizeof buf);
    ASSERT_GT(n, 0) << out;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::kill(pid, SIGINT);
  for (ssize_t n; (n = ::read(fromChild[0], buf, sizeof buf)) > 0;)
    out.append(buf, static_cast<std::size_t>(n));
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(toChild[1]);
  ::close(fromChild[0]);
  ASSERT_TRUE(WIFEXITED(status)) << out;
  EXPECT_NE(out.find("(interrupted)"), std::string::npos) << out;
  EXPECT_NE(out.find("3 frames found, 3 decoded"), std::string::npos) << out;
  EXPECT_NE(out.find("summary: 3 PASS"), std::string::npos) << out;
}

TEST_F(VerifyStream, ThreadsGiveTheFramesOfOneThreadAcrossStretchBoundaries) {
  // Threads decode stretches of 2^22 samples: frames just before, across
  // and just after the first boundary, and one far on, in a sparse file.
  const Waveform w = threeFrames();
  const std::size_t boundary = std::size_t{1} << 22;
  std::vector<cplx> x(boundary + 600000, cplx(0.0, 0.0));
  for (const std::size_t at :
       {boundary - 40000, boundary - 3000, boundary + 20000, boundary + 500000})
    std::copy(w.samples.begin(), w.samples.end(), x.begin() + static_cast<long>(at));
  const std::string file = write("x.ci8", rawBytes(x, "ci8"));
  int status = -1;
  const std::string text = runShell(kVerify + " " + file + " --json", status);
  const auto one = nlohmann::json::parse(text);
  // Written frame by frame, the report is laid out as the whole document.
  EXPECT_EQ(one.dump(2) + "\n", text);
  const auto two =
      nlohmann::json::parse(runShell(kVerify + " " + file + " --json --threads 2", status));
  ASSERT_EQ(one["frames"].size(), 12u);
  ASSERT_EQ(two["frames"].size(), one["frames"].size());
  for (std::size_t i = 0; i < one["frames"].size(); ++i) {
    EXPECT_EQ(two["frames"][i]["start"], one["frames"][i]["start"]);
    EXPECT_EQ(two["frames"][i]["psdu"], one["frames"][i]["psdu"]);
  }
  // Each sample counts once, however many stretches read it, and only when
  // it was read: stretches that stop at --max-frames read less.
  EXPECT_EQ(one["summary"]["samples"], x.size());
  EXPECT_EQ(two["summary"]["samples"], x.size());
  const auto few = nlohmann::json::parse(
      runShell(kVerify + " " + file + " --json --threads 2 --max-frames 2", status));
  EXPECT_LT(few["summary"]["samples"].get<std::uint64_t>(), x.size() - 500000);
}

// A FIFO named as FILE is a stream (it may never end): each frame a JSON
// line as it comes. When the stream breaks (it ends inside a sample), the
// summary of the frames so far and then the error are JSON lines too, and
// the exit status says the input could not be read. A wrong option is such
// an input error as well.
TEST_F(VerifyStream, PipeAsFileIsAStreamAndItsErrorEndsItsJsonLines) {
  const Waveform w = threeFrames();
  const std::string fifo = (dir_ / "live.cf32").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string bytes = rawBytes(w.samples, "cf32") + "abc";  // a part of one more sample
  const std::string data = write("data", bytes);
  int status = -1;
  const std::string out =
      runShell("(cat " + data + " > " + fifo + " &); " + kVerify + " " + fifo + " --json", status);
  std::istringstream lines(out);
  std::vector<nlohmann::json> objects;
  for (std::string line; std::getline(lines, line);) {
    const auto j = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << "not a JSON line: " << line;
    objects.push_back(j);
  }
  ASSERT_EQ(objects.size(), 5u) << out;
  for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(objects[i]["decoded"].get<bool>());
  EXPECT_EQ(objects[3]["summary"]["frames"], 3);
  EXPECT_EQ(objects[3]["summary"]["samples"], w.samples.size());
  EXPECT_FALSE(objects[3]["pass"].get<bool>());
  EXPECT_NE(objects[4]["problem"].get<std::string>().find("middle of a sample"), std::string::npos);
  EXPECT_EQ(status, 2);

  runShell(kVerify + " " + data + " --no-such-option", status);
  EXPECT_EQ(status, 2);
  runShell(kVerify + " " + data + " --fcs maybe", status);
  EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace dot11a
