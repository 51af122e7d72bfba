#include "pn_check.hpp"

#include <cstddef>

namespace dot11a::test {

namespace {

using u64 = std::uint64_t;

// a * b mod m over GF(2); m has degree n <= 31, a and b have degree < n.
u64 mulMod(u64 a, u64 b, u64 m, int n) {
  u64 r = 0;
  for (int i = 0; i < n; ++i) {
    if ((b >> i) & 1u) r ^= a;
    a <<= 1;
    if ((a >> n) & 1u) a ^= m;
  }
  return r;
}

u64 powX(u64 e, u64 m, int n) {
  u64 result = 1, base = 2;  // the polynomial x
  if (n == 1) base = 2 ^ m;
  for (; e; e >>= 1) {
    if (e & 1u) result = mulMod(result, base, m, n);
    base = mulMod(base, base, m, n);
  }
  return result;
}

}  // namespace

bool isPrimitive(int order, const std::vector<int>& exponents) {
  // bit(i) = sum bit(i-k): characteristic polynomial x^n + sum x^(n-k).
  u64 m = u64{1} << order;
  for (int k : exponents) m ^= u64{1} << (order - k);
  const u64 period = (u64{1} << order) - 1;
  if (powX(period, m, order) != 1) return false;
  u64 rest = period;
  for (u64 p = 2; p * p <= rest; ++p) {
    if (rest % p) continue;
    while (rest % p == 0) rest /= p;
    if (powX(period / p, m, order) == 1) return false;
  }
  if (rest > 1 && rest != period && powX(period / rest, m, order) == 1) return false;
  return true;
}

bool isMaximalLength(const Bits& given, int order, bool inverted) {
  Bits seq = given;
  if (inverted)
    for (auto& b : seq) b ^= 1u;
  const std::size_t period = (std::size_t{1} << order) - 1;
  if (seq.size() < period + static_cast<std::size_t>(order)) return false;
  std::vector<bool> seen(period + 1, false);
  std::size_t state = 0, ones = 0;
  for (int k = 0; k < order; ++k) state = (state << 1) | seq[k];
  for (std::size_t i = 0; i < period; ++i) {
    if (state == 0 || seen[state]) return false;
    seen[state] = true;
    ones += seq[i];
    state = ((state << 1) | seq[i + order]) & period;
  }
  for (int k = 0; k < order; ++k)
    if (seq[period + k] != seq[k]) return false;
  return ones == (std::size_t{1} << (order - 1));
}

}  // namespace dot11a::test
