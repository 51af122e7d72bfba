// The receiver on the IEEE example packet and on impaired input: noise at a
// known SNR, a carrier offset, a sampling clock offset, a frame cut short,
// noise or nothing at all, damaged samples and rates that are not 20 MHz times
// a whole number.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "common/reference_data.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a::rx {
namespace {

using test::annexG;
using test::annexGOctets;
using test::complexTable;
using test::randomBits;

Frame makeFrame(double mbps, int modulation, double coding, int os, std::size_t octets,
                std::mt19937& rng, Bits* psdu = nullptr, int window = 0) {
  FrameSettings s;
  s.data.windowLength = window;
  s.dataRate = mbps;
  s.data.modulation = modulation;
  s.data.encoderRate = coding;
  s.data.oversampling = os;
  s.idleSamples = 400 * os;
  const Bits bits = randomBits(8 * octets, rng);
  if (psdu != nullptr) *psdu = bits;
  return synthesizeFrame(s, bits);
}

// Adds complex white noise whose power in one sub-carrier's FFT bin is
// 1 / snr relative to a unit-power sub-carrier (the synthesis puts unit-power
// points on the sub-carriers and divides the inverse FFT by its length).
void addNoise(Samples& x, double snrDb, int os, std::mt19937& rng) {
  const double n = 64.0 * os;
  const double sigma = std::sqrt(1.0 / (n * std::pow(10.0, snrDb / 10.0)) / 2.0);
  std::normal_distribution<double> g(0.0, sigma);
  for (cplx& v : x) v += cplx(g(rng), g(rng));
}

bool anyOf(const Result& r) {
  return std::any_of(r.frames.begin(), r.frames.end(),
                     [](const FrameReport& f) { return f.decoded(); });
}

void shiftFrequency(Samples& x, double hz, double rate) {
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] *= std::polar(1.0, 2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate);
}

TEST(RxAnnexG, ExamplePacketDecodesAndItsPrintedFcsIsReportedBad) {
  const Samples packet = complexTable(annexG()["packet_time"]);
  const std::vector<std::uint8_t> octets = annexGOctets();
  Options o;
  o.fcs = FcsCheck::On;
  const Result res = receive(packet, o);
  ASSERT_EQ(res.frames.size(), 1u) << res.problem;
  const FrameReport& f = res.frames[0];
  EXPECT_EQ(f.rateMbps, 36);
  EXPECT_EQ(f.length, 100u);
  EXPECT_EQ(f.scramblerSeed, 93u);
  EXPECT_EQ(f.psdu, octets);
  EXPECT_EQ(f.fcs, FcsState::Bad);
  EXPECT_FALSE(f.decoded());
  bool said = false;
  for (const auto& p : f.problems) said = said || p.find("FCS bad") != std::string::npos;
  EXPECT_TRUE(said);
  // Three printed decimals limit the accuracy of the example's samples.
  EXPECT_LT(f.evmDb, -30.0);
}

// The EVM is the noise's power plus that of the channel estimate the
// measurements take: the long training's two periods add half the noise
// again, the same projected onto 16 taps 16/52 of that, the estimate from
// every symbol of the frame nearly nothing; the common phase from 52
// sub-carriers adds 1/52.
TEST(RxImpaired, NoiseGivesTheEvmEachChannelEstimatePredicts) {
  std::mt19937 rng(21);
  struct Case {
    double mbps;
    int mod;
    double coding;
    double snrDb;
  };
  for (const Case& c : {Case{12, 2, kRate1_2, 20}, Case{54, 4, kRate3_4, 32}}) {
    SCOPED_TRACE(c.mbps);
    std::array<double, 3> sum{};
    const int runs = 4;
    for (int i = 0; i < runs; ++i) {
      Bits psdu;
      Frame f = makeFrame(c.mbps, c.mod, c.coding, 1, 1500, rng, &psdu);
      addNoise(f.waveform, c.snrDb, 1, rng);
      for (const ChannelEstimate e :
           {ChannelEstimate::Preamble, ChannelEstimate::Smoothed, ChannelEstimate::DataAided}) {
        Options o;
        o.channelEstimate = e;
        const Result res = receive(f.waveform, o);
        ASSERT_EQ(res.frames.size(), 1u) << res.problem;
        EXPECT_EQ(res.frames[0].psduBits, psdu);
        sum[static_cast<std::size_t>(e)] += res.frames[0].evmDb / runs;
      }
    }
    const double phase = 1.0 / 52.0;
    EXPECT_NEAR(sum[0], -c.snrDb + 10.0 * std::log10(1.0 + 0.5 + phase), 0.3);
    EXPECT_NEAR(sum[1], -c.snrDb + 10.0 * std::log10(1.0 + 0.5 * 16.0 / 52.0 + phase), 0.3);
    EXPECT_NEAR(sum[2], -c.snrDb + 10.0 * std::log10(1.0 + phase), 0.3);
  }
}

