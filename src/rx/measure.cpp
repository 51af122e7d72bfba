// Measurements on a decoded frame: spectral flatness of the channel estimate,
// the power spectral density and the transmit spectrum mask; and the
// receiver's entry to the resampler for inputs at other rates than 20 MHz
// times a whole number.
#include <fftw3.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

#include "core/vector_dispatch.hpp"
#include "dot11a/bitcoding.hpp"
#include "dot11a/error.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/resample.hpp"
#include "dot11a/synthesis.hpp"
#include "fft/fft.hpp"
#include "rx/internal.hpp"

namespace dot11a::rx {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void measureFlatness(FrameReport& rep, const Options& opt, int os) {
  rep.flatnessDb.assign(53, kNaN);
  if (rep.channel.size() != 53) return;
  std::array<double, 53> e{};
  for (int k = -26; k <= 26; ++k) {
    const auto i = static_cast<std::size_t>(k + 26);
    e[i] = std::norm(rep.channel[i]);
    if (opt.dacDroop) {
      const double g = sinc(static_cast<double>(k) / (64.0 * os));
      e[i] *= g * g;
    }
  }
  auto disabled = [&](int k) {
    return std::find(rep.disabledSubcarriers.begin(), rep.disabledSubcarriers.end(), k) !=
           rep.disabledSubcarriers.end();
  };
  double inner = 0.0;
  int n = 0;
  for (int k = -16; k <= 16; ++k)
    if (k != 0 && !disabled(k)) {
      inner += e[static_cast<std::size_t>(k + 26)];
      ++n;
    }
  if (n == 0 || inner <= 0) {
    rep.flatnessPass = false;
    rep.problems.push_back("The spectral flatness cannot be measured: no inner sub-carrier.");
    return;
  }
  inner /= n;
  rep.flatnessWorstMarginDb = std::numeric_limits<double>::infinity();
  for (int k = -26; k <= 26; ++k) {
    if (k == 0 || disabled(k)) continue;
    const auto i = static_cast<std::size_t>(k + 26);
    const double dev = 10.0 * std::log10(std::max(e[i], 1e-300) / inner);
    rep.flatnessDb[i] = dev;
    // +-2 dB within -16..+16, +2 / -4 dB on the outer sub-carriers.
    const double low = std::abs(k) <= 16 ? -2.0 : -4.0;
    const double margin = std::min(2.0 - dev, dev - low);
    if (margin < rep.flatnessWorstMarginDb) {
      rep.flatnessWorstMarginDb = margin;
      rep.flatnessWorstSubcarrier = k;
    }
  }
  rep.flatnessPass = rep.flatnessWorstMarginDb >= 0.0;
  if (!rep.flatnessPass) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "The spectral flatness is %.2f dB outside its limit at sub-carrier %d.",
                  -rep.flatnessWorstMarginDb, rep.flatnessWorstSubcarrier);
    rep.problems.push_back(buf);
  }
}

// The averaged periodogram of a waveform in FFT bin order (bin i at i /
// n of the sample rate, the upper half being the negative frequencies), its
// largest bin, and the resolution bandwidth of its window.
struct Periodogram {
  std::vector<double> psd;
  double top = 0.0;
  double rbwHz = 0.0;
};

// Bin j of a spectrum in increasing frequency: its FFT bin, its frequency and
// its level in dBr.
std::size_t fftBinOf(std::size_t j, std::size_t n) {
  return (j + n - n / 2) % n;
}
double binFrequency(std::size_t j, std::size_t n, double sampleRate) {
  const long long k = static_cast<long long>(j) - static_cast<long long>(n / 2);
  return static_cast<double>(k) * sampleRate / static_cast<double>(n);
}
double binDbr(const Periodogram& p, std::size_t j) {
  return 10.0 * std::log10(std::max(p.psd[fftBinOf(j, p.psd.size())] / p.top, 1e-30));
}

// The mask is taken beyond +-9 MHz: inside, 0 dBr is the reference itself.
bool maskLimits(double frequencyHz) {
  return std::abs(frequencyHz) > 9e6;
}

// The emission classes of 10 MHz channels at 5.9 GHz on the 20 MHz time base
// (twice the 10 MHz offsets): dBr at each corner, linear in between, the
// last level beyond.
constexpr std::array<double, 5> kClassCornersMHz = {9, 10, 11, 20, 30};
constexpr std::array<std::array<double, 5>, 4> kClassDbr = {{{0, -10, -20, -28, -40},
                                                             {0, -16, -20, -28, -40},
                                                             {0, -26, -32, -40, -50},
                                                             {0, -35, -45, -55, -65}}};

