// The frame synthesis against a straightforward reference built symbol by
// symbol from the stage functions (bit-by-bit scrambler and encoder, the
// interleaver, the mapper, symbolBuild, the training sequences and the SIGNAL
// symbol, added into a zeroed buffer): the optimised frame path must give the
// same waveform to within 1e-12 of the RMS level on every sample, over rates,
// oversampling ratios, windows, masks, DAC compensation, idle intervals,
// mirroring and unframed mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <thread>

#include "common/reference_data.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/synthesis.hpp"

using dot11a::Bits;
using dot11a::cplx;
using dot11a::Samples;

namespace {

// x^7 + x^4 + 1 from the seed's register bits, one bit at a time.
Bits scrambleBitwise(const Bits& msg, unsigned seed) {
  const Bits state = dot11a::bitVector(static_cast<double>(seed), 7);
  unsigned reg = 0;
  for (std::size_t k = 0; k < 7; ++k) reg |= static_cast<unsigned>(state[k] & 1u) << k;
  Bits out(msg.size());
  for (std::size_t i = 0; i < msg.size(); ++i) {
    const unsigned s = ((reg >> 3) ^ (reg >> 6)) & 1u;
    reg = ((reg << 1) | s) & 0x7Fu;
    out[i] = static_cast<std::uint8_t>(msg[i] ^ s);
  }
  return out;
}

// K = 7, generators 133 and 171 octal, punctured by position in the stream.
Bits encodeBitwise(const Bits& in, double rate) {
  Bits out;
  unsigned reg = 0;
  std::size_t pos = 0, kept1 = 0;
  auto emit = [&](unsigned bit) {
    ++pos;
    if (rate == dot11a::kRate2_3 && pos % 4 == 0) return;
    if (rate == dot11a::kRate3_4) {
      if (pos % 6 == 4) return;
      if (++kept1 % 5 == 4) return;
    }
    out.push_back(static_cast<std::uint8_t>(bit));
  };
  for (std::uint8_t b : in) {
    reg = ((reg << 1) | b) & 0x7Fu;
    emit(static_cast<unsigned>(__builtin_parity(reg & 0b1101101u)));
    emit(static_cast<unsigned>(__builtin_parity(reg & 0b1001111u)));
  }
  return out;
}

void addAt(Samples& out, const Samples& piece, std::size_t at) {
  for (std::size_t k = 0; k < piece.size(); ++k) out[at + k] += piece[k];
}

void referenceData(const dot11a::DataSettings& s, const Bits& payload, std::span<const cplx> mask64,
                   Samples& out, std::size_t at) {
  const std::size_t nsym = dot11a::dataSymbolCount(s, payload.size());
  if (nsym == 0) return;
  const auto mod = static_cast<dot11a::Modulation>(s.modulation);
  const std::size_t ncbps = 48u * static_cast<std::size_t>(dot11a::bitsPerSubcarrier(mod));
  const std::size_t ndbps =
      static_cast<std::size_t>(std::llround(static_cast<double>(ncbps) * s.encoderRate));
  Bits data(nsym * ndbps, 0);
  std::size_t first = 0;
  if (s.framed) {
    const Bits service = dot11a::bitVector(static_cast<double>(s.service), 16);
    std::copy(service.begin() + 7, service.end(), data.begin() + 7);
    first = 16;
  }
  std::copy(payload.begin(), payload.end(), data.begin() + static_cast<long>(first));
  if (s.scrambler) {
    data = scrambleBitwise(data, s.scramblerInit);
    if (s.framed) {
      const auto tail = data.begin() + static_cast<long>(first + payload.size());
      std::fill(tail, tail + 6, 0);
    }
  }
  const Bits coded = s.encoderRate == 1.0 ? data : encodeBitwise(data, s.encoderRate);
  const std::size_t step = 80u * static_cast<std::size_t>(s.oversampling);
  for (std::size_t i = 0; i < nsym; ++i) {
    Bits bits(coded.begin() + static_cast<long>(i * ncbps),
              coded.begin() + static_cast<long>((i + 1) * ncbps));
    if (s.interleaver) bits = dot11a::interleave(bits);
    const Samples points = dot11a::convertToIQ(bits, mod);
    addAt(out,
          dot11a::symbolBuild(points, dot11a::pilotPolarity(static_cast<long long>(i) + 1),
                              s.oversampling, s.windowLength, mask64, s.sincComp),
          at + i * step);
  }
}

dot11a::Frame referenceFrame(const dot11a::FrameSettings& s, const Bits& payload) {
  const dot11a::DataSettings& d = s.data;
  const std::size_t os = static_cast<std::size_t>(d.oversampling);
  const std::size_t w = static_cast<std::size_t>(d.windowLength);
  const std::size_t nsym = dot11a::dataSymbolCount(d, payload.size());
  std::size_t burst = 80 * os * nsym, total = burst;
  if (d.framed) {
    burst += 400 * os + w;
    total = burst + static_cast<std::size_t>(std::max<long long>(s.idleSamples - (long long)w, 0));
  }
  total += total % 2;
  std::array<cplx, 64> mask64;
  dot11a::carrierMappingInto(s.mask53, 1, mask64);
  dot11a::Frame f;
  Samples& out = f.waveform;
  out.assign(std::max(total, burst + w), cplx(0.0, 0.0));
  std::size_t at = 0;
  if (d.framed) {
    addAt(out, dot11a::shortSequence(d.oversampling, d.windowLength, mask64, d.sincComp), 0);
    addAt(out, dot11a::longSequence(d.oversampling, d.windowLength, mask64, d.sincComp), 160 * os);
    addAt(out,
          dot11a::signalSymbol(s.dataRate, static_cast<double>(payload.size()) / 8.0,
                               d.oversampling, d.windowLength, mask64, d.sincComp),
          320 * os);
    at = 400 * os;
  }
  referenceData(d, payload, mask64, out, at);
  if (!d.framed)
    for (std::size_t k = 0; k < w; ++k) out[k] += out[burst + k];
  out.resize(total);
  f.marker1.assign(total, 0);
  if (total > 0) f.marker1[0] = 1;
  f.marker2.assign(total, 0);
  std::fill_n(f.marker2.begin(), std::min(burst, total), 1);
  if (s.mirrorSpectrum)
    for (cplx& x : out) x = std::conj(x);
  return f;
}

void expectSameWaveform(const Samples& got, const Samples& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  double power = 0;
  for (const cplx& x : want) power += std::norm(x);
  const double rms = want.empty() ? 0.0 : std::sqrt(power / static_cast<double>(want.size()));
  const double tol = 1e-12 * rms;
  for (std::size_t i = 0; i < want.size(); ++i)
    ASSERT_LE(std::abs(got[i] - want[i]), tol) << what << ", sample " << i << " of " << want.size();
}

struct Row {
  double rate;
  int modulation;
  double coding;
};
constexpr Row kRates[] = {{6, 1, 0.5},
                          {9, 1, 0.75},
                          {12, 2, 0.5},
                          {18, 2, 0.75},
                          {24, 3, 0.5},
                          {36, 3, 0.75},
                          {48, 4, dot11a::kRate2_3},
                          {54, 4, 0.75}};

using dot11a::test::randomBits;

std::vector<cplx> randomMask(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.5, 1.5);
  std::vector<cplx> m(53);
  for (auto& x : m) x = cplx(u(rng), u(rng));
  m[3] = 0.0;  // a switched-off sub-carrier
  m[10] = 1.0;
  return m;
}

