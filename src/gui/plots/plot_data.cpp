// Spectrum, waterfall and CCDF numbers.
#include "gui/plots/plot_data.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <tuple>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/synthesis.hpp"
#include "fft/fft.hpp"
#include "model/large_buffer.hpp"

namespace dot11a::plots {

namespace {

// floor(log10(x) / 3), the thousands exponent used by both unit choices.
int thousands(double x) {
  // A rate or a duration the caller gave may be 0, negative or not finite.
  return clampedInteger(std::floor(std::log10(x) / 3), -10, 10).value_or(0);
}

// The forward FFT through the library's plan cache of the inverse transform:
// DFT(x) = N x conj(IDFT(conj(x))).
std::vector<cplx> forwardDft(std::span<const cplx> x) {
  const std::size_t n = x.size();
  std::vector<cplx> in(n), out(n);
  for (std::size_t i = 0; i < n; ++i) in[i] = std::conj(x[i]);
  inverseDft(in, out);
  for (cplx& v : out) v = std::conj(v) * static_cast<double>(n);
  return out;
}

// The power floor: when the smallest power is exactly 0, 1e-20 (or 1e-20 x the
// largest power) is added to every power before the logarithm.
void addFloor(std::vector<double>& power) {
  if (power.empty()) return;
  const auto [lo, hi] = std::minmax_element(power.begin(), power.end());
  if (*lo != 0) return;
  const double add = *hi == 0 ? 1e-20 : 1e-20 * *hi;
  for (double& p : power) p += add;
}

}  // namespace

Units frequencyUnits(double rate) {
  switch (thousands(rate)) {
    case 0:
      return {"Hz", 1};
    case 1:
      return {"kHz", 1e3};
    case 2:
      return {"MHz", 1e6};
    default:
      return {"GHz", 1e9};
  }
}

Units timeUnits(double seconds) {
  switch (thousands(seconds)) {
    case 0:
      return {"S", 1};
    case -1:
      return {"mS", 1e3};
    case -2:
      return {"uS", 1e6};
    case -3:
      return {"nS", 1e9};
    default:
      return {"pS", 1e12};
  }
}

std::pair<double, double> decibelRange(double smallest, double largest) {
  const double top = 10 * std::ceil(largest / 10);
  double bottom = 10 * std::floor(smallest / 10);
  if (bottom < top - 100) bottom = top - 100;
  if (bottom >= top) return {top - 10, top + 10};
  return {bottom, top};
}

std::vector<cplx> shiftedSpectrum(std::span<const cplx> samples) {
  const std::size_t n = samples.size();
  const std::vector<cplx> x = forwardDft(samples);
  std::vector<cplx> out(n);
  for (std::size_t k = 0; k < n; ++k) out[(k + n / 2) % n] = x[k];
  return out;
}

std::vector<double> frequencyAxis(std::size_t n, double rate) {
  std::vector<double> f(n);
  for (std::size_t p = 0; p < n; ++p)
    f[p] = (static_cast<double>(p) - static_cast<double>(n / 2)) * rate / static_cast<double>(n);
  return f;
}

Spectrum spectrum(std::span<const cplx> samples, double rate) {
  return spectrumInPlace(std::vector<cplx>(samples.begin(), samples.end()), rate);
}

Spectrum spectrumInPlace(std::vector<cplx>&& samples, double rate) {
  if (!(rate > 0)) rate = 1;
  Spectrum s;
  std::vector<double>& power = s.level;  // the powers become the levels in place
  if (samples.empty()) {
    power = {0.001, 0.01, 0.1, 0.5, 1, 1, 0.5, 0.1, 0.01, 0.001};
  } else {
    const std::size_t n = samples.size();
    power = reservedBuffer<double>(n);
    power.resize(n);
    if (n > kLongSpectrum) {
      // In single precision, whose rounding lies some 140 dB below the
      // strongest bin, far under the 100 dB the plot shows, at half the time.
      const fft::SingleBuffer in(n, "The spectrum's FFT input"),
          out(n, "The spectrum's FFT output");
      for (std::size_t k = 0; k < n; ++k) in.data()[k] = std::complex<float>(samples[k]);
      samples = {};
      fftwf_execute_dft(fft::planSingle(n, fft::Direction::Forward), in.get(), out.get());
      for (std::size_t k = 0; k < n; ++k)
        power[(k + n / 2) % n] = std::norm(std::complex<double>(out.data()[k]));
    } else {
      // The forward FFT (as shiftedSpectrum computes it) in the samples' own
      // buffer, each bin's power written straight to its display position.
      for (cplx& v : samples) v = std::conj(v);
      std::vector<cplx> y(n);
      inverseDft(samples, y);
      for (std::size_t k = 0; k < n; ++k)
        power[(k + n / 2) % n] = std::norm(std::conj(y[k]) * static_cast<double>(n));
    }
  }
  addFloor(power);
  for (double& p : power) p = 10 * std::log10(p);
  const double peak = *std::max_element(s.level.begin(), s.level.end());
  for (double& v : s.level) v -= peak;
  const auto [lo, hi] = std::minmax_element(s.level.begin(), s.level.end());
  std::tie(s.bottom, s.top) = decibelRange(*lo, *hi);
  s.units = frequencyUnits(rate);
  s.fMax = rate / (2 * s.units.scale);
  s.fMin = -s.fMax;
  s.rate = rate;
  // A long spectrum's frequencies are made for the bins shown (forDisplay).
  if (s.level.size() > kLongSpectrum) return s;
  s.frequency = frequencyAxis(s.level.size(), rate);
  for (double& f : s.frequency) f /= s.units.scale;
  return s;
}

Spectrum forDisplay(Spectrum s, std::size_t most) {
  const std::size_t n = s.level.size();
  if (most == 0 || n <= most) return s;
  s.frequency.resize(most);
  // Groups of g bins, each shown by its highest bin: a narrow line stays as
  // high as it is.
  const std::size_t g = (n + most - 1) / most;
  std::size_t out = 0;
  for (std::size_t first = 0; first < n; first += g) {
    std::size_t top = first;
    for (std::size_t k = first + 1; k < std::min(first + g, n); ++k)
      if (s.level[k] > s.level[top]) top = k;
    // As frequencyAxis() places bin `top`.
    s.frequency[out] = (static_cast<double>(top) - static_cast<double>(n / 2)) * s.rate /
                       static_cast<double>(n) / s.units.scale;
    s.level[out] = s.level[top];
    ++out;
  }
  s.frequency.resize(out);
  s.level.resize(out);
  s.frequency.shrink_to_fit();
  s.level.shrink_to_fit();
  return s;
}

Waterfall waterfall(std::span<const cplx> samples, double rate, double period) {
  if (!(rate > 0)) rate = 1;
  if (!(period > 0)) period = 10 / rate;
  period = std::max(period, 10 / rate);
  Waterfall w;
  if (samples.empty()) {
    // A placeholder of 10 bins by 5 slices: a raised middle over a flat floor.
    w.rows = 10;
    w.cols = 5;
    w.z.assign(w.rows * w.cols, -6.0206);
    for (std::size_t c = 0; c < w.cols; ++c)
      for (std::size_t r = 4; r <= 5; ++r) w.z[c * w.rows + r] = 0;
  } else {
    // Samples per slice, each one FFT: bounded before anything is sized from it.
    constexpr std::size_t kMaxSlice = std::size_t{1} << 24;
    const auto perSlice = integerOf<std::size_t>(std::ceil(period * rate - 1e-9), 1, kMaxSlice);
    if (!perSlice) {
      char text[200];
      std::snprintf(text, sizeof text,
                    "The waterfall's period of %g s at %g samples per second makes slices of "
                    "more than %zu samples; choose a shorter period.",
                    period, rate, kMaxSlice);
      raise(text);
    }
    const std::size_t n = *perSlice;
    const std::size_t m = (samples.size() + n - 1) / n;
    w.rows = n;
    w.cols = m;
    w.z.resize(n * m);
    std::vector<cplx> slice(n);
    for (std::size_t c = 0; c < m; ++c) {
      std::fill(slice.begin(), slice.end(), cplx{});
      const std::size_t start = c * n, count = std::min(n, samples.size() - start);
      std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(start), count, slice.begin());
      std::vector<double> power;
      for (const cplx& v : shiftedSpectrum(slice)) power.push_back(std::norm(v));
      addFloor(power);
      for (std::size_t r = 0; r < n; ++r) w.z[c * n + r] = 10 * std::log10(power[r]);
    }
  }
  const auto [lo, hi] = std::minmax_element(w.z.begin(), w.z.end());
  std::tie(w.bottom, w.top) = decibelRange(*lo, *hi);
  w.frequencyUnits = frequencyUnits(rate);
  w.fMax = rate / (2 * w.frequencyUnits.scale);
  w.fMin = -w.fMax;
  std::vector<double> f = frequencyAxis(w.rows, rate);
  for (double& v : f) v /= w.frequencyUnits.scale;
  w.timeUnits = timeUnits(static_cast<double>(w.rows * w.cols) / rate);
  const double t = static_cast<double>(w.rows) * w.timeUnits.scale / rate;
  w.tMax = t * static_cast<double>(w.cols - 1);
  w.x.resize(w.rows * w.cols);
  w.y.resize(w.rows * w.cols);
  for (std::size_t c = 0; c < w.cols; ++c)
    for (std::size_t r = 0; r < w.rows; ++r) {
      w.x[c * w.rows + r] = f[r];
      w.y[c * w.rows + r] = static_cast<double>(c) * t;
    }
  return w;
}

