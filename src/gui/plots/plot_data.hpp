// The numbers behind the analysis plots, as typed functions the plot windows
// draw and tests check: frequency and time units, the magnitude spectrum, the
// spectrum waterfall and the CCDF of the instantaneous power.
#pragma once

#include <complex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dot11a/levels.hpp"

namespace dot11a::plots {

using cplx = std::complex<double>;

struct Units {
  std::string name;  // "MHz", "uS", ...
  double scale;      // frequencies are divided by it, times multiplied by it
};
// From a rate in Hz: Hz, kHz, MHz, otherwise GHz (divider).
Units frequencyUnits(double rate);
// From a duration in seconds: S, mS, uS, nS, otherwise pS (multiplier).
Units timeUnits(double seconds);

// A vertical range in dB: the top rounded up and the bottom rounded down to
// 10 dB, the bottom at most 100 dB below the top; an empty range (all values
// equal) is widened to 10 dB below and above.
std::pair<double, double> decibelRange(double smallest, double largest);

// The FFT of the samples with its bins in display order: 0-based bin k goes
// to position (k + floor(N/2)) mod N, so DC sits at position floor(N/2).
std::vector<cplx> shiftedSpectrum(std::span<const cplx> samples);
// The frequency of display position p: (p - floor(N/2)) x rate / N, in Hz.
std::vector<double> frequencyAxis(std::size_t n, double rate);

struct Spectrum {
  std::vector<double> frequency;  // in `units`
  std::vector<double> level;      // dB, the peak at 0
  Units units;
  double fMin = 0, fMax = 0;  // the axis limits, +-rate/2 in `units`
  double bottom = 0, top = 0;
  double rate = 0;  // the sample rate, Hz
};
// Longer than the largest frame: a spectrum of more samples is computed in
// single precision, and a window shows it as the highest bin of each group.
inline constexpr std::size_t kLongSpectrum = std::size_t{1} << 19;

// The magnitude spectrum of the whole waveform; a rate of 0 or below counts
// as 1 Hz; an empty waveform gives the ten-point placeholder. A long one
// (more than kLongSpectrum bins) leaves the frequencies to forDisplay().
Spectrum spectrum(std::span<const cplx> samples, double rate);
// The same in the buffer of the samples given, which it takes.
Spectrum spectrumInPlace(std::vector<cplx>&& samples, double rate);
// The spectrum as a window shows it: at most `most` points, each the highest
// of its group of neighbouring bins (unchanged when it has no more).
Spectrum forDisplay(Spectrum s, std::size_t most);

struct Waterfall {
  std::size_t rows = 0, cols = 0;  // bins per slice, slices
  std::vector<double> x, y, z;     // rows x cols, column-major
  Units frequencyUnits, timeUnits;
  double fMin = 0, fMax = 0, tMax = 0;
  double bottom = 0, top = 0;
};
// Slices of at least ten samples and of `period` seconds, each one's spectrum
// in dB (not normalised), a floor added before the logarithm when a slice is
// silent so no level is minus infinity.
Waterfall waterfall(std::span<const cplx> samples, double rate, double period);

struct Ccdf {
  std::vector<double> level;      // dB above the average power, from 0
  std::vector<double> percent;    // of samples at or above each level (+1e-300)
  std::vector<double> reference;  // Gaussian noise, percent
  bool complexWaveform = true;
  double maxLevel = 20, yMin = 0.001;
};
// An empty waveform gives the built-in 1000-sample test signal.
Ccdf ccdf(std::span<const cplx> samples);

// The bursts and levels at a set level are the library's.
using dot11a::burstRanges;
using dot11a::Ranges;
// The samples within the ranges (clipped to the samples), in order.
std::vector<cplx> gatedSamples(std::span<const cplx> samples, const Ranges& ranges);

// The level in dB above the average power that `percent` of the samples'
// instantaneous powers reach or exceed (the CCDF read the other way), one per
// entry of `percents`; 0 for no samples or no power.
std::vector<double> paprAt(std::span<const cplx> samples, std::span<const double> percents);

using dot11a::Levels;
using dot11a::levelsAt;
using dot11a::levelsText;

}  // namespace dot11a::plots
