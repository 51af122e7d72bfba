// The rate table, the frame layout and the parameter bounds: one fact each,
// and every user of it agreeing with the others.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/library_fixture.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/size_estimate.hpp"
#include "dot11a/synthesis.hpp"

using dot11a::Value;

namespace {

class FrameModel : public ::testing::Test {};

TEST(RateTable, EntriesAreConsistentAndReachableEveryWay) {
  for (const dot11a::RateEntry& e : dot11a::kRateTable) {
    SCOPED_TRACE(e.mbps);
    EXPECT_EQ(e.nbpsc, dot11a::bitsPerSubcarrier(e.modulation));
    EXPECT_EQ(e.ncbps, 48 * e.nbpsc);
    EXPECT_EQ(e.ndbps * e.coding.den, e.ncbps * e.coding.num);
    // 48 data sub-carriers at 250 k symbols per second.
    EXPECT_EQ(e.ndbps / 4, e.mbps);
    EXPECT_EQ(dot11a::rateByMbps(e.mbps), &e);
    EXPECT_EQ(dot11a::rateOf(e.modulation, e.coding.value()), &e);
    EXPECT_EQ(dot11a::rateBySignalBits(e.signalRateBits), &e);
    const dot11a::Bits r = dot11a::rateBits(e.mbps);
    EXPECT_EQ(dot11a::Bits(e.signalRateBits.begin(), e.signalRateBits.end()), r);
    EXPECT_EQ(dot11a::dataRateFor(static_cast<double>(e.modulation), e.coding.value()), e.mbps);
  }
  EXPECT_EQ(dot11a::rateByMbps(7), nullptr);
  EXPECT_EQ(dot11a::rateOf(dot11a::Modulation::BPSK, 2.0 / 3.0), nullptr);
  EXPECT_EQ(dot11a::codingRateText(0.6666666666666666), "2/3");
  EXPECT_EQ(dot11a::codingRateText(1), "uncoded");
  EXPECT_EQ(dot11a::codingRateText(0.3), "");
}

// The layout's total and burst are what the synthesis produces, for framed and
// unframed frames, every modulation and coding rate, windows and idle times.
TEST_F(FrameModel, LayoutIsWhatTheSynthesisProduces) {
  const double rates[] = {1, 0.5, 2.0 / 3.0, 0.75};
  int checked = 0;
  for (bool framed : {true, false})
    for (int mod = 1; mod <= 4; ++mod)
      for (double rate : rates)
        for (int os : {1, 2})
          for (int w : {0, 3})
            for (long long idle : {0LL, 1LL, 101LL}) {
              dot11a::FrameSettings s;
              s.data.framed = framed;
              s.data.modulation = mod;
              s.data.encoderRate = rate;
              s.data.oversampling = os;
              s.data.windowLength = w;
              s.idleSamples = idle;
              const dot11a::Bits payload(8 * 37, 1);
              const dot11a::Frame f = dot11a::synthesizeFrame(s, payload);
              const dot11a::FrameLayout l =
                  dot11a::frameLayout(dot11a::frameShape(s, payload.size()));
              ASSERT_EQ(f.waveform.size(), l.total) << framed << mod << rate << os << w << idle;
              EXPECT_EQ(l.total % 2, 0u);
              EXPECT_EQ(l.data.size(), l.dataSymbols * 80 * static_cast<std::size_t>(os));
              EXPECT_EQ(l.idle.end, l.total);
              std::size_t burst = 0;
              for (auto m : f.marker2) burst += m;
              EXPECT_EQ(burst, std::min(l.burstEnd, l.total));
              if (framed) {
                EXPECT_EQ(l.signal.begin, 320u * static_cast<std::size_t>(os));
                EXPECT_EQ(l.data.begin, l.signal.end);
              } else {
                EXPECT_EQ(l.preamble.size() + l.signal.size(), 0u);
              }
              ++checked;
            }
  EXPECT_EQ(checked, 384);
}

TEST(ParameterBounds, RangesClampsAndTexts) {
  EXPECT_EQ(dot11a::rangeText(dot11a::parameterBound("scramblerInit")), "0 to 7F");
  EXPECT_EQ(dot11a::rangeText(dot11a::parameterBound("serviceField")), "0 to FFFF");
  EXPECT_EQ(dot11a::rangeText(dot11a::parameterBound("WindowingLength")), "0 to 16");
  EXPECT_EQ(dot11a::rangeText(dot11a::parameterBound("dataLength")), "1 to 4095");
  EXPECT_EQ(dot11a::rangeText(dot11a::idleIntervalBound()), "0 to 1000");
  // The idle samples hold the longest interval at the highest oversampling.
  EXPECT_EQ(dot11a::parameterBound("idleSamples").hi, 1000 * 20 * 4);
  const dot11a::ParameterBound& w = dot11a::parameterBound("WindowingLength");
  EXPECT_EQ(dot11a::clampEntry(w, 40), 16);
  EXPECT_EQ(dot11a::clampEntry(w, -3), 0);
  EXPECT_EQ(dot11a::clampEntry(w, std::nullopt), 16);
  EXPECT_TRUE(dot11a::withinBounds(dot11a::parameterBound("encoderRate"), 2.0 / 3.0));
  EXPECT_FALSE(dot11a::withinBounds(dot11a::parameterBound("modulation"), 2.5));
  EXPECT_THROW(dot11a::parameterBound("noSuchField"), dot11a::Error);
}

}  // namespace
