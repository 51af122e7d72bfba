// The Viterbi decoder's forward pass on AVX2 and FMA, two trellis steps per
// round.
//
// The 64 metrics stay in eight registers, cur[w] holding states 8w .. 8w + 7.
// Over two steps, state 4s + k (s < 16, k < 4) comes from one of s, s + 16,
// s + 32 and s + 48 through the states 2s + i and 2s + 32 + i of the step
// between (i = k >> 1): the four predecessors sit in the same lane of cur[v],
// cur[v + 2], cur[v + 4] and cur[v + 6] (v = s / 8), so both steps are
// lane-wise, each the butterfly of the plain pass with the same roundings,
// and one transpose per two steps puts the results back in state order.
#include "rx/viterbi.hpp"

#ifdef DOT11A_VITERBI_AVX2

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

namespace dot11a::rx::viterbi {

namespace {

// Where the gain of butterfly j sits in the vector of a step's four gains
// {sa + sb, sa - sb, -sa + sb, -sa - sb} (twice, one copy per 128-bit half).
struct GainIndex {
  // First step of a round: butterflies j = 8w + lane.
  alignas(32) std::int32_t first[4][8];
  // Second step: butterflies j = 16v + 2 lane + i.
  alignas(32) std::int32_t second[2][2][8];
};

const GainIndex& gainIndex() {
  static const GainIndex t = [] {
    const Gains& g = gains();
    auto at = [&](unsigned j) {
      return static_cast<std::int32_t>(2 * (g.a[j] < 0) + (g.b[j] < 0));
    };
    GainIndex ix{};
    for (unsigned l = 0; l < 8; ++l) {
      for (unsigned w = 0; w < 4; ++w) ix.first[w][l] = at(8 * w + l);
      for (unsigned v = 0; v < 2; ++v)
        for (unsigned i = 0; i < 2; ++i) ix.second[v][i][l] = at(16 * v + 2 * l + i);
    }
    return ix;
  }();
  return t;
}

// The butterfly of the plain pass on eight lanes: m0 / m1 the metrics of the
// predecessors with the oldest bit 0 / 1, g the gain. max_ps(x, y) is x where
// x > y and otherwise y, the plain pass's tie rule.
struct Butterfly {
  __m256 even, odd;
  unsigned evenTaken, oddTaken;  // lanes where the predecessor with the oldest bit 1 won
};

[[gnu::always_inline, gnu::target("avx2,fma")]] inline Butterfly butterfly(__m256 m0, __m256 m1,
                                                                           __m256 g) {
  // m * 1 + g rounded once is m + g rounded: the sums go to the multiply
  // units, which the pass leaves idle, and the adders keep the maxima.
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256 e0 = _mm256_fmadd_ps(m0, one, g), e1 = _mm256_fmsub_ps(m1, one, g);
  const __m256 o0 = _mm256_fmsub_ps(m0, one, g), o1 = _mm256_fmadd_ps(m1, one, g);
  return {_mm256_max_ps(e1, e0), _mm256_max_ps(o1, o0),
          static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(e1, e0, _CMP_GT_OQ))),
          static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(o1, o0, _CMP_GT_OQ)))};
}

// The four gains of a step, from its soft values A and B: flipping the sign
// bit is the plain pass's negation, and the sum the same single rounding.
[[gnu::always_inline, gnu::target("avx2,fma")]] inline __m256 gainsOf(const float* ab) {
  const __m256i sign = _mm256_set1_epi32(static_cast<int>(0x80000000u));
  const __m256 signA =
      _mm256_castsi256_ps(_mm256_and_si256(sign, _mm256_setr_epi32(0, 0, -1, -1, 0, 0, -1, -1)));
  const __m256 signB =
      _mm256_castsi256_ps(_mm256_and_si256(sign, _mm256_setr_epi32(0, -1, 0, -1, 0, -1, 0, -1)));
  return _mm256_add_ps(_mm256_xor_ps(_mm256_broadcast_ss(ab), signA),
                       _mm256_xor_ps(_mm256_broadcast_ss(ab + 1), signB));
}

// The gains of eight butterflies, by their index in the step's four.
[[gnu::always_inline, gnu::target("avx2,fma")]] inline __m256 pick(__m256 four,
                                                                   const std::int32_t* index) {
  return _mm256_permutevar_ps(four, _mm256_load_si256(reinterpret_cast<const __m256i*>(index)));
}

[[gnu::always_inline, gnu::target("avx2,fma")]] inline __m256 unpackLo64(__m256 p, __m256 q) {
  return _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(p), _mm256_castps_pd(q)));
}

[[gnu::always_inline, gnu::target("avx2,fma")]] inline __m256 unpackHi64(__m256 p, __m256 q) {
  return _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(p), _mm256_castps_pd(q)));
}

