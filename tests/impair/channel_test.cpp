// The multipath channel against a plain convolution: its block-wise, in-place
// filter and the skipped idle samples must give what the taps give sample by
// sample, and bursts it cannot take in order are refused.
#include <gtest/gtest.h>

#include <complex>
#include <random>

#include "dot11a/error.hpp"
#include "dot11a/impair.hpp"

namespace dot11a::impair {
namespace {

constexpr double kRate = 20e6;

TEST(ImpairChannel, EachBurstIsItsTapsConvolvedUpToTheNextBurst) {
  // 200 ns at 20 MHz: about 40 taps, whose tail runs from each burst into its
  // gap; a region spans several filter blocks.
  Settings s;
  s.channel = Channel{200.0, std::nullopt};
  s.seed = 3;
  const std::vector<Burst> bursts{{0, 900}, {1000, 1700}};
  const std::size_t size = 1750;
  // The taps of each burst, as an impulse at its start comes out.
  Samples impulse(size, cplx(0.0, 0.0));
  impulse[0] = impulse[1000] = 1.0;
  const Samples h = apply(impulse, kRate, bursts, s);
  std::size_t taps = 0;
  for (std::size_t k = 0; k < 1000; ++k)
    if (h[k] != cplx(0.0, 0.0)) taps = k + 1;
  ASSERT_GT(taps, 30u);
  // Random samples in the bursts, silence between.
  std::mt19937 gen(5);
  std::normal_distribution<double> nd;
  Samples x(size, cplx(0.0, 0.0));
  for (const Burst& b : bursts)
    for (std::size_t i = b.begin; i < b.end; ++i) x[i] = cplx(nd(gen), nd(gen));
  const Samples y = apply(x, kRate, bursts, s);
  for (std::size_t b = 0; b < bursts.size(); ++b) {
    const std::size_t begin = bursts[b].begin;
    const std::size_t end = b + 1 < bursts.size() ? bursts[b + 1].begin : size;
    for (std::size_t n = begin; n < end; ++n) {
      cplx want(0.0, 0.0);
      for (std::size_t k = 0; k <= n - begin; ++k) want += h[begin + k] * x[n - k];
      ASSERT_LT(std::abs(y[n] - want), 1e-12) << "sample " << n;
    }
  }
  // The tail of the first burst reaches into its gap.
  EXPECT_NE(y[900 + taps - 2], cplx(0.0, 0.0));
}

TEST(ImpairChannel, BurstsOutOfOrderOrOverlappingAreRefused) {
  Settings s;
  s.channel = Channel{50.0, std::nullopt};
  const Samples x(100, cplx(1.0, 0.0));
  for (const std::vector<Burst>& bursts :
       {std::vector<Burst>{{50, 60}, {0, 10}}, std::vector<Burst>{{0, 40}, {30, 60}}})
    EXPECT_THROW(apply(x, kRate, bursts, s), Error);
}

}  // namespace
}  // namespace dot11a::impair
