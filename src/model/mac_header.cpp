// The MAC header record, its bit stream, and the frame check sequence.
#include "dot11a/mac.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "dot11a/bits.hpp"
#include "dot11a/error.hpp"

namespace dot11a {

namespace {

Value fieldRecord(double contents, int size, bool active) {
  return Value::record({{"Contents", contents},
                        {"Size", static_cast<double>(size)},
                        {"Active", active ? 1.0 : 0.0}});
}

const Value& fieldOf(const Value& header, std::string_view fieldId) {
  macFieldSize(fieldId);  // rejects unknown names with a clear message
  if (!header.isRecord() || !header.hasField(fieldId))
    raise("The MAC header record has no field \"" + std::string(fieldId) + "\".");
  return header.field(fieldId);
}

}  // namespace

int macFieldSize(std::string_view fieldId) {
  if (fieldId == "FrameCntrl" || fieldId == "DurationID" || fieldId == "SeqCntrl") return 2;
  if (fieldId == "Address1" || fieldId == "Address2" || fieldId == "Address3" ||
      fieldId == "Address4")
    return 6;
  std::string msg = "Unknown MAC header field: ";
  msg.append(fieldId);
  raise(msg);
}

Value defaultMACheader() {
  Value h = Value::record({{"BitStream", Value::bits(Bits(240, 0))}});
  for (std::string_view name : kMacFieldsRecordOrder)
    h.setField(name, fieldRecord(0, macFieldSize(name), true));
  return h;
}

Bits recalcBitField(const Value& header, std::string_view fieldId) {
  const Value& f = fieldOf(header, fieldId);
  if (!f.field("Active").truthy()) return {};
  const double size = f.field("Size").toScalar();
  return bitVector(f.field("Contents").toScalar(), 8 * size, false);
}

Bits macHeaderBits(const Value& header) {
  Bits out;
  for (std::string_view name : kMacFieldsAirOrder) {
    const Bits b = recalcBitField(header, name);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

void recalcBitStream(Value& header) {
  header.setField("BitStream", Value::bits(macHeaderBits(header)));
}

void setMacField(Value& header, std::string_view fieldId, double contents) {
  const int size = macFieldSize(fieldId);
  const double maxValue = std::ldexp(1.0, 8 * size) - 1;
  // The ordered clamp of the entry fields: no number becomes the maximum.
  double v =
      std::isnan(contents) ? maxValue : std::min(std::max(std::round(contents), 0.0), maxValue);
  Value f = fieldOf(header, fieldId);
  f.setField("Contents", v);
  header.setField(fieldId, f);
  recalcBitStream(header);
}

void setMacFieldFromText(Value& header, std::string_view fieldId, std::string_view hexText) {
  const std::optional<double> v = parseHexText(hexText);
  setMacField(header, fieldId, v ? *v : std::nan(""));
}

void setMacFieldActive(Value& header, std::string_view fieldId, bool active) {
  Value f = fieldOf(header, fieldId);
  f.setField("Active", active ? 1.0 : 0.0);
  header.setField(fieldId, f);
  recalcBitStream(header);
}

Bits calcMACfcs(std::span<const std::uint8_t> bits) {
  return crc32Bits(bits);
}

std::optional<double> macAddressFromText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  // "XX:XX:XX:XX:XX:XX": 17 characters, one separator kind throughout.
  if (text.size() != 17) return std::nullopt;
  const char separator = text[2];
  if (separator != ':' && separator != '-') return std::nullopt;
  double value = 0;
  for (int octet = 5; octet >= 0; --octet) {
    const std::size_t at = static_cast<std::size_t>(3 * octet);
    if (octet < 5 && text[at + 2] != separator) return std::nullopt;
    std::optional<double> digits;
    try {
      digits = parseHexText(text.substr(at, 2));
    } catch (const Error&) {
      return std::nullopt;
    }
    if (!digits || text[at] == ' ' || text[at + 1] == ' ') return std::nullopt;
    value = value * 256 + *digits;
  }
  return value;
}

std::string onAirOctets(double contents, int size) {
  const std::string hex = hexString(contents, size);  // most significant first
  std::string out;
  for (std::size_t i = hex.size(); i >= 2; i -= 2) {
    if (!out.empty()) out.push_back(':');
    out.append(hex, i - 2, 2);
  }
  return out;
}

}  // namespace dot11a
