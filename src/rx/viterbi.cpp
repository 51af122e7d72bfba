// Soft-decision Viterbi decoding of the K = 7 convolutional code with the
// punctured rates, and recovery of the scrambler seed.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "dot11a/bitcoding.hpp"
#include "dot11a/error.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/receiver.hpp"
#include "rx/internal.hpp"

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

// The butterflies of one step. States 2j and 2j + 1 both come from j (oldest
// bit 0) or j + 32 (oldest bit 1). Both generators tap the newest and the
// oldest bit, so flipping either flips both output bits: with g the gain
// +-sa +-sb of the branch j -> 2j, the branch j + 32 -> 2j has -g, j -> 2j + 1
// has -g and j + 32 -> 2j + 1 has +g. gainA / gainB hold the signs (+1 for a
// one) of the output pair of j -> 2j.
struct Gains {
  alignas(32) std::array<float, 32> a, b;
};

// One 64-bit word of decisions per step: bit 32 (ns & 1) + ns / 2 is set
// when state ns was reached from its predecessor with the oldest bit 1.
// Ties go to the predecessor with the oldest bit 0.
constexpr unsigned decisionBit(unsigned ns) {
  return 32u * (ns & 1u) + (ns >> 1);
}

// Keep the metrics small now and then: subtract the best one every 32 steps.
constexpr std::size_t kRenormalise = 32;

// The forward pass, add-compare-select, one state at a time. The vector
// version below does the same arithmetic in the same order, so both give
// the same metrics and decisions.
void forwardPassScalar(const float* mother, std::size_t nBits, const Gains& g, float* metric,
                       std::uint64_t* decisions) {
  alignas(32) float next[64];
  for (std::size_t t = 0; t < nBits; ++t) {
    const float sa = mother[2 * t], sb = mother[2 * t + 1];
    std::uint64_t word = 0;
    for (unsigned j = 0; j < 32; ++j) {
      const float gain = sa * g.a[j] + sb * g.b[j];
      const float e0 = metric[j] + gain, e1 = metric[j + 32] - gain;
      const float o0 = metric[j] - gain, o1 = metric[j + 32] + gain;
      next[2 * j] = e1 > e0 ? e1 : e0;
      next[2 * j + 1] = o1 > o0 ? o1 : o0;
      word |= static_cast<std::uint64_t>(e1 > e0) << decisionBit(2 * j);
      word |= static_cast<std::uint64_t>(o1 > o0) << decisionBit(2 * j + 1);
    }
    decisions[t] = word;
    std::copy(next, next + 64, metric);
    if (t % kRenormalise == kRenormalise - 1) {
      const float top = *std::max_element(metric, metric + 64);
      for (unsigned st = 0; st < 64; ++st) metric[st] -= top;
    }
  }
}

#if defined(__x86_64__) || defined(__i386__)
#define DOT11A_VITERBI_AVX2 1
// Eight butterflies per vector: the even and the odd successors of j .. j + 7
// are computed apart, their decisions taken with one mask each, and the two
// interleaved back into state order.
__attribute__((target("avx2"))) void forwardPassAvx2(const float* mother, std::size_t nBits,
                                                     const Gains& g, float* metric,
                                                     std::uint64_t* decisions) {
  // The 64 metrics stay in eight registers from step to step: cur[v] holds
  // states 8v .. 8v + 7.
  __m256 cur[8];
  for (unsigned v = 0; v < 8; ++v) cur[v] = _mm256_loadu_ps(metric + 8 * v);
  __m256 ga[4], gb[4];
  for (unsigned v = 0; v < 4; ++v) {
    ga[v] = _mm256_load_ps(g.a.data() + 8 * v);
    gb[v] = _mm256_load_ps(g.b.data() + 8 * v);
  }
  for (std::size_t t = 0; t < nBits; ++t) {
    const __m256 sa = _mm256_set1_ps(mother[2 * t]), sb = _mm256_set1_ps(mother[2 * t + 1]);
    std::uint64_t word = 0;
    __m256 nxt[8];
    for (unsigned v = 0; v < 4; ++v) {
      const __m256 gain = _mm256_add_ps(_mm256_mul_ps(sa, ga[v]), _mm256_mul_ps(sb, gb[v]));
      const __m256 m0 = cur[v], m1 = cur[v + 4];
      const __m256 e0 = _mm256_add_ps(m0, gain), e1 = _mm256_sub_ps(m1, gain);
      const __m256 o0 = _mm256_sub_ps(m0, gain), o1 = _mm256_add_ps(m1, gain);
      // max_ps(x, y) is x where x > y, otherwise y: the ties of the scalar pass.
      const __m256 even = _mm256_max_ps(e1, e0), odd = _mm256_max_ps(o1, o0);
      const auto de = static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(e1, e0, _CMP_GT_OQ)));
      const auto dd = static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(o1, o0, _CMP_GT_OQ)));
      word |= static_cast<std::uint64_t>(de) << (8 * v);
      word |= static_cast<std::uint64_t>(dd) << (32 + 8 * v);
      const __m256 lo = _mm256_unpacklo_ps(even, odd), hi = _mm256_unpackhi_ps(even, odd);
      nxt[2 * v] = _mm256_permute2f128_ps(lo, hi, 0x20);
      nxt[2 * v + 1] = _mm256_permute2f128_ps(lo, hi, 0x31);
    }
    decisions[t] = word;
    for (unsigned v = 0; v < 8; ++v) cur[v] = nxt[v];
    if (t % kRenormalise == kRenormalise - 1) {
      __m256 top = cur[0];
      for (unsigned v = 1; v < 8; ++v) top = _mm256_max_ps(top, cur[v]);
      alignas(32) float lanes[8];
      _mm256_store_ps(lanes, top);
      const __m256 best = _mm256_set1_ps(*std::max_element(lanes, lanes + 8));
      for (unsigned v = 0; v < 8; ++v) cur[v] = _mm256_sub_ps(cur[v], best);
    }
  }
  for (unsigned v = 0; v < 8; ++v) _mm256_storeu_ps(metric + 8 * v, cur[v]);
}
#endif