// A channel longer than the 16 taps the estimate is smoothed with (an echo
// 600 ns late, within the guard interval less the back-off) is not cut
// short: the smoothed estimate measures and decodes as the long training's
// does.
TEST(RxImpaired, AnEchoBeyondTheSmoothingTapsIsKept) {
  std::mt19937 rng(22);
  Bits psdu;
  Frame f = makeFrame(54, 4, kRate3_4, 1, 1000, rng, &psdu);
  Samples x = f.waveform;
  for (std::size_t i = 12; i < x.size(); ++i) x[i] += f.waveform[i - 12] * cplx(0.5, -0.4);
  addNoise(x, 35, 1, rng);
  std::array<double, 2> evm{};
  for (const ChannelEstimate e : {ChannelEstimate::Preamble, ChannelEstimate::Smoothed}) {
    Options o;
    o.channelEstimate = e;
    const Result res = receive(x, o);
    ASSERT_EQ(res.frames.size(), 1u);
    EXPECT_EQ(res.frames[0].psduBits, psdu);
    evm[static_cast<std::size_t>(e)] = res.frames[0].evmDb;
  }
  EXPECT_LT(evm[1], evm[0] + 0.5);
}

TEST(RxImpaired, CarrierOffsetOf50kHzIsMeasuredWithin1kHz) {
  std::mt19937 rng(4);
  for (int os : {1, 3}) {
    for (double hz : {50e3, -50e3}) {
      Bits psdu;
      Frame f = makeFrame(24, 3, kRate1_2, os, 300, rng, &psdu);
      shiftFrequency(f.waveform, hz, 20e6 * os);
      addNoise(f.waveform, 30, os, rng);
      Options o;
      o.sampleRate = 20e6 * os;
      const Result res = receive(f.waveform, o);
      ASSERT_EQ(res.frames.size(), 1u);
      EXPECT_NEAR(res.frames[0].cfoHz, hz, 1e3);
      EXPECT_EQ(res.frames[0].psduBits, psdu);
    }
  }
}

