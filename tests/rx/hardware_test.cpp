// The receiver on what transmitters and capture chains on a bench bring:
// a tail the transmitter scrambled, a short frame whose clock offset cannot
// be told, a DC component of the capture or of the frame alone, a sampling
// clock offset and a deep fade.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "common/reference_data.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a::rx {
namespace {

using test::randomBits;

FrameSettings settings(double mbps, int modulation, double coding, int os = 1) {
  FrameSettings s;
  s.dataRate = mbps;
  s.data.modulation = modulation;
  s.data.encoderRate = coding;
  s.data.oversampling = os;
  s.data.windowLength = 0;
  s.idleSamples = 400 * os;
  return s;
}

bool says(const FrameReport& f, const std::string& text) {
  return std::any_of(f.problems.begin(), f.problems.end(),
                     [&](const std::string& p) { return p.find(text) != std::string::npos; });
}

// The frame as a transmitter makes it that scrambles the six tail bits with
// the rest of the DATA field instead of zeroing them after: the preamble and
// SIGNAL of a normal frame, then an unframed DATA field of SERVICE, PSDU and
// tail, all scrambled.
TEST(RxHardware, ScrambledTailDecodesButFailsAsTheTransmittersFault) {
  std::mt19937 rng(23);
  const Bits psdu = randomBits(8 * 300, rng);
  FrameSettings s = settings(24, 3, kRate1_2);
  const Frame normal = synthesizeFrame(s, psdu);
  Bits field(16, 0);
  field.insert(field.end(), psdu.begin(), psdu.end());
  field.resize(26 * 96, 0);  // tail and pad: 26 symbols of 96 bits
  DataSettings d = s.data;
  d.framed = false;
  std::vector<cplx> mask64(64);
  carrierMappingInto(s.mask53, 1, mask64);
  const Samples data = dataField(d, field, mask64);
  // The synthesis puts the idle interval behind the burst.
  Samples x(normal.waveform.begin(), normal.waveform.begin() + 320 + 80);
  x.insert(x.end(), data.begin(), data.end());
  x.insert(x.end(), 400, cplx(0.0, 0.0));

  const Result res = receive(x);
  ASSERT_EQ(res.frames.size(), 1u) << res.problem;
  const FrameReport& f = res.frames[0];
  EXPECT_EQ(f.psduBits, psdu);
  EXPECT_FALSE(f.dataTailOk);
  EXPECT_TRUE(f.decoded());
  EXPECT_TRUE(says(f, "DATA tail bits are not zero"));
  EXPECT_FALSE(f.passed());
  EXPECT_FALSE(res.passed());
  // The same frame with its tail zeroed has none of it.
  EXPECT_TRUE(receive(normal.waveform).frames.at(0).dataTailOk);
}

// A clock offset comes with its standard error: a frame of a few symbols
// cannot tell a few ppm, a long one can.
TEST(RxHardware, ClockOffsetComesWithAStandardErrorThatShrinksWithTheFrame) {
  std::mt19937 rng(5);
  auto measure = [&](std::size_t octets) {
    const Frame f = synthesizeFrame(settings(54, 4, kRate3_4, 2), randomBits(8 * octets, rng));
    Samples x = resample(f.waveform, 40e6, 40e6 * (1.0 + 20e-6));
    std::normal_distribution<double> g(0.0, std::sqrt(1.0 / (128.0 * std::pow(10.0, 2.5)) / 2.0));
    for (cplx& v : x) {
      const double im = g(rng);  // drawn in one order whatever the compiler
      v += cplx(g(rng), im);
    }
    Options o;
    o.sampleRate = 40e6;
    const Result res = receive(x, o);
    EXPECT_EQ(res.frames.size(), 1u);
    return res.frames.at(0);
  };
  const FrameReport shortFrame = measure(14), longFrame = measure(4000);
  EXPECT_GT(shortFrame.clockOffsetSigmaPpm, 5.0);
  EXPECT_LT(longFrame.clockOffsetSigmaPpm, 3.0);
  EXPECT_GT(longFrame.clockOffsetSigmaPpm, 0.0);
  EXPECT_NEAR(longFrame.clockOffsetPpm, 20.0, 5.0);
}

// The standard error is what it says: over 100 noisy copies of one frame,
// with and without a clock offset, the estimates spread as much as the
// mean error reported (the shared channel estimate's error included); a
// frame made without an offset is never said to have one, noise-free
// least of all.
TEST(RxHardware, ClockOffsetErrorIsTheSpreadOverFramesAndNoOffsetIsNamedWithoutOne) {
  std::mt19937 rng(11);
  const Frame f = synthesizeFrame(settings(24, 3, kRate1_2), randomBits(8 * 600, rng));
  for (const double ppm : {0.0, 100.0}) {
    const Samples clean =
        ppm == 0.0 ? f.waveform : resample(f.waveform, 20e6, 20e6 * (1 + ppm * 1e-6));
    std::vector<double> got;
    double sigma = 0.0;
    std::size_t named = 0;
    for (int k = 0; k < 100; ++k) {
      Samples x = clean;
      std::normal_distribution<double> g(0.0, std::sqrt(1.0 / (64.0 * 100.0) / 2.0));  // 20 dB
      for (cplx& v : x) v += cplx(g(rng), g(rng));
      const Result r = receive(x);
      ASSERT_EQ(r.frames.size(), 1u);
      got.push_back(r.frames[0].clockOffsetPpm);
      sigma += r.frames[0].clockOffsetSigmaPpm / 100.0;
      named += r.frames[0].clockOffsetMeasured() ? 1 : 0;
    }
    double mean = 0.0, spread = 0.0;
    for (const double v : got) mean += v / 100.0;
    for (const double v : got) spread += (v - mean) * (v - mean) / 99.0;
    spread = std::sqrt(spread);
    SCOPED_TRACE(ppm);
    EXPECT_LT(spread, 1.5 * sigma);
    EXPECT_GT(spread, sigma / 1.5);
    EXPECT_NEAR(mean, ppm, 3.0 * sigma);
    if (ppm == 0.0)
      EXPECT_LE(named, 2u);
    else
      EXPECT_EQ(named, 100u);
  }
  const Result clean = receive(f.waveform);
  ASSERT_EQ(clean.frames.size(), 1u);
  EXPECT_FALSE(clean.frames[0].clockOffsetMeasured()) << clean.frames[0].clockOffsetPpm;
}

// Complex white noise at `snrDb` per sub-carrier (unit-power points, an
// inverse FFT divided by its length). The two parts are drawn in a fixed
// order (the imaginary first): the order of a call's arguments is the
// compiler's choice, and a seed must give the same noise with GCC and clang.
void addNoise(Samples& x, double snrDb, std::mt19937& rng) {
  std::normal_distribution<double> g(0.0,
                                     std::sqrt(1.0 / (64.0 * std::pow(10.0, snrDb / 10.0)) / 2.0));
  for (cplx& v : x) {
    const double im = g(rng);
    v += cplx(g(rng), im);
  }
}

// A 54 Mbit/s frame of `psdu` turned `hz` off its carrier at 20 MHz, and the
// mean power of its burst (without the silent end), for DC levels in dBc.
Samples offsetFrame(const Bits& psdu, double hz, double& power) {
  Samples x = synthesizeFrame(settings(54, 4, kRate3_4), psdu).waveform;
  const std::size_t burst = x.size() - 400;
  power = 0.0;
  for (std::size_t i = 0; i < burst; ++i) power += std::norm(x[i]);
  power /= static_cast<double>(burst);
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] *= std::polar(1.0, 2.0 * std::numbers::pi * hz * static_cast<double>(i) / 20e6);
  return x;
}

