// The operations of mac header (mac): Value adapters over the typed functions.
#include <algorithm>
#include <cmath>
#include <string>
#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "dot11a/mac.hpp"
#include "ops/adapt.hpp"

namespace dot11a {

namespace op {

void dot11_CalcMACfcs(Call& c) {
  c.outputNames({"fcs"});
  c.out(0) = Value::bits(calcMACfcs(adapt::bitRow(c.in(0, "data"), "dot11_CalcMACfcs", "data")));
}

}  // namespace op

}  // namespace dot11a