Ccdf ccdf(std::span<const cplx> samples) {
  std::vector<cplx> test;
  if (samples.empty()) {
    const std::size_t n = 1000;
    for (std::size_t i = 0; i < n; ++i) {
      const double theta = -std::numbers::pi + 2 * std::numbers::pi * double(i) / double(n - 1);
      const double phi = -10 * std::numbers::pi + 20 * std::numbers::pi * double(i) / double(n - 1);
      const double a = std::cos(theta) + 1.5;
      test.emplace_back(a * std::cos(phi), a * std::sin(phi));
    }
    samples = test;
  }
  Ccdf c;
  const double n = static_cast<double>(samples.size());
  c.complexWaveform =
      std::any_of(samples.begin(), samples.end(), [](const cplx& v) { return v.imag() != 0; });
  std::vector<double> p(samples.size());
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = std::norm(samples[i]);
  if (*std::min_element(p.begin(), p.end()) == 0)
    for (double& v : p) v += 1e-300;
  double sum = 0;
  for (double v : p) sum += v;
  if (sum == 0) sum = 1e-300;
  const double rmsDb = 10 * std::log10(sum / n);
  std::vector<double> rel(p.size());
  for (std::size_t i = 0; i < p.size(); ++i) rel[i] = 10 * std::log10(p[i]) - rmsDb;
  std::sort(rel.begin(), rel.end());
  double maxX = std::max(20.0, rel.back());
  if (maxX > 20) maxX *= 1.01;
  c.maxLevel = maxX;
  const double step = maxX / 200;
  for (int i = 0; i <= 200; ++i) c.level.push_back(step * i);
  // Counts of values at or above each level, from the sorted values.
  for (double x : c.level) {
    const auto first = std::lower_bound(rel.begin(), rel.end(), x);
    c.percent.push_back(static_cast<double>(rel.end() - first) * 100 / n);
  }
  double yMin = *std::min_element(c.percent.begin(), c.percent.end());
  if (yMin == 0)
    for (double y : c.percent)
      if (y > 0) yMin = y;
  for (double& y : c.percent) y += 1e-300;
  c.yMin = std::min(yMin, 0.001);
  for (double x : c.level)
    c.reference.push_back(c.complexWaveform
                              ? 100 * std::exp(-std::pow(10, x / 10))
                              : 100 * std::erfc(std::pow(10, x / 20) / std::sqrt(2.0)));
  return c;
}

