// Every copy of the vector loops (plain, AVX2, AVX-512: see
// core/vector_dispatch.hpp) gives the plain copy's bits, through the
// impairments and the receiver alike: a copy that rounds one product
// differently (a fused multiply-add let in) changes reported values.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/vector_dispatch.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a {
namespace {

// Puts the level back however the test ends.
struct LevelGuard {
  core::VectorLevel before = core::vectorLevel();
  ~LevelGuard() { core::setVectorLevel(before); }
};

// Every number a frame's report holds, in one row.
std::vector<double> numbersOf(const rx::Result& r) {
  std::vector<double> v{static_cast<double>(r.frames.size())};
  auto add = [&](const auto& values) {
    for (const auto x : values) v.push_back(static_cast<double>(x));
  };
  for (const rx::FrameReport& f : r.frames) {
    add(std::vector<double>{static_cast<double>(f.start), f.cfoHz, f.clockOffsetPpm,
                            f.clockOffsetSigmaPpm, f.iqGainImbalanceDb, f.iqPhaseImbalanceDeg,
                            f.evmDb, f.flatnessWorstMarginDb, f.maskWorstMarginDb,
                            f.maskWorstFrequencyHz, f.centerLeakageDb, static_cast<double>(f.fcs)});
    add(f.psdu);
    add(f.evmPerSubcarrierDb);
    add(f.evmPerSymbolDb);
    add(f.flatnessDb);
    for (const auto& h : f.channel) add(std::vector<double>{h.real(), h.imag()});
    for (const auto& p : f.dataPoints) add(std::vector<float>{p.real(), p.imag()});
  }
  return v;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(VectorVariants, EveryCopyGivesThePlainCopysBits) {
  const LevelGuard guard;
  std::vector<core::VectorLevel> levels{core::VectorLevel::plain};
  if (core::processorVectorLevel() >= core::VectorLevel::avx2)
    levels.push_back(core::VectorLevel::avx2);
  if (core::processorVectorLevel() >= core::VectorLevel::avx512)
    levels.push_back(core::VectorLevel::avx512);
  RecordProperty("levels", static_cast<int>(levels.size()));
  std::mt19937 rng(37);
  struct Case {
    int mbps, modulation;
    double coding;
    int os;
  };
  for (const Case c :
       {Case{54, 4, kRate3_4, 1}, Case{6, 1, kRate1_2, 2}, Case{24, 3, kRate1_2, 4}}) {
    FrameSettings s;
    s.dataRate = c.mbps;
    s.data.modulation = c.modulation;
    s.data.encoderRate = c.coding;
    s.data.oversampling = c.os;
    s.data.sincComp = true;
    s.idleSamples = 300 * c.os;
    Bits bits(8 * 400);
    for (auto& b : bits) b = rng() & 1u;
    const Frame f = synthesizeFrame(s, bits);
    const double rate = 20e6 * c.os;
    // Every impairment, each with its own loops: multipath, carrier and
    // clock offsets, white noise, IQ imbalance, DC, phase noise, amplifier.
    impair::Settings is;
    is.channel = impair::Channel{50.0, std::nullopt};
    is.cfoHz = 31e3;
    is.clockPpm = 40.0;
    is.snrDb = 25.0;
    is.iq = impair::IqImbalance{0.3, 2.0};
    is.dcDbc = -30.0;
    is.phaseNoise = impair::PhaseNoise{0.5, 100e3};
    is.amplifier = impair::Amplifier{};
    // An adjacent channel's interferer where the rate holds it.
    if (c.os >= 4) is.interferer = impair::Interferer{20e6, -30.0};
    is.seed = 99;
    const impair::Burst burst{0, f.waveform.size() - static_cast<std::size_t>(s.idleSamples)};
    rx::Options o;
    o.sampleRate = rate;
    o.keepPointsSymbols = 1000;
    std::vector<double> plainSamples, plainReport;
    for (const core::VectorLevel level : levels) {
      core::setVectorLevel(level);
      const Samples x = impair::apply(f.waveform, rate, std::span(&burst, 1), is);
      std::vector<double> samples;
      for (const cplx& v : x) samples.insert(samples.end(), {v.real(), v.imag()});
      const rx::Result r = rx::receive(x, o);
      ASSERT_EQ(r.frames.size(), 1u) << c.mbps;
      EXPECT_TRUE(r.frames[0].decoded()) << c.mbps;
      const std::vector<double> report = numbersOf(r);
      if (level == core::VectorLevel::plain) {
        plainSamples = samples;
        plainReport = report;
        continue;
      }
      EXPECT_TRUE(sameBits(samples, plainSamples))
          << "impairments, level " << static_cast<int>(level) << ", " << c.mbps << " Mbit/s";
      EXPECT_TRUE(sameBits(report, plainReport))
          << "receiver, level " << static_cast<int>(level) << ", " << c.mbps << " Mbit/s";
    }
  }
  // A wider level than the processor has is refused.
  if (core::processorVectorLevel() != core::VectorLevel::avx512) {
    EXPECT_ANY_THROW(core::setVectorLevel(core::VectorLevel::avx512));
  }
}

}  // namespace
}  // namespace dot11a