TEST(RxImpaired, SamplingClockOffsetIsTrackedAndMeasured) {
  // A capture whose clock runs fast or slow against the transmitter's: the
  // waveform made at 40 MHz, resampled to 40 MHz x (1 + offset) and read as
  // 40 MHz. By the end of the frame the symbols sit 1.2 (54 Mbit/s, 4095
  // octets, +100 ppm) or 2.1 (6 Mbit/s, 2000 octets, -40 ppm) samples away
  // from where the long training puts them: a phase slope of up to 3 rad
  // across the sub-carriers, and for the second more than a sample of window.
  std::mt19937 rng(8);
  struct Case {
    double mbps;
    int mod;
    double coding;
    std::size_t octets;
    double ppm;
  };
  for (const Case& c : {Case{54, 4, kRate3_4, 4095, 100}, Case{6, 1, kRate1_2, 2000, -40}}) {
    SCOPED_TRACE(c.ppm);
    Bits psdu;
    const Frame f = makeFrame(c.mbps, c.mod, c.coding, 2, c.octets, rng, &psdu);
    const Samples x = resample(f.waveform, 40e6, 40e6 * (1.0 + c.ppm * 1e-6));
    Options o;
    o.sampleRate = 40e6;
    const Result res = receive(x, o);
    ASSERT_EQ(res.frames.size(), 1u) << res.problem;
    const FrameReport& r = res.frames[0];
    EXPECT_TRUE(r.decoded());
    EXPECT_EQ(r.psduBits, psdu);
    EXPECT_NEAR(r.clockOffsetPpm, c.ppm, 3.0);
    EXPECT_LT(r.evmDb, -30.0);
    // The last symbols are as clean as the first.
    ASSERT_FALSE(r.evmPerSymbolDb.empty());
    EXPECT_LT(r.evmPerSymbolDb.back(), -30.0);
  }
  // Without an offset the estimate stays at zero.
  Bits psdu;
  const Frame f = makeFrame(54, 4, kRate3_4, 1, 1500, rng, &psdu);
  const Result res = receive(f.waveform);
  ASSERT_EQ(res.frames.size(), 1u);
  EXPECT_NEAR(res.frames[0].clockOffsetPpm, 0.0, 0.1);
  EXPECT_EQ(res.frames[0].psduBits, psdu);
}

TEST(RxImpaired, FrameCutShortIsReportedAsTruncated) {
  std::mt19937 rng(8);
  const Frame f = makeFrame(6, 1, kRate1_2, 1, 200, rng);
  for (std::size_t keep : {std::size_t{700}, std::size_t{380}, std::size_t{1500}}) {
    const Samples cut(f.waveform.begin(), f.waveform.begin() + static_cast<long>(keep));
    const Result res = receive(cut);
    EXPECT_FALSE(res.passed());
    if (res.frames.empty()) {
      EXPECT_FALSE(res.problem.empty());
      continue;
    }
    EXPECT_TRUE(res.frames[0].truncated);
    EXPECT_FALSE(res.frames[0].decoded());
    EXPECT_FALSE(res.frames[0].problems.empty());
  }
}

TEST(RxImpaired, NoiseSilenceAndNothingGiveNoFrameAndAReason) {
  std::mt19937 rng(1);
  Samples noise(20000);
  addNoise(noise, 0, 1, rng);
  for (const Samples& x : {noise, Samples(5000, cplx(0.0, 0.0)), Samples{}, Samples(3, 1.0)}) {
    const Result res = receive(x);
    EXPECT_TRUE(res.frames.empty());
    EXPECT_FALSE(res.problem.empty());
    EXPECT_FALSE(res.passed());
  }
}

