// The K = 7 convolutional encoder with puncturing, and its operation.
#include "dot11a/bitcoding.hpp"
#include "dot11a/error.hpp"
#include "dot11a/rate_table.hpp"
#include "phy/frame_engine.hpp"

namespace dot11a {

namespace {

enum class Puncture { None, TwoThirds, ThreeQuarters };

// The rate a number stands for is decided where the synthesis decides it
// (codingRateOf), so that both puncture the same way.
Puncture punctureOf(double rate) {
  const CodingRate* r = codingRateOf(rate);
  if (r != nullptr && r->num == 2 && r->den == 3) return Puncture::TwoThirds;
  if (r != nullptr && r->num == 3 && r->den == 4) return Puncture::ThreeQuarters;
  return Puncture::None;  // 1/2, and every other value, keeps the mother code
}

}  // namespace

std::size_t encodedLength(std::size_t n, double rate) {
  const std::size_t full = 2 * n;
  switch (punctureOf(rate)) {
    case Puncture::None:
      return full;
    case Puncture::TwoThirds:
      return full - full / 4;  // positions 4, 8, 12, ... go
    case Puncture::ThreeQuarters: {
      const std::size_t first = full - (full + 2) / 6;  // positions 4, 10, 16, ... go
      return first - (first + 1) / 5;                   // then 4, 9, 14, ... of the rest
    }
  }
  return full;
}

void convolEncodeInto(std::span<const std::uint8_t> in, double rate, std::span<std::uint8_t> out) {
  const Puncture p = punctureOf(rate);
  if (out.size() < encodedLength(in.size(), rate))
    raise("convolEncode: the output buffer is too short.");
  if (p == Puncture::None) {
    detail::motherEncode(in, out.data());
    return;
  }
  // The rate-1/2 stream A0 B0 A1 B1 ..., then puncturing by position: rate 2/3
  // drops B1 of every A0 B0 A1 B1, rate 3/4 drops B1 and A2 of every
  // A0 B0 A1 B1 A2 B2 (also in a last, partial group).
  thread_local std::vector<std::uint8_t> mother;
  mother.resize(2 * in.size());
  detail::motherEncode(in, mother.data());
  const std::uint8_t* m = mother.data();
  const std::size_t total = mother.size();
  std::uint8_t* o = out.data();
  std::size_t at = 0;
  if (p == Puncture::TwoThirds) {
    for (; at + 4 <= total; at += 4, o += 3) {
      o[0] = m[at];
      o[1] = m[at + 1];
      o[2] = m[at + 2];
    }
    for (; at < total; ++at)
      if (at % 4 != 3) *o++ = m[at];
  } else {
    for (; at + 6 <= total; at += 6, o += 4) {
      o[0] = m[at];
      o[1] = m[at + 1];
      o[2] = m[at + 2];
      o[3] = m[at + 5];
    }
    for (; at < total; ++at)
      if (at % 6 != 3 && at % 6 != 4) *o++ = m[at];
  }
}

Bits convolEncode(std::span<const std::uint8_t> in, double rate) {
  Bits out(encodedLength(in.size(), rate));
  convolEncodeInto(in, rate, out);
  return out;
}

}  // namespace dot11a
