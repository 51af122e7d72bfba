// Checks of pseudo-random sequences shared by the normal and the slow suites.
#pragma once

#include <cstdint>
#include <vector>

#include "dot11a/bitcoding.hpp"

namespace dot11a::test {

// True when the recurrence bit(i) = xor of bit(i - k) over `exponents` (the
// largest is `order`) has period 2^order - 1 from every non-zero state: its
// characteristic polynomial is primitive over GF(2).
bool isPrimitive(int order, const std::vector<int>& exponents);

// True when `seq` (at least 2^order - 1 + order bits) visits every non-zero
// state of `order` bits exactly once in 2^order - 1 steps, returns to its start
// and holds 2^(order-1) ones per period; an `inverted` sequence is complemented
// first.
bool isMaximalLength(const Bits& seq, int order, bool inverted);

}  // namespace dot11a::test