std::vector<cplx> gatedSamples(std::span<const cplx> samples, const Ranges& ranges) {
  std::vector<cplx> out;
  for (auto [first, end] : ranges) {
    end = std::min(end, samples.size());
    if (first < end)
      out.insert(out.end(), samples.begin() + static_cast<std::ptrdiff_t>(first),
                 samples.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return out;
}

std::vector<double> paprAt(std::span<const cplx> samples, std::span<const double> percents) {
  std::vector<double> p(samples.size());
  double sum = 0;
  for (std::size_t i = 0; i < p.size(); ++i) sum += p[i] = std::norm(samples[i]);
  std::vector<double> out(percents.size(), 0.0);
  if (p.empty() || !(sum > 0)) return out;
  std::sort(p.begin(), p.end());
  const double mean = sum / static_cast<double>(p.size());
  for (std::size_t k = 0; k < percents.size(); ++k) {
    // The largest level that `percent` of the samples reach: the sample with
    // that share of the samples at or above it.
    const double share = std::clamp(percents[k] / 100, 0.0, 1.0);
    const auto above = static_cast<std::size_t>(std::ceil(share * static_cast<double>(p.size())));
    const std::size_t i = p.size() - std::max<std::size_t>(above, 1);
    out[k] = 10 * std::log10(std::max(p[i], 1e-300) / mean);
  }
  return out;
}

}  // namespace dot11a::plots
