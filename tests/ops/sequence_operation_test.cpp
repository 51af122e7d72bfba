// dot11a_Sequence by name against the typed calls it stands for: the same
// frames, impairments, draws and markers; options it does not know refused.
#include <gtest/gtest.h>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "dot11a/frame_sequence.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/parameters.hpp"

using dot11a::Value;

namespace {

class SequenceOperation : public dot11a::test::LibraryTest {};

TEST_F(SequenceOperation, MatchesTheTypedSequenceAndImpairments) {
  Value p = dot11a::defaultParameters();
  p.setField("dataLength", 60.0);
  const Value options = Value::record({
      {"frames", 3.0},
      {"gapUs", Value("SIFS")},
      {"seedStep", Value::logical(true)},
      {"iq", Value::record({{"gainDb", 0.5}, {"phaseDeg", 2.0}})},
      {"channel", Value::record({{"rmsDelayNs", 50.0}, {"ricianKDb", 6.0}})},
      {"cfoHz", 30e3},
      {"clockPpm", 20.0},
      {"snrDb", 25.0},
      {"seed", 9.0},
  });
  const std::vector<Value> out = dot11a::feval("dot11a_Sequence", 2, {p, options});

  dot11a::SequenceRequest q;
  q.frames = 3;
  q.gapUs = 16;
  q.seedStep = true;
  dot11a::impair::Settings s;
  s.iq = dot11a::impair::IqImbalance{0.5, 2.0};
  s.channel = dot11a::impair::Channel{50.0, 6.0};
  s.cfoHz = 30e3;
  s.clockPpm = 20;
  s.snrDb = 25;
  s.seed = 9;
  const dot11a::SequenceResult r = dot11a::buildSequence(p, q);
  const dot11a::Samples x =
      dot11a::impair::apply(r.sequence.waveform, r.sampleRate, r.sequence.bursts, s);
  ASSERT_EQ(out[0].toComplex(), x);
  const std::vector<double> m = dot11a::impair::sequenceMarkers(r.sequence.bursts, s, x.size());
  ASSERT_EQ(out[1].rows(), 2u);
  ASSERT_EQ(out[1].numel(), m.size());
  std::size_t starts = 0;
  for (std::size_t i = 0; i < m.size(); ++i) {
    EXPECT_EQ(out[1].real(i), m[i]) << i;
    starts += i % 2 == 0 && m[i] == 1;
  }
  EXPECT_EQ(starts, 3u);
}

TEST_F(SequenceOperation, RefusesUnknownAndOutOfRangeSettingsByName) {
  const Value p = dot11a::defaultParameters();
  const auto message = [&](Value options) {
    return dot11a::test::errorOf([&] { dot11a::feval("dot11a_Sequence", 2, {p, options}); });
  };
  EXPECT_NE(message(Value::record({{"snr", 20.0}})).find("\"options.snr\" is not a setting"),
            std::string::npos);
  EXPECT_NE(message(Value::record({{"channel", Value::record({{"rmsDelay", 50.0}})}}))
                .find("channel.rmsDelay"),
            std::string::npos);
  EXPECT_NE(message(Value::record({{"frames", 0.0}})).find("\"frames\""), std::string::npos);
  EXPECT_NE(message(Value::record({{"snrDb", 500.0}})).find("SNR"), std::string::npos);
}

}  // namespace
