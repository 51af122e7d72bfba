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

class BitCodingOps : public dot11a::test::LibraryTest {};

TEST_F(BitCodingOps, OperationsWorkOnDoubleRows) {
  EXPECT_EQ(mlfScrambler_7bit_741(Value::row({1, 0, 0, 0, 0, 0, 0, 0}), Value::zeros(1, 7)),
            Value::row({1, 0, 0, 0, 1, 0, 0, 1}));
  EXPECT_EQ(mlfDot11a_Scramble(Value::row({1, 0, 0, 0, 0, 0, 0, 0}), Value::zeros(1, 7)),
            Value::row({1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(mlfDot11a_Interleave(Value::empty()).numel(), 0u);
  const Value out = mlfDot11a_ConvolEncode(Value::row({1, 0, 0, 0, 0, 0, 0}), Value(0.75));
  EXPECT_EQ(out, Value::row({1, 1, 0, 1, 1, 1, 0, 0, 1, 1}));
}

}  // namespace
