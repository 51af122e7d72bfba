// Soft-decision Viterbi decoding of the K = 7 convolutional code with the
// punctured rates, and recovery of the scrambler seed.
#include <algorithm>
#include <array>
#include <cmath>

#include "dot11a/bitcoding.hpp"
#include "dot11a/error.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/receiver.hpp"

namespace dot11a::rx {

namespace {

// The state holds the six previous input bits, the most recent in bit 0. The
// seven-bit window of a branch is (state << 1) | input, so bit j of it is the
// input j steps ago. Generator 133 octal taps delays 0, 2, 3, 5, 6 and 171
// octal taps delays 0, 1, 2, 3, 6.
constexpr unsigned kTapsA = 0b1101101;
constexpr unsigned kTapsB = 0b1001111;

struct Branches {
  // Output pair (A, B) of the branch into state ns from predecessor choice m.
  std::array<std::array<std::uint8_t, 2>, 64> a{}, b{};
};

const Branches& branches() {
  static const Branches t = [] {
    Branches br;
    for (unsigned ns = 0; ns < 64; ++ns)
      for (unsigned m = 0; m < 2; ++m) {
        const unsigned prev = (ns >> 1) | (m << 5);
        const unsigned window = ((prev << 1) | (ns & 1u)) & 0x7Fu;
        br.a[ns][m] = static_cast<std::uint8_t>(__builtin_parity(window & kTapsA));
        br.b[ns][m] = static_cast<std::uint8_t>(__builtin_parity(window & kTapsB));
      }
    return br;
  }();
  return t;
}

// Which of the mother code's output bits (A0 B0 A1 B1 ...) each rate sends,
// over one puncturing period.
std::span<const std::uint8_t> puncturePattern(double rate) {
  static constexpr std::uint8_t k12[] = {1, 1};
  static constexpr std::uint8_t k23[] = {1, 1, 1, 0};
  static constexpr std::uint8_t k34[] = {1, 1, 1, 0, 0, 1};
  if (const CodingRate* r = codingRateOf(rate)) {
    if (r->num == 1 && r->den == 2) return k12;
    if (r->num == 2 && r->den == 3) return k23;
    if (r->num == 3 && r->den == 4) return k34;
  }
  raise("The Viterbi decoder takes coding rates 1/2, 2/3 and 3/4 only.");
}

}  // namespace

std::vector<std::uint8_t> viterbiDecode(std::span<const float> soft, double codingRate,
                                        std::size_t nBits, bool terminated) {
  const auto pattern = puncturePattern(codingRate);
  // Restore the mother code's 2 x nBits values, erasures where punctured.
  std::vector<float> mother(2 * nBits, 0.0f);
  std::size_t in = 0;
  for (std::size_t k = 0; k < mother.size() && in < soft.size(); ++k)
    if (pattern[k % pattern.size()]) mother[k] = soft[in++];

  // Add-compare-select over butterflies: states 2j and 2j + 1 both come from
  // j (oldest bit 0) or j + 32 (oldest bit 1). out[ns][m] indexes the four
  // possible branch gains (A, B) -> 2A + B.
  const Branches& br = branches();
  std::array<std::array<std::uint8_t, 2>, 64> outIdx{};
  for (unsigned ns = 0; ns < 64; ++ns)
    for (unsigned m = 0; m < 2; ++m)
      outIdx[ns][m] = static_cast<std::uint8_t>(2 * br.a[ns][m] + br.b[ns][m]);
  constexpr float kNone = -1e30f;
  std::array<float, 64> metric, next;
  metric.fill(kNone);
  metric[0] = 0.0f;
  std::vector<std::uint8_t> decisions(nBits * 64);
  for (std::size_t t = 0; t < nBits; ++t) {
    const float sa = mother[2 * t], sb = mother[2 * t + 1];
    const float g[4] = {-sa - sb, -sa + sb, sa - sb, sa + sb};
    std::uint8_t* dec = decisions.data() + t * 64;
    for (unsigned j = 0; j < 32; ++j) {
      const float m0 = metric[j], m1 = metric[j + 32];
      for (unsigned in = 0; in < 2; ++in) {
        const unsigned ns = 2 * j + in;
        const float c0 = m0 + g[outIdx[ns][0]], c1 = m1 + g[outIdx[ns][1]];
        const bool one = c1 > c0;
        next[ns] = one ? c1 : c0;
        dec[ns] = one;
      }
    }
    // Keep the metrics small now and then: subtract the best one.
    if ((t & 31u) == 31u) {
      const float top = *std::max_element(next.begin(), next.end());
      for (unsigned st = 0; st < 64; ++st) next[st] -= top;
    }
    metric = next;
  }
  unsigned state = 0;
  if (!terminated)
    state = static_cast<unsigned>(std::max_element(metric.begin(), metric.end()) - metric.begin());
  std::vector<std::uint8_t> out(nBits);
  for (std::size_t t = nBits; t-- > 0;) {
    out[t] = static_cast<std::uint8_t>(state & 1u);
    const unsigned m = decisions[t * 64 + state];
    state = (state >> 1) | (m << 5);
  }
  return out;
}

unsigned seedFromFirstBits(std::span<const std::uint8_t> first7) {
  // Seven outputs of the scrambler determine its state; try every seed.
  const Bits zeros(7, 0);
  for (unsigned seed = 0; seed < 128; ++seed) {
    Bits state(7);
    for (unsigned i = 0; i < 7; ++i) state[i] = static_cast<std::uint8_t>((seed >> i) & 1u);
    const Bits seq = scramble(zeros, state);
    if (std::equal(seq.begin(), seq.end(), first7.begin(), first7.end())) return seed;
  }
  return 0;  // unreachable: the map from seed to the first seven outputs is one to one
}

}  // namespace dot11a::rx
