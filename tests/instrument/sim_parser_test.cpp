// The simulator's command splitting: blocks and line ends arrive in any
// chunking, and arbitrary bytes never crash it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tgx-sim/scpi.hpp"

namespace tgxsim {
namespace {

std::vector<Command> feed(const std::string& stream, std::mt19937& rng) {
  std::vector<Command> out;
  std::string buffer;
  std::size_t at = 0;
  while (at < stream.size()) {
    const std::size_t n = std::min<std::size_t>(stream.size() - at, 1 + rng() % 7);
    buffer.append(stream, at, n);
    at += n;
    while (auto c = nextCommand(buffer)) out.push_back(*c);
  }
  EXPECT_TRUE(buffer.empty());
  return out;
}

TEST(SimParser, CommandsAndBlocksSurviveAnyChunking) {
  const std::string data("\n#\"\x00\xff#9", 7);  // a block may hold line ends, quotes and '#'
  const std::string stream = "*IDN?\n:MEM:DATA \"arbi:A#1\"," + std::string("#17") + data +
                             "\n :source:freq:fix 1Hz\r\n:MEM:DATA \"mkr:A\",#210" + "0123456789\n";
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    const auto cmds = feed(stream, rng);
    ASSERT_EQ(cmds.size(), 4u);
    EXPECT_EQ(cmds[0].text, "*IDN?");
    EXPECT_EQ(cmds[1].block, data);
    EXPECT_EQ(cmds[1].logLine(), ":MEM:DATA \"arbi:A#1\",#7");
    EXPECT_EQ(cmds[2].text, " :source:freq:fix 1Hz");
    EXPECT_EQ(cmds[3].block, "0123456789");
  }
}

TEST(SimParser, ArbitraryBytesNeverCrashTheInstrument) {
  std::mt19937 rng(11);
  const std::string alphabet = ":#\"\n 0123456789?*abcdefgrstuvwxyzMEDAT";
  Instrument sim;
  for (int round = 0; round < 2000; ++round) {
    std::string buffer;
    const std::size_t len = rng() % 64;
    for (std::size_t i = 0; i < len; ++i)
      buffer.push_back(rng() % 4 == 0 ? static_cast<char>(rng())
                                      : alphabet[rng() % alphabet.size()]);
    try {
      while (auto c = nextCommand(buffer)) sim.execute(*c);
    } catch (const std::runtime_error&) {
      // a malformed block header: the server drops such a connection
    }
  }
  Command err;
  err.text = ":SYST:ERR?";
  EXPECT_TRUE(sim.execute(err).has_value());
}

}  // namespace
}  // namespace tgxsim
