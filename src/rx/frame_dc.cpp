#include "rx/frame_dc.hpp"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace dot11a::rx {

namespace {

// Centre-frequency leakage limit relative to the frame's power (17.3.9.5).
constexpr double kLeakageLimitDb = -15.0;

}  // namespace

// Sub-carrier k's share of a constant added to the input, in an FFT window
// of the corrected signal starting at sample 0: the constant turns at the
// correction's rate, so it reaches every bin a little, not bin 0 alone.
void FrameDc::prepareLeak(double hz, double rate, int os) {
  const auto n = static_cast<double>(64 * os);
  theta_ = 2.0 * std::numbers::pi * hz / rate;
  const cplx num = 1.0 - std::polar(1.0, theta_ * n);
  for (int k = -26; k <= 26; ++k) {
    const cplx den = 1.0 - std::polar(1.0, theta_ - 2.0 * std::numbers::pi * k / n);
    leak_[static_cast<std::size_t>(k + kCentre)] = std::abs(den) > 1e-9 ? num / den : cplx(n);
  }
}

// The two long training periods each sum to nothing but DC over their 64
// samples, so the sums of the two give the component at the frame's carrier
// (the same in both) and the one at 0 Hz of the input (turned by the carrier
// offset from one to the other). When the carrier offset is too small to
// tell the two apart, they are one.
void FrameDc::measure(double hz, double rate, int os, bool mirrored, long long n1, long long n2,
                      std::array<cplx, 53>& y1, std::array<cplx, 53>& y2, FrameReport& rep) {
  prepareLeak(hz, rate, os);
  const double n = 64.0 * os;
  const cplx e1 = std::polar(1.0, theta_ * static_cast<double>(n1));
  const cplx e2 = std::polar(1.0, theta_ * static_cast<double>(n2));
  const cplx b1 = y1[kCentre], b2 = y2[kCentre], l0 = leak_[kCentre];
  cplx carrierDc(0.0, 0.0);
  if (std::abs(e2 - e1) > 0.2 && std::abs(l0) > 0.1 * n) {
    inputDc_ = (b2 - b1) / (l0 * (e2 - e1));
    carrierDc = (b1 - inputDc_ * e1 * l0) / n;
  } else {
    carrierDc = (b1 + b2) / (2.0 * n);
  }
  remove(n1, y1);
  remove(n2, y2);
  // The capture's DC, seen from the corrected signal (mirrored, it was
  // conjugated first), at the middle of the long training.
  const cplx capture = mirrored ? std::conj(captureDc_) : captureDc_;
  double power = 0.0;
  for (int k = -26; k <= 26; ++k)
    if (k != 0)
      power += std::norm(y1[static_cast<std::size_t>(k + kCentre)] +
                         y2[static_cast<std::size_t>(k + kCentre)]);
  power /= 4.0 * n * n;
  double leak = 0.0;
  if (inputDc_ == cplx(0.0, 0.0))
    leak = std::norm(carrierDc + capture * 0.5 * (e1 + e2));
  else
    leak = std::norm(capture + inputDc_) + std::norm(carrierDc);
  rep.centerLeakageDb = 10.0 * std::log10(std::max(leak / std::max(power, 1e-300), 1e-30));
  rep.centerLeakagePass = rep.centerLeakageDb <= kLeakageLimitDb;
  if (!rep.centerLeakagePass) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "Centre-frequency leakage %.2f dB exceeds the %.0f dB limit.",
                  rep.centerLeakageDb, kLeakageLimitDb);
    rep.problems.push_back(buf);
  }
}

}  // namespace dot11a::rx
