// Internal to the Viterbi decoder: what its forward passes share with the
// trace-back.
#pragma once

#include <cstddef>
#include <cstdint>

// The vector passes are chosen at run time with a plain test of the processor
// (no resolver at load time), which sanitized builds can take as well.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define DOT11A_VITERBI_AVX2 1
#endif

namespace dot11a::rx::viterbi {

// The state holds the six previous input bits, the most recent in bit 0. The
// forward pass writes one 64-bit word of decisions per step: one bit per
// state, set when the state was reached from its predecessor with the oldest
// bit 1 (ties go to the predecessor with the oldest bit 0). The bit of state
// s is s rotated right by one place (of six) after a step at an even index
// and by two places after a step at an odd one: the orders in which the
// vector pass, which takes two steps at a time, finds its decisions.
constexpr unsigned decisionBit(unsigned s, std::size_t t) {
  return t % 2 == 0 ? ((s >> 1) | (s << 5)) & 63u : ((s >> 2) | (s << 4)) & 63u;
}

// Keep the metrics small now and then: subtract the best one after every
// step t with t % kRenormalise == kRenormalise - 1.
constexpr std::size_t kRenormalise = 32;

// The butterflies of one step. States 2j and 2j + 1 both come from j (oldest
// bit 0) or j + 32 (oldest bit 1). Both generators tap the newest and the
// oldest bit, so flipping either flips both output bits: with g the gain
// +-sa +-sb of the branch j -> 2j, the branch j + 32 -> 2j has -g, j -> 2j + 1
// has -g and j + 32 -> 2j + 1 has +g. a[j] / b[j] hold the signs (+1 for a
// one) of the output pair of j -> 2j: g is +-sa +-sb with those signs.
struct Gains {
  std::int16_t a[32], b[32];
};
const Gains& gains();

// The path metrics are 16-bit integers, the soft values quantised to
// +-kMaxSoft, so a branch gain is at most 2 kMaxSoft. The best metric never
// falls (one of its two successors gains the gain's magnitude) and rises by
// at most that a step; every state can be reached from the best one in six
// steps, so none lies more than 12 gains below it. After a renormalisation
// the metrics therefore stay within -6120 .. 16320 until the next one, well
// inside 16 bits. Sums saturate, so the very low start of the states not yet
// reached stays low.
constexpr int kMaxSoft = 255;
constexpr std::int16_t kUnreached = -16384;

// Steps decoded per round of depuncturing: a whole number of puncturing
// periods (1, 2 and 3 steps), of renormalisation intervals and of the vector
// pass's two steps, so that every round starts in the same phase of each.
constexpr std::size_t kBlock = 96;

// Soft values to levels: scaled, NaN (which equals nothing) as 0, clipped
// to +-kMaxSoft and rounded half away from 0; `count` a multiple of 8. The
// vector version gives the same levels (the same float operations).
void quantiseScalar(const float* in, std::size_t count, float scale, std::int16_t* out);
#ifdef DOT11A_VITERBI_AVX2
void quantiseAvx2(const float* in, std::size_t count, float scale, std::int16_t* out);
#endif

// Steps t0 .. t0 + n - 1 of the forward pass: `mother` holds their 2n soft
// values (A and B of each step, 0 where punctured), `metric` the 64 path
// metrics before and after, `decisions` their n decision words. The plain
// version is the reference; the vector one gives the same metrics and
// decisions (integer sums, saturating alike).
void forwardPassScalar(const std::int16_t* mother, std::size_t t0, std::size_t n,
                       std::int16_t* metric, std::uint64_t* decisions);
#ifdef DOT11A_VITERBI_AVX2
// Needs AVX2; t0 even.
void forwardPassAvx2(const std::int16_t* mother, std::size_t t0, std::size_t n,
                     std::int16_t* metric, std::uint64_t* decisions);
#endif

}  // namespace dot11a::rx::viterbi
