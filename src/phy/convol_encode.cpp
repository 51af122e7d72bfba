// The K = 7 convolutional encoder with puncturing, and its operation.
#include "dot11a/bitcoding.hpp"
#include "dot11a/error.hpp"

namespace dot11a {

namespace {

enum class Puncture { None, TwoThirds, ThreeQuarters };

Puncture punctureOf(double rate) {
  if (rate == kRate2_3) return Puncture::TwoThirds;
  if (rate == kRate3_4) return Puncture::ThreeQuarters;
  return Puncture::None;  // 0.5, and every other value, keeps the mother code
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
  // reg bit k holds input(t - k); generator 133 octal taps t, t-2, t-3, t-5, t-6
  // and 171 octal taps t, t-1, t-2, t-3, t-6.
  constexpr unsigned kG0 = 0b1101101;  // [1 0 1 1 0 1 1] read from bit 0 up
  constexpr unsigned kG1 = 0b1001111;  // [1 1 1 1 0 0 1]
  unsigned reg = 0;
  std::size_t w = 0;
  std::size_t pos = 0;    // 1-based position in the rate-1/2 stream
  std::size_t kept1 = 0;  // 1-based position in the stream after the first 3/4 pass
  auto emit = [&](unsigned bit) {
    ++pos;
    switch (p) {
      case Puncture::None:
        break;
      case Puncture::TwoThirds:
        if (pos % 4 == 0) return;
        break;
      case Puncture::ThreeQuarters:
        if (pos % 6 == 4) return;
        if (++kept1 % 5 == 4) return;
        break;
    }
    out[w++] = static_cast<std::uint8_t>(bit);
  };
  for (std::uint8_t b : in) {
    reg = ((reg << 1) | (b & 1u)) & 0x7Fu;
    emit(static_cast<unsigned>(__builtin_parity(reg & kG0)));
    emit(static_cast<unsigned>(__builtin_parity(reg & kG1)));
  }
}

Bits convolEncode(std::span<const std::uint8_t> in, double rate) {
  Bits out(encodedLength(in.size(), rate));
  convolEncodeInto(in, rate, out);
  return out;
}

}  // namespace dot11a
