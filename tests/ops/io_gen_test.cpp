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
#include "io/io_fixture.hpp"

namespace fs = std::filesystem;
using namespace dot11a;
using namespace dot11a::test;

namespace {

class GenTest : public test::FolderTest {
 protected:
  GenTest() : FolderTest("gen") {}
  void SetUp() override {
    if (!fs::exists(std::string(DOT11A_BIN_DIR) + "/dot11a-gen"))
      GTEST_SKIP() << "dot11a-gen not built";
    FolderTest::SetUp();
  }
};

TEST_F(GenTest, SavedParameterFileOpensInTheApplication) {
  gen("--rate 12 --length 100 --mac-header on --window 4 --idle-us 10 --oversampling 4 "
      "--save-params " +
      path("p.mat"));
  ScopedScriptedDialogs script;
  ASSERT_EQ(feval1("loadParameters", {Value(path("p.mat")), Value::empty()}).toScalar(), 1.0);
  const Value& p = global("parameters");
  EXPECT_EQ(p.field("modulation").toScalar(), 2.0);
  EXPECT_EQ(p.field("encoderRate").toScalar(), 0.5);
  EXPECT_EQ(p.field("dataLength").toScalar(), 100.0);
  EXPECT_EQ(p.field("MACheader").field("Active").toScalar(), 1.0);
  EXPECT_EQ(p.field("idleSamples").toScalar(), 800.0);
  EXPECT_EQ(p.fieldNames(), defaultParameters().fieldNames());
  // The file works as a starting point and keeps what it held.
  gen("--params " + path("p.mat") + " --fcs on --save-params " + path("q.mat"));
  ASSERT_EQ(feval1("loadParameters", {Value(path("q.mat")), Value::empty()}).toScalar(), 1.0);
  EXPECT_EQ(global("parameters").field("dataLength").toScalar(), 100.0);
  EXPECT_EQ(global("parameters").field("MACfcs").field("Active").toScalar(), 1.0);
}

}  // namespace

