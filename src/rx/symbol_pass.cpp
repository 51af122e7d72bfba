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

// The equalised points (y / h) g of the 53 sub-carriers and y g, the latter
// kept only where the IQ estimate takes the sub-carrier. y: the
// sub-carriers, interleaved; up: e^(j k a) for k = 0 .. 27, interleaved;
// rr + j ri: the common rotation. Plain pointers, marked as not overlapping,
// so that the loops run as vector code.
DOT11A_KERNEL void equaliseAllKernel(const double* __restrict y, const double* __restrict up,
                                     double rr, double ri, const double* __restrict hRe,
                                     const double* __restrict hIm, const double* __restrict known,
                                     double* __restrict eqRe, double* __restrict eqIm,
                                     double* __restrict turnedRe, double* __restrict turnedIm) {
  // Sub-carrier k takes up[k], -k its conjugate.
  alignas(32) double ur[53], ui[53];
  for (std::size_t k = 0; k <= 26; ++k) {
    ur[26 + k] = up[2 * k];
    ui[26 + k] = up[2 * k + 1];
    ur[26 - k] = up[2 * k];
    ui[26 - k] = -up[2 * k + 1];
  }
  for (std::size_t i = 0; i < 53; ++i) {
    const double gr = ur[i] * rr - ui[i] * ri, gi = ur[i] * ri + ui[i] * rr;
    const double yr = y[2 * i], yi = y[2 * i + 1];
    const double hr = hRe[i], hi = hIm[i];
    const double qr = yr * hr - yi * hi, qi = yr * hi + yi * hr;
    eqRe[i] = qr * gr - qi * gi;
    eqIm[i] = qr * gi + qi * gr;
    const double vr = yr * gr - yi * gi, vi = yr * gi + yi * gr;
    turnedRe[i] = known[i] != 0.0 ? vr : 0.0;
    turnedIm[i] = known[i] != 0.0 ? vi : 0.0;
  }
}
DOT11A_WIDE_VECTOR_VARIANTS(void, equaliseAll,
                            (const double* __restrict y, const double* __restrict up, double rr,
                             double ri, const double* __restrict hRe, const double* __restrict hIm,
                             const double* __restrict known, double* __restrict eqRe,
                             double* __restrict eqIm, double* __restrict turnedRe,
                             double* __restrict turnedIm),
                            (y, up, rr, ri, hRe, hIm, known, eqRe, eqIm, turnedRe, turnedIm))

// Soft values (bit b of sub-carrier i at b * kPadded + i), nearest point
// and squared error of the sub-carriers, with kBits bits per sub-carrier; the
// pilots, DC and the padding too, which costs less than picking the data
// sub-carriers out (their `on` is 0, so they add no error). The points go
// where the IQ estimate takes the sub-carrier (`known`), 0 elsewhere.
template <int kBits, bool kApart>
[[gnu::always_inline]] inline void decideData(
    const double* __restrict re, const double* __restrict im, const double* __restrict weight,
    const double* __restrict on, const double* __restrict known, float* __restrict soft,
    double* __restrict pointRe, double* __restrict pointIm, double* __restrict err,
    double* __restrict errCarrier, const double* __restrict ratioRe,
    const double* __restrict ratioIm) {
  constexpr int m = kBits / 2;  // bits per axis
  const double scale = axisScale(kBits), inv = 1.0 / scale;
  const double top = static_cast<double>((1 << m) - 1);
  constexpr std::size_t n = kPadded;
  for (std::size_t j = 0; j < n; ++j) {
    const double zr = re[j], zi = im[j], w = weight[j];
    double pr = 0.0, pi = 0.0;
    if constexpr (kBits == 1) {
      soft[j] = rx::soft(zr * w);
      pr = std::copysign(1.0, zr);
    } else {
      const double yr = zr * inv, yi = zi * inv;
      soft[j] = rx::soft(yr * w);
      soft[m * n + j] = rx::soft(yi * w);
      if constexpr (m == 2) {
        soft[n + j] = rx::soft((2.0 - std::abs(yr)) * w);
        soft[3 * n + j] = rx::soft((2.0 - std::abs(yi)) * w);
      } else if constexpr (m == 3) {
        soft[n + j] = rx::soft((4.0 - std::abs(yr)) * w);
        soft[2 * n + j] = rx::soft((2.0 - std::abs(std::abs(yr) - 4.0)) * w);
        soft[4 * n + j] = rx::soft((4.0 - std::abs(yi)) * w);
        soft[5 * n + j] = rx::soft((2.0 - std::abs(std::abs(yi) - 4.0)) * w);
      }
      pr = nearestLevel(yr, top) * scale;
      pi = nearestLevel(yi, top) * scale;
    }
    pointRe[j] = known[j] != 0.0 ? pr : 0.0;
    pointIm[j] = known[j] != 0.0 ? pi : 0.0;
    double e = 0.0;
    if constexpr (kApart) {
      // The point as the measurements' channel equalises it, and its own
      // nearest point.
      const double mr = zr * ratioRe[j] - zi * ratioIm[j], mi = zr * ratioIm[j] + zi * ratioRe[j];
      double qr = 0.0, qi = 0.0;
      if constexpr (kBits == 1) {
        qr = std::copysign(1.0, mr);
      } else {
        qr = nearestLevel(mr * inv, top) * scale;
        qi = nearestLevel(mi * inv, top) * scale;
      }
      e = on[j] * pointError(cplx(mr, mi), cplx(qr, qi));
    } else {
      e = on[j] * pointError(cplx(zr, zi), cplx(pr, pi));
    }
    err[j] = e;
    errCarrier[j] += e;
  }
}

