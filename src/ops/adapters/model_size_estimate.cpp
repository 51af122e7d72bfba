// The operations of size estimate (model): Value adapters over the typed functions.
#include <algorithm>
#include <cmath>
#include <string>
#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/size_estimate.hpp"

namespace dot11a {

namespace op {

void dot11a_SizeEst(Call& c) {
  c.outputNames({"count"});
  const Value& p = c.in(0, "parameters");
  if (!p.isRecord()) raise("dot11a_SizeEst: parameters must be a parameter set record.");
  c.out(0) = static_cast<double>(sizeEstimate(p));
}

}  // namespace op

}  // namespace dot11a
