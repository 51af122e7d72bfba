// The operations of bits (mac): Value adapters over the typed functions.
#include <algorithm>
#include <cmath>
#include <string>
#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"

namespace dot11a {

namespace op {

namespace {

std::vector<std::uint8_t> parityBits(const Value& v) {
  std::vector<std::uint8_t> out;
  out.reserve(v.numel());
  for (double d : v.toDoubles()) out.push_back(parityBit(d));
  return out;
}

}  // namespace

void bitVector(Call& c) {
  c.outputNames({"output"});
  if (c.nargin() < 1 || c.nargin() > 3) raise("Incorrect number of parameters.");
  const Value& x = c.in(0, "x");
  if (!x.isNumeric() || !x.isScalar()) raise("Integer required");
  const double minSize =
      c.has(1) && !c.in(1, "minSize").isEmpty() ? c.in(1, "minSize").toScalar() : 0;
  // Only the exact text "left-msb" turns the row round; anything else keeps it.
  const bool msbFirst =
      c.has(2) && c.in(2, "orientation").isText() && c.in(2, "orientation").str() == "left-msb";
  c.out(0) = Value::bits(dot11a::bitVector(x.toScalar(), minSize, msbFirst));
}

void hexString(Call& c) {
  c.outputNames({"str"});
  const Value& num = c.in(0, "num");
  const Value& size = c.in(1, "size");
  if (!num.isNumeric() || !num.isScalar())
    raise("hexString: num must be a single non-negative whole number.");
  c.out(0) = Value::text(dot11a::hexString(num.toScalar(), size.isEmpty() ? 0 : size.toScalar()));
}

void lfsr(Call& c) {
  c.outputNames({"a"});
  const double orderIn = c.in(0, "order").toScalar();
  const Value& taps = c.in(1, "taps");
  const double mIn = c.in(2, "m").toScalar();
  const Value& seedIn = c.in(3, "seed");
  const auto order = integerOf<std::size_t>(orderIn, 1, 64);
  if (!order) raise("lfsr: the order must be a whole number from 1 to 64.");
  std::vector<std::uint8_t> seed = parityBits(seedIn);
  // A single seed value fills the whole register, as assignment to a range does.
  if (seed.size() == 1) seed.assign(*order, seed[0]);
  if (seed.size() != *order)
    raise("lfsr: the seed must have " + std::to_string(*order) + " entries, got " +
          std::to_string(seed.size()) + ".");
  c.out(0) = Value::bits(dot11a::lfsr(parityBits(taps), wholeSize(mIn, "lfsr: m"), seed));
}

void lfsrChecksum(Call& c) {
  c.outputNames({"checksum"});
  const auto poly = parityBits(c.in(0, "taps"));
  const auto init = parityBits(c.in(1, "initalstate"));
  const auto data = parityBits(c.in(2, "data"));
  c.out(0) = Value::bits(dot11a::lfsrChecksum(poly, init, data));
}

void CCITT_CRC32(Call& c) {
  c.outputNames({"output"});
  c.out(0) = Value::bits(crc32Bits(parityBits(c.in(0, "input"))));
}

}  // namespace op

}  // namespace dot11a
