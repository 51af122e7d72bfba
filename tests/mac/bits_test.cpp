// Numbers to bits and hexadecimal text, the shift registers and the 32-bit CRC.
#include <gtest/gtest.h>

#include <string>

#include "common/library_fixture.hpp"
#include "dot11a/bits.hpp"

using dot11a::Bits;
using dot11a::test::bitsFrom;
using dot11a::test::bitsToString;

namespace {

class BitUtilities : public ::testing::Test {};

std::uint32_t asNumberLsbFirst(const Bits& b) {
  return static_cast<std::uint32_t>(dot11a::bitsToNumber(b));
}
Bits textBits(const std::string& s, bool msbFirst) {
  return dot11a::bytesToBits(std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()),
                             msbFirst);
}

TEST_F(BitUtilities, Crc32AgreesWithTheGenericDivider) {
  const Bits poly = bitsFrom("111011011011100010000011001000001");
  Bits data = textBits("The quick brown fox jumps over the lazy dog", false);
  Bits generic = dot11a::lfsrChecksum(poly, Bits(32, 1), data);
  for (auto& b : generic) b ^= 1u;
  EXPECT_EQ(generic, dot11a::crc32Bits(data));
  EXPECT_EQ(asNumberLsbFirst(generic), 0x414FA339u);
}

}  // namespace
