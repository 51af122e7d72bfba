// The payload of a parameter set: the data source, the active MAC header in
// front and the FCS behind.
#include <cmath>
#include <sstream>
#include <string>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/payload.hpp"

namespace dot11a {

namespace {

// Longest generated payload source; far beyond the 4095 octets a frame carries,
// small enough that a corrupt length cannot exhaust memory.
constexpr std::size_t kMaxSourceBits = 1 << 24;

Bits pattern(std::size_t n, std::uint8_t first) {
  Bits b(n);
  for (std::size_t i = 0; i < n; ++i)
    b[i] = static_cast<std::uint8_t>((i % 2 == 0) ? first : 1 - first);
  return b;
}

std::size_t payloadBitCount(const Value& parameters) {
  const double dataLength = parameters.field("dataLength").toScalar();
  if (std::isnan(dataLength) || dataLength < 0)
    raise("The data length must be a number of bytes, 0 or more.");
  const double bits = std::floor(8 * dataLength);
  if (const auto n = integerOf<std::size_t>(bits, 0, kMaxSourceBits)) return *n;
  std::ostringstream given;
  given << dataLength;
  raise("The data length of " + given.str() +
        " bytes is far beyond the 4095 bytes a frame can carry.");
}

}  // namespace

Bits sourcePattern(PayloadSource source, std::size_t n) {
  switch (source) {
    case PayloadSource::Zeros:
      return Bits(n, 0);
    case PayloadSource::Ones:
      return Bits(n, 1);
    case PayloadSource::Alt01:
      return pattern(n, 0);
    case PayloadSource::Alt10:
      return pattern(n, 1);
    case PayloadSource::Pn9:
      return pnSequence(9, n);
    case PayloadSource::Pn15:
      return pnSequence(15, n);
    case PayloadSource::UserFile:
      break;
  }
  return {};
}

Bits framePayload(std::span<const std::uint8_t> header, std::span<const std::uint8_t> data,
                  bool fcs) {
  Bits packet;
  packet.reserve(header.size() + data.size() + (fcs ? 32 : 0));
  packet.assign(header.begin(), header.end());
  packet.insert(packet.end(), data.begin(), data.end());
  if (fcs) {
    const Bits check = calcMACfcs(packet);
    packet.insert(packet.end(), check.begin(), check.end());
  }
  return packet;
}

Bits generatePayload(const Value& parameters) {
  const Value& typeValue = parameters.field("dataSourceType");
  const double type = typeValue.isNumeric() && !typeValue.isEmpty() ? typeValue.toScalar() : 0;
  Bits data;
  if (type >= 1 && type <= 6 && type == std::floor(type)) {
    data = sourcePattern(static_cast<PayloadSource>(type), payloadBitCount(parameters));
  } else if (type == 7) {
    data = parameters.field("dataSourceBitstream").toBits();
  } else {
    raise("The value \"data\" is undefined: dataSourceType must be 1 to 7, it is " +
          typeValue.describe() + ".");
  }
  const auto active = [&](std::string_view name) {
    const Value& a = parameters.field(name).field("Active");
    return a.isNumeric() && !a.isEmpty() && a.toScalar() == 1;
  };
  const Bits header =
      active("MACheader")
          ? parameters.field("MACheader").field("Contents").field("BitStream").toBits()
          : Bits{};
  return framePayload(header, data, active("MACfcs"));
}

}  // namespace dot11a
