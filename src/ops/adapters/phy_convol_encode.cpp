// The operations of convol encode (phy): Value adapters over the typed functions.
#include "dot11a/bitcoding.hpp"
#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "ops/adapt.hpp"

namespace dot11a {

namespace op {
void dot11a_ConvolEncode(Call& c) {
  c.outputNames({"output"});
  const Value& input = c.in(0, "input");
  const double rate = c.in(1, "rate").toScalar();
  c.out(0) = Value::bits(convolEncode(adapt::bitRow(input, "dot11a_ConvolEncode", "input"), rate));
}
}  // namespace op

}  // namespace dot11a
