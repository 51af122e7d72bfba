// Bit and checksum utilities and their operations.
#include "dot11a/bits.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include <zlib.h>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"

namespace dot11a {

// Upper bound on bit rows built from a requested size: far beyond any frame,
// small enough that a mistyped size cannot exhaust memory.
constexpr std::size_t kMaxBits = 1 << 26;

std::uint8_t parityBit(double v) {
  return static_cast<std::uint8_t>(std::fmod(std::fabs(std::trunc(v)), 2.0) != 0.0);
}

// Whole part of a size-like input, at least 0, within kMaxBits.
std::size_t wholeSize(double v, const char* what) {
  if (std::isnan(v) || v <= 0) return 0;
  if (v > static_cast<double>(kMaxBits))
    raise(std::string(what) + " is too large (at most " + std::to_string(kMaxBits) + ").");
  return checkedInteger<std::size_t>(std::floor(v), what);
}

Bits bitVector(double x, double minSize, bool msbFirst) {
  if (!std::isfinite(x) || std::floor(x) != x) raise("Integer required");
  if (x < 0) raise("bitVector: a non-negative number is required, got " + std::to_string(x) + ".");
  Bits out;
  // Halving a whole double is exact, so every whole double converts exactly.
  for (double v = x; v > 0; v = std::floor(v / 2)) out.push_back(parityBit(v));
  const std::size_t size = wholeSize(minSize, "bitVector: minSize");
  if (out.size() < size) out.resize(size, 0);
  if (msbFirst) std::reverse(out.begin(), out.end());
  return out;
}

std::string hexString(double num, double size) {
  if (!std::isfinite(num) || std::floor(num) != num || num < 0)
    raise("hexString: a non-negative whole number is required.");
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (double v = num; v > 0; v = std::floor(v / 16))
    s.push_back(kDigits[checkedInteger<int>(std::fmod(v, 16.0), "hexString: a digit")]);
  if (s.empty()) s.push_back('0');
  std::reverse(s.begin(), s.end());
  const std::size_t width = 2 * wholeSize(size, "hexString: size");
  if (s.size() < width) s = std::string(width - s.size(), '0') + s;
  return s;
}

std::optional<double> parseHexText(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return std::nullopt;
  const auto last = text.find_last_not_of(" \t\r\n");
  const std::string_view digits = text.substr(first, last - first + 1);
  double v = 0;
  for (char ch : digits) {
    int d = -1;
    if (ch >= '0' && ch <= '9')
      d = ch - '0';
    else if (ch >= 'a' && ch <= 'f')
      d = ch - 'a' + 10;
    else if (ch >= 'A' && ch <= 'F')
      d = ch - 'A' + 10;
    if (d < 0) {
      std::string msg = "Not a hexadecimal number (digits 0-9, A-F): ";
      msg.append(text);
      raise(msg);
    }
    v = v * 16 + d;
  }
  return v;
}

Bits lfsr(std::span<const std::uint8_t> taps, std::size_t m, std::span<const std::uint8_t> seed) {
  const std::size_t order = seed.size();
  if (order == 0) raise("lfsr: the order must be at least 1.");
  if (taps.size() < order)
    raise("lfsr: " + std::to_string(order) + " taps are needed, got " +
          std::to_string(taps.size()) + ".");
  // Only the set taps matter; keep their distance back from the new bit.
  std::vector<std::size_t> back;
  for (std::size_t j = 0; j < order; ++j)
    if (taps[j] & 1u) back.push_back(order - j);
  Bits a(std::max(m, order), 0);
  for (std::size_t j = 0; j < order; ++j) a[j] = seed[j] & 1u;
  for (std::size_t i = order; i < a.size(); ++i) {
    std::uint8_t b = 0;
    for (std::size_t k : back) b ^= a[i - k];
    a[i] = b;
  }
  return a;
}

Bits lfsrChecksum(std::span<const std::uint8_t> poly, std::span<const std::uint8_t> initialState,
                  std::span<const std::uint8_t> data) {
  if (poly.empty()) raise("lfsrChecksum: the polynomial has no coefficients.");
  const std::size_t width = poly.size() - 1;
  if (initialState.size() != width)
    raise("lfsrChecksum: the initial state needs " + std::to_string(width) +
          " cells for this polynomial, got " + std::to_string(initialState.size()) + ".");
  Bits sr(initialState.begin(), initialState.end());
  if (width == 0) return sr;
  for (std::uint8_t d : data) {
    const std::uint8_t carry = (sr[width - 1] ^ d) & 1u;
    for (std::size_t k = width - 1; k > 0; --k) sr[k] = sr[k - 1] ^ (carry & poly[k]);
    sr[0] = carry & poly[0];
  }
  std::reverse(sr.begin(), sr.end());
  return sr;
}

Bits crc32Bits(std::span<const std::uint8_t> bits) {
  // Register cell k is bit k of the word; the generator without its x^32 term.
  constexpr std::uint32_t kPoly = 0x04C11DB7u;
  std::uint32_t reg = 0xFFFFFFFFu;
  for (std::uint8_t d : bits) {
    const std::uint32_t carry = ((reg >> 31) ^ d) & 1u;
    reg = (reg << 1) ^ (carry ? kPoly : 0u);
  }
  reg = ~reg;
  Bits out(32);
  for (int k = 0; k < 32; ++k) out[k] = static_cast<std::uint8_t>((reg >> (31 - k)) & 1u);
  return out;
}

std::uint32_t crc32Octets(std::span<const std::uint8_t> octets) {
  return static_cast<std::uint32_t>(
      ::crc32_z(::crc32_z(0, nullptr, 0), octets.data(), octets.size()));
}

Bits bytesToBits(std::span<const std::uint8_t> bytes, bool msbFirst) {
  Bits out(bytes.size() * 8);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    for (int k = 0; k < 8; ++k)
      out[8 * i + k] = static_cast<std::uint8_t>((bytes[i] >> (msbFirst ? 7 - k : k)) & 1u);
  return out;
}

std::uint64_t bitsToNumber(std::span<const std::uint8_t> bits) {
  std::uint64_t v = 0;
  for (std::size_t k = 0; k < bits.size() && k < 64; ++k)
    if (bits[k] & 1u) v |= std::uint64_t{1} << k;
  return v;
}

std::vector<std::uint8_t> bitsToOctets(std::span<const std::uint8_t> bits) {
  std::vector<std::uint8_t> out((bits.size() + 7) / 8, 0);
  for (std::size_t i = 0; i < bits.size(); ++i)
    if (bits[i] & 1u) out[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
  return out;
}

}  // namespace dot11a
