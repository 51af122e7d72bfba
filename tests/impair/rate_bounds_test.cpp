// Sample rates and delays a caller gives that would size a buffer or a filter
// beyond memory (or beyond an integer) are refused with a message.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/library_fixture.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/resample.hpp"

namespace dot11a::impair {
namespace {

TEST(ImpairRateBounds, RatesThatWouldSizeMemoryAreRefused) {
  const Samples x(1000, cplx(1.0, 0.0));
  Settings s;
  s.channel = Channel{50.0, std::nullopt};
  EXPECT_NE(test::errorOf([&] { apply(x, 1e300, {}, s); }).find("at most 10 GHz"),
            std::string::npos);
  EXPECT_NE(test::errorOf([] { exponentialProfile(std::nan(""), 20e6); }).find("taps"),
            std::string::npos);
  // Up a factor of 1e12, and down one whose filter no int holds.
  EXPECT_NE(test::errorOf([&] { resample(x, 1.0, 1e12); }).find("at most 1000000"),
            std::string::npos);
  EXPECT_NE(test::errorOf([&] { resample(x, 1e12, 1.0); }).find("at most 1000000"),
            std::string::npos);
}

}  // namespace
}  // namespace dot11a::impair
