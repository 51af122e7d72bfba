// Each impairment family generated and measured back with the receiver: the
// offsets, IQ imbalance and DC, noise and phase noise against the EVM they
// predict, multipath that still decodes, and an interferer in the spectrum.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "common/library_fixture.hpp"
#include "common/reference_data.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a::impair {
namespace {

Frame makeFrame(double mbps, int os, std::size_t octets, std::mt19937& rng, Bits* psdu = nullptr,
                long long idle = -1) {
  const RateEntry* r = rateByMbps(mbps);
  FrameSettings s;
  s.dataRate = mbps;
  s.data.modulation = static_cast<int>(r->modulation);
  s.data.encoderRate = r->coding.value();
  s.data.oversampling = os;
  s.idleSamples = idle < 0 ? 400 * os : idle;
  const Bits bits = test::randomBits(8 * octets, rng);
  if (psdu != nullptr) *psdu = bits;
  return synthesizeFrame(s, bits);
}

// The burst of a single frame: where its burst marker is set.
std::vector<Burst> burstOf(const Frame& f) {
  std::size_t end = 0;
  for (std::size_t i = 0; i < f.marker2.size(); ++i)
    if (f.marker2[i]) end = i + 1;
  return {{0, end}};
}

rx::FrameReport receiveOne(const Samples& x, double fs) {
  rx::Options o;
  o.sampleRate = fs;
  const rx::Result r = rx::receive(x, o);
  EXPECT_EQ(r.frames.size(), 1u) << r.problem;
  return r.frames.empty() ? rx::FrameReport{} : r.frames[0];
}

TEST(ImpairMeasured, CarrierAndClockOffsetsAreMeasuredBack) {
  std::mt19937 rng(3);
  Bits psdu;
  const Frame f = makeFrame(24, 1, 500, rng, &psdu);
  Settings s;
  s.cfoHz = -73e3;
  rx::FrameReport r = receiveOne(apply(f.waveform, 20e6, burstOf(f), s), 20e6);
  EXPECT_NEAR(r.cfoHz, -73e3, 1e3);
  EXPECT_EQ(r.psduBits, psdu);

  // A long frame: 6 Mbit/s, 2000 octets, 2.7 ms. The sign follows the
  // receiver's: more samples per frame is a positive offset.
  const Frame g = makeFrame(6, 2, 2000, rng, &psdu);
  for (double ppm : {35.0, -20.0}) {
    Settings c;
    c.clockPpm = ppm;
    r = receiveOne(apply(g.waveform, 40e6, burstOf(g), c), 40e6);
    EXPECT_NEAR(r.clockOffsetPpm, ppm, 2.0);
    EXPECT_EQ(r.psduBits, psdu);
  }
}

// The clock offset moves every sample to its time on the other clock: tones
// well inside the band come out as the same tones sampled at those times,
// some 80 dB clean (the interpolator's own limit), over a stretch where the
// offset has added up to several samples.
TEST(ImpairMeasured, ClockOffsetResamplesTonesAtTheirShiftedTimes) {
  constexpr std::size_t kSamples = 100000;
  for (const double ppm : {40.0, -1000.0}) {
    for (const double cycles : {0.05, 0.21, -0.3}) {
      Samples tone(kSamples);
      for (std::size_t k = 0; k < kSamples; ++k)
        tone[k] = std::polar(1.0, 2 * std::numbers::pi * cycles * static_cast<double>(k));
      Settings c;
      c.clockPpm = ppm;
      const Burst whole[] = {{0, kSamples}};
      const Samples out = apply(tone, 40e6, whole, c);
      const double step = 1 / (1 + ppm * 1e-6);
      double error = 0;
      std::size_t n = 0;
      for (std::size_t m = 50; m + 50 < out.size(); ++m, ++n)
        error += std::norm(out[m] - std::polar(1.0, 2 * std::numbers::pi * cycles *
                                                        static_cast<double>(m) * step));
      EXPECT_LT(10 * std::log10(error / static_cast<double>(n)), -80)
          << ppm << " ppm, " << cycles << " cycles per sample";
    }
  }
}

TEST(ImpairMeasured, IqImbalanceAndDcAreMeasuredBack) {
  std::mt19937 rng(5);
  const Frame f = makeFrame(54, 1, 1500, rng);
  const auto bursts = burstOf(f);
  for (const IqImbalance q : {IqImbalance{0.5, 2.0}, IqImbalance{-0.5, -2.0}, IqImbalance{0, 0}}) {
    SCOPED_TRACE(q.gainDb);
    Settings s;
    s.iq = q;
    s.snrDb = 35;
    const rx::FrameReport r = receiveOne(apply(f.waveform, 20e6, bursts, s), 20e6);
    EXPECT_TRUE(r.decoded());
    EXPECT_NEAR(r.iqGainImbalanceDb, q.gainDb, 0.1);
    EXPECT_NEAR(r.iqPhaseImbalanceDeg, q.phaseDeg, 0.5);
  }
  // No sub-carrier sits at DC: the mean over the burst is the leakage.
  Settings s;
  s.dcDbc = -25;
  const Samples x = apply(f.waveform, 20e6, bursts, s);
  cplx mean(0.0, 0.0);
  for (std::size_t i = 0; i < bursts[0].end; ++i) mean += x[i];
  mean /= static_cast<double>(bursts[0].end);
  const double dbc = 10.0 * std::log10(std::norm(mean) / burstPower(f.waveform, bursts));
  EXPECT_NEAR(dbc, -25.0, 1.0);
  EXPECT_TRUE(receiveOne(x, 20e6).decoded());
}

TEST(ImpairMeasured, NoisePhaseNoiseAndAmplifierRaiseTheEvmAsPredicted) {
  std::mt19937 rng(11);
  // The receiver's EVM sits above the noise by its channel estimate (two long
  // training symbols: half the noise again) and the pilots' phase estimate
  // (an eighth): 2.1 dB.
  const double estimate = 10.0 * std::log10(1.0 + 0.5 + 0.125);
  struct Case {
    double mbps, snrDb;
  };
  // Eight short frames per SNR, so the receiver's clock tracking has little
  // time to wander on noisy pilots, each under four seeds; their EVMs
  // averaged as powers. One seed alone lands anywhere within about +-0.4 dB.
  for (const Case c : {Case{6, 10}, Case{24, 20}, Case{54, 30}}) {
    SCOPED_TRACE(c.snrDb);
    std::vector<Frame> frames;
    for (int i = 0; i < 8; ++i) frames.push_back(makeFrame(c.mbps, 1, 300, rng));
    const Sequence seq = joinFrames(frames, 400, kMemoryM32Samples);
    double sum = 0.0;
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
      Settings s;
      s.snrDb = c.snrDb;
      s.seed = seed;
      const rx::Result r = rx::receive(apply(seq.waveform, 20e6, seq.bursts, s));
      ASSERT_EQ(r.frames.size(), 8u) << r.problem;
      for (const rx::FrameReport& f : r.frames) sum += std::pow(10.0, f.evmDb / 10.0);
    }
    // The receiver's tracking on noisy pilots adds about a decibel of its
    // own (0.7 to 1.5 dB by seed, at every SNR here), which the prediction
    // leaves out.
    EXPECT_NEAR(10.0 * std::log10(sum / 32.0), -c.snrDb + estimate, 1.6);
  }
  // Phase noise whose corner lies far above the symbol rate: little of it is
  // common to a symbol, and the small angles act as noise of the power of
  // their variance (radians squared). The receiver takes each symbol's
  // common phase from its 52 sub-carriers, which adds a 52nd of it; the
  // part the training and the tracking take out varies from draw to draw,
  // so six draws are averaged as powers.
  const Frame f = makeFrame(54, 2, 1500, rng);
  for (double deg : {1.0, 3.0}) {
    SCOPED_TRACE(deg);
    double sum = 0.0;
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
      Settings pn;
      pn.phaseNoise = PhaseNoise{deg, 2e6};
      pn.seed = seed;
      sum += std::pow(10.0, receiveOne(apply(f.waveform, 40e6, burstOf(f), pn), 40e6).evmDb / 10.0);
    }
    EXPECT_NEAR(
        10.0 * std::log10(sum / 6.0),
        20.0 * std::log10(deg * std::numbers::pi / 180.0) + 10.0 * std::log10(1.0 + 1.0 / 52.0),
        1.0);
  }
  // Rapp at 3 dB back-off: a worse EVM and less margin to the mask.
  const rx::FrameReport clean = receiveOne(f.waveform, 40e6);
  Settings pa;
  pa.amplifier = Amplifier{Amplifier::Model::Rapp, 2.0, 3.0};
  const rx::FrameReport hot = receiveOne(apply(f.waveform, 40e6, burstOf(f), pa), 40e6);
  EXPECT_GT(hot.evmDb, clean.evmDb + 10.0);
  EXPECT_LT(hot.maskWorstMarginDb, clean.maskWorstMarginDb - 3.0);
}

