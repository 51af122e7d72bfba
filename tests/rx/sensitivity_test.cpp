// How weak a frame the receivers decode: the ideal receiver (everything a
// receiver estimates given exactly) and the receiver itself, on seeded
// frames of 1000 octets in white noise at a stated SNR over the occupied
// band (52 sub-carriers).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <tuple>

#include "common/reference_data.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a::rx {
namespace {

// A frame of random octets behind `lead` samples of silence, with an FCS
// in its last four when asked.
struct Made {
  Samples clean;
  std::size_t start = 0, end = 0;  // the burst, without the idle tail
  std::vector<std::uint8_t> psduBits;
};

Made makeFrame(int mbps, int os, std::size_t octets, std::mt19937& rng, std::size_t lead,
               bool fcs = false) {
  const RateEntry& r = *rateByMbps(mbps);
  FrameSettings s;
  s.dataRate = mbps;
  s.data.modulation = static_cast<int>(r.modulation);
  s.data.encoderRate = r.coding.value();
  s.data.oversampling = os;
  s.idleSamples = 200 * os;
  Made m;
  m.psduBits = test::randomBits(8 * octets, rng);
  if (fcs) {
    std::vector<std::uint8_t> body(octets - 4);
    for (std::size_t o = 0; o < body.size(); ++o)
      for (std::size_t b = 0; b < 8; ++b) body[o] |= m.psduBits[8 * o + b] << b;
    const std::uint32_t crc = crc32Octets(body);
    for (std::size_t b = 0; b < 32; ++b) m.psduBits[8 * (octets - 4) + b] = (crc >> b) & 1u;
  }
  const Frame f = synthesizeFrame(s, m.psduBits);
  m.start = lead * static_cast<std::size_t>(os);
  m.end = m.start + f.waveform.size() - 200 * static_cast<std::size_t>(os);
  m.clean.assign(m.start, cplx(0.0, 0.0));
  m.clean.insert(m.clean.end(), f.waveform.begin(), f.waveform.end());
  return m;
}

// White noise at `snrDb` over the 16.25 MHz the frame occupies, relative to
// the frame's mean power.
Samples withNoise(const Made& m, double snrDb, int os, std::mt19937& rng) {
  double power = 0.0;
  std::size_t n = 0;
  for (std::size_t i = m.start; i < m.end; ++i, ++n) power += std::norm(m.clean[i]);
  power /= static_cast<double>(n);
  const double total = power / std::pow(10.0, snrDb / 10.0) * (20e6 * os) / (52 * 312.5e3);
  std::normal_distribution<double> g(0.0, std::sqrt(total / 2.0));
  Samples x = m.clean;
  for (cplx& v : x) v += cplx(g(rng), g(rng));
  return x;
}

void turn(Samples& x, double hz, double rate) {
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] *= std::polar(1.0, 2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate);
}

// The ideal receiver is told the channel, the carrier offset and the start;
// what it is told must be what it uses: a frame through a two-path channel
// with a carrier offset decodes at every rate without noise, and the report
// says where and how.
TEST(RxIdeal, DecodesWhatItIsToldAtEveryRate) {
  std::mt19937 rng(5);
  for (const RateEntry& r : kRateTable) {
    const int os = r.mbps == 24 ? 2 : 1;
    Made m = makeFrame(r.mbps, os, 300, rng, 100);
    // An echo 3 samples (at 20 MHz) later, 6 dB down and turned.
    Samples echoed = m.clean;
    const std::size_t d = 3 * static_cast<std::size_t>(os);
    for (std::size_t i = d; i < echoed.size(); ++i) echoed[i] += m.clean[i - d] * cplx(0.3, 0.35);
    turn(echoed, 37e3, 20e6 * os);
    Options o;
    o.sampleRate = 20e6 * os;
    const FrameReport f = decodeIdeal(echoed, {echoed, m.start, 37e3}, o);
    EXPECT_TRUE(f.decoded()) << r.mbps;
    EXPECT_EQ(f.psduBits, m.psduBits) << r.mbps;
    EXPECT_EQ(f.rateMbps, r.mbps);
    EXPECT_EQ(f.start, m.start);
    // Told a start a sample off, or no carrier offset, it does not decode.
    EXPECT_NE(decodeIdeal(echoed, {echoed, m.start + 40, 37e3}, o).psduBits, m.psduBits);
    EXPECT_NE(decodeIdeal(echoed, {echoed, m.start, 0.0}, o).psduBits, m.psduBits) << r.mbps;
  }
}