TEST(RxImpaired, SamplesThatAreNotNumbersCountAsSilence) {
  std::mt19937 rng(2);
  Bits psdu;
  Frame f = makeFrame(18, 2, kRate3_4, 1, 50, rng, &psdu);
  f.waveform[f.waveform.size() - 3] = cplx(std::nan(""), INFINITY);
  // Either part alone, and an infinity of either sign, is found too.
  f.waveform[f.waveform.size() - 2] = cplx(0.5, -INFINITY);
  f.waveform[f.waveform.size() - 1] = cplx(-std::nan(""), 0.0);
  // Two more in the frame's DATA field: its note counts those in it alone.
  f.waveform[500] = f.waveform[501] = cplx(std::nan(""), 0.0);
  const Result res = receive(f.waveform);
  ASSERT_EQ(res.frames.size(), 1u);
  EXPECT_EQ(res.frames[0].psduBits, psdu);
  EXPECT_EQ(res.nonFiniteSamples, 5u);
  ASSERT_FALSE(res.frames[0].notes.empty());
  EXPECT_EQ(res.frames[0].notes.back(), "2 samples were not numbers and count as 0.");
  // The largest finite values are numbers.
  f.waveform[500] = f.waveform[501] = cplx(0.0, 0.0);
  f.waveform[f.waveform.size() - 3] = cplx(1.0, 0.0);
  f.waveform[f.waveform.size() - 2] = cplx(0.0, 0.0);
  f.waveform[f.waveform.size() - 1] = cplx(std::numeric_limits<double>::max(), 0.0);
  const Result big = receive(f.waveform);
  ASSERT_FALSE(big.frames.empty());
  for (const auto& n : big.frames[0].notes) EXPECT_EQ(n.find("not numbers"), std::string::npos);
  // So large that the FFT of its symbol overflows: the pilots give no timing
  // for it, and the clock tracking of the rest of the frame stays a number.
  // (Samples 600 to 607 lie in the FFT window of the third DATA symbol.)
  for (std::size_t i = 600; i < 608; ++i)
    f.waveform[i] = cplx(std::numeric_limits<double>::max(), 0.0);
  const Result huge = receive(f.waveform);
  ASSERT_FALSE(huge.frames.empty());
  EXPECT_TRUE(std::isfinite(huge.frames[0].clockOffsetPpm));
  Options bad;
  bad.sampleRate = std::nan("");
  EXPECT_FALSE(receive(f.waveform, bad).problem.empty());
}

TEST(RxImpaired, OtherSampleRatesAreResampled) {
  std::mt19937 rng(6);
  Bits psdu;
  const Frame f = makeFrame(36, 3, kRate3_4, 2, 120, rng, &psdu);
  for (double rate : {25e6, 30e6, 50e6}) {
    SCOPED_TRACE(rate);
    const Samples x = resample(f.waveform, 40e6, rate);
    Options o;
    o.sampleRate = rate;
    const Result res = receive(x, o);
    ASSERT_EQ(res.frames.size(), 1u) << res.problem;
    EXPECT_EQ(res.frames[0].psduBits, psdu);
    EXPECT_LT(res.frames[0].evmDb, -30.0);
  }
}

TEST(RxMeasure, WindowedFramesMeetTheMaskAndUnwindowedOnesBreakItsFloor) {
  std::mt19937 rng(12);
  Options o;
  o.sampleRate = 80e6;
  const auto windowed = makeFrame(54, 4, kRate3_4, 4, 1000, rng, nullptr, 16).waveform;
  const Result good = receive(windowed, o);
  ASSERT_EQ(good.frames.size(), 1u);
  const FrameReport& r = good.frames[0];
  EXPECT_TRUE(r.maskMeasured);
  EXPECT_DOUBLE_EQ(r.maskCoveredHz, 40e6);
  EXPECT_TRUE(r.maskPass) << r.maskWorstMarginDb << " dB at " << r.maskWorstFrequencyHz;
  EXPECT_GT(std::abs(r.maskWorstFrequencyHz), 9e6);
  EXPECT_TRUE(r.flatnessPass);
  EXPECT_NEAR(r.flatnessWorstMarginDb, 2.0, 0.01);  // a flat channel is 2 dB inside
  EXPECT_TRUE(r.passed());

  // Without the window the symbols' sharp edges spread beyond -40 dBr.
  const Result bad = receive(makeFrame(54, 4, kRate3_4, 4, 1000, rng).waveform, o);
  ASSERT_EQ(bad.frames.size(), 1u);
  EXPECT_TRUE(bad.frames[0].decoded());
  EXPECT_FALSE(bad.frames[0].maskPass);
  EXPECT_GT(std::abs(bad.frames[0].maskWorstFrequencyHz), 20e6);
  EXPECT_FALSE(bad.passed());

  // The spectrum is the same at any level: its transforms neither overflow
  // nor underflow on a finite input.
  const Spectrum ref = powerSpectrum(windowed, o.sampleRate);
  for (const double level : {1e100, 1e-200}) {
    std::vector<cplx> x(windowed.begin(), windowed.end());
    for (cplx& v : x) v *= level;
    const Spectrum s = powerSpectrum(x, o.sampleRate);
    ASSERT_EQ(s.dBr.size(), ref.dBr.size());
    for (std::size_t i = 0; i < s.dBr.size(); ++i) {
      if (ref.dBr[i] > -100) {
        ASSERT_NEAR(s.dBr[i], ref.dBr[i], 0.01) << level << " bin " << i;
      }
    }
  }

  EXPECT_DOUBLE_EQ(spectrumMaskDbr(0), 0);
  EXPECT_DOUBLE_EQ(spectrumMaskDbr(-11e6), -20);
  EXPECT_DOUBLE_EQ(spectrumMaskDbr(20e6), -28);
  EXPECT_DOUBLE_EQ(spectrumMaskDbr(45e6), -40);
  EXPECT_NEAR(spectrumMaskDbr(10e6), -10, 1e-12);
}