TEST(ImpairMeasured, MultipathFramesDecodeAt6To24MbpsWithAChannelPerFrame) {
  std::mt19937 rng(17);
  for (double mbps : {6.0, 12.0, 24.0}) {
    SCOPED_TRACE(mbps);
    std::vector<Frame> frames;
    std::vector<Bits> psdus(4);
    for (Bits& p : psdus) frames.push_back(makeFrame(mbps, 2, 300, rng, &p));
    const Sequence seq = joinFrames(frames, 640, kMemoryM32Samples);
    Settings s;
    s.channel = Channel{50.0, std::nullopt};
    s.snrDb = 30;
    rx::Options o;
    o.sampleRate = 40e6;
    const rx::Result r = rx::receive(apply(seq.waveform, 40e6, seq.bursts, s), o);
    ASSERT_EQ(r.frames.size(), 4u) << r.problem;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(r.frames[i].psduBits, psdus[i]) << i;
    // Drawn anew per frame: the channel estimates differ.
    EXPECT_GT(std::abs(r.frames[0].channel[10] - r.frames[1].channel[10]), 0.05);
  }
}

TEST(ImpairMeasured, InterfererAppearsAtItsOffsetAndLevel) {
  std::mt19937 rng(23);
  const Frame f = makeFrame(54, 3, 4000, rng, nullptr, 0);
  Settings s;
  s.interferer = Interferer{20e6, 16.0};
  const Samples x = apply(f.waveform, 60e6, burstOf(f), s);
  const rx::Spectrum sp = rx::powerSpectrum(x, 60e6);
  auto band = [&](double centre) {
    double sum = 0.0;
    for (std::size_t i = 0; i < sp.frequencyHz.size(); ++i)
      if (std::abs(sp.frequencyHz[i] - centre) < 8.3e6) sum += std::pow(10.0, sp.dBr[i] / 10.0);
    return 10.0 * std::log10(sum);
  };
  EXPECT_NEAR(band(20e6) - band(0.0), 16.0, 0.5);
  // 40 MHz away needs more than the 60 MHz of this waveform.
  s.interferer = Interferer{40e6, 16.0};
  EXPECT_NE(test::errorOf([&] { apply(f.waveform, 60e6, {}, s); }).find("at least 100 MHz"),
            std::string::npos);
}

TEST(ImpairSeed, TheSeedReproducesEveryDrawAndAnotherSeedChangesThem) {
  std::mt19937 rng(29);
  const Frame f = makeFrame(12, 1, 200, rng);
  Settings s;
  s.phaseNoise = PhaseNoise{1.0, 100e3};
  s.channel = Channel{50.0, 6.0};
  s.snrDb = 20;
  s.seed = 42;
  const Samples a = apply(f.waveform, 20e6, burstOf(f), s);
  EXPECT_EQ(a, apply(f.waveform, 20e6, burstOf(f), s));
  s.seed = 43;
  EXPECT_NE(a, apply(f.waveform, 20e6, burstOf(f), s));
}

}  // namespace
}  // namespace dot11a::impair
