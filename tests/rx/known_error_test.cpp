// Measurements against errors of known size: an error vector of exactly known
// power on the data sub-carriers, and sub-carriers attenuated just above and
// just below the level at which the receiver takes them as switched off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dot11a/receiver.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a::rx {
namespace {

FrameSettings bpsk() {
  FrameSettings s;
  s.dataRate = 6;
  s.data.modulation = 1;
  s.data.encoderRate = kRate1_2;
  s.data.oversampling = 1;
  s.data.windowLength = 0;
  return s;
}

Bits payload(std::size_t octets) {
  Bits b(8 * octets);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>((i * 7 / 5) & 1);
  return b;
}

bool isDataCarrier(int k) {
  return k != 0 && std::abs(k) != 7 && std::abs(k) != 21;
}

// Each DATA symbol's data sub-carriers get an error of exactly `relative`
// times their own amplitude, at a phase of its own. The error is cyclic over
// the symbol (its prefix included) and leaves the pilots and the training
// alone, so channel estimate and tracking stay exact and the EVM is
// 20 log10(relative) whatever the decoder's window.
Samples withDataError(const Samples& clean, std::size_t symbols, double relative) {
  Samples x = clean;
  constexpr std::size_t kFirstData = 400;  // short and long training, SIGNAL
  for (std::size_t m = 0; m < symbols; ++m) {
    const std::size_t cp = kFirstData + 80 * m, body = cp + 16;
    std::array<cplx, 64> err{};
    for (int k = -26; k <= 26; ++k) {
      if (!isDataCarrier(k)) continue;
      const auto bin = static_cast<std::size_t>((k + 64) % 64);
      cplx xk(0.0, 0.0);
      for (std::size_t n = 0; n < 64; ++n)
        xk += clean[body + n] * std::polar(1.0, -2.0 * std::numbers::pi * double(bin * n) / 64.0);
      const double phase = 2.0 * std::numbers::pi * std::fmod(0.618034 * double(m * 53 + bin), 1.0);
      err[bin] = std::polar(relative * std::abs(xk), phase);
    }
    for (std::size_t n = 0; n < 64; ++n) {
      cplx e(0.0, 0.0);
      for (std::size_t bin = 0; bin < 64; ++bin)
        e += err[bin] * std::polar(1.0, 2.0 * std::numbers::pi * double(bin * n) / 64.0);
      e /= 64.0;
      x[body + n] += e;
      if (n >= 48) x[cp + n - 48] += e;
    }
  }
  return x;
}

TEST(RxKnownError, EvmOfAnExactErrorVector) {
  const Bits psdu = payload(60);
  const Frame f = synthesizeFrame(bpsk(), psdu);
  const std::size_t symbols = (f.waveform.size() - 400) / 80;
  for (const double relative : {0.1, 0.02}) {
    SCOPED_TRACE(relative);
    const Result r = receive(withDataError(f.waveform, symbols, relative));
    ASSERT_EQ(r.frames.size(), 1u) << r.problem;
    EXPECT_EQ(r.frames[0].psduBits, psdu);
    EXPECT_NEAR(r.frames[0].evmDb, 20.0 * std::log10(relative), 0.1);
  }
}

TEST(RxKnownError, SubcarrierSwitchedOffBelowFifteenDecibels) {
  const Bits psdu = payload(30);
  for (const double dB : {-14.5, -15.5}) {
    SCOPED_TRACE(dB);
    FrameSettings s = bpsk();
    s.mask53[26 + 10] = cplx(std::pow(10.0, dB / 20.0), 0.0);
    const Result r = receive(synthesizeFrame(s, psdu).waveform);
    ASSERT_EQ(r.frames.size(), 1u) << r.problem;
    const std::vector<int>& off = r.frames[0].disabledSubcarriers;
    EXPECT_EQ(std::count(off.begin(), off.end(), 10), dB < -15 ? 1 : 0);
    EXPECT_EQ(off.size(), dB < -15 ? 1u : 0u);
    EXPECT_EQ(r.frames[0].psduBits, psdu);
  }
}

}  // namespace
}  // namespace dot11a::rx