namespace {

int exitCode(const GenRun& r) {
  return WIFEXITED(r.status) ? WEXITSTATUS(r.status) : -1;
}

TEST_F(GenTest, ScramblerSeedIsHexOrDecimalWithADSuffix) {
  const std::vector<std::pair<std::string, double>> cases = {
      {"1d", 1},  {"93d", 93}, {"127D", 127}, {"5d", 5}, {"0x5D", 93},
      {"5A", 90}, {"1", 1},    {"7f", 127},   {"0", 0},  {"0d", 0}};
  for (const auto& [text, seed] : cases) {
    SCOPED_TRACE(text);
    const GenRun r = gen("--scrambler-init " + text + " --save-params " + path("s.mat"));
    ASSERT_EQ(exitCode(r), 0) << r.output;
    const ParameterFileRead read = readParameterFile(path("s.mat"), kParameterFileFormatId);
    ASSERT_TRUE(read.parameters);
    EXPECT_EQ(read.parameters->field("scramblerInit").toScalar(), seed);
  }
}

TEST_F(GenTest, StatedLengthsAreTheFramesNotTheFilesLengthFields) {
  // A file whose derived total length lies: the frame carries 1020 octets of
  // data behind a 30-octet header and the 4-octet FCS.
  Value p = defaultParameters();
  p.setField("dataLength", 1020.0);
  p.field("MACheader").setField("Active", 1.0);
  p.field("MACfcs").setField("Active", 1.0);
  p.setField("totalLength", 5024.0);
  writeParameterFile(path("lie.mat"), p);
  const GenRun r = gen("--params " + path("lie.mat") + " -o " + path("f.sigmf-meta"));
  ASSERT_EQ(exitCode(r), 0) << r.output;
  EXPECT_NE(r.output.find("PSDU 1054 octets"), std::string::npos) << r.output;
  std::ifstream meta(path("f.sigmf-meta"));
  const std::string text{std::istreambuf_iterator<char>(meta), {}};
  EXPECT_NE(text.find("PSDU 1054 octets"), std::string::npos);
  EXPECT_EQ(text.find("5024"), std::string::npos);
}

// The examples of the documents, run as written (in order, in one folder):
// every dot11a-gen command of the three documents and the check that
// follows the receiver-test examples. Downloads need an instrument: the
// instrument suite runs them against the simulator.
TEST_F(GenTest, EveryDocumentedExampleRuns) {
  const fs::path source = fs::path(DOT11A_TEST_DATA_DIR).parent_path().parent_path();
  ASSERT_EQ(exitCode(gen("--save-params " + path("saved.mat"))), 0);
  std::size_t ran = 0;
  for (const char* doc : {"README.md", "docs/dot11a-gen.md", "docs/impairments.md"}) {
    std::ifstream in(source / doc);
    ASSERT_TRUE(in) << doc;
    std::string line, command;
    while (std::getline(in, line)) {
      if (!command.empty()) {
        command += " " + line;
      } else {
        std::string text = line.rfind("$ ", 0) == 0 ? line.substr(2) : line;
        if (text.rfind("build/bin/", 0) == 0) text = text.substr(10);
        const bool verify =
            std::string(doc) == "docs/impairments.md" && text.rfind("dot11a-verify ", 0) == 0;
        if (text.rfind("dot11a-gen", 0) != 0 && !verify) continue;
        command = text;
      }
      if (!command.empty() && command.back() == '\\') {
        command.pop_back();
        continue;
      }
      if (command.find("--download") == std::string::npos) {
        SCOPED_TRACE(std::string(doc) + ": " + command);
        const std::string shell = "cd '" + dir.string() + "' && PATH='" + DOT11A_BIN_DIR +
                                  "':\"$PATH\" " + command + " 2>&1";
        FILE* p = ::popen(shell.c_str(), "r");
        std::string output;
        std::array<char, 512> buf;
        while (std::fgets(buf.data(), buf.size(), p)) output += buf.data();
        const int status = ::pclose(p);
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (command.rfind("dot11a-verify", 0) == 0) {
          // The noise of the example lies over the transmit mask too: a
          // verdict (1), with every frame decoded, not an unusable input (2).
          EXPECT_TRUE(code == 0 || code == 1) << output;
          EXPECT_NE(output.find("\"decoded\": true"), std::string::npos) << output;
          EXPECT_EQ(output.find("\"decoded\": false"), std::string::npos) << output;
        } else {
          EXPECT_EQ(code, 0) << output;
        }
        ++ran;
      }
      command.clear();
    }
  }
  EXPECT_GE(ran, 12u);
}

// The preset by name makes what dot11a-gen makes of the same parameter set.
TEST_F(GenTest, APresetByNameIsTheGeneratorsPreset) {
  writeParameterFile(path("p.mat"), defaultParameters());
  const GenRun r = gen("--params " + path("p.mat") + " --test acr --frames 2 -o " + path("g.mat"));
  ASSERT_EQ(exitCode(r), 0) << r.output;
  EXPECT_NE(r.output.find("sequence:      2 frames, as asked"), std::string::npos) << r.output;
  const Value byName =
      feval1("dot11a_Sequence",
             {defaultParameters(), Value::record({{"test", Value("acr")}, {"frames", 2.0}})});
  EXPECT_EQ(byName.toComplex(), readCapture(path("g.mat")).samples);
}

// Seed 0 is a frame whose scrambler leaves the bits as they are: the same
// samples as the scrambler switched off, from the option, a parameter file
// and by name alike, said so in the summary, and decoded by the receiver
// (a PN payload: unscrambled zeros make spectral lines over the mask).
TEST_F(GenTest, SeedZeroIsTheUnscrambledFrameInEveryFrontEnd) {
  const auto bytes = [&](const std::string& name) {
    std::ifstream in(path(name), std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), {}};
  };
  const GenRun zero =
      gen("--rate 6 --length 50 --source pn9 --scrambler-init 0 --verify -o " + path("z.bin"));
  ASSERT_EQ(exitCode(zero), 0) << zero.output;
  EXPECT_NE(zero.output.find("scrambler:     not scrambled (seed 0)"), std::string::npos);
  ASSERT_EQ(exitCode(gen("--rate 6 --length 50 --source pn9 --no-scrambler -o " + path("off.bin"))),
            0);
  EXPECT_EQ(bytes("z.bin"), bytes("off.bin"));
  Value p = defaultParameters();
  p.setField("scramblerInit", 0.0);
  writeParameterFile(path("zero.mat"), p);
  ASSERT_EQ(exitCode(gen("--params " + path("zero.mat") + " --rate 6 --length 50 --source pn9 -o " +
                         path("file.bin"))),
            0);
  EXPECT_EQ(bytes("file.bin"), bytes("z.bin"));
  Value off = defaultParameters();
  off.setField("scramblerActive", 0.0);
  EXPECT_EQ(feval1("dot11a_Sequence", {p}).toComplex(),
            feval1("dot11a_Sequence", {off}).toComplex());
  // A stepping seed has no step from 0: refused, not silently left at 0.
  const GenRun step = gen("--scrambler-init 0 --frames 3 --seed-step");
  EXPECT_EQ(exitCode(step), 1);
  EXPECT_NE(step.output.find("seed 0 leaves every frame unscrambled"), std::string::npos);
}

}  // namespace
