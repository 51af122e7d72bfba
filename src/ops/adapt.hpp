// Internal: conversions between operation inputs and the typed synthesis API.
#pragma once

#include <charconv>
#include <cmath>
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a::adapt {

// A value as a message names it: a real number as itself ("-3", "1e-300"),
// anything else by its kind and size.
inline std::string shown(const Value& v) {
  if (v.isNumeric() && !v.isComplex() && v.numel() == 1) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v.real(0));
    return std::string(buf, r.ptr);
  }
  return v.describe();
}

// One real number: a text, a complex number or a matrix is not read as its
// first element or character code.
inline double realScalar(const Value& v, std::string_view name) {
  if (!v.isNumeric() || v.isComplex() || v.numel() != 1)
    raise("\"" + std::string(name) + "\" must be one real number, not " + v.describe() + ".");
  return v.real(0);
}

inline int wholeNumber(const Value& v, std::string_view name, int lo, int hi) {
  if (const auto n = integerOf<int>(realScalar(v, name), lo, hi)) return *n;
  raise("\"" + std::string(name) + "\" must be a whole number from " + std::to_string(lo) + " to " +
        std::to_string(hi) + ", not " + shown(v) + ".");
}

inline int oversampling(const Value& v) {
  return wholeNumber(v, "oversamplingRate", 1, 64);
}
inline int windowLength(const Value& v, std::string_view name = "windowLength") {
  const double x = v.toScalar();
  if (x <= 0) return 0;  // no window
  return wholeNumber(v, name, 0, 1 << 20);
}

// A row of exactly n values (complex allowed).
inline std::vector<cplx> complexRow(const Value& v, std::size_t n, std::string_view name) {
  if (v.numel() != n)
    raise("\"" + std::string(name) + "\" must hold " + std::to_string(n) + " values, not " +
          std::to_string(v.numel()) + ".");
  return v.toComplex();
}

// A bit-row input: numbers that are each 0 or 1, in any shape (an empty
// number is no bits). A text, a complex value or any other number is refused
// instead of being read as "non-zero is one".
inline std::vector<std::uint8_t> bitRow(const Value& v, std::string_view op,
                                        std::string_view name) {
  const std::string what = std::string(op) + ": \"" + std::string(name) + "\"";
  if (!v.isNumeric() || v.isComplex())
    raise(what + " must be a row of bits (0 or 1), not " + v.describe() + ".");
  std::vector<std::uint8_t> bits(v.numel());
  for (std::size_t i = 0; i < bits.size(); ++i) {
    const double b = v.real(i);
    if (b != 0 && b != 1)
      raise(what + " must hold bits (0 or 1), not " + num2str(b) + " (element " +
            std::to_string(i + 1) + ").");
    bits[i] = b == 1;
  }
  return bits;
}

inline Value row(const Samples& s) {
  return Value::row(std::span<const cplx>(s));
}

}  // namespace dot11a::adapt

namespace dot11a::op {
// The DATA settings from the inputs shared by dot11a_DATA and dot11a_FRAME
// ("generationMode" ... "interleaverActive", inputs 1 to 9).
DataSettings dataSettingsFrom(Call& c, std::size_t first);
// The frame settings from the fifteen inputs of dot11a_FRAME (the payload,
// input 2, is not read).
FrameSettings frameSettingsFrom(Call& c);
// A synthesised frame as dot11a_FRAME returns it: the waveform row and the
// 2 x n marker matrix.
FrameResult frameResult(const Frame& f);
}  // namespace dot11a::op
