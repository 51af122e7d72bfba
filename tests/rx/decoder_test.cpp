// The receiver's bit-level stages against the transmitter's: the Viterbi
// decoder undoes the punctured encoder and corrects errors; the seed search
// inverts the scrambler.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

#include "dot11a/bitcoding.hpp"
#include "dot11a/receiver.hpp"
#include "rx/internal.hpp"

namespace dot11a::rx {
namespace {

std::vector<float> softOf(const Bits& coded) {
  std::vector<float> s(coded.size());
  for (std::size_t i = 0; i < coded.size(); ++i) s[i] = coded[i] ? 1.0f : -1.0f;
  return s;
}

TEST(RxViterbi, UndoesEveryPuncturedRateAndCorrectsScatteredErrors) {
  std::mt19937 rng(99);
  for (double rate : {kRate1_2, kRate2_3, kRate3_4}) {
    SCOPED_TRACE(rate);
    Bits msg(601);
    for (auto& b : msg) b = static_cast<std::uint8_t>(rng() & 1u);
    std::fill(msg.end() - 6, msg.end(), 0);  // tail
    const Bits coded = convolEncode(msg, rate);
    std::vector<float> soft = softOf(coded);
    EXPECT_EQ(viterbiDecode(soft, rate, msg.size(), true), msg);
    // One wrong bit in every 40 and one erasure in every 37 are corrected.
    for (std::size_t i = 5; i < soft.size(); i += 40) soft[i] = -soft[i];
    for (std::size_t i = 11; i < soft.size(); i += 37) soft[i] = 0.0f;
    EXPECT_EQ(viterbiDecode(soft, rate, msg.size(), true), msg);
    // Unterminated: the last bits come from the best final state.
    const Bits open(msg.begin(), msg.end() - 6);
    EXPECT_EQ(viterbiDecode(softOf(convolEncode(open, rate)), rate, open.size(), false), open);
  }
  EXPECT_THROW(viterbiDecode({}, 0.9, 10, false), std::exception);
  EXPECT_TRUE(viterbiDecode({}, kRate1_2, 0, true).empty());
}

TEST(RxViterbi, DecodesNoisyValuesAtAnyScaleAndPastOutliers) {
  // The soft values are quantised with one scale from their mean magnitude:
  // the bits must not depend on the input's scale, from the smallest floats
  // to the largest, nor be flattened by a few very strong values.
  std::mt19937 rng(3);
  std::normal_distribution<float> noise(0.0f, 0.6f);
  Bits msg(2000);
  for (auto& b : msg) b = static_cast<std::uint8_t>(rng() & 1u);
  std::fill(msg.end() - 6, msg.end(), 0);
  const std::vector<float> clean = softOf(convolEncode(msg, kRate1_2));
  std::vector<float> noisy(clean.size());
  for (std::size_t i = 0; i < clean.size(); ++i) noisy[i] = clean[i] + noise(rng);
  ASSERT_EQ(viterbiDecode(noisy, kRate1_2, msg.size(), true), msg);
  for (const float scale : {1e-30f, 1e30f, 3e38f}) {
    std::vector<float> scaled = noisy;
    for (float& v : scaled) v = std::clamp(v * scale, -3e38f, 3e38f);
    EXPECT_EQ(viterbiDecode(scaled, kRate1_2, msg.size(), true), msg) << scale;
  }
  // One value in a hundred a thousand times stronger (a burst), and
  // infinities and NaN, which count as the strongest value and as nothing.
  std::vector<float> bursts = noisy;
  for (std::size_t i = 0; i < bursts.size(); i += 100) bursts[i] = clean[i] * 1000.0f;
  bursts[7] = clean[7] * std::numeric_limits<float>::infinity();
  bursts[9] = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(viterbiDecode(bursts, kRate1_2, msg.size(), true), msg);
}

TEST(RxViterbi, VectorAndPlainForwardPassesAgreeOnNoisyInput) {
  // The vector pass, where the processor has it, against the plain one: noisy values
  // with zeros, noise-free values with erased stretches (exact metric ties),
  // values up to 1e30 with infinities and NaN, and input that runs out early (erasures from there
  // on); lengths around the two-step rounds and the 96-step blocks, over
  // long stretches where the metrics are renormalised many times.
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0.0f, 0.9f);
  std::uniform_real_distribution<float> huge(-1e30f, 1e30f);
  for (double rate : {kRate1_2, kRate2_3, kRate3_4})
    for (std::size_t n : {1, 2, 95, 97, 193, 3001}) {
      SCOPED_TRACE(::testing::Message() << "rate " << rate << ", " << n << " bits");
      Bits msg(n);
      for (auto& b : msg) b = static_cast<std::uint8_t>(rng() & 1u);
      const std::vector<float> clean = softOf(convolEncode(msg, rate));
      std::vector<std::vector<float>> inputs(4, clean);
      for (std::size_t i = 0; i < clean.size(); ++i) {
        inputs[0][i] = i % 29 == 0 ? 0.0f : clean[i] + noise(rng);
        if (i % 61 < 20) inputs[1][i] = 0.0f;
        inputs[2][i] = i % 3 == 0 ? huge(rng) : clean[i] * (i % 5 == 0 ? 1e30f : 1.0f);
        if (i % 11 == 4)
          inputs[2][i] = i % 2 ? std::numeric_limits<float>::quiet_NaN()
                               : clean[i] * std::numeric_limits<float>::infinity();
      }
      inputs[3].resize(clean.size() / 2);
      for (const auto& soft : inputs)
        for (bool terminated : {false, true}) {
          const auto plain = viterbiDecodeWith(soft, rate, n, terminated, ViterbiPass::plain);
          if (viterbiPassAvailable(ViterbiPass::avx2)) {
            ASSERT_EQ(viterbiDecodeWith(soft, rate, n, terminated, ViterbiPass::avx2), plain)
                << "input " << (&soft - inputs.data()) << (terminated ? ", terminated" : "");
          }
        }
    }
}

TEST(RxScrambler, SeedFromTheFirstSevenBitsOfEverySeed) {
  for (unsigned seed = 0; seed < 128; ++seed) {
    Bits state(7);
    for (unsigned i = 0; i < 7; ++i) state[i] = static_cast<std::uint8_t>((seed >> i) & 1u);
    EXPECT_EQ(seedFromFirstBits(scramble(Bits(7, 0), state)), seed);
  }
}

TEST(RxLimits, EvmLimitOfEachRate) {
  EXPECT_EQ(evmLimitDb(6), -5);
  EXPECT_EQ(evmLimitDb(9), -8);
  EXPECT_EQ(evmLimitDb(36), -19);
  EXPECT_EQ(evmLimitDb(54), -25);
  EXPECT_EQ(evmLimitDb(7), 0);
}

}  // namespace
}  // namespace dot11a::rx