TEST(FrameReference, EveryRateOversamplingWindowAndMask) {
  std::mt19937 rng(2024);
  int cases = 0;
  for (const Row& r : kRates)
    for (int os : {1, 2, 3, 4})
      for (int w : {0, 1, 2, 5, 16 * os}) {
        dot11a::FrameSettings s;
        const bool custom = (cases % 3) == 1;
        s.data = {true,
                  static_cast<unsigned>(rng() % 65536),
                  r.modulation,
                  r.coding,
                  cases % 5 != 4,
                  static_cast<unsigned>(rng() % 128),
                  cases % 7 != 6,
                  os,
                  w,
                  (cases % 2) == 0};
        s.dataRate = r.rate;
        s.idleSamples = (cases % 4 == 0) ? 0 : static_cast<long long>(rng() % 300);
        s.mirrorSpectrum = cases % 6 == 5;
        if (custom) s.mask53 = randomMask(rng);
        const Bits payload = randomBits(8 * (rng() % 120), rng);
        const dot11a::Frame got = dot11a::synthesizeFrame(s, payload);
        const dot11a::Frame want = referenceFrame(s, payload);
        const std::string what = "rate " + std::to_string(r.rate) + " os " + std::to_string(os) +
                                 " w " + std::to_string(w) + " case " + std::to_string(cases);
        expectSameWaveform(got.waveform, want.waveform, what);
        EXPECT_EQ(got.marker1, want.marker1) << what;
        EXPECT_EQ(got.marker2, want.marker2) << what;
        ++cases;
      }
  EXPECT_EQ(cases, 160);
}