// A DC component of the capture as strong as the one that made frames
// vanish (-7 dB of the frame's power) and as the limit allows (-15 dB), on a
// frame 40 kHz off its carrier: the frame decodes as without it and the
// leakage is measured.
TEST(RxHardware, DcComponentIsRemovedAndMeasuredAsCentreLeakage) {
  std::mt19937 rng(31);
  const Bits psdu = randomBits(8 * 1000, rng);
  double power = 0.0;
  Samples clean = offsetFrame(psdu, -40e3, power);
  clean.insert(clean.begin(), 600, cplx(0.0, 0.0));
  addNoise(clean, 35.0, rng);
  const Result ref = receive(clean);
  ASSERT_EQ(ref.frames.size(), 1u);
  EXPECT_LT(ref.frames[0].centerLeakageDb, -30.0);
  EXPECT_TRUE(ref.frames[0].centerLeakagePass);
  for (const double dbc : {-7.0, -15.0, -17.0}) {
    {
      SCOPED_TRACE(dbc);
      Samples x = clean;
      const cplx dc = std::polar(std::sqrt(power * std::pow(10.0, dbc / 10.0)), 0.7);
      for (cplx& v : x) v += dc;
      const Result res = receive(x);
      ASSERT_EQ(res.frames.size(), 1u) << res.problem;
      const FrameReport& f = res.frames[0];
      EXPECT_EQ(f.psduBits, psdu);
      EXPECT_NEAR(f.cfoHz, -40e3, 1e3);
      EXPECT_NEAR(f.evmDb, ref.frames[0].evmDb, 1.0);
      EXPECT_NEAR(f.centerLeakageDb, dbc, 0.5);
      if (dbc != -15.0) {
        EXPECT_EQ(f.centerLeakagePass, dbc < -15.0);
        EXPECT_EQ(says(f, "Centre-frequency leakage"), dbc > -15.0);
      }
    }
  }
}

