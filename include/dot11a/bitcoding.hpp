// Bit-level stages of the 802.11a transmitter, as typed functions: scramblers,
// the convolutional encoder with puncturing, and the block interleaver.
// Bits are bytes holding 0 or 1, first bit in time first.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

using Bits = std::vector<std::uint8_t>;

// The encoder rates, exactly as the frame settings carry them.
inline constexpr double kRate1_2 = 0.5;
inline constexpr double kRate2_3 = 0.6666666666666666;
inline constexpr double kRate3_4 = 0.75;

// Frame-synchronous scrambler of the DATA field (generator x^7 + x^4 + 1): the
// free-running sequence s(i) = s(i-4) xor s(i-7) is added to the message.
// state[0] is s(0), the most recent register bit, state[6] is s(-6); bits of
// `state` beyond the seventh are ignored, missing ones count as 0.
void scrambleInto(std::span<const std::uint8_t> msg, std::span<const std::uint8_t> state,
                  std::span<std::uint8_t> out);
Bits scramble(std::span<const std::uint8_t> msg, std::span<const std::uint8_t> state);

// Self-synchronising form of the same generator: the scrambled output bit
// re-enters the register. Same state convention.
Bits scrambleSelfSync(std::span<const std::uint8_t> input, std::span<const std::uint8_t> state);

// Number of coded bits the encoder gives for n input bits at `rate`.
std::size_t encodedLength(std::size_t n, double rate);
// K = 7 convolutional encoder (generators 133 and 171 octal) started in the
// all-zero state, punctured to `rate` (0.5, 2/3 or 0.75; any other rate gives
// the rate-1/2 output). `out` must hold encodedLength(in.size(), rate) bits.
void convolEncodeInto(std::span<const std::uint8_t> in, double rate, std::span<std::uint8_t> out);
Bits convolEncode(std::span<const std::uint8_t> in, double rate);

// The two-step block interleaver on the coded bits of one OFDM symbol (48, 96,
// 192 or 288 bits; an empty input gives an empty output). Raises a run-time
// error for any other length.
void interleaveInto(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);
Bits interleave(std::span<const std::uint8_t> in);
// The interleaver's permutation for a block size: out[perm[k]] = in[k].
std::span<const std::uint16_t> interleaverPermutation(std::size_t blockSize);

}  // namespace dot11a

DOT11A_API_END
