// The numbers of the analysis plots: units, the spectrum's bin order and axis,
// the waterfall's slices and floor, the CCDF against Gaussian noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "gui/plots/plot_data.hpp"

namespace dot11a::plots {
namespace {

TEST(PlotUnits, FrequencyAndTimeUnitsFollowTheThousands) {
  EXPECT_EQ(frequencyUnits(20e6).name, "MHz");
  EXPECT_EQ(frequencyUnits(20e6).scale, 1e6);
  EXPECT_EQ(frequencyUnits(1).name, "Hz");
  EXPECT_EQ(frequencyUnits(5e3).name, "kHz");
  EXPECT_EQ(frequencyUnits(0.5).name, "GHz");  // below 1 Hz
  EXPECT_EQ(timeUnits(5e-3).name, "mS");
  EXPECT_EQ(timeUnits(2.5e-6).name, "uS");
  EXPECT_EQ(timeUnits(8e-5).name, "uS");
  EXPECT_EQ(timeUnits(4e-7).name, "nS");
  EXPECT_EQ(timeUnits(2).name, "S");
  EXPECT_EQ(timeUnits(1e-13).scale, 1e12);
}

TEST(PlotSpectrum, BinsAreInStandardOrderWithDcAtTheMiddle) {
  // For N = 4 the display order is X(3), X(4), X(1), X(2) (1-based).
  std::vector<cplx> x{cplx(1, 0), cplx(2, 0), cplx(0, 1), cplx(0, 0)};
  const auto shifted = shiftedSpectrum(x);
  // Bin k of the DFT, computed directly.
  auto dft = [&](int k) {
    cplx s = 0;
    for (int i = 0; i < 4; ++i) s += x[i] * std::polar(1.0, -2 * std::numbers::pi * k * i / 4);
    return s;
  };
  for (int p = 0; p < 4; ++p) EXPECT_NEAR(std::abs(shifted[p] - dft((p + 2) % 4)), 0, 1e-12);
  const auto f = frequencyAxis(4, 40);
  EXPECT_EQ(f, (std::vector<double>{-20, -10, 0, 10}));
  const auto f5 = frequencyAxis(5, 50);
  EXPECT_EQ(f5, (std::vector<double>{-20, -10, 0, 10, 20}));
}

TEST(PlotSpectrum, AToneAtThreeMegahertzPeaksAtThreeOnTheAxis) {
  const double rate = 20e6;
  for (std::size_t n : {1000u, 1001u, 1600u}) {
    std::vector<cplx> tone(n);
    for (std::size_t i = 0; i < n; ++i)
      tone[i] = std::polar(1.0, 2 * std::numbers::pi * 3e6 * double(i) / rate);
    const Spectrum s = spectrum(tone, rate);
    const auto peak = std::max_element(s.level.begin(), s.level.end()) - s.level.begin();
    EXPECT_NEAR(s.frequency[peak], 3.0, rate / double(n) / 1e6 / 2) << n;
    EXPECT_DOUBLE_EQ(s.level[peak], 0);
    EXPECT_EQ(s.units.name, "MHz");
    EXPECT_DOUBLE_EQ(s.fMin, -10);
    EXPECT_DOUBLE_EQ(s.fMax, 10);
    EXPECT_EQ(s.top, 0);
    EXPECT_GE(s.bottom, -100);
  }
}

// A spectrum longer than the largest frame (a sequence) is shown as the
// highest bin of each group: a strong and a weak tone keep their levels and
// frequencies, and the single-precision transform keeps the weak one 60 dB
// down.
TEST(PlotSpectrum, LongSpectraShowEveryPeakAtItsLevel) {
  const double rate = 40e6;
  const std::size_t n = kLongSpectrum + 4000;
  // Tones on bins: 1000 and -3000 bins from DC.
  const double bin = rate / double(n);
  std::vector<cplx> x(n);
  for (std::size_t i = 0; i < n; ++i)
    x[i] = std::polar(1.0, 2 * std::numbers::pi * 1000 * double(i) / double(n)) +
           std::polar(1e-3, -2 * std::numbers::pi * 3000 * double(i) / double(n));
  const Spectrum s = forDisplay(spectrumInPlace(std::move(x), rate), 1000);
  ASSERT_LE(s.level.size(), 1000u);
  ASSERT_EQ(s.frequency.size(), s.level.size());
  const auto at = [&](double mhz) {
    std::size_t best = 0;
    for (std::size_t i = 0; i < s.frequency.size(); ++i)
      if (std::abs(s.frequency[i] - mhz) < std::abs(s.frequency[best] - mhz)) best = i;
    return best;
  };
  const std::size_t strong = at(1000 * bin / 1e6), weak = at(-3000 * bin / 1e6);
  EXPECT_DOUBLE_EQ(s.frequency[strong], 1000 * bin / 1e6);
  EXPECT_NEAR(s.level[strong], 0, 1e-6);
  EXPECT_NEAR(s.frequency[weak], -3000 * bin / 1e6, 1e-9);
  EXPECT_NEAR(s.level[weak], -60, 0.01);
  EXPECT_EQ(*std::max_element(s.level.begin(), s.level.end()), s.level[strong]);
  EXPECT_DOUBLE_EQ(s.fMax, 20);
}

TEST(PlotSpectrum, ZerosSilenceAndEmptyWaveformsStillPlot) {
  // A constant has power only at DC: the other bins get the floor.
  const Spectrum dc = spectrum(std::vector<cplx>(8, 1.0), 0);
  EXPECT_EQ(dc.units.name, "Hz");
  EXPECT_DOUBLE_EQ(dc.fMax, 0.5);
  for (double v : dc.level) EXPECT_TRUE(std::isfinite(v));
  EXPECT_EQ(dc.bottom, -100);  // clipped 100 dB below the peak
  // All zero: every level equal, yet a non-empty range.
  const Spectrum zero = spectrum(std::vector<cplx>(16, 0.0), 1e6);
  for (double v : zero.level) EXPECT_EQ(v, 0);
  EXPECT_LT(zero.bottom, zero.top);
  const Spectrum empty = spectrum({}, 20e6);
  EXPECT_EQ(empty.level.size(), 10u);
  EXPECT_DOUBLE_EQ(*std::max_element(empty.level.begin(), empty.level.end()), 0);
}

TEST(PlotWaterfall, SlicesFollowThePeriodAndSilenceIsFloored) {
  const std::vector<cplx> big(100000, 1.0);
  const Waterfall w = waterfall(big, 20e6, 100000 / 20e6 / 200);
  EXPECT_EQ(w.rows, 500u);
  EXPECT_EQ(w.cols, 200u);
  const Waterfall small = waterfall(std::vector<cplx>(1000, 1.0), 20e6, 1000 / 20e6 / 200);
  EXPECT_EQ(small.rows, 10u);  // at least ten samples per slice
  EXPECT_EQ(small.cols, 100u);
  // A burst followed by silence: the silent slices are finite.
  std::vector<cplx> burst(560, 0.0);
  for (std::size_t i = 0; i < 112; ++i) burst[i] = std::polar(1.0, 0.3 * double(i));
  const Waterfall b = waterfall(burst, 40e6, 56 / 40e6);
  EXPECT_EQ(b.rows, 56u);
  EXPECT_EQ(b.cols, 10u);
  for (double v : b.z) EXPECT_TRUE(std::isfinite(v));
  // The frequency of each row and the time of each column.
  EXPECT_DOUBLE_EQ(b.x[28], 0);  // DC at row floor(56/2)
  EXPECT_NEAR(b.x[0], -20, 1e-12);
  EXPECT_EQ(b.timeUnits.name, "uS");
  EXPECT_NEAR(b.y[3 * 56], 3 * 1.4, 1e-9);
  EXPECT_NEAR(b.tMax, 9 * 1.4, 1e-9);
  const Waterfall none = waterfall({}, 20e6, 0);
  EXPECT_EQ(none.rows, 10u);
  EXPECT_EQ(none.cols, 5u);
  EXPECT_LT(none.bottom, none.top);
}

TEST(PlotCcdf, GaussianNoiseFollowsTheReferenceCurve) {
  std::mt19937 rng(7);
  std::normal_distribution<double> g;
  std::vector<cplx> noise(400000);
  for (cplx& v : noise) v = {g(rng), g(rng)};
  const Ccdf c = ccdf(noise);
  EXPECT_TRUE(c.complexWaveform);
  EXPECT_NEAR(c.reference[0], 100 * std::exp(-1.0), 1e-9);
  // Within 0.2 dB of the reference between 0 and 10 dB, where counts are many.
  for (std::size_t i = 0; i < c.level.size(); ++i) {
    if (c.level[i] > 10 || c.reference[i] < 0.01) continue;
    // The level at which the reference reaches the measured percentage.
    const double refLevel = 10 * std::log10(-std::log(c.percent[i] / 100));
    EXPECT_NEAR(refLevel, c.level[i], 0.2) << c.level[i];
  }
}

TEST(PlotCcdf, RealConstantAndEmptyWaveforms) {
  const Ccdf real = ccdf(std::vector<cplx>{1.0, -1.0, 0.5, 0.0});
  EXPECT_FALSE(real.complexWaveform);
  EXPECT_NEAR(real.reference[0], 100 * std::erfc(1 / std::sqrt(2.0)), 1e-9);
  for (double y : real.percent) EXPECT_GT(y, 0);  // drawable on a log axis
  const Ccdf flat = ccdf(std::vector<cplx>(50, cplx(0, 2)));
  EXPECT_NEAR(flat.percent[0], 100, 1e-9);  // every sample at 0 dB
  EXPECT_DOUBLE_EQ(flat.maxLevel, 20);
  EXPECT_LE(flat.yMin, 0.001);
  const Ccdf test = ccdf({});
  EXPECT_EQ(test.level.size(), 201u);
  EXPECT_TRUE(test.complexWaveform);
  // A peak 23 dB above the average widens the levels to 1.01 x 23 dB.
  std::vector<cplx> spiky(1000, 1.0);
  spiky[0] = std::sqrt(std::pow(10, 2.3) * 1000);
  const Ccdf sp = ccdf(spiky);
  EXPECT_GT(sp.maxLevel, 20.2);
}

// The generator sets the RMS of the whole waveform: a burst over half the
// time is 3 dB above it, the peak sample above that by its PAPR; without
// bursts the level is the set level, and silence gives no reading.
TEST(PlotLevels, BurstAndPeakAtTheSetLevel) {
  std::vector<cplx> x(1000);
  std::fill(x.begin(), x.begin() + 500, cplx(1, 0));
  x[10] = cplx(0, 2);
  const Levels l = levelsAt(x, {{0, 500}}, -30);
  ASSERT_TRUE(l.valid);
  EXPECT_NEAR(l.burstDbm, -30 + 10 * std::log10(1.006 / 0.503), 1e-9);
  EXPECT_NEAR(l.peakDbm, -30 + 10 * std::log10(4 / 0.503), 1e-9);
  EXPECT_NEAR(l.paprDb, 10 * std::log10(4 / 1.006), 1e-9);
  EXPECT_EQ(levelsText(l), "burst -27.0 dBm, peak -21.0 dBm, PAPR 6.0 dB");
  EXPECT_NEAR(levelsAt(x, {}, -30).burstDbm, -30, 1e-9);
  EXPECT_FALSE(levelsAt(std::vector<cplx>(10), {{0, 5}}, -30).valid);
}

}  // namespace
}  // namespace dot11a::plots