void forwardPass(const float* mother, std::size_t nBits, const Gains& g, float* metric,
                 std::uint64_t* decisions, bool vector) {
#ifdef DOT11A_VITERBI_AVX2
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2 && vector) {
    forwardPassAvx2(mother, nBits, g, metric, decisions);
    return;
  }
#endif
  forwardPassScalar(mother, nBits, g, metric, decisions);
}

const Gains& gains() {
  static const Gains t = [] {
    const Branches& br = branches();
    Gains gn{};
    for (unsigned j = 0; j < 32; ++j) {
      auto pm = [](std::uint8_t bit) { return bit ? 1.0f : -1.0f; };
      gn.a[j] = pm(br.a[2 * j][0]);
      gn.b[j] = pm(br.b[2 * j][0]);
      // The symmetry the butterflies rely on.
      for (unsigned in = 0; in < 2; ++in)
        for (unsigned m = 0; m < 2; ++m) {
          const std::uint8_t flip = static_cast<std::uint8_t>(in ^ m);
          if (br.a[2 * j + in][m] != (br.a[2 * j][0] ^ flip) ||
              br.b[2 * j + in][m] != (br.b[2 * j][0] ^ flip))
            raise("The Viterbi decoder's branch table is not symmetric.");
        }
    }
    return gn;
  }();
  return t;
}

}  // namespace

std::vector<std::uint8_t> viterbiDecodeWith(std::span<const float> soft, double codingRate,
                                            std::size_t nBits, bool terminated, bool vector) {
  const auto pattern = puncturePattern(codingRate);
  // Restore the mother code's 2 x nBits values, erasures where punctured.
  std::vector<float> mother(2 * nBits, 0.0f);
  std::size_t in = 0;
  for (std::size_t k = 0, p = 0; k < mother.size() && in < soft.size(); ++k) {
    if (pattern[p]) mother[k] = soft[in++];
    if (++p == pattern.size()) p = 0;
  }

  constexpr float kNone = -1e30f;
  alignas(32) std::array<float, 64> metric;
  metric.fill(kNone);
  metric[0] = 0.0f;
  // Every decision word is written by the forward pass: no need to clear them.
  const std::unique_ptr<std::uint64_t[]> decisions(new std::uint64_t[nBits]);
  forwardPass(mother.data(), nBits, gains(), metric.data(), decisions.get(), vector);
  unsigned state = 0;
  if (!terminated)
    state = static_cast<unsigned>(std::max_element(metric.begin(), metric.end()) - metric.begin());
  std::vector<std::uint8_t> out(nBits);
  // Through plain pointers: a byte store through the vector would make the
  // compiler reload its data pointer every step.
  std::uint8_t* o = out.data();
  const std::uint64_t* dec = decisions.get();
  for (std::size_t t = nBits; t-- > 0;) {
    o[t] = static_cast<std::uint8_t>(state & 1u);
    const auto m = static_cast<unsigned>((dec[t] >> decisionBit(state)) & 1u);
    state = (state >> 1) | (m << 5);
  }
  return out;
}

std::vector<std::uint8_t> viterbiDecode(std::span<const float> soft, double codingRate,
                                        std::size_t nBits, bool terminated) {
  return viterbiDecodeWith(soft, codingRate, nBits, terminated, true);
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
