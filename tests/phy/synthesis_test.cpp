// The synthesis chain against the worked example of IEEE 802.11a-1999 Annex G,
// and laws that hold for every rate, oversampling ratio and window length.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <thread>

#include "common/library_fixture.hpp"
#include "common/reference_data.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/synthesis.hpp"

using dot11a::Bits;
using dot11a::cplx;
using dot11a::Samples;
using dot11a::Value;
using namespace dot11a::test;  // the example's tables

namespace {

// The table values are rounded to three decimals.
void expectNear(const Samples& got, const Samples& want, double tol, const char* what) {
  ASSERT_GE(got.size(), want.size()) << what;
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_NEAR(got[i].real(), want[i].real(), tol) << what << " sample " << i;
    ASSERT_NEAR(got[i].imag(), want[i].imag(), tol) << what << " sample " << i;
  }
}

// Forward DFT without the 1/N factor: the bins an inverse DFT with 1/N came from.
Samples dft(std::span<const cplx> x) {
  const std::size_t n = x.size();
  Samples out(n);
  for (std::size_t k = 0; k < n; ++k) {
    cplx acc = 0;
    for (std::size_t t = 0; t < n; ++t)
      acc += x[t] * std::polar(1.0, -2.0 * std::numbers::pi * double(k * t % n) / double(n));
    out[k] = acc;
  }
  return out;
}

std::array<cplx, 64> onesMask() {
  std::array<cplx, 64> m;
  const std::vector<cplx> ones(53, 1.0);
  dot11a::carrierMappingInto(ones, 1, m);
  return m;
}

Bits annexPayload() {
  return dot11a::bytesToBits(annexGOctets());
}

dot11a::FrameSettings annexSettings() {
  dot11a::FrameSettings s;
  s.data = {true, 0, 3, 0.75, true, 93, true, 1, 1, false};
  s.dataRate = 36;
  s.idleSamples = 0;
  return s;
}

TEST(AnnexG, WholePacketMatchesTheExample) {
  const dot11a::Frame f = dot11a::synthesizeFrame(annexSettings(), annexPayload());
  const Samples want = complexTable(annexG()["packet_time"]);
  ASSERT_EQ(f.waveform.size(), want.size() + 1);  // 881 samples and one pad sample
  expectNear(f.waveform, want, 0.0015, "packet");
  EXPECT_EQ(f.waveform.back(), cplx(0, 0));
  EXPECT_EQ(f.marker2.back(), 0);
  EXPECT_EQ(std::count(f.marker2.begin(), f.marker2.end(), 1), 881);
  EXPECT_EQ(std::count(f.marker1.begin(), f.marker1.end(), 1), 1);
  EXPECT_EQ(f.marker1[0], 1);
}

TEST(AnnexG, PreambleAndSignalStages) {
  const auto mask = onesMask();
  expectNear(dot11a::shortSequence(1, 1, mask, false),
             complexTable(annexG()["short_training_time"]), 0.0015, "short");
  expectNear(dot11a::longSequence(1, 1, mask, false), complexTable(annexG()["long_training_time"]),
             0.0015, "long");
  EXPECT_EQ(dot11a::signalBits(36, 100), bitTable(annexG()["signal_field_bits"]));
  const Samples sig = dot11a::signalSymbol(36, 100, 1, 1, mask, false);
  ASSERT_EQ(sig.size(), 81u);
  expectNear(sig, complexTable(annexG()["signal_symbol_time"]), 0.0015, "SIGNAL");
  // The SIGNAL symbol's bins, from its body.
  expectNear(dft(std::span(sig).subspan(16, 64)), complexTable(annexG()["signal_symbol_freq"]),
             0.0015, "SIGNAL bins");
  const Samples shortSeq = dot11a::shortSequence(1, 0, mask, false);
  expectNear(dft(std::span(shortSeq).first(64)), complexTable(annexG()["short_training_freq"]),
             0.0015, "short bins");
}

TEST(AnnexG, FirstDataSymbolBins) {
  const Bits interleaved = bitTable(annexG()["first_data_symbol_interleaved_bits"]);
  const Samples points = dot11a::convertToIQ(interleaved, dot11a::Modulation::QAM16);
  const Samples sym =
      dot11a::symbolBuild(points, dot11a::pilotPolarity(1), 1, 0, onesMask(), false);
  expectNear(dft(std::span(sym).subspan(16, 64)), complexTable(annexG()["first_data_symbol_freq"]),
             0.0015, "DATA 1 bins");
}

