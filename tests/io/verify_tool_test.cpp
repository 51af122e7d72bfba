// dot11a-verify on the files dot11a-gen writes and on files that hold no good
// frame, dot11a-gen --verify, and the capture readers behind them.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>

#include "common/test_folder.hpp"
#include "dot11a/capture.hpp"
#include "dot11a/error.hpp"

namespace fs = std::filesystem;
using namespace dot11a;

namespace {

struct ToolRun {
  int status;
  std::string output;
};

ToolRun run(const std::string& tool, const std::string& args) {
  const std::string cmd = std::string(DOT11A_BIN_DIR) + "/" + tool + " " + args + " 2>&1";
  ToolRun r{0, ""};
  FILE* p = ::popen(cmd.c_str(), "r");
  std::array<char, 512> buf;
  while (std::fgets(buf.data(), buf.size(), p)) r.output += buf.data();
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

class VerifyTool : public test::TempFolderTest {
 protected:
  VerifyTool() : TempFolderTest("verify") {}
  void SetUp() override {
    for (const char* t : {"dot11a-gen", "dot11a-verify"})
      if (!fs::exists(std::string(DOT11A_BIN_DIR) + "/" + t)) GTEST_SKIP() << t << " not built";
    TempFolderTest::SetUp();
  }
  void write(const std::string& n, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream(path(n), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
};

TEST_F(VerifyTool, FilesOfEveryKindDecodeToThePsduDotGenWrote) {
  const std::string frame =
      "--rate 24 --oversampling 2 --window 4 --length 300 --mac-header on --fcs on";
  ASSERT_EQ(run("dot11a-gen", frame + " -o " + path("f.sigmf-meta")).status, 0);
  ASSERT_EQ(run("dot11a-gen", frame + " -o " + path("f.mat")).status, 0);
  ASSERT_EQ(run("dot11a-gen", frame + " -o " + path("f.bin")).status, 0);
  ASSERT_EQ(run("dot11a-gen", frame + " -o " + path("f.pcap")).status, 0);
  fs::copy_file(path("f.sigmf-data"), path("f.cf32"));
  const std::vector<std::pair<std::string, std::string>> files = {{"f.sigmf-meta", ""},
                                                                  {"f.mat", " --sample-rate 40e6"},
                                                                  {"f.bin", " --sample-rate 40e6"},
                                                                  {"f.cf32", " --sample-rate 40e6"},
                                                                  {"f.sigmf-data", ""}};
  for (const auto& [file, extra] : files) {
    SCOPED_TRACE(file);
    const ToolRun r =
        run("dot11a-verify",
            path(file) + extra + " --fcs on --dac-droop --expect-psdu " + path("f.pcap"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("PASS"), std::string::npos) << r.output;
  }
  const ToolRun j = run("dot11a-verify", path("f.sigmf-meta") + " --json --fcs on --dac-droop");
  ASSERT_EQ(j.status, 0) << j.output;
  const auto doc = nlohmann::json::parse(j.output);
  EXPECT_TRUE(doc["pass"].get<bool>());
  ASSERT_EQ(doc["frames"].size(), 1u);
  EXPECT_EQ(doc["frames"][0]["signal"]["rate_mbps"].get<double>(), 24);
  EXPECT_EQ(doc["frames"][0]["fcs"], "good");
  EXPECT_EQ(doc["frames"][0]["psdu"].size(), 334u);  // header, payload, FCS
  EXPECT_LT(doc["frames"][0]["evm"]["rms_db"].get<double>(), -60);
  EXPECT_NEAR(doc["frames"][0]["clock_offset_ppm"].get<double>(), 0.0, 0.1);
  EXPECT_EQ(j.output.find("sampling clock"), std::string::npos);

  // The same samples read as if taken 100 ppm faster than they were made: the
  // receiver tracks the clock offset, names it and still decodes the frame.
  const std::string fast = path("f.bin") + " --sample-rate 40.004e6 --fcs on";
  const ToolRun t = run("dot11a-verify", fast);
  EXPECT_EQ(t.status, 0) << t.output;
  EXPECT_NE(t.output.find("frame 1 (note): the sampling clock is off by -"), std::string::npos)
      << t.output;
  const ToolRun tj = run("dot11a-verify", fast + " --json");
  EXPECT_NEAR(nlohmann::json::parse(tj.output)["frames"][0]["clock_offset_ppm"].get<double>(),
              -100.0, 3.0);

  // Another PSDU than the one expected is a failure.
  write("other.bin", std::vector<std::uint8_t>(334, 0x55));
  const ToolRun wrong = run("dot11a-verify", path("f.sigmf-meta") + " --dac-droop --expect-psdu " +
                                                 path("other.bin") + " --format sigmf");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.output.find("expected PSDU"), std::string::npos) << wrong.output;
}

// A raw file at 20 MHz times a whole number is streamed for 20 MHz frames;
// when none decodes it is read again for 10 and 5 MHz frames, and only the
// frames of the spacing that decodes are reported, in the text and JSON alike.
TEST_F(VerifyTool, RawFilesOfNarrowChannelsAreFoundWithoutTheSpacing) {
  ASSERT_EQ(run("dot11a-gen",
                "--channel-spacing 10 --oversampling 2 --rate 27 --length 200 "
                "--frames 2 --gap-us SIFS -o " +
                    path("n.sigmf-meta"))
                .status,
            0);
  fs::copy_file(path("n.sigmf-data"), path("n.cf32"));
  const ToolRun t = run("dot11a-verify", path("n.cf32") + " --sample-rate 20e6 --dac-droop");
  EXPECT_EQ(t.status, 0) << t.output;
  EXPECT_NE(t.output.find("channel spacing 10 MHz"), std::string::npos) << t.output;
  const ToolRun j =
      run("dot11a-verify", path("n.cf32") + " --sample-rate 20e6 --dac-droop --json --threads 2");
  ASSERT_EQ(j.status, 0) << j.output;
  const auto doc = nlohmann::json::parse(j.output);
  ASSERT_EQ(doc["frames"].size(), 2u) << j.output;
  for (const auto& f : doc["frames"]) {
    EXPECT_EQ(f["channel_spacing"].get<double>(), 10e6);
    EXPECT_EQ(f["signal"]["rate_mbps"].get<double>(), 27);
  }
  // Told 20 MHz, it looks for nothing else.
  EXPECT_EQ(
      run("dot11a-verify", path("n.cf32") + " --sample-rate 20e6 --channel-spacing 20").status, 1);
}

TEST_F(VerifyTool, OurOwnFilesPassWithoutFlagsAtEveryRateAndRatio) {
  // The synthesis pre-compensates the DAC; the files say so, and the flatness
  // is judged after the DAC without --dac-droop.
  for (int ratio = 1; ratio <= 4; ++ratio)
    for (int rate : {6, 9, 12, 18, 24, 36, 48, 54}) {
      const std::string frame =
          "--rate " + std::to_string(rate) + " --oversampling " + std::to_string(ratio);
      SCOPED_TRACE(frame);
      ASSERT_EQ(run("dot11a-gen", frame + " --length 100 -o " + path("f.sigmf-meta")).status, 0);
      const ToolRun r = run("dot11a-verify", path("f.sigmf-meta"));
      EXPECT_EQ(r.status, 0) << r.output;
    }
  ASSERT_EQ(run("dot11a-gen", "--oversampling 1 -o " + path("f.mat")).status, 0);
  const ToolRun m = run("dot11a-verify", path("f.mat"));
  EXPECT_EQ(m.status, 0) << m.output;
}

// A seeded sample of the self-consistency matrix (scripts/rx-matrix.sh runs
// all of it): sequences of dot11a-gen, noise-free and in noise, read from
// SigMF, raw cf32 and MAT files, give the same frames at the same starts and
// the same measurements, and every frame decodes. dot11a-gen --verify of
// the same sequence decodes every frame too.
TEST_F(VerifyTool, SequencesDecodeFrameByFrameAndAlikeFromEveryFile) {
  std::mt19937 rng(34);
  const char* gaps[] = {"0", "16", "100", "SIFS"};
  for (int k = 0; k < 4; ++k) {
    const int rate = std::array{6, 9, 12, 18, 24, 36, 48, 54}[rng() % 8];
    const int os = 1 + static_cast<int>(rng() % 4);
    std::string frame = "--rate " + std::to_string(rate) + " --oversampling " + std::to_string(os) +
                        " --length " + std::to_string(1 + rng() % 800) + " --frames 4 --gap-us " +
                        gaps[k] + " --seed-step";
    if (k % 2 == 1) frame += " --snr " + std::to_string(40 + 20 * (rng() % 3)) + " --seed 5";
    SCOPED_TRACE(frame);
    ASSERT_EQ(run("dot11a-gen", frame + " -o " + path("s.sigmf-meta")).status, 0);
    ASSERT_EQ(run("dot11a-gen", frame + " -o " + path("s.mat")).status, 0);
    fs::copy_file(path("s.sigmf-data"), path("s.cf32"), fs::copy_options::overwrite_existing);
    const std::string rateArg = " --sample-rate " + std::to_string(20e6 * os);
    std::vector<nlohmann::json> reports;
    for (const std::string& args : {path("s.sigmf-meta"), path("s.cf32") + rateArg + " --dac-droop",
                                    path("s.mat") + rateArg}) {
      const ToolRun r = run("dot11a-verify", args + " --json");
      // Noise 40 dB down fills the mask's floor at 60 and 80 MHz: only the
      // noise-free frames pass every limit.
      if (k % 2 == 0) {
        EXPECT_EQ(r.status, 0) << args << "\n" << r.output;
      }
      reports.push_back(nlohmann::json::parse(r.output.substr(r.output.find('{'))));
    }
    const auto& ref = reports[0]["frames"];
    ASSERT_EQ(ref.size(), 4u);
    for (std::size_t p = 0; p < reports.size(); ++p) {
      ASSERT_EQ(reports[p]["frames"].size(), ref.size());
      for (std::size_t i = 0; i < ref.size(); ++i) {
        const auto &a = reports[p]["frames"][i], &b = ref[i];
        EXPECT_TRUE(a["decoded"].get<bool>());
        EXPECT_EQ(a["start"], b["start"]);
        EXPECT_EQ(a["psdu"], b["psdu"]);
        EXPECT_NEAR(a["cfo_hz"].get<double>(), b["cfo_hz"].get<double>(), 1.0);
        // The MAT file holds the samples in double precision, SigMF and cf32
        // in single: noise-free, both read as clean, the former as perfect.
        const double ea = a["evm"]["rms_db"].get<double>(), eb = b["evm"]["rms_db"].get<double>();
        if (p < 2 || k % 2 == 1)
          EXPECT_NEAR(ea, eb, 0.01);
        else
          EXPECT_TRUE(ea < -100 && eb < -100) << ea << " " << eb;
      }
    }
    const ToolRun gen = run("dot11a-gen", frame + " --verify");
    EXPECT_EQ(gen.output.find("does not decode"), std::string::npos) << gen.output;
  }
}

TEST_F(VerifyTool, GenVerifyDecodesTheFrameItMade) {
  const ToolRun r = run("dot11a-gen", "--rate 9 --length 64 --fcs on --verify");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("PASS"), std::string::npos);
  const ToolRun u = run("dot11a-gen", "--unframed --length 64 --verify");
  EXPECT_NE(u.status, 0);
  EXPECT_NE(u.output.find("framed"), std::string::npos) << u.output;
}

TEST_F(VerifyTool, EmptyNoiseCutShortAndMissingFilesFailWithAReason) {
  write("empty.cf32", {});
  std::vector<std::uint8_t> noise(8 * 20000);
  std::mt19937 rng(3);
  for (std::size_t i = 0; i < noise.size(); i += 4) {
    const float v = std::normal_distribution<float>(0.0f, 0.01f)(rng);
    std::memcpy(&noise[i], &v, 4);
  }
  write("noise.cf32", noise);
  ASSERT_EQ(run("dot11a-gen", "--rate 6 --oversampling 1 --length 500 -o " + path("g.bin")).status,
            0);
  fs::resize_file(path("g.bin"), 4 * 1200);
  write("odd.bin", {1, 2, 3});
  const std::vector<std::pair<std::string, std::string>> cases = {
      {path("empty.cf32"), "empty"},
      {path("noise.cf32"), "No 802.11a frame"},
      {path("g.bin") + " --sample-rate 20e6", "DATA symbols early"},
      {path("odd.bin"), "whole number of samples"},
      {path("missing.cf32"), "cannot be read"},
      {path("noise.cf32") + " --format mat", "MAT"},
  };
  for (const auto& [args, text] : cases) {
    SCOPED_TRACE(args);
    const ToolRun r = run("dot11a-verify", args);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find(text), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("FAIL"), std::string::npos) << r.output;
  }
  // Standard input is a stream of cf32, ci16 or ci8, not a file format.
  const ToolRun bin = run("dot11a-verify", "- --format bin --sample-rate 20e6 < /dev/null");
  EXPECT_NE(bin.status, 0);
  EXPECT_NE(bin.output.find("not --format bin"), std::string::npos) << bin.output;
}

TEST(CaptureReaders, ParseWhatTheWritersWriteAndRefuseDamage) {
  EXPECT_EQ(parseSample16(std::vector<std::uint8_t>{0x7F, 0xFF, 0x80, 0x01}),
            (std::vector<std::complex<double>>{{1.0, -1.0}}));
  const float re = 0.5f, im = -2.0f;
  std::vector<std::uint8_t> b(8);
  std::memcpy(b.data(), &re, 4);
  std::memcpy(b.data() + 4, &im, 4);
  EXPECT_EQ(parseCf32(b), (std::vector<std::complex<double>>{{0.5, -2.0}}));
  EXPECT_TRUE(parseCf32({}).empty());
  EXPECT_THROW(parseCf32(std::vector<std::uint8_t>(7)), Error);
  EXPECT_THROW(parseSample16(std::vector<std::uint8_t>(5)), Error);
  const SigmfMeta m =
      parseSigmfMeta(R"({"global":{"core:datatype":"cf32_le","core:sample_rate":4e7}})");
  EXPECT_EQ(m.datatype, "cf32_le");
  EXPECT_EQ(m.sampleRate, 4e7);
  for (const char* bad : {"", "[]", "{}", R"({"global":{}})",
                          R"({"global":{"core:datatype":"cf32_le","core:sample_rate":-1}})",
                          R"({"global":{"core:datatype":7}})"})
    EXPECT_THROW(parseSigmfMeta(bad), Error) << bad;
  CaptureFormat f;
  EXPECT_TRUE(captureFormatFromText("bin", f));
  EXPECT_EQ(f, CaptureFormat::Sample16);
  EXPECT_FALSE(captureFormatFromText("wav", f));
  EXPECT_EQ(captureFormatOf("x.sigmf-data"), CaptureFormat::Sigmf);
  EXPECT_EQ(captureFormatOf("x.txt"), CaptureFormat::Auto);
}

}  // namespace