// Its soft values are the noise's log-likelihood ratios: the thresholds
// (PER 10 %) are where the code's error tables put them, about 0.7 dB at
// 6 Mbit/s and 18.1 dB at 54. A decibel and a half above, it loses at most
// one frame of 20, a decibel and a half below most of them. Closer in, the
// counts of 20 frames depend on the compiler's rounding of the noise.
TEST(RxIdeal, ThresholdsAreWhereTheCodeHasThem) {
  std::mt19937 rng(8);
  for (const auto& [mbps, above, below] : {std::tuple{6, 2.5, -0.8}, std::tuple{54, 19.2, 16.5}}) {
    int lostAbove = 0, lostBelow = 0;
    for (int f = 0; f < 20; ++f) {
      const Made m = makeFrame(mbps, 1, 1000, rng, 100);
      for (const double snr : {above, below}) {
        const FrameReport r = decodeIdeal(withNoise(m, snr, 1, rng), {m.clean, m.start, 0.0});
        (snr == above ? lostAbove : lostBelow) += r.decoded() && r.psduBits == m.psduBits ? 0 : 1;
      }
    }
    EXPECT_LE(lostAbove, 1) << mbps;
    EXPECT_GE(lostBelow, 12) << mbps;
  }
}

TEST(RxIdeal, RefusesWhatItCannotUse) {
  std::mt19937 rng(6);
  const Made m = makeFrame(6, 1, 100, rng, 10);
  Options o;
  o.sampleRate = 30e6;
  EXPECT_FALSE(decodeIdeal(m.clean, {m.clean, m.start, 0.0}, o).problems.empty());
  o.sampleRate = 20e6;
  const Samples shorter(m.clean.begin(), m.clean.end() - 1);
  EXPECT_FALSE(decodeIdeal(m.clean, {shorter, m.start, 0.0}, o).problems.empty());
  const FrameReport late = decodeIdeal(m.clean, {m.clean, m.clean.size() - 100, 0.0}, o);
  EXPECT_TRUE(late.truncated);
  EXPECT_FALSE(late.decoded());
}

// One decibel above the ideal receiver's threshold (PER 10 % with 1000
// octets: 0.65, 9.24 and 18.08 dB at 6, 24 and 54 Mbit/s) the receiver
// loses fewer than one frame in ten, at 20 and at 80 MHz: the frame search
// finds it in noise as strong as the frame, in the frame's band however
// wide the input; the phase and timing come from every sub-carrier, the
// channel from a short impulse response and, when the FCS fails, from the
// decoded data.
TEST(RxSensitivity, DecodesOneDecibelAboveTheIdealThreshold) {
  struct Case {
    int mbps, os;
    double idealDb;
  };
  std::mt19937 rng(35);
  for (const Case c : {Case{6, 1, 0.65}, Case{24, 1, 9.24}, Case{54, 1, 18.08}, Case{6, 4, 0.65},
                       Case{54, 4, 18.08}}) {
    int lost = 0;
    const int frames = 40;
    for (int f = 0; f < frames; ++f) {
      const Made m = makeFrame(c.mbps, c.os, 1000, rng, 150 + 7 * f, true);
      Options o;
      o.sampleRate = 20e6 * c.os;
      o.measureMask = false;
      const Result r = receive(withNoise(m, c.idealDb + 1.0, c.os, rng), o);
      bool got = false;
      for (const FrameReport& fr : r.frames)
        got = got || (fr.decoded() && fr.psduBits == m.psduBits && fr.start + 2 >= m.start &&
                      fr.start <= m.start + 2);
      lost += got ? 0 : 1;
    }
    EXPECT_LT(lost, frames / 10) << c.mbps << " Mbit/s at " << 20 * c.os << " MHz";
  }
}

// Noise alone holds no frame: a second of it at 20 MHz, a quarter at 80,
// a stretch at a time.
TEST(RxSensitivity, NoiseAloneHoldsNoFrame) {
  std::mt19937_64 rng(36);
  std::normal_distribution<double> g(0.0, 1.0);
  Samples x(1 << 20);
  for (const int os : {1, 4}) {
    Options o;
    o.sampleRate = 20e6 * os;
    std::size_t frames = 0;
    for (int stretch = 0; stretch < 19; ++stretch) {
      for (cplx& v : x) {
        const double re = g(rng);
        v = cplx(re, g(rng));
      }
      frames += receive(x, o).frames.size();
    }
    EXPECT_EQ(frames, 0u) << 20 * os << " MHz";
  }
}

}  // namespace
}  // namespace dot11a::rx
