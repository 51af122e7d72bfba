// Multipath: the exponential-decay tapped delay line at the waveform's sample
// period, with Rayleigh taps (or a Rician first tap), fixed over a frame and
// drawn anew for every frame.
#include <algorithm>
#include <cmath>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "impair/internal.hpp"

namespace dot11a::impair {

std::vector<double> exponentialProfile(double rmsDelayNs, double fs) {
  const double ts = 1.0 / fs, trms = rmsDelayNs * 1e-9;
  // Ten delay spreads; at the bounds of validate() (1000 ns, 10 GHz) 100001 taps.
  const auto taps =
      checkedInteger<std::size_t>(std::ceil(10.0 * trms / ts), "The delay line's length in taps", 0,
                                  std::size_t{1} << 20) +
      1;
  std::vector<double> p(taps);
  double sum = 0.0;
  for (std::size_t k = 0; k < taps; ++k)
    sum += p[k] = std::exp(-static_cast<double>(k) * ts / trms);
  for (double& v : p) v /= sum;
  return p;
}

namespace {

constexpr std::size_t kBlock = 256;

// One block of `count` outputs of the FIR on split real and imaginary rows:
// a[j] is the input `taps - 1 - j` samples before the first output, so output
// i is the sum over k of h[k] a[i + taps - 1 - k]. Each tap is a multiply-add
// over plain arrays that the compiler turns into vector code; the rows are
// small enough to stay in the first-level cache.
DOT11A_KERNEL void filterBlockKernel(const double* __restrict hr, const double* __restrict hi,
                                     std::size_t taps, const double* __restrict ar,
                                     const double* __restrict ai, std::size_t count,
                                     double* __restrict yr, double* __restrict yi) {
  for (std::size_t i = 0; i < count; ++i) yr[i] = yi[i] = 0.0;
  for (std::size_t k = 0; k < taps; ++k) {
    const double r = hr[k], q = hi[k];
    const double* __restrict pr = ar + (taps - 1 - k);
    const double* __restrict pi = ai + (taps - 1 - k);
    for (std::size_t i = 0; i < count; ++i) {
      yr[i] += r * pr[i] - q * pi[i];
      yi[i] += r * pi[i] + q * pr[i];
    }
  }
}
DOT11A_VECTOR_VARIANTS(void, filterBlock,
                       (const double* __restrict hr, const double* __restrict hi, std::size_t taps,
                        const double* __restrict ar, const double* __restrict ai, std::size_t count,
                        double* __restrict yr, double* __restrict yi),
                       (hr, hi, taps, ar, ai, count, yr, yi))

// Splits complex values into real and imaginary rows, and joins them back.
DOT11A_KERNEL void splitKernel(const cplx* __restrict x, std::size_t n, double* __restrict re,
                               double* __restrict im) {
  const double* d = reinterpret_cast<const double*>(x);
  for (std::size_t i = 0; i < n; ++i) {
    re[i] = d[2 * i];
    im[i] = d[2 * i + 1];
  }
}
DOT11A_VECTOR_VARIANTS(void, split,
                       (const cplx* __restrict x, std::size_t n, double* __restrict re,
                        double* __restrict im),
                       (x, n, re, im))
DOT11A_KERNEL void joinKernel(const double* __restrict re, const double* __restrict im,
                              std::size_t n, cplx* __restrict x) {
  double* d = reinterpret_cast<double*>(x);
  for (std::size_t i = 0; i < n; ++i) {
    d[2 * i] = re[i];
    d[2 * i + 1] = im[i];
  }
}
DOT11A_VECTOR_VARIANTS(void, join,
                       (const double* __restrict re, const double* __restrict im, std::size_t n,
                        cplx* __restrict x),
                       (re, im, n, x))

// x through the channel (hr, hi) in place; inputs before x[0] count as zero.
// The blocks run from the end, so every block still finds its inputs unchanged.
void filterInPlace(std::span<cplx> x, const std::vector<double>& hr,
                   const std::vector<double>& hi) {
  const std::size_t taps = hr.size(), history = taps - 1;
  std::vector<double> ar(kBlock + history), ai(kBlock + history), yr(kBlock), yi(kBlock);
  for (std::size_t e = x.size(); e > 0;) {
    const std::size_t s = e > kBlock ? e - kBlock : 0, count = e - s;
    // ar[j] holds x[s + j - history]; zeros stand before x[0].
    const std::size_t lead = s >= history ? 0 : history - s;
    std::fill_n(ar.begin(), lead, 0.0);
    std::fill_n(ai.begin(), lead, 0.0);
    split(x.data() + (s + lead - history), count + history - lead, ar.data() + lead,
          ai.data() + lead);
    filterBlock(hr.data(), hi.data(), taps, ar.data(), ai.data(), count, yr.data(), yi.data());
    join(yr.data(), yi.data(), count, x.data() + s);
    e = s;
  }
}

}  // namespace

void applyChannel(std::span<cplx> x, double fs, std::span<const Burst> bursts, const Channel& c,
                  std::mt19937_64& rng) {
  const std::vector<double> profile = exponentialProfile(c.rmsDelayNs, fs);
  const std::size_t taps = profile.size();
  std::vector<double> g(2 * taps), hr(taps), hi(taps);
  for (std::size_t b = 0; b < bursts.size(); ++b) {
    // Each tap a complex Gaussian of its power; with a K factor the first tap
    // splits into a fixed part K / (K + 1) and a scattered part 1 / (K + 1).
    fillGaussian(g, std::sqrt(0.5), rng);
    for (std::size_t k = 0; k < taps; ++k) {
      hr[k] = g[2 * k] * std::sqrt(profile[k]);
      hi[k] = g[2 * k + 1] * std::sqrt(profile[k]);
    }
    if (c.ricianKDb) {
      const double kf = std::pow(10.0, *c.ricianKDb / 10.0);
      std::uniform_real_distribution<double> phase(0.0, 2.0 * 3.141592653589793);
      const cplx h0 = std::sqrt(profile[0]) * (std::polar(std::sqrt(kf / (kf + 1.0)), phase(rng)) +
                                               cplx(g[0], g[1]) * std::sqrt(1.0 / (kf + 1.0)));
      hr[0] = h0.real();
      hi[0] = h0.imag();
    }
    // The burst and the silence after it, up to the next burst, through this
    // burst's channel (earlier samples are the previous frame's and are not
    // carried over). The input is zero after its last non-zero sample (the
    // idle part of the gap), so the output is zero from `taps - 1` samples
    // after that on and is left as it is.
    const std::size_t begin = bursts[b].begin;
    const std::size_t end = b + 1 < bursts.size() ? bursts[b + 1].begin : x.size();
    std::size_t lenIn = end - begin;
    while (lenIn > 0 && x[begin + lenIn - 1] == cplx(0.0, 0.0)) --lenIn;
    const std::size_t len = std::min(end - begin, lenIn + taps - 1);
    filterInPlace(x.subspan(begin, len), hr, hi);
  }
  // Samples before the first burst pass unchanged (silence, normally).
}

}  // namespace dot11a::impair
