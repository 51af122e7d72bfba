// The per-symbol pass (see symbol_pass.hpp). Each product and sum is the one
// the receiver's scalar formulas take (the complex product written out, the
// constellation's levels and soft values of constellation.hpp), so the points,
// soft values and errors do not depend on the layout or the vector width.
#include "rx/symbol_pass.hpp"

#include <cmath>

#include "rx/constellation.hpp"
#include "rx/signal.hpp"
#include "rx/subcarriers.hpp"

namespace dot11a::rx {

namespace {

// Sub-carrier i with the turn ur + j ui: the equalised point (y / h) g and
// y g, the latter kept only where the IQ estimate takes the sub-carrier.
// Plain pointers, marked as not overlapping, so that the loops run as vector
// code.
struct Out {
  double* __restrict eqRe;
  double* __restrict eqIm;
  double* __restrict turnedRe;
  double* __restrict turnedIm;
};

[[gnu::always_inline]] inline void equaliseOne(const double* __restrict y,
                                               const double* __restrict hRe,
                                               const double* __restrict hIm,
                                               const double* __restrict known, double rr, double ri,
                                               std::size_t i, double ur, double ui, const Out& o) {
  const double gr = ur * rr - ui * ri, gi = ur * ri + ui * rr;
  const double yr = y[2 * i], yi = y[2 * i + 1];
  const double hr = hRe[i], hi = hIm[i];
  const double qr = yr * hr - yi * hi, qi = yr * hi + yi * hr;
  o.eqRe[i] = qr * gr - qi * gi;
  o.eqIm[i] = qr * gi + qi * gr;
  const double vr = yr * gr - yi * gi, vi = yr * gi + yi * gr;
  o.turnedRe[i] = known[i] != 0.0 ? vr : 0.0;
  o.turnedIm[i] = known[i] != 0.0 ? vi : 0.0;
}

// y: the sub-carriers, interleaved; up: e^(j k a) for k = 0 .. 27,
// interleaved; rr + j ri: the common rotation.
DOT11A_RX_VECTOR
void equaliseAll(const double* __restrict y, const double* __restrict up, double rr, double ri,
                 const double* __restrict hRe, const double* __restrict hIm,
                 const double* __restrict known, double* __restrict eqRe, double* __restrict eqIm,
                 double* __restrict turnedRe, double* __restrict turnedIm) {
  const Out o{eqRe, eqIm, turnedRe, turnedIm};
  // Sub-carriers -26 .. -1 take the conjugate of up[26 - i], 0 .. +26 up[i - 26].
  for (std::size_t i = 0; i < 26; ++i)
    equaliseOne(y, hRe, hIm, known, rr, ri, i, up[2 * (26 - i)], -up[2 * (26 - i) + 1], o);
  for (std::size_t i = 26; i < 53; ++i)
    equaliseOne(y, hRe, hIm, known, rr, ri, i, up[2 * (i - 26)], up[2 * (i - 26) + 1], o);
}

// Soft values (bit b of sub-carrier j at b * 48 + j), nearest point and
// squared error of the 48 data sub-carriers, with kBits bits per
// sub-carrier.
template <int kBits>
[[gnu::always_inline]] inline void decideData(
    const double* __restrict re, const double* __restrict im, const double* __restrict weight,
    const double* __restrict on, float* __restrict soft, double* __restrict pointRe,
    double* __restrict pointIm, double* __restrict err, double* __restrict errCarrier) {
  constexpr int m = kBits / 2;  // bits per axis
  const double scale = axisScale(kBits), inv = 1.0 / scale;
  const double top = static_cast<double>((1 << m) - 1);
  for (std::size_t j = 0; j < 48; ++j) {
    const double zr = re[j], zi = im[j], w = weight[j];
    double pr = 0.0, pi = 0.0;
    if constexpr (kBits == 1) {
      soft[j] = rx::soft(zr * w);
      pr = std::copysign(1.0, zr);
    } else {
      const double yr = zr * inv, yi = zi * inv;
      soft[j] = rx::soft(yr * w);
      soft[m * 48 + j] = rx::soft(yi * w);
      if constexpr (m == 2) {
        soft[48 + j] = rx::soft((2.0 - std::abs(yr)) * w);
        soft[3 * 48 + j] = rx::soft((2.0 - std::abs(yi)) * w);
      } else if constexpr (m == 3) {
        soft[48 + j] = rx::soft((4.0 - std::abs(yr)) * w);
        soft[2 * 48 + j] = rx::soft((2.0 - std::abs(std::abs(yr) - 4.0)) * w);
        soft[4 * 48 + j] = rx::soft((4.0 - std::abs(yi)) * w);
        soft[5 * 48 + j] = rx::soft((2.0 - std::abs(std::abs(yi) - 4.0)) * w);
      }
      pr = nearestLevel(yr, top) * scale;
      pi = nearestLevel(yi, top) * scale;
    }
    pointRe[j] = pr;
    pointIm[j] = pi;
    const double e = on[j] * pointError(cplx(zr, zi), cplx(pr, pi));
    err[j] = e;
    errCarrier[j] += e;
  }
}

DOT11A_RX_VECTOR
void decideAll(int bits, const double* __restrict re, const double* __restrict im,
               const double* __restrict weight, const double* __restrict on, float* __restrict soft,
               double* __restrict pointRe, double* __restrict pointIm, double* __restrict err,
               double* __restrict errCarrier) {
  switch (bits) {
    case 1:
      decideData<1>(re, im, weight, on, soft, pointRe, pointIm, err, errCarrier);
      break;
    case 2:
      decideData<2>(re, im, weight, on, soft, pointRe, pointIm, err, errCarrier);
      break;
    case 4:
      decideData<4>(re, im, weight, on, soft, pointRe, pointIm, err, errCarrier);
      break;
    default:
      decideData<6>(re, im, weight, on, soft, pointRe, pointIm, err, errCarrier);
      break;
  }
}

}  // namespace

void SymbolPass::setChannel(const std::array<cplx, 53>& hInv,
                            const std::array<double, 53>& weight) {
  hInv_ = {};
  for (std::size_t i = 0; i < 53; ++i) {
    hInv_.re[i] = hInv[i].real();
    hInv_.im[i] = hInv[i].imag();
  }
  const auto& data = dataCarriers();
  for (std::size_t j = 0; j < 48; ++j) {
    index_[j] = static_cast<std::uint8_t>(data[j] + kCentre);
    weight_[j] = weight[index_[j]];
    // A sub-carrier that is off (weight 0) adds no error.
    on_[j] = weight_[j] > 0.0 ? 1.0 : 0.0;
  }
}

void SymbolPass::setData(int nbpsc, std::span<const std::uint16_t> perm,
                         const std::array<bool, 48>& counted,
                         const std::array<cplx, 53>& hInvKnown) {
  nbpsc_ = nbpsc == 1 || nbpsc == 2 || nbpsc == 4 ? nbpsc : 6;
  const auto bits = static_cast<std::size_t>(nbpsc_);
  ncbps_ = std::min(perm.size(), 48 * bits);
  // The mapper's bit b of sub-carrier j is soft value j * bits + b.
  for (std::size_t k = 0; k < ncbps_; ++k)
    from_[k] = static_cast<std::uint16_t>(perm[k] % bits * 48 + perm[k] / bits % 48);
  for (std::size_t j = 0; j < 48; ++j) counted_[j] = counted[j] ? 1.0 : 0.0;
  known_ = {};
  for (std::size_t i = 0; i < 53; ++i) known_[i] = hInvKnown[i] != cplx(0.0, 0.0) ? 1.0 : 0.0;
  errCarrier_ = {};
}

void SymbolPass::equalise(const std::array<cplx, 53>& y, const std::array<cplx, 28>& up, cplx rot) {
  equaliseAll(reinterpret_cast<const double*>(y.data()), reinterpret_cast<const double*>(up.data()),
              rot.real(), rot.imag(), hInv_.re.data(), hInv_.im.data(), known_.data(),
              eq_.re.data(), eq_.im.data(), turned_.re.data(), turned_.im.data());
}

double SymbolPass::decide(float* soft) {
  alignas(32) std::array<double, 48> re, im, pointRe, pointIm;
  for (std::size_t j = 0; j < 48; ++j) {
    re[j] = eq_.re[index_[j]];
    im[j] = eq_.im[index_[j]];
  }
  decideAll(nbpsc_, re.data(), im.data(), weight_.data(), on_.data(), soft_.data(), pointRe.data(),
            pointIm.data(), err_.data(), errCarrier_.data());
  for (std::size_t k = 0; k < ncbps_; ++k) soft[k] = soft_[from_[k]];
  // The counted errors in four running sums, one per vector lane.
  std::array<double, 4> sum{};
  for (std::size_t j = 0; j < 48; j += 4)
    for (std::size_t l = 0; l < 4; ++l) sum[l] += counted_[j + l] != 0.0 ? err_[j + l] : 0.0;
  // What the IQ estimate takes: the points decided where it takes the
  // sub-carrier, the pilots decided on BPSK.
  for (std::size_t j = 0; j < 48; ++j) {
    const std::size_t i = index_[j];
    decided_.re[i] = known_[i] != 0.0 ? pointRe[j] : 0.0;
    decided_.im[i] = known_[i] != 0.0 ? pointIm[j] : 0.0;
  }
  for (const int k : kPilots) {
    const auto i = static_cast<std::size_t>(k + kCentre);
    const double re0 = turned_.re[i] * hInv_.re[i] - turned_.im[i] * hInv_.im[i];
    decided_.re[i] = known_[i] != 0.0 ? std::copysign(1.0, re0) : 0.0;
    decided_.im[i] = 0.0;
  }
  return (sum[0] + sum[1]) + (sum[2] + sum[3]);
}

}  // namespace dot11a::rx