struct Decisions {
  float* soft;  // bit b of sub-carrier i at b * kPadded + i
  double* pointRe;
  double* pointIm;
  double* err;
  double* errCarrier;
  const double* ratioRe;  // the measurements' equalisation, or null
  const double* ratioIm;
};

template <bool kApart>
[[gnu::always_inline]] inline void decideBits(int bits, const double* __restrict re,
                                              const double* __restrict im,
                                              const double* __restrict weight,
                                              const double* __restrict on,
                                              const double* __restrict known, const Decisions& d) {
  switch (bits) {
    case 1:
      decideData<1, kApart>(re, im, weight, on, known, d.soft, d.pointRe, d.pointIm, d.err,
                            d.errCarrier, d.ratioRe, d.ratioIm);
      break;
    case 2:
      decideData<2, kApart>(re, im, weight, on, known, d.soft, d.pointRe, d.pointIm, d.err,
                            d.errCarrier, d.ratioRe, d.ratioIm);
      break;
    case 4:
      decideData<4, kApart>(re, im, weight, on, known, d.soft, d.pointRe, d.pointIm, d.err,
                            d.errCarrier, d.ratioRe, d.ratioIm);
      break;
    default:
      decideData<6, kApart>(re, im, weight, on, known, d.soft, d.pointRe, d.pointIm, d.err,
                            d.errCarrier, d.ratioRe, d.ratioIm);
      break;
  }
}

// Decides the sub-carriers with `bits` bits each, writes the ncbps soft
// values in the decoder's order (soft value k from `from[k]`) to `out` and
// returns the sum of the counted errors.
DOT11A_KERNEL double decideAllKernel(int bits, const double* __restrict re,
                                     const double* __restrict im, const double* __restrict weight,
                                     const double* __restrict on, const double* __restrict known,
                                     const double* __restrict counted, const Decisions& d,
                                     const std::uint32_t* __restrict from, std::size_t ncbps,
                                     float* __restrict out) {
  if (d.ratioRe != nullptr)
    decideBits<true>(bits, re, im, weight, on, known, d);
  else
    decideBits<false>(bits, re, im, weight, on, known, d);
  const float* __restrict soft = d.soft;
  for (std::size_t k = 0; k < ncbps; ++k) out[k] = soft[from[k]];
  // The counted errors in four running sums, one per vector lane.
  const double* __restrict err = d.err;
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  for (std::size_t i = 0; i < kPadded; i += 4) {
    s0 += counted[i] != 0.0 ? err[i] : 0.0;
    s1 += counted[i + 1] != 0.0 ? err[i + 1] : 0.0;
    s2 += counted[i + 2] != 0.0 ? err[i + 2] : 0.0;
    s3 += counted[i + 3] != 0.0 ? err[i + 3] : 0.0;
  }
  return (s0 + s1) + (s2 + s3);
}
DOT11A_WIDE_VECTOR_VARIANTS(double, decideAll,
                            (int bits, const double* __restrict re, const double* __restrict im,
                             const double* __restrict weight, const double* __restrict on,
                             const double* __restrict known, const double* __restrict counted,
                             const Decisions& d, const std::uint32_t* __restrict from,
                             std::size_t ncbps, float* __restrict out),
                            (bits, re, im, weight, on, known, counted, d, from, ncbps, out))