TEST(FrameReference, UnframedUncodedAndLargestFrames) {
  std::mt19937 rng(7);
  for (int os : {1, 2, 4})
    for (int w : {0, 3, 16}) {
      dot11a::FrameSettings s;
      s.data = {
          false, 0,   1 + static_cast<int>(rng() % 4), rng() % 2 ? 1.0 : 0.5, true, 93, true, os,
          w,     true};
      s.idleSamples = 123;
      const Bits payload = randomBits(1 + rng() % 3000, rng);
      expectSameWaveform(dot11a::synthesizeFrame(s, payload).waveform,
                         referenceFrame(s, payload).waveform,
                         "unframed os " + std::to_string(os) + " w " + std::to_string(w));
    }
  // The largest frame, and the largest at 54 Mbit/s.
  for (const Row& r : {kRates[0], kRates[7]}) {
    dot11a::FrameSettings s;
    s.data = {true, 0, r.modulation, r.coding, true, 93, true, 4, 16, true};
    s.dataRate = r.rate;
    s.idleSamples = 4000;
    const Bits payload = randomBits(dot11a::kMaxPsduBits, rng);
    expectSameWaveform(dot11a::synthesizeFrame(s, payload).waveform,
                       referenceFrame(s, payload).waveform, "largest at " + std::to_string(r.rate));
  }
}

// More settings than the shared cache keeps, from two threads at once: every
// frame is the one made alone, whatever was evicted or built meanwhile.
TEST(FrameReference, ManySettingsFromTwoThreads) {
  std::mt19937 rng(99);
  std::vector<dot11a::FrameSettings> settings(40);
  for (std::size_t i = 0; i < settings.size(); ++i) {
    auto& s = settings[i];
    s.data = {true,
              0,
              2,
              0.5,
              true,
              93,
              true,
              1 + static_cast<int>(i % 3),
              static_cast<int>(i % 4),
              (i % 2) == 0};
    s.dataRate = 12;
    s.mask53 = randomMask(rng);
  }
  const Bits payload = randomBits(8 * 40, rng);
  std::vector<Samples> alone;
  for (const auto& s : settings) alone.push_back(referenceFrame(s, payload).waveform);
  std::vector<Samples> a(settings.size()), b(settings.size());
  auto run = [&](std::vector<Samples>& out, bool backwards) {
    for (int round = 0; round < 3; ++round)
      for (std::size_t k = 0; k < settings.size(); ++k) {
        const std::size_t i = backwards ? settings.size() - 1 - k : k;
        out[i] = dot11a::synthesizeFrame(settings[i], payload).waveform;
      }
  };
  std::thread t1(run, std::ref(a), false);
  std::thread t2(run, std::ref(b), true);
  t1.join();
  t2.join();
  for (std::size_t i = 0; i < settings.size(); ++i) {
    expectSameWaveform(a[i], alone[i], "thread 1, settings " + std::to_string(i));
    expectSameWaveform(b[i], alone[i], "thread 2, settings " + std::to_string(i));
  }
}

// The table-driven scrambler and encoder against the bit-by-bit forms, for
// every input length up to a few periods (partial puncturing groups included).
TEST(FrameReference, ScramblerAndEncoderMatchTheBitwiseForms) {
  std::mt19937 rng(5);
  for (std::size_t n = 0; n < 400; ++n) {
    const Bits msg = randomBits(n, rng);
    const unsigned seed = static_cast<unsigned>(rng() % 128);
    ASSERT_EQ(dot11a::scramble(msg, dot11a::bitVector(seed, 7)), scrambleBitwise(msg, seed)) << n;
    for (double rate : {0.5, dot11a::kRate2_3, 0.75})
      ASSERT_EQ(dot11a::convolEncode(msg, rate), encodeBitwise(msg, rate)) << n << " " << rate;
  }
}

// A coding rate read back from a file as a near double is the rate it stands for.
TEST(FrameReference, StoredTwoThirdsIsTwoThirds) {
  std::mt19937 rng(8);
  const Bits payload = randomBits(8 * 50, rng);
  dot11a::FrameSettings s;
  s.data = {true, 0, 4, dot11a::kRate2_3, true, 93, true, 2, 3, true};
  s.dataRate = 48;
  const Samples exact = dot11a::synthesizeFrame(s, payload).waveform;
  s.data.encoderRate = 0.66666666667;
  expectSameWaveform(dot11a::synthesizeFrame(s, payload).waveform, exact, "2/3 as 0.66666666667");
}

// The DATA field on its own: added into the caller's zeroed buffer.
TEST(FrameReference, DataFieldMatchesTheReference) {
  std::mt19937 rng(3);
  for (const Row& r : kRates) {
    dot11a::DataSettings d{true, 5, r.modulation, r.coding, true, 17, true, 2, 7, false};
    const Bits payload = randomBits(8 * (1 + rng() % 200), rng);
    std::array<cplx, 64> mask64;
    dot11a::carrierMappingInto(randomMask(rng), 1, mask64);
    Samples want(dot11a::dataSymbolCount(d, payload.size()) * 160 + 7);
    referenceData(d, payload, mask64, want, 0);
    expectSameWaveform(dot11a::dataField(d, payload, mask64), want,
                       "DATA at " + std::to_string(r.rate));
  }
}

}  // namespace
