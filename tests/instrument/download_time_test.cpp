// A misbehaving instrument cannot hold dot11a-gen --download for longer than
// the stated number of time-outs: an instrument that stops answering ends the
// download at once, one whose error queue never empties is read for a bounded
// time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "dot11a/instrument.hpp"
#include "sim_process.hpp"

namespace dot11a {
namespace {

struct GenRun {
  int status = -1;
  std::string output;
  double seconds = 0;
};

GenRun downloadTo(const test::SimProcess& sim, double timeout) {
  const std::string cmd = std::string(DOT11A_BIN_DIR) +
                          "/dot11a-gen --download tcpip:" + sim.address() + " --io-timeout " +
                          std::to_string(timeout) + " 2>&1";
  GenRun r;
  const auto start = std::chrono::steady_clock::now();
  if (std::FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p) != nullptr) r.output += buf;
    const int rc = ::pclose(p);
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

TEST(DownloadTime, AMisbehavingInstrumentIsLeftWithinTheStatedTimeOuts) {
  const double timeout = 0.5;
  {
    // Silent from the second playback command on: gone, nothing more is tried.
    test::SimProcess sim({"--freeze-on", ":source:rad:arb:wav"});
    const GenRun r = downloadTo(sim, timeout);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("No answer"), std::string::npos) << r.output;
    EXPECT_LT(r.seconds, 4 * timeout) << r.output;
  }
  {
    // Each error-queue query answered late, with yet another error.
    test::SimProcess sim({"--endless-errors", "--answer-delay", "0.4"});
    const GenRun r = downloadTo(sim, timeout);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("-200,\"Execution error\""), std::string::npos) << r.output;
    EXPECT_LT(r.seconds, kExchangeTimeouts * timeout) << r.output;
  }
}

}  // namespace
}  // namespace dot11a