TEST(Mapping, ConstellationPointsAndPilots) {
  const double r2 = 1 / std::sqrt(2.0), r10 = 1 / std::sqrt(10.0), r42 = 1 / std::sqrt(42.0);
  using M = dot11a::Modulation;
  EXPECT_EQ(dot11a::convertToIQ(Bits{0, 1}, M::BPSK), (Samples{-1.0, 1.0}));
  const Samples q = dot11a::convertToIQ(Bits{0, 0, 1, 1}, M::QPSK);
  EXPECT_NEAR(std::abs(q[0] - cplx(-r2, -r2)), 0, 1e-15);
  EXPECT_NEAR(std::abs(q[1] - cplx(r2, r2)), 0, 1e-15);
  EXPECT_NEAR(std::abs(dot11a::convertToIQ(Bits{1, 0, 1, 0}, M::QAM16)[0] - cplx(3, 3) * r10), 0,
              1e-15);
  EXPECT_NEAR(
      std::abs(dot11a::convertToIQ(Bits{0, 0, 0, 1, 0, 0}, M::QAM64)[0] - cplx(-7, 7) * r42), 0,
      1e-15);
  EXPECT_THROW(dot11a::convertToIQ(Bits{1, 0, 1}, M::QPSK), dot11a::Error);
  EXPECT_EQ(dot11a::pilotPolarity(0), 1);
  EXPECT_EQ(dot11a::pilotPolarity(4), -1);
  EXPECT_EQ(dot11a::pilotPolarity(127), dot11a::pilotPolarity(0));
  EXPECT_EQ(dot11a::pilotPolarity(-1), dot11a::pilotPolarity(126));
}

TEST(Shaping, SincCompensationOfADacAtTheWaveformRate) {
  auto g64 = dot11a::sincCompensationGains(64);
  EXPECT_EQ(g64[0], 1.0);
  EXPECT_NEAR(g64[1], 1.000402, 5e-7);
  EXPECT_NEAR(g64[26], 1.333701, 5e-7);
  EXPECT_NEAR(g64[64 - 26], 1.333701, 5e-7);
  EXPECT_NEAR(dot11a::sincCompensationGains(128)[26], 1.071238, 5e-7);
  EXPECT_NEAR(dot11a::sincCompensationGains(128)[128 - 26], 1.071238, 5e-7);
  EXPECT_NEAR(dot11a::sincCompensationGains(256)[26], 1.017171, 5e-7);
  EXPECT_EQ(dot11a::sinc(0), 1.0);
  EXPECT_NEAR(dot11a::sinc(3), 0.0, 1e-15);
}

TEST(Shaping, WindowWeightsExtensionAndOverlapAdd) {
  EXPECT_NEAR(dot11a::windowWeight(1, 2), 0.146447, 5e-7);
  EXPECT_NEAR(dot11a::windowWeight(2, 2), 0.853553, 5e-7);
  EXPECT_NEAR(dot11a::windowWeight(1, 16), 0.002408, 5e-7);
  Samples sym(80);
  for (std::size_t i = 0; i < 80; ++i) sym[i] = double(i + 1);
  const Samples w = dot11a::windowing(sym, 4, 0.25);
  ASSERT_EQ(w.size(), 84u);
  for (int i = 0; i < 4; ++i)  // samples 17 to 20, weighted by the falling ramp
    EXPECT_NEAR(w[80 + i].real(), (17 + i) * dot11a::windowWeight(4 - i, 4), 1e-12);
  EXPECT_EQ(dot11a::windowing(sym, 0, 0.25), sym);
  const Samples a{1, 2, 3, 4}, b{10, 20, 30};
  EXPECT_EQ(dot11a::stitchSubFrames(a, b, 1), (Samples{1, 2, 3, 14, 20, 30}));
  EXPECT_EQ(dot11a::stitchSubFrames(a, b, 0), (Samples{1, 2, 3, 4, 10, 20, 30}));
  EXPECT_EQ(dot11a::stitchSubFrames({}, b, 2), b);
  EXPECT_THROW(dot11a::stitchSubFrames(a, b, 5), dot11a::Error);
  EXPECT_THROW(dot11a::windowing(Samples(4), 4, 0.25), dot11a::Error);
}

TEST(Shaping, OversampleInsertsZerosAtTheBandCentre) {
  Samples in(64);
  for (std::size_t i = 0; i < 64; ++i) in[i] = double(i + 1);
  EXPECT_EQ(dot11a::oversample(in, 1, false), in);
  const Samples o = dot11a::oversample(in, 2, false);
  ASSERT_EQ(o.size(), 128u);
  for (std::size_t i = 32; i < 96; ++i) EXPECT_EQ(o[i], cplx(0, 0));
  EXPECT_EQ(o[96], cplx(33, 0));
  EXPECT_THROW(dot11a::oversample(Samples(10), 2, false, 1), dot11a::Error);
}

