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

Bits generatePayload(const Value& parameters) {
  const Value& typeValue = parameters.field("dataSourceType");
  const double type = typeValue.isNumeric() && !typeValue.isEmpty() ? typeValue.toScalar() : 0;
  Bits data;
  if (type == 1) {
    data.assign(payloadBitCount(parameters), 0);
  } else if (type == 2) {
    data.assign(payloadBitCount(parameters), 1);
  } else if (type == 3) {
    data = pattern(payloadBitCount(parameters), 0);
  } else if (type == 4) {
    data = pattern(payloadBitCount(parameters), 1);
  } else if (type == 5) {
    data = pnSequence(9, payloadBitCount(parameters));
  } else if (type == 6) {
    data = pnSequence(15, payloadBitCount(parameters));
  } else if (type == 7) {
    data = parameters.field("dataSourceBitstream").toBits();
  } else {
    raise("The value \"data\" is undefined: dataSourceType must be 1 to 7, it is " +
          typeValue.describe() + ".");
  }

  Bits packet;
  const Value& header = parameters.field("MACheader");
  if (header.field("Active").isNumeric() && !header.field("Active").isEmpty() &&
      header.field("Active").toScalar() == 1) {
    packet = header.field("Contents").field("BitStream").toBits();
  }
  packet.insert(packet.end(), data.begin(), data.end());

  const Value& fcs = parameters.field("MACfcs");
  if (fcs.field("Active").isNumeric() && !fcs.field("Active").isEmpty() &&
      fcs.field("Active").toScalar() == 1) {
    const Bits check = calcMACfcs(packet);
    packet.insert(packet.end(), check.begin(), check.end());
  }
  return packet;
}

}  // namespace dot11a
