// The data scramblers (generator x^7 + x^4 + 1) and their operations.
#include <algorithm>
#include <array>

#include "dot11a/bitcoding.hpp"
#include "dot11a/error.hpp"
#include "phy/frame_engine.hpp"

namespace dot11a {

namespace {

// The register as a 7-bit word: bit k holds the register bit k+1 steps in the
// past when the next input bit arrives (bit 0 = s(i-1), bit 6 = s(i-7)).
unsigned loadRegister(std::span<const std::uint8_t> state) {
  unsigned reg = 0;
  for (std::size_t k = 0; k < 7 && k < state.size(); ++k)
    if (state[k]) reg |= 1u << k;
  return reg;
}

// s(i-4) xor s(i-7).
inline unsigned feedback(unsigned reg) {
  return ((reg >> 3) ^ (reg >> 6)) & 1u;
}
inline unsigned shiftIn(unsigned reg, unsigned bit) {
  return ((reg << 1) | bit) & 0x7Fu;
}

}  // namespace

void scrambleInto(std::span<const std::uint8_t> msg, std::span<const std::uint8_t> state,
                  std::span<std::uint8_t> out) {
  if (out.size() < msg.size()) raise("scramble: the output buffer is too short.");
  // The sequence repeats every 127 bits: add one period after another.
  const std::uint8_t* seq = detail::scramblerPeriod(loadRegister(state));
  for (std::size_t i = 0; i < msg.size(); i += 127) {
    const std::size_t m = std::min<std::size_t>(127, msg.size() - i);
    for (std::size_t j = 0; j < m; ++j)
      out[i + j] = static_cast<std::uint8_t>((msg[i + j] & 1u) ^ seq[j]);
  }
}

Bits scramble(std::span<const std::uint8_t> msg, std::span<const std::uint8_t> state) {
  Bits out(msg.size());
  scrambleInto(msg, state, out);
  return out;
}

Bits scrambleSelfSync(std::span<const std::uint8_t> input, std::span<const std::uint8_t> state) {
  Bits out(input.size());
  unsigned reg = loadRegister(state);
  for (std::size_t i = 0; i < input.size(); ++i) {
    const unsigned y = (input[i] & 1u) ^ feedback(reg);
    reg = shiftIn(reg, y);
    out[i] = static_cast<std::uint8_t>(y);
  }
  return out;
}

}  // namespace dot11a
