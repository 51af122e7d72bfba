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

// The interpolating kernel: a sinc cut off at `cutoff` cycles per input
// sample under a Kaiser window (beta 8) that spans `half` input samples either
// side.
class Kernel {
 public:
  Kernel(double cutoff, int half)
      : cutoff_(cutoff), half_(half), i0b_(std::cyl_bessel_i(0.0, kBeta)) {}
  // The weight of an input sample `u` input samples before the output time.
  double operator()(double u) const {
    const double r = u / half_;
    if (std::abs(r) >= 1.0) return 0.0;
    const double win = std::cyl_bessel_i(0.0, kBeta * std::sqrt(1.0 - r * r)) / i0b_;
    return 2.0 * cutoff_ * sinc(2.0 * cutoff_ * u) * win;
  }

 private:
  static constexpr double kBeta = 8.0;
  double cutoff_;
  int half_;
  double i0b_;
};

// Fractional delays between two input samples in the bank; the weights of a
// delay between two of them are interpolated linearly, which keeps the error
// some 100 dB below the signal.
constexpr int kPhases = 512;
// Beyond this many weights (a factor of more than about 100 down) the kernel
// is evaluated for each output sample instead of from a bank (of at most 8 MiB).
constexpr std::size_t kMaxBankWeights = std::size_t{1} << 18;

// The kernel's weights for kPhases + 1 fractional delays d = p / kPhases
// (p = 0 .. kPhases), each row holding the 2 x half taps for the inputs
// c - half + 1 .. c + half around an output at time c + d, with the step to
// the next row beside them for the interpolation. Each weight is stored
// twice, once for the real and once for the imaginary part of its sample,
// so that a row multiplies the interleaved samples as they lie in memory.
struct Bank {
  std::size_t values;          // 4 x half: two per tap
  std::vector<double> weight;  // [p * values + 2 t + (0 or 1)]
  std::vector<double> slope;   // weight of row p + 1 minus that of row p
  Bank(const Kernel& kernel, int half) : values(4 * static_cast<std::size_t>(half)) {
    const std::size_t rows = kPhases + 1;
    weight.resize(rows * values);
    for (std::size_t p = 0; p < rows; ++p)
      for (std::size_t t = 0; t < values / 2; ++t)
        weight[p * values + 2 * t] = weight[p * values + 2 * t + 1] =
            kernel(static_cast<double>(p) / kPhases + static_cast<double>(half - 1) -
                   static_cast<double>(t));
    slope.resize(kPhases * values);
    for (std::size_t i = 0; i < slope.size(); ++i) slope[i] = weight[i + values] - weight[i];
  }
};

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
  const Kernel kernel(cutoff, half);
  const double step = fromRate / toRate;
  const auto count = integerOf<std::size_t>(
      std::floor(static_cast<double>(in.size() - 1) / step) + 1, 1, kMaxResampledSamples);
  if (!count) raise(std::string(kOutOfMemory));
  std::vector<cplx> out(*count);
  const long long n = static_cast<long long>(in.size());
  const std::size_t taps = 2 * static_cast<std::size_t>(half);
  if (taps * (kPhases + 1) > kMaxBankWeights) {
    // A filter this long is used for few outputs: its kernel is evaluated
    // for each of them.
    for (std::size_t m = 0; m < *count; ++m) {
      const double tau = static_cast<double>(m) * step;
      const long long c = static_cast<long long>(std::floor(tau));
      cplx acc(0.0, 0.0);
      for (long long j = std::max(c - half + 1, 0LL); j <= std::min(c + half, n - 1); ++j)
        acc += in[static_cast<std::size_t>(j)] * kernel(tau - static_cast<double>(j));
      out[m] = acc;
    }
    return out;
  }
  const Bank bank(kernel, half);
  const double* x = reinterpret_cast<const double*>(in.data());
  const std::size_t values = bank.values;
  for (std::size_t m = 0; m < *count; ++m) {
    const double tau = static_cast<double>(m) * step;
    const long long c = static_cast<long long>(std::floor(tau));
    const double phase = (tau - static_cast<double>(c)) * kPhases;
    const std::size_t p = std::min(static_cast<std::size_t>(phase), std::size_t{kPhases - 1});
    // The weights between rows p and p + 1: w + a d.
    const double a = phase - static_cast<double>(p);
    const double* w = bank.weight.data() + p * values;
    const double* d = bank.slope.data() + p * values;
    const long long first = c - half + 1;
    if (first >= 0 && first + static_cast<long long>(taps) <= n) {
      // Four running sums (real, imaginary, real, imaginary) over the
      // interleaved samples: independent, so the compiler keeps them in one
      // vector register.
      const double* s = x + 2 * first;
      double sum[4] = {0, 0, 0, 0};
      for (std::size_t i = 0; i < values; i += 4)
        for (std::size_t k = 0; k < 4; ++k) sum[k] += s[i + k] * (w[i + k] + a * d[i + k]);
      out[m] = {sum[0] + sum[2], sum[1] + sum[3]};
      continue;
    }
    // Near either end: inputs before the first or after the last sample
    // count as zeros.
    double re = 0, im = 0;
    for (std::size_t t = 0; t < taps; ++t) {
      const long long j = first + static_cast<long long>(t);
      if (j < 0 || j >= n) continue;
      const double weight = w[2 * t] + a * d[2 * t];
      re += x[2 * j] * weight;
      im += x[2 * j + 1] * weight;
    }
    out[m] = {re, im};
  }
  return out;
}

}  // namespace dot11a