// A DC component that comes with the frame alone (a transmitter's offset at
// the capture's 0 Hz, not the frame's carrier, 100 kHz away): each DATA
// symbol must take it out in the phase its window has, so the sub-carriers
// next to DC, where it leaks, measure as without it.
TEST(RxHardware, DcOfTheFrameAloneIsTakenOutOfEverySymbol) {
  std::mt19937 rng(37);
  const Bits psdu = randomBits(8 * 1500, rng);
  double power = 0.0;
  Samples clean = offsetFrame(psdu, 100e3, power);
  const std::size_t burst = clean.size() - 400;
  addNoise(clean, 35.0, rng);
  Samples x = clean;
  const cplx dc = std::polar(std::sqrt(power * std::pow(10.0, -10.0 / 10.0)), 1.1);
  for (std::size_t i = 0; i < burst; ++i) x[i] += dc;
  const Result ref = receive(clean), res = receive(x);
  ASSERT_EQ(ref.frames.size(), 1u);
  ASSERT_EQ(res.frames.size(), 1u) << res.problem;
  const FrameReport& f = res.frames[0];
  EXPECT_EQ(f.psduBits, psdu);
  ASSERT_EQ(f.evmPerSubcarrierDb.size(), ref.frames[0].evmPerSubcarrierDb.size());
  for (const int k : {-2, -1, 1, 2}) {
    SCOPED_TRACE(k);
    const auto i = static_cast<std::size_t>(k + 26);
    EXPECT_NEAR(f.evmPerSubcarrierDb[i], ref.frames[0].evmPerSubcarrierDb[i], 1.5);
  }
}

// The longest frames at 6 and 54 Mbit/s, captured with a clock 40 to 100 ppm
// off: by the end of the frame the symbols sit up to 11 samples from where
// the long training put them, and each measures as the same frame without
// the offset.
TEST(RxHardware, ClockOffsetCostsNoEvm) {
  std::mt19937 rng(17);
  struct Case {
    double mbps;
    int mod;
    double coding;
  };
  for (const Case& c : {Case{6, 1, kRate1_2}, Case{54, 4, kRate3_4}}) {
    const Bits psdu = randomBits(8 * 4095, rng);
    Samples clean = synthesizeFrame(settings(c.mbps, c.mod, c.coding), psdu).waveform;
    addNoise(clean, 40.0, rng);
    const Result ref = receive(clean);
    ASSERT_EQ(ref.frames.size(), 1u);
    for (const double ppm : {40.0, -80.0, 100.0}) {
      SCOPED_TRACE(::testing::Message() << c.mbps << " Mbit/s, " << ppm << " ppm");
      const Result res = receive(resample(clean, 20e6, 20e6 * (1.0 + ppm * 1e-6)));
      ASSERT_EQ(res.frames.size(), 1u) << res.problem;
      EXPECT_EQ(res.frames[0].psduBits, psdu);
      EXPECT_NEAR(res.frames[0].evmDb, ref.frames[0].evmDb, 1.0);
      const auto worst = std::max_element(res.frames[0].evmPerSymbolDb.begin(),
                                          res.frames[0].evmPerSymbolDb.end());
      EXPECT_LT(*worst, ref.frames[0].evmDb + 6.0);
    }
  }
}

