// Windowed-sinc resampler (see dot11a/resample.hpp).
#include "dot11a/resample.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a {

namespace {
// 2^30 samples, 16 GiB: any larger output is refused as out of memory before
// it is allocated.
constexpr std::size_t kMaxResampledSamples = std::size_t{1} << 30;
}  // namespace

std::vector<cplx> resample(std::span<const cplx> in, double fromRate, double toRate) {
  if (!(fromRate > 0) || !(toRate > 0) || !std::isfinite(fromRate) || !std::isfinite(toRate))
    raise("The resampler needs two positive sample rates.");
  // A factor beyond this is no resampling a waveform needs; it would make a
  // filter or an output longer than memory holds.
  constexpr double kMaxFactor = 1e6;
  if (fromRate / toRate > kMaxFactor || toRate / fromRate > kMaxFactor) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "The resampler changes a sample rate by a factor of at most 1000000, not from "
                  "%g Hz to %g Hz.",
                  fromRate, toRate);
    raise(text);
  }
  if (in.empty()) return {};
  // Cut-off at 46 % of the lower rate, in cycles per input sample.
  const double cutoff = 0.46 * std::min(fromRate, toRate) / fromRate;
  // At most 8 / 0.92 times kMaxFactor taps either side.
  const int half = static_cast<int>(std::ceil(8.0 / (2.0 * cutoff)));
  constexpr double kBeta = 8.0;
  const double i0b = std::cyl_bessel_i(0.0, kBeta);
  const double step = fromRate / toRate;
  const auto count = integerOf<std::size_t>(
      std::floor(static_cast<double>(in.size() - 1) / step) + 1, 1, kMaxResampledSamples);
  if (!count) raise(std::string(kOutOfMemory));
  std::vector<cplx> out(*count);
  const long long n = static_cast<long long>(in.size());
  for (std::size_t m = 0; m < *count; ++m) {
    const double tau = static_cast<double>(m) * step;
    const long long c = static_cast<long long>(std::floor(tau));
    cplx acc(0.0, 0.0);
    for (long long j = c - half + 1; j <= c + half; ++j) {
      if (j < 0 || j >= n) continue;
      const double u = tau - static_cast<double>(j);
      const double r = u / half;
      if (std::abs(r) >= 1.0) continue;
      const double win = std::cyl_bessel_i(0.0, kBeta * std::sqrt(1.0 - r * r)) / i0b;
      acc += in[static_cast<std::size_t>(j)] * (2.0 * cutoff * sinc(2.0 * cutoff * u) * win);
    }
    out[m] = acc;
  }
  return out;
}

}  // namespace dot11a
