// Scramblers, convolutional encoder with puncturing, and interleaver.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "common/library_fixture.hpp"
#include "common/reference_data.hpp"
#include "dot11a/bitcoding.hpp"

using dot11a::Bits;
using dot11a::Value;
using dot11a::test::annexG;
using dot11a::test::bitsFrom;
using dot11a::test::bitsToString;
using dot11a::test::bitTable;

namespace {

const Bits kSeed93 = bitsFrom("1011101");  // 93, least significant bit first

TEST(Scrambler, FrameSynchronousSequenceOfTheStandardsExample) {
  const Bits zeros(40, 0);
  EXPECT_EQ(bitsToString(dot11a::scramble(zeros, kSeed93)),
            bitsToString(bitsFrom("01101100 00011001 10101001 11001111 01101000")));
}

TEST(Scrambler, FrameSynchronousScramblesTheAnnexDataBits) {
  const auto& g = annexG();
  // The first 144 DATA bits are scrambled from the start of the sequence.
  EXPECT_EQ(bitsToString(dot11a::scramble(bitTable(g["data_bits_first_144"]), kSeed93)),
            bitsToString(bitTable(g["data_bits_scrambled_first_144"])));
}

TEST(Scrambler, FrameSynchronousIsItsOwnInverseAndDoesNotFeedBackData) {
  std::mt19937 rng(7);
  Bits msg(1000);
  for (auto& b : msg) b = rng() & 1u;
  EXPECT_EQ(dot11a::scramble(dot11a::scramble(msg, kSeed93), kSeed93), msg);
  EXPECT_EQ(bitsToString(dot11a::scramble(bitsFrom("10000000"), Bits(7, 0))), "10000000");
}

TEST(Scrambler, SelfSynchronisingFormOfTheUtility) {
  EXPECT_EQ(bitsToString(dot11a::scrambleSelfSync(bitsFrom("10000000"), Bits(7, 0))), "10001001");
  // 127 zeros from all ones: the pilot polarity sequence in bit form.
  const Bits seq = dot11a::scrambleSelfSync(Bits(127, 0), Bits(7, 1));
  EXPECT_EQ(bitsToString(seq).substr(0, 47),
            bitsToString(bitsFrom("00001110 11110010 11001001 00000010 00100110 0010111")));
  // A maximal-length sequence: 64 ones in a period of 127, and the same sequence
  // as the frame-synchronous form gives for an all-zero message.
  EXPECT_EQ(std::count(seq.begin(), seq.end(), 1), 64);
  EXPECT_EQ(seq, dot11a::scramble(Bits(127, 0), Bits(7, 1)));
  EXPECT_TRUE(dot11a::scrambleSelfSync({}, Bits(7, 1)).empty());
}

TEST(ConvolEncoder, ImpulseResponseAtEveryRate) {
  const Bits impulse = bitsFrom("1000000");
  EXPECT_EQ(bitsToString(dot11a::convolEncode(impulse, 0.5)), "11011111001011");
  EXPECT_EQ(bitsToString(dot11a::convolEncode(impulse, dot11a::kRate2_3)), "11011100111");
  EXPECT_EQ(bitsToString(dot11a::convolEncode(impulse, 0.75)), "1101110011");
  EXPECT_EQ(bitsToString(dot11a::convolEncode(impulse, 1.0)), "11011111001011");
  EXPECT_TRUE(dot11a::convolEncode({}, 0.75).empty());
}

TEST(ConvolEncoder, LengthsMatchThePuncturingForEveryInputLength) {
  EXPECT_EQ(dot11a::convolEncode(Bits(12, 1), 0.5).size(), 24u);
  EXPECT_EQ(dot11a::convolEncode(Bits(12, 1), dot11a::kRate2_3).size(), 18u);
  EXPECT_EQ(dot11a::convolEncode(Bits(12, 1), 0.75).size(), 16u);
  // The streaming puncturer agrees with removing positions from the full stream.
  for (std::size_t n = 0; n < 40; ++n) {
    Bits in(n);
    for (std::size_t i = 0; i < n; ++i) in[i] = (i * 7 + 3) % 5 < 2;
    const Bits full = dot11a::convolEncode(in, 0.5);
    Bits two, first, three;
    for (std::size_t p = 1; p <= full.size(); ++p) {
      if (p % 4 != 0) two.push_back(full[p - 1]);
      if (p % 6 != 4) first.push_back(full[p - 1]);
    }
    for (std::size_t q = 1; q <= first.size(); ++q)
      if (q % 5 != 4) three.push_back(first[q - 1]);
    EXPECT_EQ(dot11a::convolEncode(in, dot11a::kRate2_3), two) << n;
    EXPECT_EQ(dot11a::convolEncode(in, 0.75), three) << n;
    EXPECT_EQ(dot11a::encodedLength(n, 0.75), three.size());
  }
}

TEST(ConvolEncoder, EncodesTheAnnexSignalField) {
  const auto& g = annexG();
  const Bits coded = dot11a::convolEncode(bitTable(g["signal_field_bits"]), 0.5);
  EXPECT_EQ(bitsToString(coded), bitsToString(bitTable(g["signal_field_coded_bits"])));
  EXPECT_EQ(bitsToString(dot11a::interleave(coded)),
            bitsToString(bitTable(g["signal_field_interleaved_bits"])));
}

TEST(Interleaver, KnownPositionsAndPermutationProperty) {
  auto perm48 = dot11a::interleaverPermutation(48);
  const std::pair<int, int> cases48[] = {{0, 0}, {1, 3}, {2, 6}, {16, 1}, {17, 4}, {47, 47}};
  for (auto [k, j] : cases48) EXPECT_EQ(perm48[k], j) << k;
  EXPECT_EQ(dot11a::interleaverPermutation(192)[1], 13);
  EXPECT_EQ(dot11a::interleaverPermutation(192)[2], 24);
  EXPECT_EQ(dot11a::interleaverPermutation(288)[1], 20);
  EXPECT_EQ(dot11a::interleaverPermutation(288)[2], 37);
  for (std::size_t n : {48u, 96u, 192u, 288u}) {
    auto p = dot11a::interleaverPermutation(n);
    std::vector<std::uint16_t> sorted(p.begin(), p.end());
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::uint16_t> iota(n);
    std::iota(iota.begin(), iota.end(), 0);
    EXPECT_EQ(sorted, iota) << n;
  }
  EXPECT_THROW(dot11a::interleave(Bits(50, 0)), dot11a::Error);
}

TEST(Interleaver, FirstAnnexDataSymbol) {
  const auto& g = annexG();
  EXPECT_EQ(bitsToString(dot11a::interleave(bitTable(g["first_data_symbol_coded_bits"]))),
            bitsToString(bitTable(g["first_data_symbol_interleaved_bits"])));
}

class BitCodingOps : public ::testing::Test {};

}  // namespace
