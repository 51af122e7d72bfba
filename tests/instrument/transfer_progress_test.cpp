// A download's progress reports: every byte of both data commands counted,
// in order, up to the total, while the instrument receives what it always did.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/library_fixture.hpp"
#include "dot11a/instrument.hpp"
#include "sim_process.hpp"

namespace dot11a {
namespace {

using test::SimProcess;

class TransferProgress : public test::LibraryTest {};

TEST_F(TransferProgress, CountsEveryByteOfBothCommandsAndChangesNothingSent) {
  // 300 000 samples: 1.2 MB of I/Q, more than one socket write.
  std::vector<cplx> s(300000);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = std::polar(0.5, 0.01 * double(i));
  const Value iq = Value::row(std::span<const cplx>(s));
  auto config = [](const SimProcess& sim) {
    Value c = configFromAddress("tcpip:" + sim.address());
    c.setField("timeout", 10.0);
    return c;
  };
  SimProcess quiet, watched;
  ASSERT_TRUE(hwDownload(config(quiet), iq, Value(), "W").ok());
  std::vector<std::pair<std::uint64_t, std::uint64_t>> heard;
  const IoResult r =
      hwDownload(config(watched), iq, Value(), "W",
                 [&](std::uint64_t sent, std::uint64_t total) { heard.emplace_back(sent, total); });
  ASSERT_TRUE(r.ok()) << r.response;
  // The same bytes reach the instrument with or without a listener.
  EXPECT_EQ(watched.readFile("W.iq"), quiet.readFile("W.iq"));
  EXPECT_EQ(watched.readFile("W.mkr"), quiet.readFile("W.mkr"));
  // ':MEM:DATA "arbi:W",#7<7 digits><data>\n' and the marker command.
  const std::uint64_t total = (19 + 9 + s.size() * 4 + 1) + (18 + 8 + s.size() + 1);
  ASSERT_GT(heard.size(), 2u);
  for (std::size_t i = 0; i < heard.size(); ++i) {
    EXPECT_EQ(heard[i].second, total);
    if (i > 0) {
      EXPECT_GE(heard[i].first, heard[i - 1].first);  // repeated while the connection is full
    }
  }
  EXPECT_EQ(heard.back().first, total);
}

// The count is what the instrument took, not what the connection's buffers
// swallowed: an instrument that stops reading after 100 kB is never shown
// as having most of a 1.2 MB waveform, and the transfer fails within its
// time-out, saying how much was taken.
TEST_F(TransferProgress, CountsWhatAStalledInstrumentTook) {
  std::vector<cplx> s(300000, cplx(0.5, 0.25));
  SimProcess stalled({"--stall-after", "100000"});
  Value config = configFromAddress("tcpip:" + stalled.address());
  config.setField("timeout", 1.0);
  std::uint64_t most = 0, total = 0;
  const IoResult r = hwDownload(config, Value::row(std::span<const cplx>(s)), Value(), "W",
                                [&](std::uint64_t taken, std::uint64_t all) {
                                  most = std::max(most, taken);
                                  total = all;
                                });
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.response.find("bytes taken"), std::string::npos) << r.response;
  ASSERT_GT(total, 1'000'000u);
  EXPECT_GE(most, 50'000u);
  EXPECT_LT(most, total / 2);
}

}  // namespace
}  // namespace dot11a
