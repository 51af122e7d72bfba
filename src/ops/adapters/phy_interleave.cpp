// The operations of interleave (phy): Value adapters over the typed functions.
#include <array>
#include <string>
#include "dot11a/bitcoding.hpp"
#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "ops/adapt.hpp"

namespace dot11a {

namespace op {
void dot11a_Interleave(Call& c) {
  c.outputNames({"out"});
  c.out(0) = Value::bits(interleave(adapt::bitRow(c.in(0, "in"), "dot11a_Interleave", "in")));
}
}  // namespace op

}  // namespace dot11a
