// The two-step 802.11a block interleaver and its operation.
#include <array>
#include <string>

#include "dot11a/bitcoding.hpp"
#include "dot11a/error.hpp"

namespace dot11a {

namespace {

std::vector<std::uint16_t> makePermutation(std::size_t blockSize) {
  const std::size_t bitsPerSymbol = blockSize / 48;
  const std::size_t s = std::max<std::size_t>(bitsPerSymbol / 2, 1);
  std::vector<std::uint16_t> perm(blockSize);
  for (std::size_t k = 0; k < blockSize; ++k) {
    const std::size_t i = (blockSize / 16) * (k % 16) + k / 16;
    const std::size_t j = s * (i / s) + (i + blockSize - (16 * i) / blockSize) % s;
    perm[k] = static_cast<std::uint16_t>(j);
  }
  return perm;
}

}  // namespace

std::span<const std::uint16_t> interleaverPermutation(std::size_t blockSize) {
  // The four block sizes of BPSK, QPSK, 16-QAM and 64-QAM, made once.
  static const std::array<std::vector<std::uint16_t>, 4> kTables = {
      makePermutation(48), makePermutation(96), makePermutation(192), makePermutation(288)};
  switch (blockSize) {
    case 48:
      return kTables[0];
    case 96:
      return kTables[1];
    case 192:
      return kTables[2];
    case 288:
      return kTables[3];
    default:
      raise(
          "dot11a_Interleave: the input must hold the coded bits of one OFDM symbol (48, 96, "
          "192 or 288 bits), not " +
          std::to_string(blockSize) + ".");
  }
}

void interleaveInto(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  if (in.empty()) return;
  const auto perm = interleaverPermutation(in.size());
  if (out.size() < in.size()) raise("interleave: the output buffer is too short.");
  for (std::size_t k = 0; k < in.size(); ++k) out[perm[k]] = in[k];
}

Bits interleave(std::span<const std::uint8_t> in) {
  Bits out(in.size());
  interleaveInto(in, out);
  return out;
}

}  // namespace dot11a
