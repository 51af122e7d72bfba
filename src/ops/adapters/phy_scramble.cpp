// The operations of scramble (phy): Value adapters over the typed functions.
#include <array>
#include "dot11a/bitcoding.hpp"
#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "ops/adapt.hpp"

namespace dot11a {

namespace op {

void dot11a_Scramble(Call& c) {
  c.outputNames({"output"});
  const Value& msg = c.in(0, "msg");
  const Value& init = c.in(1, "initValue");
  c.out(0) = Value::bits(scramble(adapt::bitRow(msg, "dot11a_Scramble", "msg"),
                                  adapt::bitRow(init, "dot11a_Scramble", "initValue")));
}

void scrambler_7bit_741(Call& c) {
  c.outputNames({"output"});
  const Value& input = c.in(0, "input");
  const Value& init = c.in(1, "initState");
  c.out(0) = Value::bits(scrambleSelfSync(adapt::bitRow(input, "scrambler_7bit_741", "input"),
                                          adapt::bitRow(init, "scrambler_7bit_741", "initState")));
}

}  // namespace op

}  // namespace dot11a
