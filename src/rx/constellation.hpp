// The constellations of the receiver (internal to the rx component): levels,
// the nearest point and soft values, used in the per-symbol loops and so
// defined inline.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>

#include "dot11a/receiver.hpp"

namespace dot11a::rx {

// The amplitude levels of one axis of each modulation in units of the
// constellation's scale, and the scale itself (unit mean power).
inline double axisScale(int bpsc) {
  switch (bpsc) {
    case 2:
      return 1.0 / std::sqrt(2.0);
    case 4:
      return 1.0 / std::sqrt(10.0);
    case 6:
      return 1.0 / std::sqrt(42.0);
    default:
      return 1.0;
  }
}

// std::clamp (lo <= hi; NaN stays NaN), with both comparisons always made,
// so that a loop over sub-carriers runs as vector code.
inline double clampValue(double v, double lo, double hi) {
  const double above = v < lo ? lo : v;
  return hi < above ? hi : above;
}

// The nearest level on one axis: odd integers within +-(2^m - 1). Rounded
// with the 1.5 x 2^52 constant (exact for the clamped range), which needs
// neither a branch nor a library call.
inline double nearestLevel(double y, double top) {
  constexpr double kRound = 6755399441055744.0;
  const double h = (clampValue(y, -top - 1.0, top + 1.0) - 1.0) * 0.5;
  const double l = 2.0 * ((h + kRound) - kRound) + 1.0;
  return clampValue(l, -top, top);
}

// The constellation point nearest to z (the constellation scaled to unit
// mean power).
inline cplx nearestPoint(cplx z, int bpsc, double scale, double invScale, double top) {
  // copysign, not a comparison: the sign of random data is no branch to
  // predict.
  if (bpsc == 1) return cplx(std::copysign(1.0, z.real()), 0.0);
  return cplx(nearestLevel(z.real() * invScale, top) * scale,
              nearestLevel(z.imag() * invScale, top) * scale);
}

// The squared distance of z from the point p, in units of the
// constellation's mean power.
inline double pointError(cplx z, cplx p) {
  const double dr = z.real() - p.real(), di = z.imag() - p.imag();
  return dr * dr + di * di;
}

// Soft values of one axis (positive means a one), in the order the mapper
// takes the bits: the sign bit, then the Gray-coded magnitude bits.
// A soft value as a float; out-of-range values (a damaged capture) saturate.
inline float soft(double v) {
  return static_cast<float>(clampValue(v, -1e30, 1e30));
}

inline void axisSoft(double y, int bitsPerAxis, double weight, float* out) {
  out[0] = soft(y * weight);
  if (bitsPerAxis == 2) {
    out[1] = soft((2.0 - std::abs(y)) * weight);
  } else if (bitsPerAxis == 3) {
    out[1] = soft((4.0 - std::abs(y)) * weight);
    out[2] = soft((2.0 - std::abs(std::abs(y) - 4.0)) * weight);
  }
}

inline void demap(cplx z, int bpsc, double weight, float* out) {
  if (bpsc == 1) {
    out[0] = soft(z.real() * weight);
    return;
  }
  const double inv = 1.0 / axisScale(bpsc);
  const int m = bpsc / 2;
  axisSoft(z.real() * inv, m, weight, out);
  axisSoft(z.imag() * inv, m, weight, out + m);
}

}  // namespace dot11a::rx
