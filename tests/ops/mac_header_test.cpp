// The MAC header record, its bit stream in air order, and the FCS.
#include <gtest/gtest.h>

#include <string>

#include "common/library_fixture.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/mac.hpp"

using dot11a::Bits;
using dot11a::Value;
using dot11a::test::bitsToString;

namespace {

class MacHeader : public dot11a::test::LibraryTest {};

std::string byteBits(std::uint8_t b) {
  return bitsToString(dot11a::bytesToBits(std::span(&b, 1)));
}

TEST_F(MacHeader, DefaultRecordHasAllFieldsActiveAndA30ByteStream) {
  const Value h = dot11a::defaultMACheader();
  EXPECT_EQ(h.fieldNames(),
            (std::vector<std::string>{"BitStream", "FrameCntrl", "DurationID", "SeqCntrl",
                                      "Address1", "Address2", "Address3", "Address4"}));
  EXPECT_EQ(h.field("Address2").fieldNames(),
            (std::vector<std::string>{"Contents", "Size", "Active"}));
  EXPECT_EQ(h.field("SeqCntrl").field("Size").toScalar(), 2);
  EXPECT_EQ(h.field("Address4").field("Size").toScalar(), 6);
  EXPECT_EQ(bitsToString(h.field("BitStream").toBits()), std::string(240, '0'));
  Value recomputed = h;
  dot11a::recalcBitStream(recomputed);
  EXPECT_EQ(recomputed, h);
}

TEST_F(MacHeader, FieldsGoOnAirLeastSignificantByteAndBitFirst) {
  Value h = dot11a::defaultMACheader();
  dot11a::setMacField(h, "FrameCntrl", 0x0108);
  dot11a::setMacField(h, "Address1", static_cast<double>(0x001122334455ULL));
  const std::string s = bitsToString(h.field("BitStream").toBits());
  EXPECT_EQ(s.substr(0, 16), "0001000010000000");
  EXPECT_EQ(s.substr(32, 48), byteBits(0x55) + byteBits(0x44) + byteBits(0x33) + byteBits(0x22) +
                                  byteBits(0x11) + byteBits(0x00));
}

TEST_F(MacHeader, SequenceControlGoesBetweenAddress3AndAddress4) {
  Value h = dot11a::defaultMACheader();
  dot11a::setMacField(h, "SeqCntrl", 0xFFFF);
  const std::string s = bitsToString(h.field("BitStream").toBits());
  // FrameCntrl, DurationID, Address1..3 take bits 1..176; SeqCntrl follows.
  EXPECT_EQ(s.substr(0, 176), std::string(176, '0'));
  EXPECT_EQ(s.substr(176, 16), std::string(16, '1'));
  EXPECT_EQ(s.substr(192), std::string(48, '0'));
}

TEST_F(MacHeader, InactiveFieldsContributeNothing) {
  Value h = dot11a::defaultMACheader();
  dot11a::setMacField(h, "Address4", 0xABCDEF);
  for (const char* f : {"SeqCntrl", "Address2", "Address3", "Address4"})
    dot11a::setMacFieldActive(h, f, false);
  EXPECT_EQ(h.field("BitStream").numel(), 80u);
  EXPECT_TRUE(dot11a::recalcBitField(h, "Address4").empty());
  // The value of an inactive field is kept for when it is switched on again.
  dot11a::setMacFieldActive(h, "Address4", true);
  EXPECT_EQ(h.field("BitStream").numel(), 128u);
  EXPECT_EQ(dot11a::bitsToNumber(dot11a::recalcBitField(h, "Address4")), 0xABCDEFu);
}

TEST_F(MacHeader, EnteredValuesAreClampedToTheFieldSize) {
  Value h = dot11a::defaultMACheader();
  dot11a::setMacField(h, "DurationID", 0x1FFFF);
  EXPECT_EQ(h.field("DurationID").field("Contents").toScalar(), 65535);
  dot11a::setMacField(h, "SeqCntrl", std::nan(""));  // no number: the maximum
  EXPECT_EQ(h.field("SeqCntrl").field("Contents").toScalar(), 65535);
  dot11a::setMacField(h, "Address2", -5);
  EXPECT_EQ(h.field("Address2").field("Contents").toScalar(), 0);
  EXPECT_EQ(h.field("BitStream").numel(), 240u);
  EXPECT_THROW(dot11a::setMacField(h, "Address5", 1), dot11a::Error);
}

TEST_F(MacHeader, FcsOperationIsTheCrcOfTheBitsGiven) {
  EXPECT_EQ(bitsToString(dot11a::feval1("dot11_CalcMACfcs", {Value::empty()}).toBits()),
            std::string(32, '0'));
  const Bits abc = dot11a::bytesToBits(std::vector<std::uint8_t>{'a', 'b', 'c'});
  const Value fcs = dot11a::feval1("dot11_CalcMACfcs", {Value::bits(abc)});
  EXPECT_EQ(dot11a::bitsToNumber(fcs.toBits()), 0x352441C2u);
}

}  // namespace

namespace {

TEST_F(MacHeader, HexadecimalEntriesOfTheDialog) {
  Value h = dot11a::defaultMACheader();
  dot11a::setMacFieldFromText(h, "DurationID", "1ffff");
  EXPECT_EQ(h.field("DurationID").field("Contents").toScalar(), 65535);
  dot11a::setMacFieldFromText(h, "Address2", "ab");
  EXPECT_EQ(h.field("Address2").field("Contents").toScalar(), 171);
  EXPECT_EQ(dot11a::hexString(171, 6), "0000000000AB");
  dot11a::setMacFieldFromText(h, "SeqCntrl", "");
  EXPECT_EQ(h.field("SeqCntrl").field("Contents").toScalar(), 65535);
  dot11a::setMacFieldFromText(h, "Address1", " 00112233445566778899 ");
  EXPECT_EQ(h.field("Address1").field("Contents").toScalar(), 281474976710655.0);

  const Value before = h;
  EXPECT_THROW(dot11a::setMacFieldFromText(h, "FrameCntrl", "-1"), dot11a::Error);
  EXPECT_THROW(dot11a::setMacFieldFromText(h, "FrameCntrl", "12g"), dot11a::Error);
  EXPECT_EQ(h, before);
}

}  // namespace