TEST(Symbol, ZeroDataLeavesExactlyTheFourPilots) {
  const Samples zeros(48, 0.0);
  for (int os : {1, 2, 4}) {
    const Samples sym = dot11a::symbolBuild(zeros, 1.0, os, 0, onesMask(), false);
    const std::size_t n = 64u * os;
    ASSERT_EQ(sym.size(), 80u * os);
    const Samples bins = dft(std::span(sym).subspan(16u * os, n));
    int nonzero = 0;
    for (const cplx& b : bins) nonzero += std::abs(b) > 1e-9;
    EXPECT_EQ(nonzero, 4) << os;
    EXPECT_NEAR(bins[7].real(), 1.0, 1e-12);
    EXPECT_NEAR(bins[21].real(), -1.0, 1e-12);
    EXPECT_NEAR(bins[n - 7].real(), 1.0, 1e-12);
    EXPECT_NEAR(bins[n - 21].real(), 1.0, 1e-12);
  }
}

// Every DATA symbol of a frame carries its mapped bits and pilot, for every
// modulation, oversampling ratio and window length; lengths follow the formula;
// mirroring conjugates.
TEST(Frame, EveryDataSymbolCarriesItsBitsAndPilot) {
  std::mt19937 rng(11);
  const double rates[] = {0.5, 0.75, dot11a::kRate2_3, 1.0};
  for (int mod = 1; mod <= 4; ++mod)
    for (int os : {1, 2, 4})
      for (int w : {0, 3, 16}) {
        dot11a::FrameSettings s;
        s.data = {true, 0x1234, mod, rates[(mod + os) % 4], (os & 1) != 0, 77, w != 3, os, w, true};
        s.dataRate = 24;
        s.idleSamples = 57;
        Bits payload(8 * (20 + rng() % 60));
        for (auto& b : payload) b = rng() & 1u;
        const dot11a::Frame f = dot11a::synthesizeFrame(s, payload);
        const std::size_t nsym = dot11a::dataSymbolCount(s.data, payload.size());
        ASSERT_EQ(f.waveform.size(), dot11a::frameLength(s, payload.size()));
        std::size_t len = 400u * os + 80u * os * nsym + w + std::max(57 - w, 0);
        EXPECT_EQ(f.waveform.size(), len + len % 2);

        // The coded, interleaved bits of each symbol, built from the stages.
        const std::size_t ncbps = 48u * dot11a::bitsPerSubcarrier(dot11a::Modulation(mod));
        Bits data(16, 0);
        const Bits service = dot11a::bitVector(0x1234, 16);
        std::copy(service.begin() + 7, service.end(), data.begin() + 7);
        data.insert(data.end(), payload.begin(), payload.end());
        const std::size_t tailAt = data.size();
        data.resize(nsym * std::size_t(std::llround(ncbps * s.data.encoderRate)), 0);
        if (s.data.scrambler) {
          data = dot11a::scramble(data, dot11a::bitVector(77, 7));
          std::fill(data.begin() + tailAt, data.begin() + tailAt + 6, 0);
        }
        const Bits coded =
            s.data.encoderRate == 1 ? data : dot11a::convolEncode(data, s.data.encoderRate);
        ASSERT_EQ(coded.size(), nsym * ncbps);
        const std::size_t n = 64u * os;
        auto gains = dot11a::sincCompensationGains(n);
        for (std::size_t i = 0; i < nsym; i += std::max<std::size_t>(1, nsym / 3)) {
          Bits bits(coded.begin() + i * ncbps, coded.begin() + (i + 1) * ncbps);
          if (s.data.interleaver) bits = dot11a::interleave(bits);
          const Samples points = dot11a::convertToIQ(bits, dot11a::Modulation(mod));
          const std::size_t start = 400u * os + 80u * os * i + 16u * os;
          Samples bins = dft(std::span(f.waveform).subspan(start, n));
          for (std::size_t k = 0; k < n; ++k) bins[k] /= gains[k];
          const double pilot = dot11a::pilotPolarity(long(i) + 1);
          std::size_t d = 0;
          for (int sc = -26; sc <= 26; ++sc) {
            const cplx got = bins[sc >= 0 ? sc : long(n) + sc];
            cplx want = 0.0;
            if (sc == -21 || sc == -7 || sc == 7)
              want = pilot;
            else if (sc == 21)
              want = -pilot;
            else if (sc != 0)
              want = points[d++];
            ASSERT_NEAR(std::abs(got - want), 0.0, 1e-9)
                << "mod " << mod << " os " << os << " w " << w << " symbol " << i << " sc " << sc;
          }
          for (std::size_t k = 27; k < n - 26; ++k) ASSERT_NEAR(std::abs(bins[k]), 0.0, 1e-9);
        }
        s.mirrorSpectrum = true;
        const dot11a::Frame m = dot11a::synthesizeFrame(s, payload);
        ASSERT_EQ(m.waveform.size(), f.waveform.size());
        for (std::size_t k = 0; k < m.waveform.size(); ++k)
          ASSERT_EQ(m.waveform[k], std::conj(f.waveform[k]));
        EXPECT_EQ(m.marker2, f.marker2);
      }
}

