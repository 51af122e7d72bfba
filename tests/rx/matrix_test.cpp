// The receiver agrees with itself: sequences of our own frames at every rate,
// oversampling 1 to 4, gaps of 0, 16 and 100 us, behind up to 2000 samples of
// silence, noise-free and with noise 40, 60 and 80 dB down. Every frame must
// decode at its true start with its PSDU, in the whole waveform and streamed
// in pieces of 977 and 65 536 samples, and the paths must give the same
// measurements.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "common/reference_data.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/stream_receiver.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a::rx {
namespace {

struct RateCase {
  double mbps;
  int modulation;
  double coding;
};
constexpr RateCase kRates[] = {{6, 1, kRate1_2},  {9, 1, kRate3_4},  {12, 2, kRate1_2},
                               {18, 2, kRate3_4}, {24, 3, kRate1_2}, {36, 3, kRate3_4},
                               {48, 4, kRate2_3}, {54, 4, kRate3_4}};
constexpr double kNoiseFree = std::numeric_limits<double>::infinity();

struct Sequence {
  std::vector<cplx> samples;
  std::vector<std::size_t> starts;
  std::vector<Bits> psdus;
};

// Three frames of random lengths (up to 800 octets) behind `lead` samples of
// silence, `gapUs` apart, made as the tools make them (DAC pre-compensation,
// a short window), with noise `snrDb` below the frames' power.
Sequence makeSequence(const RateCase& r, int os, double gapUs, std::size_t lead, double snrDb,
                      std::mt19937& rng) {
  Sequence s;
  s.samples.assign(lead, cplx(0.0, 0.0));
  const auto gap = static_cast<std::size_t>(std::llround(gapUs * 20.0 * os));
  std::uniform_int_distribution<std::size_t> octets(1, 800);
  double power = 0.0;
  for (int k = 0; k < 3; ++k) {
    FrameSettings f;
    f.dataRate = r.mbps;
    f.data.modulation = r.modulation;
    f.data.encoderRate = r.coding;
    f.data.oversampling = os;
    f.data.windowLength = 2 * os;
    f.data.sincComp = true;
    f.data.scramblerInit = static_cast<unsigned>(1 + rng() % 127);
    s.psdus.push_back(test::randomBits(8 * octets(rng), rng));
    const Frame frame = synthesizeFrame(f, s.psdus.back());
    if (k > 0) s.samples.resize(s.samples.size() + gap, cplx(0.0, 0.0));
    s.starts.push_back(s.samples.size());
    for (const cplx& v : frame.waveform) power += std::norm(v);
    s.samples.insert(s.samples.end(), frame.waveform.begin(), frame.waveform.end());
  }
  if (std::isfinite(snrDb)) {
    power /= static_cast<double>(s.samples.size() - lead);
    std::normal_distribution<double> g(0.0, std::sqrt(power * std::pow(10.0, -snrDb / 10.0) / 2));
    for (cplx& v : s.samples) v += cplx(g(rng), g(rng));
  }
  return s;
}

std::vector<FrameReport> streamed(std::span<const cplx> x, const Options& o, std::size_t chunk) {
  std::vector<FrameReport> got;
  StreamReceiver s(o, [&](FrameReport&& f) { got.push_back(std::move(f)); });
  for (std::size_t at = 0; at < x.size(); at += chunk)
    s.push(x.subspan(at, std::min(chunk, x.size() - at)));
  s.finish();
  return got;
}

TEST(RxMatrix, EveryFrameDecodesAtItsTrueStartAndEveryPathAgrees) {
  std::mt19937 rng(34);
  std::size_t cells = 0, frames = 0, missed = 0, disagree = 0, unclean = 0;
  for (const RateCase& r : kRates)
    for (int os = 1; os <= 4; ++os)
      for (const double gapUs : {0.0, 16.0, 100.0})
        for (const double snrDb : {kNoiseFree, 80.0, 60.0, 40.0}) {
          const std::size_t lead = std::uniform_int_distribution<std::size_t>(0, 2000)(rng);
          const Sequence seq = makeSequence(r, os, gapUs, lead, snrDb, rng);
          Options o;
          o.sampleRate = 20e6 * os;
          o.dacDroop = true;
          const std::string cell = std::to_string(r.mbps) + " Mbit/s os " + std::to_string(os) +
                                   " gap " + std::to_string(gapUs) + " us lead " +
                                   std::to_string(lead) + " snr " + std::to_string(snrDb);
          ++cells;
          const Result whole = receive(seq.samples, o);
          const std::vector<FrameReport> paths[] = {whole.frames, streamed(seq.samples, o, 977),
                                                    streamed(seq.samples, o, 65536)};
          frames += seq.starts.size();
          std::size_t found = 0;
          for (std::size_t i = 0; i < seq.starts.size(); ++i) {
            const bool ok = i < whole.frames.size() && whole.frames[i].decoded() &&
                            whole.frames[i].start == seq.starts[i] &&
                            whole.frames[i].psduBits == seq.psdus[i];
            found += ok ? 1 : 0;
          }
          if (found != seq.starts.size() || whole.frames.size() != seq.starts.size()) {
            missed += seq.starts.size() - found;
            ADD_FAILURE() << cell << ": " << found << " of " << seq.starts.size()
                          << " frames at their start, " << whole.frames.size() << " reported";
            continue;
          }
          for (const auto& got : paths) {
            bool same = got.size() == whole.frames.size();
            for (std::size_t i = 0; same && i < got.size(); ++i) {
              const FrameReport &a = got[i], &b = whole.frames[i];
              same = a.start == b.start && a.psdu == b.psdu && a.passed() == b.passed() &&
                     std::abs(a.evmDb - b.evmDb) <= 0.01 && std::abs(a.cfoHz - b.cfoHz) <= 1.0 &&
                     std::abs(a.centerLeakageDb - b.centerLeakageDb) <= 0.01 &&
                     std::abs(a.flatnessWorstMarginDb - b.flatnessWorstMarginDb) <= 0.01 &&
                     a.problems == b.problems && a.notes == b.notes;
            }
            if (!same) {
              ++disagree;
              ADD_FAILURE() << cell << ": a streamed path disagrees with the whole waveform";
            }
          }
          // Noise-free, our own frames measure as perfect on every path.
          if (!std::isfinite(snrDb))
            for (const auto& got : paths)
              for (const FrameReport& f : got)
                if (!(f.evmDb < -100.0) || f.centerLeakageDb > -100.0 || !f.passed() ||
                    f.clockOffsetMeasured()) {
                  ++unclean;
                  ADD_FAILURE() << cell << ": a clean frame reads EVM " << f.evmDb
                                << " dB, leakage " << f.centerLeakageDb << " dB";
                }
        }
  std::printf(
      "matrix: %zu sequences, %zu frames: %zu not decoded at their start, %zu path "
      "disagreements, %zu clean frames measured unclean\n",
      cells, frames, missed, disagree, unclean);
}

// One frame of `octets` at `r`, without a window.
Frame plainFrame(const RateCase& r, int os, std::size_t octets, std::mt19937& rng, Bits* psdu) {
  FrameSettings f;
  f.dataRate = r.mbps;
  f.data.modulation = r.modulation;
  f.data.encoderRate = r.coding;
  f.data.oversampling = os;
  *psdu = test::randomBits(8 * octets, rng);
  return synthesizeFrame(f, *psdu);
}

// Silence that holds a DC too weak to be the capture's (a constant repeats
// as the short training does) before frames of every rate: each is found at
// its true start, not a long training period early.
TEST(RxMatrix, SilenceHoldingAWeakDcHidesNoFrameStart) {
  std::mt19937 rng(3);
  for (const RateCase& r : kRates)
    for (const int os : {1, 3}) {
      Bits psdu;
      const Frame f = plainFrame(r, os, 700, rng, &psdu);
      for (std::size_t lead = 0; lead <= 1300; lead += 100) {
        std::vector<cplx> x(lead * static_cast<std::size_t>(os), cplx(0.0, 0.0));
        x.insert(x.end(), f.waveform.begin(), f.waveform.end());
        for (cplx& v : x) v += cplx(3e-4, 1e-4);
        Options o;
        o.sampleRate = 20e6 * os;
        const Result res = receive(x, o);
        ASSERT_EQ(res.frames.size(), 1u) << r.mbps << " os " << os << " lead " << lead;
        EXPECT_EQ(res.frames[0].start, lead * static_cast<std::size_t>(os));
        EXPECT_EQ(res.frames[0].psduBits, psdu);
      }
    }
}

// A frame cut short after three DATA symbols, then the next frame: behind
// silence, and straight after it. The SIGNAL field of the first announces
// more than the samples hold, so it is not decoded (in every path), and the
// second is still found at its start.
TEST(RxMatrix, FrameWhoseSignalTheSamplesContradictIsNotDecoded) {
  std::mt19937 rng(8);
  for (const std::size_t gap : {std::size_t{0}, std::size_t{640}}) {
    Bits first, second;
    const Frame a = plainFrame(kRates[4], 2, 300, rng, &first);
    const Frame b = plainFrame(kRates[7], 2, 100, rng, &second);
    std::vector<cplx> x(a.waveform.begin(), a.waveform.begin() + (320 + 80 + 3 * 80) * 2);
    x.resize(x.size() + gap, cplx(0.0, 0.0));
    const std::size_t start = x.size();
    x.insert(x.end(), b.waveform.begin(), b.waveform.end());
    x.resize(x.size() + 4000, cplx(0.0, 0.0));  // room for all the first announces
    Options o;
    o.sampleRate = 40e6;
    const Result whole = receive(x, o);
    for (const auto& got : {whole.frames, streamed(x, o, 977)}) {
      SCOPED_TRACE(gap);
      ASSERT_EQ(got.size(), 2u);
      EXPECT_FALSE(got[0].decoded());
      EXPECT_FALSE(got[0].signalFits);
      EXPECT_TRUE(got[0].psdu.empty());
      ASSERT_FALSE(got[0].problems.empty());
      EXPECT_NE(got[0].problems.back().find(gap == 0 ? "short training" : "is silent"),
                std::string::npos)
          << got[0].problems.back();
      EXPECT_EQ(got[1].start, start);
      EXPECT_EQ(got[1].psduBits, second);
    }
  }
}

// Lone spikes, one in the idle before the frames and one in a frame's short
// training: they are counted as 0 and noted in the frame they hit, the DC
// estimate is not poisoned and no frame is lost, whole or streamed.
TEST(RxMatrix, SpikesAreCountedOutAndNoFrameIsLost) {
  std::mt19937 rng(30);
  std::vector<cplx> x(2000, cplx(0.0, 0.0));
  std::vector<Bits> psdus;
  std::vector<std::size_t> starts;
  for (int k = 0; k < 6; ++k) {
    Bits psdu;
    const Frame f = plainFrame(kRates[2], 1, 200, rng, &psdu);
    starts.push_back(x.size());
    psdus.push_back(psdu);
    x.insert(x.end(), f.waveform.begin(), f.waveform.end());
    x.resize(x.size() + 300, cplx(0.0, 0.0));
  }
  std::normal_distribution<double> g(0.0, 0.002);
  for (cplx& v : x) v += cplx(g(rng), g(rng));
  x[5] = 1e6;
  x[starts[3] + 40] = cplx(0.0, 1e10);
  const Result whole = receive(x);
  EXPECT_EQ(whole.spikeSamples, 2u);
  StreamReceiver s({}, [](FrameReport&&) {});
  s.push(x);
  s.finish();
  EXPECT_EQ(s.spikeSamples(), 2u);
  for (const auto& got : {whole.frames, streamed(x, {}, 977)}) {
    ASSERT_EQ(got.size(), starts.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].start, starts[i]);
      EXPECT_EQ(got[i].psduBits, psdus[i]);
      const bool noted =
          !got[i].notes.empty() && got[i].notes.back().find("spike") != std::string::npos;
      EXPECT_EQ(noted, i == 3) << i;
    }
  }
}

}  // namespace
}  // namespace dot11a::rx
