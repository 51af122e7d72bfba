// dot11a_Verify by name: a frame made by dot11a_FRAME comes back as a record
// with its PSDU bits and measurements.
#include <gtest/gtest.h>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "dot11a/synthesis.hpp"

using dot11a::Value;

namespace {

class VerifyOperation : public dot11a::test::LibraryTest {};

TEST_F(VerifyOperation, ReturnsThePsduAndTheMeasurements) {
  dot11a::FrameSettings s;
  s.dataRate = 48;
  s.data.modulation = 4;
  s.data.encoderRate = dot11a::kRate2_3;
  s.data.oversampling = 2;
  s.data.windowLength = 2;
  dot11a::Bits psdu(8 * 30);
  for (std::size_t i = 0; i < psdu.size(); ++i)
    psdu[i] = static_cast<std::uint8_t>((i * 7 / 3) & 1);
  const dot11a::Frame f = dot11a::synthesizeFrame(s, psdu);
  const Value report = dot11a::feval1(
      "dot11a_Verify", {Value::row(std::span<const dot11a::cplx>(f.waveform)), Value(40e6)});
  ASSERT_TRUE(report.isRecord());
  EXPECT_EQ(report.field("pass").toScalar(), 1.0);
  const Value& frames = report.field("frames");
  ASSERT_EQ(frames.numel(), 1u);
  const Value& fr = frames.cellAt(0);
  EXPECT_EQ(fr.field("psduBits").toBits(), psdu);
  EXPECT_EQ(fr.field("rateMbps").toScalar(), 48);
  EXPECT_EQ(fr.field("start").toScalar(), 1);
  EXPECT_LT(fr.field("evmDb").toScalar(), -60);
  EXPECT_EQ(fr.field("evmPerSubcarrierDb").numel(), 53u);
  EXPECT_EQ(fr.field("fcs").str(), "none");

  const Value none = dot11a::feval1("dot11a_Verify", {Value::row({0.0, 0.0, 0.0})});
  EXPECT_EQ(none.field("pass").toScalar(), 0.0);
  EXPECT_EQ(none.field("frames").numel(), 0u);
  EXPECT_FALSE(none.field("problem").str().empty());
  EXPECT_THROW(dot11a::feval1("dot11a_Verify", {Value::row({1.0}), Value(-5.0)}), dot11a::Error);
  EXPECT_THROW(dot11a::feval1("dot11a_Verify", {Value::row({1.0}), Value(20e6), Value("maybe")}),
               dot11a::Error);
}

}  // namespace
