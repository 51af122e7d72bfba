// Full periods of the long pseudo-random sequences (up to 16,777,215 bits);
// filter with --gtest_filter=-Slow* to leave them out.
#include <gtest/gtest.h>

#include "dot11a/payload.hpp"
#include "pn_check.hpp"

namespace {

TEST(SlowPnSequence, OrdersFrom21To24HaveFullPeriod) {
  for (int n = 21; n <= 24; ++n) {
    const std::size_t period = (std::size_t{1} << n) - 1;
    const dot11a::Bits seq = dot11a::pnSequence(n, period + static_cast<std::size_t>(n));
    EXPECT_TRUE(dot11a::test::isMaximalLength(seq, n, dot11a::pnPolynomial(n).invert))
        << "order " << n;
  }
}

}  // namespace
