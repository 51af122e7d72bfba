// The receiver's bit-level stages against the transmitter's: the Viterbi
// decoder undoes the punctured encoder and corrects errors; the seed search
// inverts the scrambler.
#include <gtest/gtest.h>

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
    Bits msg(600);
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

TEST(RxViterbi, VectorAndPlainForwardPassesAgreeOnNoisyInput) {
  // Noisy soft values of every size, ties (zeros) included, over long
  // stretches where the metrics are renormalised many times.
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0.0f, 0.9f);
  for (double rate : {kRate1_2, kRate2_3, kRate3_4}) {
    SCOPED_TRACE(rate);
    Bits msg(3000);
    for (auto& b : msg) b = static_cast<std::uint8_t>(rng() & 1u);
    std::vector<float> soft = softOf(convolEncode(msg, rate));
    for (std::size_t i = 0; i < soft.size(); ++i)
      soft[i] = i % 29 == 0 ? 0.0f : soft[i] + noise(rng);
    for (bool terminated : {false, true})
      EXPECT_EQ(viterbiDecodeWith(soft, rate, msg.size(), terminated, true),
                viterbiDecodeWith(soft, rate, msg.size(), terminated, false));
    // Noise-free values with erased stretches tie the metrics exactly: both
    // passes must break every tie the same way.
    std::vector<float> erased = softOf(convolEncode(msg, rate));
    for (std::size_t i = 0; i < erased.size(); ++i)
      if (i % 61 < 20) erased[i] = 0.0f;
    for (bool terminated : {false, true})
      EXPECT_EQ(viterbiDecodeWith(erased, rate, msg.size(), terminated, true),
                viterbiDecodeWith(erased, rate, msg.size(), terminated, false));
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