double classMaskDbr(double frequencyHz, EmissionMask mask) {
  const auto& level = kClassDbr[static_cast<std::size_t>(mask) - 1];
  const double a = std::abs(frequencyHz) / 1e6;
  if (a <= kClassCornersMHz[0]) return level[0];
  for (std::size_t i = 1; i < kClassCornersMHz.size(); ++i)
    if (a <= kClassCornersMHz[i])
      return level[i - 1] + (level[i] - level[i - 1]) * (a - kClassCornersMHz[i - 1]) /
                                (kClassCornersMHz[i] - kClassCornersMHz[i - 1]);
  return level.back();
}

// The mask on the 20 MHz time base.
double maskDbr(double frequencyHz, EmissionMask mask) {
  return mask == EmissionMask::Standard ? spectrumMaskDbr(frequencyHz)
                                        : classMaskDbr(frequencyHz, mask);
}

// A bin against the mask; the first of equal margins stays.
void checkMaskBin(MaskMargin& m, double frequencyHz, double dBr,
                  EmissionMask mask = EmissionMask::Standard) {
  if (!maskLimits(frequencyHz)) return;
  const double margin = maskDbr(frequencyHz, mask) - dBr;
  m.checked = true;
  if (margin < m.worstDb) {
    m.worstDb = margin;
    m.frequencyHz = frequencyHz;
  }
}

// The largest magnitude of n values. The bits of a magnitude (the sign
// cleared), read as a signed 64-bit number, order as the magnitudes do, so
// the largest is found with integer comparisons, four lanes at a time (a NaN
// counts as the largest).
DOT11A_KERNEL double largestMagnitudeKernel(const double* v, std::size_t n) {
  typedef std::int64_t Lanes __attribute__((vector_size(32)));
  constexpr std::int64_t kMagnitude = 0x7FFFFFFFFFFFFFFF;
  const Lanes mask = {kMagnitude, kMagnitude, kMagnitude, kMagnitude};
  Lanes top = {0, 0, 0, 0};
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    Lanes a;
    std::memcpy(&a, v + i, sizeof a);
    a &= mask;
    const Lanes greater = a > top;
    top = (a & greater) | (top & ~greater);
  }
  std::int64_t best = std::max(std::max(top[0], top[1]), std::max(top[2], top[3]));
  for (; i < n; ++i) best = std::max(best, std::bit_cast<std::int64_t>(v[i]) & kMagnitude);
  return std::bit_cast<double>(best);
}