dot11a::FrameSettings sixMbit(int w, long long idle, bool framed = true) {
  dot11a::FrameSettings s;
  s.data = {framed, 0, 1, 0.5, true, 93, true, 1, w, false};
  s.dataRate = 6;
  s.idleSamples = idle;
  return s;
}

TEST(Frame, LengthsMarkersIdleAndPad) {
  const Bits payload(800, 1);
  auto count = [](const std::vector<std::uint8_t>& m) { return std::count(m.begin(), m.end(), 1); };
  dot11a::Frame f = dot11a::synthesizeFrame(sixMbit(0, 0), payload);
  EXPECT_EQ(f.waveform.size(), 3200u);
  EXPECT_EQ(count(f.marker2), 3200);
  f = dot11a::synthesizeFrame(sixMbit(4, 100), payload);
  EXPECT_EQ(f.waveform.size(), 3300u);
  EXPECT_EQ(count(f.marker2), 3204);
  EXPECT_EQ(f.marker2[3203], 1);
  EXPECT_EQ(f.waveform[3250], cplx(0, 0));
  EXPECT_EQ(dot11a::synthesizeFrame(sixMbit(4, 2), payload).waveform.size(), 3204u);
  f = dot11a::synthesizeFrame(sixMbit(0, 101), payload);
  EXPECT_EQ(f.waveform.size(), 3302u);
  EXPECT_EQ(f.marker2.back(), 0);
  EXPECT_EQ(count(f.marker1), 1);
}

TEST(Frame, UnframedFoldsTheWindowTailOntoTheStart) {
  const Bits payload(800, 1);
  const dot11a::FrameSettings s = sixMbit(4, 500, false);
  const dot11a::Frame f = dot11a::synthesizeFrame(s, payload);
  ASSERT_EQ(f.waveform.size(), 2720u);  // 34 symbols, idle ignored
  EXPECT_EQ(std::count(f.marker2.begin(), f.marker2.end(), 1), 2720);
  const Samples data = dot11a::dataField(s.data, payload, onesMask());
  ASSERT_EQ(data.size(), 2724u);
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(f.waveform[k], data[k] + data[2720 + k]);
  EXPECT_EQ(f.waveform[4], data[4]);
}

TEST(Frame, RefusesWhatItCannotSynthesise) {
  auto message = [](auto&& fn) {
    try {
      fn();
    } catch (const dot11a::Error& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_NE(message([] { dot11a::synthesizeFrame(sixMbit(0, 0, false), {}); }).find("no payload"),
            std::string::npos);
  const Bits tooLong(32761, 0);
  EXPECT_NE(message([&] { dot11a::synthesizeFrame(sixMbit(0, 0), tooLong); }).find("4095"),
            std::string::npos);
  const dot11a::Frame idle = dot11a::synthesizeFrame(sixMbit(0, 10), tooLong);
  EXPECT_EQ(idle.waveform, Samples(10, 0.0));
  EXPECT_EQ(idle.marker1[0], 1);
  EXPECT_EQ(std::count(idle.marker2.begin(), idle.marker2.end(), 1), 0);
  EXPECT_EQ(message([] { dot11a::synthesizeFrame(sixMbit(0, 0), Bits(801, 0)); }),
            "Integer required");
  dot11a::FrameSettings bad = sixMbit(0, 0);
  bad.data.modulation = 5;
  EXPECT_NE(message([&] { dot11a::synthesizeFrame(bad, Bits(8, 0)); }).find("codedBitsPerSymbol"),
            std::string::npos);
  // An empty framed payload is a valid frame: SERVICE and tail in one symbol.
  EXPECT_EQ(dot11a::synthesizeFrame(sixMbit(0, 0), {}).waveform.size(), 480u);
}

TEST(Frame, ConcurrentSynthesisGivesIdenticalFrames) {
  const Bits payload(8 * 300, 1);
  dot11a::FrameSettings s = sixMbit(2, 0);
  s.data.oversampling = 3;  // a plan size nobody made yet
  dot11a::Frame a, b;
  std::thread t1([&] { a = dot11a::synthesizeFrame(s, payload); });
  std::thread t2([&] { b = dot11a::synthesizeFrame(s, payload); });
  t1.join();
  t2.join();
  EXPECT_EQ(a.waveform, b.waveform);
}

class SynthesisOps : public ::testing::Test {};

}  // namespace