// A two-path channel whose notch falls on pilot -7: the sub-carriers around
// it are faded, not switched off, and the frame decodes through the fade.
// A sub-carrier the transmitter switched off in a flat channel is still
// reported as carrying nothing.
TEST(RxHardware, MultipathNotchIsAFadeNotASwitchedOffSubcarrier) {
  std::mt19937 rng(41);
  const Bits psdu = randomBits(8 * 500, rng);
  const Samples clean = synthesizeFrame(settings(12, 2, kRate1_2), psdu).waveform;
  // y[n] = x[n] + a x[n - 3] e^(j phi), zero at sub-carrier -7 for a = 1.
  const int delay = 3;
  const double phi = std::numbers::pi - 2.0 * std::numbers::pi * 7.0 * delay / 64.0;
  Samples x(clean.size());
  for (std::size_t n = 0; n < x.size(); ++n)
    x[n] = clean[n] + (n >= delay ? 0.97 * std::polar(1.0, phi) * clean[n - delay] : 0.0);
  addNoise(x, 35.0, rng);
  const Result res = receive(x);
  ASSERT_EQ(res.frames.size(), 1u) << res.problem;
  const FrameReport& f = res.frames[0];
  EXPECT_EQ(f.psduBits, psdu);
  EXPECT_TRUE(f.disabledSubcarriers.empty());
  EXPECT_FALSE(says(f, "nothing"));
  ASSERT_NE(std::find(f.fadedSubcarriers.begin(), f.fadedSubcarriers.end(), -7),
            f.fadedSubcarriers.end());
  EXPECT_LT(*std::min_element(f.fadedLevelsDb.begin(), f.fadedLevelsDb.end()), -20.0);
  EXPECT_TRUE(std::any_of(f.notes.begin(), f.notes.end(), [](const std::string& n) {
    return n.find("Pilot -7 is faded") != std::string::npos;
  }));

  FrameSettings s = settings(12, 2, kRate1_2);
  s.mask53[26 + 5] = 0.0;
  Samples off = synthesizeFrame(s, psdu).waveform;
  addNoise(off, 35.0, rng);
  const Result masked = receive(off);
  ASSERT_EQ(masked.frames.size(), 1u);
  EXPECT_EQ(masked.frames[0].disabledSubcarriers, std::vector<int>{5});
  EXPECT_TRUE(masked.frames[0].fadedSubcarriers.empty());
}

// A sub-carrier 20 dB down in the long training but carrying its data at
// full power (a preamble hit by a narrow interferer's notch filter, say)
// carries something: it is faded, not switched off, and fails nothing.
TEST(RxHardware, SubcarrierThatCarriesDataIsNotSwitchedOff) {
  std::mt19937 rng(43);
  const Bits psdu = randomBits(8 * 400, rng);
  FrameSettings s = settings(24, 3, kRate1_2);
  const Samples data = synthesizeFrame(s, psdu).waveform;
  s.mask53[26 + 10] = 0.1;
  Samples x = synthesizeFrame(s, psdu).waveform;
  std::copy(data.begin() + 320, data.end(), x.begin() + 320);  // preamble of the masked frame
  addNoise(x, 35.0, rng);
  const Result res = receive(x);
  ASSERT_EQ(res.frames.size(), 1u) << res.problem;
  const FrameReport& f = res.frames[0];
  EXPECT_EQ(f.psduBits, psdu);
  EXPECT_TRUE(f.disabledSubcarriers.empty());
  EXPECT_FALSE(says(f, "nothing"));
  ASSERT_EQ(f.fadedSubcarriers, std::vector<int>{10});
  EXPECT_NEAR(f.fadedLevelsDb[0], -20.0, 1.0);
}

}  // namespace
}  // namespace dot11a::rx
