// Conversion of a double to an integer type. A plain conversion is undefined
// for a value that is not finite or lies outside the type's range (1e19 to a
// 64-bit integer, NaN to an int); every conversion of a number the caller
// gave goes through these checks instead.
#pragma once

#include <charconv>
#include <cmath>
#include <concepts>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "dot11a/error.hpp"

namespace dot11a {

// The integer `x` stands for, or nothing when `x` is not a whole number within
// [lo, hi] (and so within Int's range). Round or truncate before calling: the
// rounding is the caller's decision.
template <std::integral Int>
inline std::optional<Int> integerOf(double x, Int lo = std::numeric_limits<Int>::min(),
                                    Int hi = std::numeric_limits<Int>::max()) noexcept {
  // 2^digits is exactly representable and is the first value past Int's range;
  // the lowest value of a signed type is -2^digits, also exact.
  const double limit = std::ldexp(1.0, std::numeric_limits<Int>::digits);
  const double lowest = std::numeric_limits<Int>::is_signed ? -limit : 0.0;
  if (!(x >= lowest && x < limit) || x != std::trunc(x)) return std::nullopt;
  const Int v = static_cast<Int>(x);
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

// `x` rounded half away from zero and clamped to [lo, hi], for a number a
// widget or a drawing clamps (a slider's value, a pixel, a colour level); NaN
// has no nearest integer and gives nothing.
template <std::integral Int>
inline std::optional<Int> clampedInteger(double x, Int lo, Int hi) noexcept {
  if (std::isnan(x)) return std::nullopt;
  const double r = std::round(x);
  // Compared as doubles first, so that a value past Int's range is never
  // converted; lo and hi round to a double no further inside the range.
  if (r <= static_cast<double>(lo)) return lo;
  if (r >= static_cast<double>(hi)) return hi;
  return static_cast<Int>(r);
}

// The same, raising "<what> must be a whole number from <lo> to <hi>, not <x>."
// when `x` is none. `what` is written as given (quote a name yourself).
template <std::integral Int>
Int checkedInteger(double x, std::string_view what, Int lo = std::numeric_limits<Int>::min(),
                   Int hi = std::numeric_limits<Int>::max()) {
  if (const auto v = integerOf<Int>(x, lo, hi)) return *v;
  char given[32];
  const auto end = std::to_chars(given, given + sizeof given, x).ptr;
  raise(std::string(what) + " must be a whole number from " + std::to_string(lo) + " to " +
        std::to_string(hi) + ", not " + std::string(given, end) + ".");
}

}  // namespace dot11a
