// The operations of interleave (phy): Value adapters over the typed functions.
#include <array>
#include <string>
#include "dot11a/bitcoding.hpp"
#include "dot11a/call.hpp"
#include "dot11a/error.hpp"

namespace dot11a {

namespace op {
void dot11a_Interleave(Call& c) {
  c.outputNames({"out"});
  c.out(0) = Value::bits(interleave(c.in(0, "in").toBits()));
}
}  // namespace op

}  // namespace dot11a
