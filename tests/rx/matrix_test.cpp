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

}  // namespace
}  // namespace dot11a::rx
