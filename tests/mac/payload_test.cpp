// Payload sources: the fixed patterns, the pseudo-random sequences, the header
// and FCS around the payload, and payload files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "common/test_folder.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/payload.hpp"
#include "pn_check.hpp"

using dot11a::Bits;
using dot11a::test::bitsFrom;
using dot11a::test::bitsToString;

namespace {

class PayloadSources : public ::testing::Test {};

// A wrong but still primitive feedback entry keeps every period test happy;
// the first 32 bits of each order (seed all ones) tell the entries apart.
TEST_F(PayloadSources, FirstBitsOfEveryOrderFollowItsFeedbackEntry) {
  constexpr std::uint32_t kFirst32[] = {
      0xe9d3a74e, 0xf591eb23, 0xf9a42bb1, 0xfd59bb49, 0xfea99dd2, 0xff214faa,
      0xff83df17, 0xffc713b2, 0xffe00c07, 0xfff5a2ac, 0xfffa1792, 0xfffdb6e7,
      0x0001fffb, 0xffff4e91, 0xffff8e38, 0xffffc07f, 0xffffed70, 0xfffff1c7,
      0xfffff999, 0xfffffd55, 0x000001ff, 0xffffff6c, 0xffffff8e, 0xffffffdb,
      0xffffffed, 0xfffffff1, 0x00000007, 0xfffffffd, 0x00000001};  // orders 3 to 31
  const auto word = [](const Bits& b) {
    std::uint32_t w = 0;
    for (std::size_t i = 0; i < 32; ++i) w = (w << 1) | b[i];
    return w;
  };
  for (int n = 3; n <= 31; ++n)
    EXPECT_EQ(word(dot11a::pnSequence(n, 32)), kFirst32[n - 3]) << "order " << n;
  EXPECT_EQ(word(dot11a::pnSequence(20, 32, false, {}, true)), 0xfffff000u);
}

TEST_F(PayloadSources, EveryTableEntryIsPrimitive) {
  for (int n = 3; n <= 31; ++n) {
    EXPECT_TRUE(dot11a::test::isPrimitive(n, dot11a::pnPolynomial(n).exponents)) << n;
  }
  EXPECT_TRUE(dot11a::test::isPrimitive(20, dot11a::pnPolynomial(20, true).exponents));
  // The three-tap recurrence 24, 7, 2 is not: its period falls short.
  EXPECT_FALSE(dot11a::test::isPrimitive(24, {24, 7, 2}));
}

TEST_F(PayloadSources, SequencesOfOrdersUpTo20HaveFullPeriod) {
  for (int n = 3; n <= 20; ++n) {
    const std::size_t period = (std::size_t{1} << n) - 1;
    const Bits seq = dot11a::pnSequence(n, period + static_cast<std::size_t>(n));
    EXPECT_TRUE(dot11a::test::isMaximalLength(seq, n, dot11a::pnPolynomial(n).invert))
        << "order " << n;
  }
}

// ---- payload files -----------------------------------------------------------

}  // namespace
