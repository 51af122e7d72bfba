// The IQ imbalance estimate (see iq_imbalance.hpp).
#include "rx/iq_imbalance.hpp"

#include <cmath>
#include <numbers>

#include "rx/constellation.hpp"
#include "rx/signal.hpp"
#include "rx/subcarriers.hpp"

namespace dot11a::rx {

// DC is sent as 0, so it adds nothing.
void IqImbalanceEstimator::add(const std::array<cplx, 53>& y, const std::array<cplx, 53>& sent) {
  Sums& s = sums_;
  for (std::size_t i = 0; i < 53; ++i) {
    // x = sent[i], z = conj(sent[52 - i])
    const double xr = sent[i].real(), xi = sent[i].imag();
    const double zr = sent[52 - i].real(), zi = -sent[52 - i].imag();
    const double yr = y[i].real(), yi = y[i].imag();
    s.xx[i] += xr * xr + xi * xi;
    s.zz[i] += zr * zr + zi * zi;
    s.xzRe[i] += xr * zr + xi * zi;
    s.xzIm[i] += xr * zi - xi * zr;
    s.xyRe[i] += xr * yr + xi * yi;
    s.xyIm[i] += xr * yi - xi * yr;
    s.zyRe[i] += zr * yr + zi * yi;
    s.zyIm[i] += zr * yi - zi * yr;
  }
}

void IqImbalanceEstimator::addTraining(const std::array<cplx, 53>& received,
                                       const std::array<cplx, 53>& sent) {
  add(received, sent);
}

void IqImbalanceEstimator::addSymbol(const std::array<cplx, 53>& received,
                                     const std::array<cplx, 53>& turn,
                                     const std::array<cplx, 53>& hInv,
                                     const std::array<cplx, 48>& decided) {
  std::array<cplx, 53> y{}, sent{};
  const auto& data = dataCarriers();
  for (std::size_t j = 0; j < 48; ++j) {
    const auto i = static_cast<std::size_t>(data[j] + kCentre);
    if (hInv[i] == cplx(0.0, 0.0)) continue;  // off: sends nothing known
    y[i] = mul(received[i], turn[i]);
    sent[i] = decided[j];
  }
  for (const int k : kPilots) {
    const auto i = static_cast<std::size_t>(k + kCentre);
    if (hInv[i] == cplx(0.0, 0.0)) continue;
    y[i] = mul(received[i], turn[i]);
    sent[i] = nearestPoint(mul(y[i], hInv[i]), 1, 1.0, 1.0, 0.0);
  }
  add(y, sent);
}

void IqImbalanceEstimator::report(FrameReport& rep) const {
  cplx num(0.0, 0.0);
  double den = 0.0;
  for (std::size_t i = 0; i < 53; ++i) {
    const double xx = sums_.xx[i], zz = sums_.zz[i];
    const cplx xz(sums_.xzRe[i], sums_.xzIm[i]), xy(sums_.xyRe[i], sums_.xyIm[i]),
        zy(sums_.zyRe[i], sums_.zyIm[i]);
    const double det = xx * zz - std::norm(xz);
    // A sub-carrier whose sent values and mirror images move together (the
    // training alone) says nothing about the image.
    if (!(det > 1e-6 * xx * zz) || !(xx > 0)) continue;
    const cplx a = (xy * zz - xz * zy) / det;
    const cplx b = (zy * xx - std::conj(xz) * xy) / det;
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
