// The IQ imbalance estimate (see iq_imbalance.hpp).
#include "rx/iq_imbalance.hpp"

#include <cmath>
#include <numbers>

#include "rx/constellation.hpp"
#include "rx/signal.hpp"

namespace dot11a::rx {

namespace {

bool isPilotIndex(std::size_t i) {
  return i == kCentre - 21 || i == kCentre - 7 || i == kCentre + 7 || i == kCentre + 21;
}

// The constellation point nearest to an equalised value.
cplx decide(cplx z, int bpsc, double scale, double top) {
  if (bpsc <= 1) return cplx(std::copysign(1.0, z.real()), 0.0);
  return cplx(nearestLevel(z.real() / scale, top) * scale,
              nearestLevel(z.imag() / scale, top) * scale);
}
}  // namespace

void IqImbalanceEstimator::add(const std::array<cplx, 53>& y, const std::array<cplx, 53>& sent) {
  // Products through mul: the values are finite, and the library's checks
  // for infinite operands cost more than the products.
  for (std::size_t i = 0; i < 53; ++i) {
    if (i == kCentre) continue;
    const cplx cx = std::conj(sent[i]), z = std::conj(sent[52 - i]);
    Sums& s = sums_[i];
    s.xx += std::norm(cx);
    s.zz += std::norm(z);
    s.xz += mul(cx, z);
    s.xy += mul(cx, y[i]);
    s.zy += mul(sent[52 - i], y[i]);
  }
}

void IqImbalanceEstimator::addTraining(const std::array<cplx, 53>& received,
                                       const std::array<cplx, 53>& sent) {
  add(received, sent);
}

void IqImbalanceEstimator::addSymbol(const std::array<cplx, 53>& received,
                                     const std::array<cplx, 53>& turn,
                                     const std::array<cplx, 53>& hInv, int bpsc) {
  std::array<cplx, 53> y{}, sent{};
  const double scale = axisScale(bpsc);
  const double top = static_cast<double>((1 << (bpsc / 2)) - 1);
  for (std::size_t i = 0; i < 53; ++i) {
    if (i == kCentre || hInv[i] == cplx(0.0, 0.0)) continue;  // off: sends nothing known
    y[i] = mul(received[i], turn[i]);
    sent[i] = decide(mul(y[i], hInv[i]), isPilotIndex(i) ? 1 : bpsc, scale, top);
  }
  add(y, sent);
}

void IqImbalanceEstimator::report(FrameReport& rep) const {
  cplx num(0.0, 0.0);
  double den = 0.0;
  for (const Sums& s : sums_) {
    const double det = s.xx * s.zz - std::norm(s.xz);
    // A sub-carrier whose sent values and mirror images move together (the
    // training alone) says nothing about the image.
    if (!(det > 1e-6 * s.xx * s.zz) || !(s.xx > 0)) continue;
    const cplx a = (s.xy * s.zz - s.xz * s.zy) / det;
    const cplx b = (s.zy * s.xx - std::conj(s.xz) * s.xy) / det;
    num += b * std::conj(a);
    den += std::norm(a);
  }
  if (!(den > 0)) return;
  const cplx r = num / den;  // nu / mu
  const double rr = std::norm(r);
  if (!(rr < 1.0)) return;
  const cplx mu = (1.0 - std::conj(r)) / (1.0 - rr);
  const cplx ge = 2.0 * mu - 1.0;
  if (!(std::abs(ge) > 0)) return;
  rep.iqGainImbalanceDb = 20.0 * std::log10(std::abs(ge));
  rep.iqPhaseImbalanceDeg = std::arg(ge) * 180.0 / std::numbers::pi;
}

}  // namespace dot11a::rx
