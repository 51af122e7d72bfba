// The MAC header record and the frame check sequence.
//
// The header record is a Value record (it travels through parameter files and
// record comparison) with the members, in order: BitStream, FrameCntrl,
// DurationID, SeqCntrl, Address1, Address2, Address3, Address4. Each field is a
// record {Contents, Size, Active}: the value as a whole number, its size in
// bytes (2 or 6) and whether it is transmitted. BitStream always matches the
// fields: whoever changes a field calls recalcBitStream.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "dot11a/bitcoding.hpp"
#include "dot11a/export.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// The seven fields in the record's member order.
inline constexpr std::array<std::string_view, 7> kMacFieldsRecordOrder = {
    "FrameCntrl", "DurationID", "SeqCntrl", "Address1", "Address2", "Address3", "Address4"};
// The seven fields in the order they go on air.
inline constexpr std::array<std::string_view, 7> kMacFieldsAirOrder = {
    "FrameCntrl", "DurationID", "Address1", "Address2", "Address3", "SeqCntrl", "Address4"};

// Size in bytes of a header field (2 or 6); raises an error for an unknown name.
int macFieldSize(std::string_view fieldId);

// A MAC address as people write it: six octets of two hexadecimal digits in
// transmission order, separated by ':' or '-' ("00:13:A2:FF:EE:01"). Returns
// the field number that sends them in that order (the first octet is the
// least significant, as the header goes out least significant bit first), or
// nullopt when the text is not of that form.
std::optional<double> macAddressFromText(std::string_view text);
// The octets of a field of `size` bytes in the order they go on air, as
// "01:EE:FF:A2:13:00".
std::string onAirOctets(double contents, int size);

// The start record: every Contents 0, every field active, BitStream 240 zeros.
Value defaultMACheader();

// The bits of one field: 8 x Size bits, least significant bit of the value
// first (so the least significant byte goes first, each byte LSB first), or
// nothing when the field is inactive.
Bits recalcBitField(const Value& header, std::string_view fieldId);

// The header bits of all active fields in air order.
Bits macHeaderBits(const Value& header);

// Recomputes header.BitStream from the fields.
void recalcBitStream(Value& header);

// Sets a field's value (clamped to what the field can hold) or its active flag
// and brings BitStream up to date.
void setMacField(Value& header, std::string_view fieldId, double contents);
// Applies a hexadecimal entry of the header dialog to a field: an empty entry or
// one too large for the field gives the largest value; text that is not
// hexadecimal raises an error and leaves the record unchanged.
void setMacFieldFromText(Value& header, std::string_view fieldId, std::string_view hexText);
void setMacFieldActive(Value& header, std::string_view fieldId, bool active);

// Octets of the frame check sequence.
inline constexpr int kFcsOctets = 4;

// The 32-bit FCS of header and payload bits, in transmission order.
Bits calcMACfcs(std::span<const std::uint8_t> bits);

}  // namespace dot11a

DOT11A_API_END
