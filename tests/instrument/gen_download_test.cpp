// dot11a-gen --download: the generated frame reaches the simulated instrument
// and plays; an unusable address ends with a non-zero exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "sim_process.hpp"

namespace dot11a {
namespace {

int runGen(const std::string& args) {
  const std::string cmd = std::string(DOT11A_BIN_DIR) + "/dot11a-gen " + args + " >/dev/null 2>&1";
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(GenDownload, DefaultFrameIsStoredAndPlayed) {
  test::SimProcess sim;
  ASSERT_EQ(runGen("--download tcpip:" + sim.address() + " --title GEN_1 --frequency 5.2e9"), 0);
  // The default frame: 11040 samples of 4 bytes (I and Q), one marker byte each.
  EXPECT_EQ(sim.readFile("GEN_1.iq").size(), 11040u * 4);
  EXPECT_EQ(sim.readFile("GEN_1.mkr").size(), 11040u);
  const auto sent = sim.commands();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), " :output:state on");
  bool frequency = false;
  for (const auto& c : sent) frequency |= c == " :source:freq:fix 5200000000Hz";
  EXPECT_TRUE(frequency);
}

TEST(GenDownload, UnusableAddressFails) {
  EXPECT_NE(runGen("--download tcpip:0.0.0.0"), 0);
  EXPECT_NE(runGen("--download bogus:1"), 0);
}

}  // namespace
}  // namespace dot11a