// Its windowing and summing loops are compiled for AVX2 too. The samples
// are not empty and the rate is finite and above 0.
DOT11A_KERNEL Periodogram periodogramKernel(std::span<const cplx> samples, double sampleRate,
                                            const SpectrumOptions& options) {
  Periodogram result;
  const double rbwHz = options.rbwHz;
  if (!(rbwHz > 0) || !std::isfinite(rbwHz)) raise("The resolution bandwidth must be above 0 Hz.");
  // A Hann window's noise bandwidth is 1.5 bins.
  const auto n =
      static_cast<std::size_t>(std::clamp(std::round(1.5 * sampleRate / rbwHz), 16.0, 65536.0));
  result.rbwHz = 1.5 * sampleRate / static_cast<double>(n);
  std::vector<double>& psd = result.psd;
  psd.assign(n, 0.0);
  // The window of the last length asked for, kept per thread: every frame of
  // a capture asks for the same one.
  thread_local std::vector<double> w;
  if (w.size() != n) {
    w.resize(n);
    for (std::size_t i = 0; i < n; ++i)
      w[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (static_cast<double>(i) + 0.5) / n);
  }
  // FFTW's own (SIMD-aligned) buffers, so the plan may use vector code. In
  // single precision: its rounding lies some 140 dB below the strongest bin,
  // far under the -40 dBr the mask asks for and any capture's noise.
  const fft::SingleBuffer inBuf(n, "The spectrum's FFT input"),
      outBuf(n, "The spectrum's FFT output");
  std::complex<float>* in = inBuf.data();
  const std::complex<float>* out = outBuf.data();
  const fftwf_plan plan = fft::planSingle(n, fft::Direction::Forward);
  // Half-overlapped segments; a long frame has segments enough without
  // overlap. Beyond kMaxSegments (a spread of about 0.4 dB per bin) more
  // averaging tells nothing new, so a longer frame is sampled with that many
  // segments spread evenly from its start to its end.
  constexpr std::size_t kMaxSegments = 128;
  std::vector<std::size_t> starts;
  if (samples.size() <= n) {
    starts.push_back(0);
  } else if (samples.size() < 32 * n || options.everySegment) {
    for (std::size_t at = 0; at + n <= samples.size(); at += n / 2) starts.push_back(at);
  } else if (samples.size() / n <= kMaxSegments) {
    for (std::size_t at = 0; at + n <= samples.size(); at += n) starts.push_back(at);
  } else {
    const std::size_t last = samples.size() - n;
    for (std::size_t k = 0; k < kMaxSegments; ++k) starts.push_back(last * k / (kMaxSegments - 1));
  }
  double reference = 0.0;
  for (const std::size_t at : starts) {
    const std::size_t have = std::min(n, samples.size() - at);
    // On the parts themselves: written as complex values, the compiler
    // stores the halves apart and reads them back as a pair, which stalls.
    // A segment goes to single precision as it is when its largest windowed
    // part lies well inside the range of floats (found on the floats' bits,
    // which order as their magnitudes do): its rounding is then as fine as
    // at any scale, and no sum of the transform overflows. Any other segment
    // is scaled to its largest part first, so that no sample the input holds
    // overflows or underflows single precision. The sums are kept relative
    // to the largest scale met so far (dBr needs no more), so they neither
    // overflow nor underflow either.
    const double* src = reinterpret_cast<const double*>(samples.data() + at);
    float* dst = reinterpret_cast<float*>(in);
    // The segment windowed and scaled into dst; returns the bits of its
    // largest part (w[i] * 1 is w[i]: unscaled, the products are exact).
    auto toFloats = [&](double scale) {
      std::uint32_t largest = 0;
      for (std::size_t i = 0; i < have; ++i) {
        const double g = w[i] * scale;
        const auto re = static_cast<float>(src[2 * i] * g);
        const auto im = static_cast<float>(src[2 * i + 1] * g);
        dst[2 * i] = re;
        dst[2 * i + 1] = im;
        largest = std::max(largest, std::bit_cast<std::uint32_t>(re) & 0x7FFFFFFFu);
        largest = std::max(largest, std::bit_cast<std::uint32_t>(im) & 0x7FFFFFFFu);
      }
      return largest;
    };
    constexpr float kLow = 1e-20f, kHigh = 1e20f;
    const std::uint32_t largest = toFloats(1.0);
    double peak = 1.0;
    if (largest < std::bit_cast<std::uint32_t>(kLow) ||
        largest > std::bit_cast<std::uint32_t>(kHigh)) {
      peak = largestMagnitudeKernel(src, 2 * have);
      if (!(peak > 0.0) || !std::isfinite(peak)) continue;
      toFloats(1.0 / peak);
    }
    std::fill(in + have, in + n, std::complex<float>(0.0f, 0.0f));
    fftwf_execute_dft(plan, inBuf.get(), outBuf.get());
    if (peak > reference) {
      const double r = reference / peak;
      for (double& p : psd) p *= r * r;
      reference = peak;
    }
    const double back = (peak / reference) * (peak / reference);
    for (std::size_t i = 0; i < n; ++i) {
      const double re = out[i].real(), im = out[i].imag();
      psd[i] += (re * re + im * im) * back;
    }
  }
  result.top = *std::max_element(psd.begin(), psd.end());
  return result;
}
DOT11A_VECTOR_VARIANTS(Periodogram, periodogram,
                       (std::span<const cplx> samples, double sampleRate,
                        const SpectrumOptions& options),
                       (samples, sampleRate, options))