[[gnu::always_inline, gnu::target("avx2,fma")]] inline void pass(const float* mother,
                                                                 std::size_t t0, std::size_t n,
                                                                 float* metric,
                                                                 std::uint64_t* decisions) {
  const GainIndex& ix = gainIndex();
  __m256 cur[8];
#pragma GCC unroll 8
  for (unsigned w = 0; w < 8; ++w) cur[w] = _mm256_loadu_ps(metric + 8 * w);
  std::size_t t = 0;
  for (; t + 2 <= n; t += 2) {
    const __m256 g1 = gainsOf(mother + 2 * t), g2 = gainsOf(mother + 2 * t + 2);
    std::uint64_t w1 = 0, w2 = 0;
    __m256 nxt[8];
#pragma GCC unroll 2
    for (unsigned v = 0; v < 2; ++v) {
      // First step: 2s + i from s and s + 32, 2s + 32 + i from s + 16 and s + 48.
      const Butterfly x = butterfly(cur[v], cur[v + 4], pick(g1, ix.first[v]));
      const Butterfly y = butterfly(cur[v + 2], cur[v + 6], pick(g1, ix.first[v + 2]));
      w1 |= static_cast<std::uint64_t>(x.evenTaken) << (8 * v);
      w1 |= static_cast<std::uint64_t>(x.oddTaken) << (32 + 8 * v);
      w1 |= static_cast<std::uint64_t>(y.evenTaken) << (16 + 8 * v);
      w1 |= static_cast<std::uint64_t>(y.oddTaken) << (48 + 8 * v);
      // Second step: 4s + k from 2s + i and 2s + 32 + i (i = k >> 1).
      const Butterfly z0 = butterfly(x.even, y.even, pick(g2, ix.second[v][0]));
      const Butterfly z1 = butterfly(x.odd, y.odd, pick(g2, ix.second[v][1]));
      w2 |= static_cast<std::uint64_t>(z0.evenTaken) << (8 * v);
      w2 |= static_cast<std::uint64_t>(z0.oddTaken) << (8 * v + 16);
      w2 |= static_cast<std::uint64_t>(z1.evenTaken) << (8 * v + 32);
      w2 |= static_cast<std::uint64_t>(z1.oddTaken) << (8 * v + 48);
      // Lane l of z(k) is state 32v + 4l + k: transpose into state order.
      const __m256 a = _mm256_unpacklo_ps(z0.even, z0.odd), b = _mm256_unpacklo_ps(z1.even, z1.odd);
      const __m256 c = _mm256_unpackhi_ps(z0.even, z0.odd), d = _mm256_unpackhi_ps(z1.even, z1.odd);
      const __m256 l04 = unpackLo64(a, b), l15 = unpackHi64(a, b);
      const __m256 l26 = unpackLo64(c, d), l37 = unpackHi64(c, d);
      nxt[4 * v] = _mm256_permute2f128_ps(l04, l15, 0x20);
      nxt[4 * v + 1] = _mm256_permute2f128_ps(l26, l37, 0x20);
      nxt[4 * v + 2] = _mm256_permute2f128_ps(l04, l15, 0x31);
      nxt[4 * v + 3] = _mm256_permute2f128_ps(l26, l37, 0x31);
    }
    decisions[t] = w1;
    decisions[t + 1] = w2;
#pragma GCC unroll 8
    for (unsigned w = 0; w < 8; ++w) cur[w] = nxt[w];
    if ((t0 + t + 1) % kRenormalise == kRenormalise - 1) {
      __m256 top = cur[0];
#pragma GCC unroll 8
      for (unsigned w = 1; w < 8; ++w) top = _mm256_max_ps(top, cur[w]);
      alignas(32) float lanes[8];
      _mm256_store_ps(lanes, top);
      const __m256 best = _mm256_set1_ps(*std::max_element(lanes, lanes + 8));
#pragma GCC unroll 8
      for (unsigned w = 0; w < 8; ++w) cur[w] = _mm256_sub_ps(cur[w], best);
    }
  }
#pragma GCC unroll 8
  for (unsigned w = 0; w < 8; ++w) _mm256_storeu_ps(metric + 8 * w, cur[w]);
  // An odd step left over: the plain pass takes it.
  if (t < n) forwardPassScalar(mother + 2 * t, t0 + t, n - t, metric, decisions + t);
}

}  // namespace

__attribute__((target("avx2,fma"))) void forwardPassAvx2(const float* mother, std::size_t t0,
                                                         std::size_t n, float* metric,
                                                         std::uint64_t* decisions) {
  pass(mother, t0, n, metric, decisions);
}

}  // namespace dot11a::rx::viterbi

#endif
