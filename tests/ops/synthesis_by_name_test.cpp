// The synthesis chain against the worked example of IEEE 802.11a-1999 Annex G,
// and laws that hold for every rate, oversampling ratio and window length.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <thread>

#include "common/library_fixture.hpp"
#include "common/reference_data.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/synthesis.hpp"

using dot11a::Bits;
using dot11a::cplx;
using dot11a::Samples;
using dot11a::Value;
using namespace dot11a::test;  // the example's tables

namespace {

Bits annexPayload() {
  return dot11a::bytesToBits(annexGOctets());
}

dot11a::FrameSettings annexSettings() {
  dot11a::FrameSettings s;
  s.data = {true, 0, 3, 0.75, true, 93, true, 1, 1, false};
  s.dataRate = 36;
  s.idleSamples = 0;
  return s;
}

TEST(AnnexG, OperationsByNameGiveTheSameWaveform) {
  dot11a::test::useLibrary();
  std::vector<double> bits;
  for (auto b : annexPayload()) bits.push_back(b);
  const Value out = mlfDot11a_FRAME(nullptr, Value(1.0), Value::row(bits), Value(0.0), Value(36.0),
                                    Value(3.0), Value(0.75), Value(1.0), Value(93.0), Value(1.0),
                                    Value::row(std::vector<double>(53, 1.0)), Value(1.0),
                                    Value(1.0), Value(0.0), Value(0.0), Value(0.0));
  const dot11a::Frame f = dot11a::synthesizeFrame(annexSettings(), annexPayload());
  ASSERT_EQ(out.numel(), f.waveform.size());
  for (std::size_t i = 0; i < f.waveform.size(); ++i) ASSERT_EQ(out.complexAt(i), f.waveform[i]);
}

class SynthesisOps : public dot11a::test::LibraryTest {};

TEST_F(SynthesisOps, SignalRateMappingIsASubFunction) {
  EXPECT_FALSE(dot11a::isCallable("dot11a_SIGNAL_RateMapping"));
  const Value mask = Value::row(std::vector<double>(64, 1.0));
  const Value sig =
      mlfDot11a_SIGNAL(Value(36.0), Value(100.0), Value(1.0), Value(0.0), mask, Value(0.0));
  EXPECT_EQ(sig.numel(), 80u);
  EXPECT_EQ(mlfDot11a_CyclicPrefix(Value::row({1, 2, 3, 4, 5, 6, 7, 8}), Value(0.25)),
            Value::row({7, 8, 1, 2, 3, 4, 5, 6, 7, 8}));
  std::vector<double> r(53);
  for (int i = 0; i < 53; ++i) r[i] = i + 1;
  const Value mapped = mlfDot11a_CarrierMapping(Value::row(r), Value(1.0));
  EXPECT_EQ(mapped.real(0), 27);
  EXPECT_EQ(mapped.real(27), 0);
  EXPECT_EQ(mapped.real(38), 1);
  EXPECT_EQ(mlfDot11a_SYNC(Value(1.0), Value(4.0), mask, Value(0.0)).numel(), 324u);
  const Value none =
      mlfDot11a_DATA(Value(0.0), Value::empty(), Value(0.0), Value(6.0), Value(1.0), Value(0.5),
                     Value(1.0), Value(93.0), Value(1.0), Value(1.0), Value(0.0), mask, Value(0.0));
  EXPECT_TRUE(none.isEmpty());
  const Value one = Value::row({1.0});
  EXPECT_TRUE(mlfDot11a_Oversample(&one, nullptr).isEmpty());
}

}  // namespace