// A frame at 10 or 5 MHz spacing is the 20 MHz frame's samples at a half or
// a quarter of the clock: found at its own rate and in wider captures, its
// offset in Hz and its rate at that spacing, the mask's offsets scaled.
TEST(RxSpacing, NarrowFramesAreFoundAndMeasuredAtTheirSpacing) {
  std::mt19937 rng(21);
  const struct {
    ChannelSpacing spacing;
    int os;
  } cases[] = {{ChannelSpacing::MHz10, 1}, {ChannelSpacing::MHz10, 2}, {ChannelSpacing::MHz10, 4},
               {ChannelSpacing::MHz5, 1},  {ChannelSpacing::MHz5, 4},  {ChannelSpacing::MHz5, 8}};
  for (const auto& c : cases) {
    const double rate = baseSampleRateOf(c.spacing) * c.os, hz = 20e3 * clockFactor(c.spacing);
    SCOPED_TRACE(std::to_string(spacingMHz(c.spacing)) + " MHz at " + std::to_string(rate));
    Bits psdu;
    Frame f = makeFrame(36, 3, kRate3_4, c.os, 200, rng, &psdu, 2 * c.os);
    shiftFrequency(f.waveform, hz, rate);
    Options o;
    o.sampleRate = rate;
    const Result r = receive(f.waveform, o);
    ASSERT_EQ(r.frames.size(), 1u) << r.problem;
    const FrameReport& x = r.frames[0];
    EXPECT_EQ(x.spacing, c.spacing);
    EXPECT_EQ(x.psduBits, psdu);
    EXPECT_NEAR(x.cfoHz, hz, 500 * clockFactor(c.spacing));
    EXPECT_DOUBLE_EQ(x.rateMbps, 36 * clockFactor(c.spacing));
    EXPECT_TRUE(x.passed());
    if (c.os > 1) {
      EXPECT_DOUBLE_EQ(x.maskCoveredHz, rate / 2);
    }
    // Told the spacing, the receiver looks for nothing else.
    o.spacing = ChannelSpacing::MHz20;
    EXPECT_FALSE(anyOf(receive(f.waveform, o)));
  }
  // Spectral regrowth (no window) breaks the 10 MHz mask beyond 10 MHz, the
  // 20 MHz mask's 20 MHz scaled.
  Options o;
  o.sampleRate = 40e6;
  o.spacing = ChannelSpacing::MHz10;
  const Result bad = receive(makeFrame(54, 4, kRate3_4, 4, 1000, rng).waveform, o);
  ASSERT_EQ(bad.frames.size(), 1u);
  EXPECT_TRUE(bad.frames[0].decoded());
  EXPECT_FALSE(bad.frames[0].maskPass);
  EXPECT_GT(std::abs(bad.frames[0].maskWorstFrequencyHz), 10e6);
  EXPECT_LE(std::abs(bad.frames[0].maskWorstFrequencyHz), 20e6);
}