// The mask margin straight from the periodogram: only the bins beyond
// +-9 MHz, which the mask limits, are turned into dBr.
void measureMask(FrameReport& rep, std::span<const cplx> samples, double rate, const Options& opt) {
  if (samples.empty() || !(rate > 0) || !std::isfinite(rate)) return;
  const Periodogram p = periodogram(samples, rate, SpectrumOptions{});
  if (!(p.top > 0)) return;
  rep.maskMeasured = true;
  rep.maskCoveredHz = rate / 2;
  MaskMargin m;
  m.worstDb = std::numeric_limits<double>::infinity();
  const std::size_t n = p.psd.size();
  for (std::size_t j = 0; j < n; ++j) {
    const double f = binFrequency(j, n, rate);
    if (maskLimits(f)) checkMaskBin(m, f, binDbr(p, j), opt.mask);
  }
  rep.maskWorstMarginDb = m.checked ? m.worstDb : std::numeric_limits<double>::infinity();
  rep.maskWorstFrequencyHz = m.frequencyHz;
  rep.maskPass = rep.maskWorstMarginDb >= 0.0;
  if (!rep.maskPass) {
    char buf[160];
    // The offset at the frames' own spacing (the search runs on the 20 MHz
    // time base).
    const double clock = opt.spacing ? clockFactor(*opt.spacing) : 1.0;
    std::snprintf(buf, sizeof buf, "The spectrum exceeds the %s by %.2f dB at %+.3f MHz.",
                  opt.mask == EmissionMask::Standard
                      ? "transmit mask"
                      : ("emission " + std::string(emissionMaskName(opt.mask)) + " mask").c_str(),
                  -rep.maskWorstMarginDb, rep.maskWorstFrequencyHz * clock / 1e6);
    rep.problems.push_back(buf);
  }
}

}  // namespace

void measureFrame(FrameReport& rep, std::span<const cplx> frameSamples, const Options& opt,
                  int oversampling) {
  measureFlatness(rep, opt, oversampling);
  if (opt.measureMask) measureMask(rep, frameSamples, opt.sampleRate, opt);
}

Spectrum powerSpectrum(std::span<const cplx> samples, double sampleRate) {
  return powerSpectrum(samples, sampleRate, SpectrumOptions{});
}

Spectrum powerSpectrum(std::span<const cplx> samples, double sampleRate,
                       const SpectrumOptions& options) {
  Spectrum s;
  if (samples.empty() || !(sampleRate > 0) || !std::isfinite(sampleRate)) return s;
  const Periodogram p = periodogram(samples, sampleRate, options);
  s.rbwHz = p.rbwHz;
  if (!(p.top > 0)) return s;
  const std::size_t n = p.psd.size();
  s.frequencyHz.resize(n);
  s.dBr.resize(n);
  for (std::size_t j = 0; j < n; ++j) {
    s.frequencyHz[j] = binFrequency(j, n, sampleRate);
    s.dBr[j] = binDbr(p, j);
  }
  return s;
}

MaskMargin spectrumMaskMargin(const Spectrum& s) {
  MaskMargin m;
  m.worstDb = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < s.dBr.size() && i < s.frequencyHz.size(); ++i)
    checkMaskBin(m, s.frequencyHz[i], s.dBr[i]);
  if (!m.checked) m.worstDb = 0.0;
  return m;
}

MaskMargin spectrumMaskMargin(const Spectrum& s, ChannelSpacing spacing, EmissionMask mask) {
  MaskMargin m;
  m.worstDb = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < s.dBr.size() && i < s.frequencyHz.size(); ++i)
    checkMaskBin(m, s.frequencyHz[i] / clockFactor(spacing), s.dBr[i], mask);
  if (!m.checked) m.worstDb = 0.0;
  m.frequencyHz *= clockFactor(spacing);
  return m;
}

double spectrumMaskDbr(double f, ChannelSpacing spacing) {
  return spectrumMaskDbr(f / clockFactor(spacing));
}

double spectrumMaskDbr(double f, ChannelSpacing spacing, EmissionMask mask) {
  return maskDbr(f / clockFactor(spacing), mask);
}

double spectrumMaskDbr(double f) {
  const double a = std::abs(f) / 1e6;
  if (a <= 9) return 0;
  if (a <= 11) return -20.0 * (a - 9) / 2;
  if (a <= 20) return -20.0 - 8.0 * (a - 11) / 9;
  if (a <= 30) return -28.0 - 12.0 * (a - 20) / 10;
  return -40.0;
}

// Forward FFTW plans from the library's one plan cache (made once, under the
// lock every component's planning shares).
fftw_plan forwardPlan(std::size_t n, bool aligned) {
  return fft::plan(n, fft::Direction::Forward, aligned);
}

std::vector<cplx> resample(std::span<const cplx> in, double fromRate, double toRate) {
  return dot11a::resample(in, fromRate, toRate);
}

}  // namespace dot11a::rx