// The sums of SymbolPass::residual over the padded sub-carriers, with
// kBits bits a data sub-carrier: `pilot` holds a pilot's value (0 for the
// others), `data` 1 for a data sub-carrier, `k` the sub-carrier's number.
template <int kBits>
[[gnu::always_inline]] inline void residualSums(
    const double* __restrict re, const double* __restrict im, const double* __restrict weight,
    const double* __restrict pilot, const double* __restrict data, const double* __restrict k,
    double* __restrict out) {
  constexpr int m = kBits / 2;
  const double scale = axisScale(kBits), inv = 1.0 / scale;
  const double top = static_cast<double>((1 << m) - 1);
  double cr = 0.0, ci = 0.0, kr = 0.0, ki = 0.0, dd = 0.0;
  for (std::size_t j = 0; j < kPadded; ++j) {
    const double zr = re[j], zi = im[j], w = weight[j];
    double pr = 0.0, pi = 0.0;
    if constexpr (kBits == 1) {
      pr = std::copysign(1.0, zr);
    } else {
      pr = nearestLevel(zr * inv, top) * scale;
      pi = nearestLevel(zi * inv, top) * scale;
    }
    const double dr = data[j] != 0.0 ? pr : pilot[j], di = data[j] != 0.0 ? pi : 0.0;
    // w z conj(d)
    const double er = w * (zr * dr + zi * di), ei = w * (zi * dr - zr * di);
    cr += er;
    ci += ei;
    kr += k[j] * er;
    ki += k[j] * ei;
    dd += w * k[j] * k[j] * (dr * dr + di * di);
  }
  out[0] = cr;
  out[1] = ci;
  out[2] = kr;
  out[3] = ki;
  out[4] = dd;
}

DOT11A_KERNEL void residualAllKernel(int bits, const double* __restrict re,
                                     const double* __restrict im, const double* __restrict weight,
                                     const double* __restrict pilot, const double* __restrict data,
                                     const double* __restrict k, double* __restrict out) {
  switch (bits) {
    case 1:
      residualSums<1>(re, im, weight, pilot, data, k, out);
      break;
    case 2:
      residualSums<2>(re, im, weight, pilot, data, k, out);
      break;
    case 4:
      residualSums<4>(re, im, weight, pilot, data, k, out);
      break;
    default:
      residualSums<6>(re, im, weight, pilot, data, k, out);
      break;
  }
}
DOT11A_VECTOR_VARIANTS(void, residualAll,
                       (int bits, const double* __restrict re, const double* __restrict im,
                        const double* __restrict weight, const double* __restrict pilot,
                        const double* __restrict data, const double* __restrict k,
                        double* __restrict out),
                       (bits, re, im, weight, pilot, data, k, out))

// The complex products written out on the parts, as the scalar code does.
DOT11A_KERNEL void turnAllKernel(const double* __restrict x, const double* __restrict e,
                                 double flip, std::size_t count, double* __restrict o) {
  for (std::size_t i = 0; i < count; ++i) {
    const double xr = x[2 * i], xi = flip * x[2 * i + 1];
    const double tr = e[2 * i], ti = e[2 * i + 1];
    o[2 * i] = xr * tr - xi * ti;
    o[2 * i + 1] = xr * ti + xi * tr;
  }
}
DOT11A_VECTOR_VARIANTS(void, turnAll,
                       (const double* __restrict x, const double* __restrict e, double flip,
                        std::size_t count, double* __restrict o),
                       (x, e, flip, count, o))

// The same with one rotation r for all.
DOT11A_KERNEL void turnByKernel(const double* __restrict x, double rr, double ri, std::size_t count,
                                double* __restrict o) {
  for (std::size_t i = 0; i < count; ++i) {
    const double xr = x[2 * i], xi = x[2 * i + 1];
    o[2 * i] = xr * rr - xi * ri;
    o[2 * i + 1] = xr * ri + xi * rr;
  }
}
DOT11A_VECTOR_VARIANTS(void, turnBy,
                       (const double* __restrict x, double rr, double ri, std::size_t count,
                        double* __restrict o),
                       (x, rr, ri, count, o))

}  // namespace

void turnSamples(const cplx* x, const cplx* e, bool conjugate, std::size_t count, cplx* out) {
  turnAll(reinterpret_cast<const double*>(x), reinterpret_cast<const double*>(e),
          conjugate ? -1.0 : 1.0, count, reinterpret_cast<double*>(out));
}

