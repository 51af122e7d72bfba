// Bit and checksum utilities: numbers to bit rows and hexadecimal text, a
// Fibonacci shift register over bit history, a Galois shift register that
// divides a bit stream by a polynomial, and the 32-bit frame check sequence.
// Bits are bytes holding 0 or 1, first bit in time first.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/bitcoding.hpp"
#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// The least significant bit of a number's whole part (0 or 1).
std::uint8_t parityBit(double v);
// Whole part of a size-like input (a bit or digit count), 0 for NaN and
// negative values; above 2^26 raises an error naming `what`, so a mistyped
// size cannot exhaust memory.
std::size_t wholeSize(double v, const char* what);

// A non-negative whole number as bits, least significant bit first, zero-filled
// on the right to at least `minSize` bits (minSize never truncates). With
// `msbFirst` the row is reversed. Raises "Integer required" for a value that is
// not a whole number (or not finite) and a clear error for a negative one.
Bits bitVector(double x, double minSize = 0, bool msbFirst = false);

// Upper-case hexadecimal text of a non-negative whole number, zero-filled on the
// left to 2 x `size` characters; a longer text is kept whole.
std::string hexString(double num, double size);

// Reads a hexadecimal entry (either letter case, surrounding blanks ignored).
// An empty entry gives no number (nullopt); any other character than 0-9, a-f
// and A-F raises an error that quotes the entry.
std::optional<double> parseHexText(std::string_view text);

// Fibonacci shift register: out[0..order) = seed, then
// out[i] = (sum_j taps[j] * out[i - order + j]) mod 2 for i = order .. m-1, so
// taps[0] weights the oldest bit of the window and taps[order-1] the newest.
// `taps` and `seed` must both have `order` entries. The result has max(m, order)
// entries.
Bits lfsr(std::span<const std::uint8_t> taps, std::size_t m, std::span<const std::uint8_t> seed);

// Galois shift register dividing `data` by the polynomial `poly` (coefficients,
// constant term first, leading coefficient last). The register has
// poly.size() - 1 cells, starts at `initialState` (cell of x^0 first) and the
// result is the register reversed (highest cell first).
Bits lfsrChecksum(std::span<const std::uint8_t> poly, std::span<const std::uint8_t> initialState,
                  std::span<const std::uint8_t> data);

// The 32-bit CRC (generator 0x04C11DB7, register preset to ones, remainder
// complemented) of a bit stream taken in the order given. The 32 result bits
// are in transmission order: result[0] is the coefficient of x^31. Bits of a
// byte string fed least significant bit first and read with result[0] as bit 0
// give the common reflected CRC-32.
Bits crc32Bits(std::span<const std::uint8_t> bits);
// The same CRC of whole octets (each taken least significant bit first), as
// the reflected 32-bit number: bit 0 is result[0] of crc32Bits. A table-driven
// octet at a time, for checking the FCS of received frames.
std::uint32_t crc32Octets(std::span<const std::uint8_t> octets);

// Bits of a byte string, least significant bit of each byte first (or most
// significant first with `msbFirst`).
Bits bytesToBits(std::span<const std::uint8_t> bytes, bool msbFirst = false);
// Packs bits, least significant bit first, into a whole number (at most 64 bits).
std::uint64_t bitsToNumber(std::span<const std::uint8_t> bits);
// Octets of a bit row, the first bit in the least significant bit of the first
// octet; a last partial octet is filled with zeros.
std::vector<std::uint8_t> bitsToOctets(std::span<const std::uint8_t> bits);

}  // namespace dot11a

DOT11A_API_END
