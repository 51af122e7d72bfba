// Numbers to bits and hexadecimal text, the shift registers and the 32-bit CRC.
#include <gtest/gtest.h>

#include <string>

#include "common/library_fixture.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/library.hpp"

using dot11a::Bits;
using dot11a::Value;
using dot11a::test::bitsFrom;
using dot11a::test::bitsOf;
using dot11a::test::bitsToString;

namespace {

class BitUtilities : public dot11a::test::LibraryTest {};

std::string bv(std::initializer_list<Value> args) {
  return bitsToString(bitsOf(dot11a::feval1("bitVector", args)));
}

std::string errorOf(std::string_view name, std::initializer_list<Value> args) {
  return dot11a::test::errorOf([&] { dot11a::feval(name, 1, args); });
}

std::uint32_t asNumberLsbFirst(const Bits& b) {
  return static_cast<std::uint32_t>(dot11a::bitsToNumber(b));
}
std::uint32_t asNumberMsbFirst(const Bits& b) {
  std::uint32_t v = 0;
  for (auto bit : b) v = (v << 1) | bit;
  return v;
}

Bits textBits(const std::string& s, bool msbFirst) {
  return dot11a::bytesToBits(std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()),
                             msbFirst);
}

TEST_F(BitUtilities, BitVectorRefusesBadInput) {
  EXPECT_EQ(errorOf("bitVector", {2.5}), "Integer required");
  EXPECT_EQ(errorOf("bitVector", {}), "Incorrect number of parameters.");
  EXPECT_EQ(errorOf("bitVector", {1.0, 2.0, "left-msb", 4.0}), "Incorrect number of parameters.");
  // Values that would never terminate or have no bit form are refused.
  EXPECT_EQ(errorOf("bitVector", {std::numeric_limits<double>::infinity()}), "Integer required");
  EXPECT_NE(errorOf("bitVector", {-3.0}), "no error");
  EXPECT_NE(errorOf("bitVector", {1.0, 1e12}), "no error");
}

TEST_F(BitUtilities, HexStringPadsButDoesNotTruncate) {
  EXPECT_EQ(dot11a::feval1("hexString", {255.0, 2.0}).str(), "00FF");
  EXPECT_EQ(dot11a::feval1("hexString", {4096.0, 1.0}).str(), "1000");
  EXPECT_EQ(dot11a::feval1("hexString", {0.0, 6.0}).str(), "000000000000");
  EXPECT_EQ(dot11a::hexString(0xFFFFFFFFFFFF, 6), "FFFFFFFFFFFF");
  EXPECT_NE(errorOf("hexString", {-1.0, 2.0}), "no error");
}

TEST_F(BitUtilities, LfsrStartsWithTheSeedAndRunsTheRecurrence) {
  const Value taps = Value::row({1, 1, 0});
  const Value seed = Value::row({1, 0, 0});
  EXPECT_EQ(bitsToString(bitsOf(dot11a::feval1("lfsr", {3.0, taps, 10.0, seed}))), "1001011100");
  EXPECT_EQ(bitsToString(bitsOf(dot11a::feval1("lfsr", {3.0, taps, 2.0, seed}))), "100");
  // Only the first `order` taps count.
  EXPECT_EQ(
      bitsToString(bitsOf(dot11a::feval1("lfsr", {3.0, Value::row({1, 1, 0, 1}), 10.0, seed}))),
      "1001011100");
  EXPECT_NE(errorOf("lfsr", {3.0, taps, 10.0, Value::row({1, 0})}), "no error");
  EXPECT_NE(errorOf("lfsr", {3.0, Value::row({1}), 10.0, seed}), "no error");
}

TEST_F(BitUtilities, LfsrChecksumDividesByThePolynomial) {
  // The textbook division: 11010011101100 followed by three zeros, divided by
  // x^3 + x + 1 (1011), leaves 100.
  const Bits poly = bitsFrom("1101");  // 1 + x + x^3, constant term first
  const Bits msg = bitsFrom("11010011101100");
  const Bits rem = dot11a::lfsrChecksum(poly, Bits(3, 0), msg);
  EXPECT_EQ(bitsToString(rem), "100");
  EXPECT_NE(
      errorOf("lfsrChecksum", {Value::row({1, 1, 0, 1}), Value::row({0, 0}), Value::row({1})}),
      "no error");
}

TEST_F(BitUtilities, Crc32MatchesTheCommonCheckValues) {
  EXPECT_EQ(bitsToString(bitsOf(dot11a::feval1("CCITT_CRC32", {Value::empty()}))),
            std::string(32, '0'));
  EXPECT_EQ(asNumberLsbFirst(dot11a::crc32Bits(textBits("123456789", false))), 0xCBF43926u);
  EXPECT_EQ(asNumberLsbFirst(dot11a::crc32Bits(textBits("abc", false))), 0x352441C2u);
  EXPECT_EQ(asNumberMsbFirst(dot11a::crc32Bits(textBits("123456789", true))), 0xFC891918u);
  // The octet-wise CRC the receiver checks frames with gives the same number.
  const std::string check = "123456789";
  EXPECT_EQ(dot11a::crc32Octets(
                std::span(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())),
            0xCBF43926u);
  EXPECT_EQ(dot11a::crc32Octets({}), asNumberLsbFirst(dot11a::crc32Bits({})));
}

TEST_F(BitUtilities, BitVectorIsLeastSignificantFirstAndNeverTruncates) {
  EXPECT_EQ(bv({5.0}), "101");
  EXPECT_EQ(bv({6.0}), "011");
  EXPECT_EQ(bv({8.0}), "0001");
  EXPECT_EQ(bv({1.0}), "1");
  EXPECT_EQ(bv({0.0}), "");
  EXPECT_EQ(bv({0.0, 4.0}), "0000");
  EXPECT_EQ(bv({6.0, 8.0}), "01100000");
  EXPECT_EQ(bv({6.0, 8.0, "left-msb"}), "00000110");
  EXPECT_EQ(bv({6.0, 8.0, "right-msb"}), "01100000");
  EXPECT_EQ(bv({6.0, 8.0, ""}), "01100000");
  EXPECT_EQ(bv({300.0, 8.0}), "001101001");
  // A 48-bit address converts exactly.
  EXPECT_EQ(dot11a::bitsToNumber(dot11a::bitVector(static_cast<double>(0xA637CD086000ULL), 48)),
            0xA637CD086000u);
}

}  // namespace