void turnCarriers(const cplx* negative, const cplx* positive, cplx r, std::array<cplx, 53>& c) {
  turnBy(reinterpret_cast<const double*>(negative), r.real(), r.imag(), 26,
         reinterpret_cast<double*>(c.data()));
  turnBy(reinterpret_cast<const double*>(positive), r.real(), r.imag(), 27,
         reinterpret_cast<double*>(c.data() + 26));
}

void SymbolPass::setChannel(const std::array<cplx, 53>& hInv,
                            const std::array<double, 53>& weight) {
  hInv_ = {};
  weight_ = {};
  on_ = {};
  for (std::size_t i = 0; i < 53; ++i) {
    hInv_.re[i] = hInv[i].real();
    hInv_.im[i] = hInv[i].imag();
    weight_[i] = weight[i];
  }
  const auto& data = dataCarriers();
  for (std::size_t j = 0; j < 48; ++j) {
    index_[j] = static_cast<std::uint8_t>(data[j] + kCentre);
    // A sub-carrier that is off (weight 0) adds no error.
    on_[index_[j]] = weight[index_[j]] > 0.0 ? 1.0 : 0.0;
  }
}

void SymbolPass::setMeasurement(const std::array<cplx, 53>* ratio) {
  apart_ = ratio != nullptr;
  ratio_ = {};
  if (ratio != nullptr)
    for (std::size_t i = 0; i < 53; ++i) {
      ratio_.re[i] = (*ratio)[i].real();
      ratio_.im[i] = (*ratio)[i].imag();
    }
}

SymbolPass::Residual SymbolPass::residual(int nbpsc, double polarity) const {
  // Per sub-carrier, fixed: its number and whether it carries data; the
  // pilots' signs.
  struct Layout {
    alignas(32) std::array<double, kPadded> k{}, data{}, sign{};
  };
  static const Layout layout = [] {
    Layout l;
    for (std::size_t i = 0; i < 53; ++i) l.k[i] = static_cast<double>(i) - kCentre;
    for (const int c : dataCarriers()) l.data[static_cast<std::size_t>(c + kCentre)] = 1.0;
    for (std::size_t p = 0; p < 4; ++p)
      l.sign[static_cast<std::size_t>(kPilots[p] + kCentre)] = kPilotSigns[p];
    return l;
  }();
  alignas(32) std::array<double, kPadded> pilot;
  for (std::size_t i = 0; i < kPadded; ++i) pilot[i] = layout.sign[i] * polarity;
  double out[5];
  const int bits = nbpsc == 1 || nbpsc == 2 || nbpsc == 4 ? nbpsc : 6;
  residualAll(bits, eq_.re.data(), eq_.im.data(), weight_.data(), pilot.data(), layout.data.data(),
              layout.k.data(), out);
  return {cplx(out[0], out[1]), cplx(out[2], out[3]), out[4]};
}

void SymbolPass::setData(int nbpsc, std::span<const std::uint16_t> perm,
                         const std::array<bool, 48>& counted,
                         const std::array<cplx, 53>& hInvKnown) {
  nbpsc_ = nbpsc == 1 || nbpsc == 2 || nbpsc == 4 ? nbpsc : 6;
  const auto bits = static_cast<std::size_t>(nbpsc_);
  ncbps_ = std::min(perm.size(), 48 * bits);
  // The mapper's bit b of data sub-carrier j is soft value j * bits + b.
  for (std::size_t k = 0; k < ncbps_; ++k)
    from_[k] = static_cast<std::uint32_t>(perm[k] % bits * kPadded + index_[perm[k] / bits % 48]);
  counted_ = {};
  for (std::size_t j = 0; j < 48; ++j) counted_[index_[j]] = counted[j] ? 1.0 : 0.0;
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
  const Decisions d{soft_.data(),
                    decided_.re.data(),
                    decided_.im.data(),
                    err_.data(),
                    errCarrier_.data(),
                    apart_ ? ratio_.re.data() : nullptr,
                    apart_ ? ratio_.im.data() : nullptr};
  const double sum = decideAll(nbpsc_, eq_.re.data(), eq_.im.data(), weight_.data(), on_.data(),
                               known_.data(), counted_.data(), d, from_.data(), ncbps_, soft);
  // The IQ estimate takes the pilots decided on BPSK.
  for (const int k : kPilots) {
    const auto i = static_cast<std::size_t>(k + kCentre);
    const double re0 = turned_.re[i] * hInv_.re[i] - turned_.im[i] * hInv_.im[i];
    decided_.re[i] = known_[i] != 0.0 ? std::copysign(1.0, re0) : 0.0;
    decided_.im[i] = 0.0;
  }
  return sum;
}

}  // namespace dot11a::rx
