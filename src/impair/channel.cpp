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

Samples applyChannel(std::span<const cplx> x, double fs, std::span<const Burst> bursts,
                     const Channel& c, std::mt19937_64& rng) {
  const std::vector<double> profile = exponentialProfile(c.rmsDelayNs, fs);
  const std::size_t taps = profile.size();
  Samples y(x.size(), cplx(0.0, 0.0));
  std::vector<double> g(2 * taps);
  std::vector<cplx> h(taps);
  std::vector<double> xr, xi, yr, yi;
  for (std::size_t b = 0; b < bursts.size(); ++b) {
    // Each tap a complex Gaussian of its power; with a K factor the first tap
    // splits into a fixed part K / (K + 1) and a scattered part 1 / (K + 1).
    fillGaussian(g, std::sqrt(0.5), rng);
    for (std::size_t k = 0; k < taps; ++k)
      h[k] = cplx(g[2 * k], g[2 * k + 1]) * std::sqrt(profile[k]);
    if (c.ricianKDb) {
      const double kf = std::pow(10.0, *c.ricianKDb / 10.0);
      std::uniform_real_distribution<double> phase(0.0, 2.0 * 3.141592653589793);
      h[0] = std::sqrt(profile[0]) * (std::polar(std::sqrt(kf / (kf + 1.0)), phase(rng)) +
                                      cplx(g[0], g[1]) * std::sqrt(1.0 / (kf + 1.0)));
    }
    // The burst and the silence after it, up to the next burst, through this
    // burst's channel (earlier samples are the previous frame's and are not
    // carried over).
    const std::size_t begin = bursts[b].begin;
    const std::size_t end = b + 1 < bursts.size() ? bursts[b + 1].begin : x.size();
    // Split into real and imaginary rows, so each tap is a multiply-add over
    // plain arrays that the compiler turns into vector code; the first
    // samples of the region see only the taps that reach back to its start.
    const std::size_t len = end - begin;
    xr.resize(len);
    xi.resize(len);
    yr.assign(len, 0.0);
    yi.assign(len, 0.0);
    for (std::size_t n = 0; n < len; ++n) {
      xr[n] = x[begin + n].real();
      xi[n] = x[begin + n].imag();
    }
    for (std::size_t k = 0; k < taps && k < len; ++k) {
      const double hr = h[k].real(), hi = h[k].imag();
      const double* __restrict ar = xr.data();
      const double* __restrict ai = xi.data();
      double* __restrict br = yr.data() + k;
      double* __restrict bi = yi.data() + k;
      const std::size_t count = len - k;
      for (std::size_t n = 0; n < count; ++n) {
        br[n] += hr * ar[n] - hi * ai[n];
        bi[n] += hr * ai[n] + hi * ar[n];
      }
    }
    for (std::size_t n = 0; n < len; ++n) y[begin + n] = cplx(yr[n], yi[n]);
  }
  // Samples before the first burst pass unchanged (silence, normally).
  if (!bursts.empty())
    for (std::size_t n = 0; n < bursts[0].begin; ++n) y[n] = x[n];
  return y;
}

}  // namespace dot11a::impair