// The emission classes of 10 MHz channels: their corners at the spacing's
// offsets, class A the PHY's own mask; a windowed frame that meets the
// PHY's mask breaks the strictest class just beyond the channel's edge, and
// the report says which mask at the frame's own offset.
TEST(RxMeasure, EmissionClassesAreMasksAtTheFramesSpacing) {
  EXPECT_EQ(spectrumMaskDbr(5e6, ChannelSpacing::MHz10, EmissionMask::ClassC), -26);
  EXPECT_EQ(spectrumMaskDbr(-5.5e6, ChannelSpacing::MHz10, EmissionMask::ClassC), -32);
  EXPECT_EQ(spectrumMaskDbr(7.75e6, ChannelSpacing::MHz10, EmissionMask::ClassC), -36);
  EXPECT_EQ(spectrumMaskDbr(15e6, ChannelSpacing::MHz10, EmissionMask::ClassD), -65);
  EXPECT_EQ(spectrumMaskDbr(4.5e6, ChannelSpacing::MHz10, EmissionMask::ClassD), 0);
  EXPECT_EQ(spectrumMaskDbr(10e6, ChannelSpacing::MHz20, EmissionMask::ClassB), -16);
  for (const double f : {9.5e6, 10e6, 10.7e6, 15e6, 25e6, 40e6})
    EXPECT_NEAR(spectrumMaskDbr(f, ChannelSpacing::MHz20, EmissionMask::ClassA), spectrumMaskDbr(f),
                1e-12)
        << f;
  EXPECT_EQ(emissionMaskNamed("class-d"), EmissionMask::ClassD);
  EXPECT_EQ(emissionMaskName(EmissionMask::Standard), "standard");
  EXPECT_FALSE(emissionMaskNamed("class-e"));

  std::mt19937 rng(31);
  const auto x = makeFrame(54, 4, kRate3_4, 4, 400, rng, nullptr, 16).waveform;
  Options o;
  o.sampleRate = 40e6;
  o.spacing = ChannelSpacing::MHz10;
  const Result standard = receive(x, o);
  o.mask = EmissionMask::ClassD;
  const Result strict = receive(x, o);
  ASSERT_EQ(standard.frames.size(), 1u);
  ASSERT_EQ(strict.frames.size(), 1u);
  EXPECT_TRUE(standard.frames[0].maskPass);
  const FrameReport& d = strict.frames[0];
  EXPECT_FALSE(d.maskPass);
  EXPECT_GT(std::abs(d.maskWorstFrequencyHz), 4.5e6);
  EXPECT_LE(std::abs(d.maskWorstFrequencyHz), 15e6);
  const std::string said = d.problems.empty() ? "" : d.problems.back();
  EXPECT_NE(said.find("emission class-d mask"), std::string::npos) << said;
  char at[32];
  std::snprintf(at, sizeof at, "%+.3f MHz", d.maskWorstFrequencyHz / 1e6);
  EXPECT_NE(said.find(at), std::string::npos) << said;
}

TEST(RxMeasure, TiltedChannelFailsFlatnessButDecodes) {
  std::mt19937 rng(14);
  Bits psdu;
  const Frame f = makeFrame(12, 2, kRate1_2, 1, 200, rng, &psdu);
  Samples echo(f.waveform.size());
  for (std::size_t i = 0; i < echo.size(); ++i)
    echo[i] = f.waveform[i] + (i > 0 ? 0.5 * f.waveform[i - 1] : cplx(0.0, 0.0));
  const Result res = receive(echo);
  ASSERT_EQ(res.frames.size(), 1u);
  const FrameReport& r = res.frames[0];
  EXPECT_EQ(r.psduBits, psdu);
  EXPECT_FALSE(r.flatnessPass);
  EXPECT_LT(r.flatnessWorstMarginDb, 0.0);
  EXPECT_GE(std::abs(r.flatnessWorstSubcarrier), 17);
  EXPECT_FALSE(r.passed());
  EXPECT_LT(r.evmDb, -60.0);  // the channel estimate takes the echo out
}

}  // namespace
}  // namespace dot11a::rx
