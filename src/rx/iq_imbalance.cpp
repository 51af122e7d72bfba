// The IQ imbalance estimate (see iq_imbalance.hpp).
#include "rx/iq_imbalance.hpp"

#include <cmath>
#include <numbers>

#include "rx/constellation.hpp"
#include "rx/signal.hpp"
#include "rx/subcarriers.hpp"

namespace dot11a::rx {

namespace {

// DC is sent as 0, so it adds nothing.
DOT11A_KERNEL void addSumsKernel(IqImbalanceSums& s, const SplitCarriers& y,
                                 const SplitCarriers& sent) {
  for (std::size_t i = 0; i < 53; ++i) {
    // x = sent[i], z = conj(sent[52 - i])
    const double xr = sent.re[i], xi = sent.im[i];
    const double zr = sent.re[52 - i], zi = -sent.im[52 - i];
    const double yr = y.re[i], yi = y.im[i];
    s.xx[i] += xr * xr + xi * xi;
    s.xzRe[i] += xr * zr + xi * zi;
    s.xzIm[i] += xr * zi - xi * zr;
    s.xyRe[i] += xr * yr + xi * yi;
    s.xyIm[i] += xr * yi - xi * yr;
    s.zyRe[i] += zr * yr + zi * yi;
    s.zyIm[i] += zr * yi - zi * yr;
  }
}
DOT11A_VECTOR_VARIANTS(void, addSums,
                       (IqImbalanceSums & s, const SplitCarriers& y, const SplitCarriers& sent),
                       (s, y, sent))

}  // namespace

void IqImbalanceEstimator::addTraining(const std::array<cplx, 53>& received,
                                       const std::array<cplx, 53>& sent) {
  SplitCarriers y, x;
  for (std::size_t i = 0; i < 53; ++i) {
    y.re[i] = received[i].real();
    y.im[i] = received[i].imag();
    x.re[i] = sent[i].real();
    x.im[i] = sent[i].imag();
  }
  addSums(sums_, y, x);
}

void IqImbalanceEstimator::addSymbol(const SplitCarriers& received, const SplitCarriers& decided) {
  addSums(sums_, received, decided);
}

void IqImbalanceEstimator::report(FrameReport& rep) const {
  cplx num(0.0, 0.0);
  double den = 0.0;
  for (std::size_t i = 0; i < 53; ++i) {
    const double xx = sums_.xx[i], zz = sums_.xx[52 - i];
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
