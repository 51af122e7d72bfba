// The size estimate against the waveforms the frame assembler really returns,
// and the calculation end to end.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/size_estimate.hpp"

using dot11a::Value;

namespace {

class FrameLength : public dot11a::test::LibraryTest {};

std::string describe(const Value& p) {
  std::ostringstream s;
  for (const char* f : {"generationMode", "modulation", "encoderRate", "OverSampling",
                        "WindowingLength", "idleSamples", "dataSourceType", "dataLength"})
    s << f << "=" << p.field(f).toScalar() << " ";
  s << "header=" << p.field("MACheader").field("Active").toScalar()
    << " fcs=" << p.field("MACfcs").field("Active").toScalar();
  return s.str();
}

TEST_F(FrameLength, EstimateEqualsTheWaveformLengthForAnyParameterSet) {
  std::mt19937 rng(2024);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const double rates[] = {1, 0.5, 0.6666666666666666, 0.75};
  for (int run = 0; run < 80; ++run) {
    Value p = dot11a::defaultParameters();
    p.setField("generationMode", static_cast<double>(pick(0, 1)));
    p.setField("modulation", static_cast<double>(pick(1, 4)));
    p.setField("encoderRate", rates[pick(0, 3)]);
    p.setField("OverSampling", static_cast<double>(pick(1, 4)));
    p.setField("WindowingLength", static_cast<double>(pick(0, 3) == 0 ? 0 : pick(1, 16)));
    // Idle intervals shorter than, equal to and longer than the window; odd ones too.
    const int idleKind = pick(0, 3);
    p.setField("idleSamples", static_cast<double>(idleKind == 0   ? 0
                                                  : idleKind == 1 ? pick(0, 16)
                                                                  : pick(17, 401)));
    p.setField("dataSourceType", static_cast<double>(pick(1, 6)));
    p.setField("dataLength", static_cast<double>(pick(1, 300)));
    p.field("MACheader").setField("Active", static_cast<double>(pick(0, 1)));
    p.field("MACfcs").setField("Active", static_cast<double>(pick(0, 1)));
    dot11a::updateDerivedFields(p);

    const auto frame = dot11a::calculateFrame(p);
    const auto expected =
        static_cast<std::size_t>(dot11a::feval1("dot11a_SizeEst", {p}).toScalar());
    EXPECT_EQ(frame.waveform.numel(), expected) << describe(p);
    EXPECT_EQ(p.field("ProjectedLength").toScalar(), static_cast<double>(expected));
    EXPECT_EQ(frame.markers.cols(), frame.waveform.numel()) << describe(p);
  }
}

TEST_F(FrameLength, CalculationOfTheDefaultsAndOfTheLargestFrame) {
  Value p = dot11a::defaultParameters();
  auto frame = dot11a::calculateFrame(p);
  EXPECT_EQ(frame.waveform.numel(), dot11a::sizeEstimate(p));
  EXPECT_EQ(frame.markers.rows(), 2u);

  // 4095 octets with header and FCS is still a frame, and not all zeros.
  p.setField("dataSourceType", 5.0);
  p.setField("dataLength", 4061.0);
  p.field("MACheader").setField("Active", 1.0);
  p.field("MACfcs").setField("Active", 1.0);
  p.setField("OverSampling", 1.0);
  frame = dot11a::calculateFrame(p);
  EXPECT_EQ(frame.waveform.numel(), dot11a::sizeEstimate(p));
  bool anyNonZero = false;
  for (double v : frame.waveform.re()) anyNonZero = anyNonZero || v != 0;
  EXPECT_TRUE(anyNonZero);
  // One more octet is refused before synthesis.
  p.setField("dataLength", 4062.0);
  EXPECT_THROW(dot11a::calculateFrame(p), dot11a::Error);
}

}  // namespace
