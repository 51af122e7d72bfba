// The Viterbi decoder's forward pass on AVX2, two trellis steps per round.
//
// The 64 metrics stay in four registers of sixteen 16-bit lanes, cur[w]
// holding states 16w .. 16w + 15. Over two steps, state 4s + k (s < 16,
// k < 4) comes from one of s, s + 16, s + 32 and s + 48 through the states
// 2s + i and 2s + 32 + i of the step between (i = k >> 1): the four
// predecessors sit in lane s of cur[0] .. cur[3], so both steps are
// lane-wise, each the butterfly of the plain pass with the same saturating
// sums, and one transpose per two steps puts the results back in state order.
#include "rx/viterbi.hpp"

#ifdef DOT11A_VITERBI_AVX2

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

namespace dot11a::rx::viterbi {

namespace {

// The signs (+-1) of the soft values A and B in the gains of sixteen
// butterflies: first step j = s + 16 h (h = 0, 1), second step j = 2s + h.
struct GainSigns {
  alignas(32) std::int16_t firstA[2][16], firstB[2][16];
  alignas(32) std::int16_t secondA[2][16], secondB[2][16];
};

const GainSigns& gainSigns() {
  static const GainSigns t = [] {
    const Gains& g = gains();
    GainSigns gs{};
    for (unsigned s = 0; s < 16; ++s)
      for (unsigned h = 0; h < 2; ++h) {
        gs.firstA[h][s] = g.a[s + 16 * h];
        gs.firstB[h][s] = g.b[s + 16 * h];
        gs.secondA[h][s] = g.a[2 * s + h];
        gs.secondB[h][s] = g.b[2 * s + h];
      }
    return gs;
  }();
  return t;
}

struct Butterfly {
  __m256i even, odd;
  __m256i evenTaken, oddTaken;  // all ones where the predecessor with the oldest bit 1 won
};

// The butterfly of the plain pass on sixteen lanes: m0 / m1 the metrics of
// the predecessors with the oldest bit 0 / 1, g the gain. max_epi16(x, y)
// equals y where x > y does not hold, the plain pass's tie rule.
[[gnu::always_inline, gnu::target("avx2")]] inline Butterfly butterfly(__m256i m0, __m256i m1,
                                                                       __m256i g) {
  const __m256i e0 = _mm256_adds_epi16(m0, g), e1 = _mm256_subs_epi16(m1, g);
  const __m256i o0 = _mm256_subs_epi16(m0, g), o1 = _mm256_adds_epi16(m1, g);
  return {_mm256_max_epi16(e1, e0), _mm256_max_epi16(o1, o0), _mm256_cmpgt_epi16(e1, e0),
          _mm256_cmpgt_epi16(o1, o0)};
}

// The gains of sixteen butterflies: +-A +-B with the signs of the table.
[[gnu::always_inline, gnu::target("avx2")]] inline __m256i gainsOf(__m256i a, __m256i b,
                                                                   const std::int16_t* signA,
                                                                   const std::int16_t* signB) {
  return _mm256_add_epi16(
      _mm256_sign_epi16(a, _mm256_load_si256(reinterpret_cast<const __m256i*>(signA))),
      _mm256_sign_epi16(b, _mm256_load_si256(reinterpret_cast<const __m256i*>(signB))));
}

// The decision bits of lanes p (bits 0..15) and q (16..31). Packing to
// bytes works within each half of the register, giving the bytes p0-7 q0-7
// p8-15 q8-15: the middle two bytes of the mask change places (on the
// integer units, which the pass leaves idle, rather than the shuffle units).
[[gnu::always_inline, gnu::target("avx2")]] inline std::uint64_t taken(__m256i p, __m256i q) {
  const auto m = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(p, q)));
  return (m & 0xFF0000FFu) | ((m & 0x0000FF00u) << 8) | ((m >> 8) & 0x0000FF00u);
}

[[gnu::always_inline, gnu::target("avx2")]] inline void pass(const std::int16_t* mother,
                                                             std::size_t t0, std::size_t n,
                                                             std::int16_t* metric,
                                                             std::uint64_t* decisions) {
  const GainSigns& gs = gainSigns();
  __m256i cur[4];
#pragma GCC unroll 4
  for (unsigned w = 0; w < 4; ++w)
    cur[w] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(metric + 16 * w));
  std::size_t t = 0;
  for (; t + 2 <= n; t += 2) {
    const std::int16_t* ab = mother + 2 * t;
    const __m256i a1 = _mm256_set1_epi16(ab[0]), b1 = _mm256_set1_epi16(ab[1]);
    const __m256i a2 = _mm256_set1_epi16(ab[2]), b2 = _mm256_set1_epi16(ab[3]);
    // First step: 2s + i from s and s + 32, 2s + 32 + i from s + 16 and s + 48.
    const Butterfly x = butterfly(cur[0], cur[2], gainsOf(a1, b1, gs.firstA[0], gs.firstB[0]));
    const Butterfly y = butterfly(cur[1], cur[3], gainsOf(a1, b1, gs.firstA[1], gs.firstB[1]));
    decisions[t] = taken(x.evenTaken, y.evenTaken) | taken(x.oddTaken, y.oddTaken) << 32;
    // Second step: 4s + k from 2s + i and 2s + 32 + i (i = k >> 1).
    const Butterfly z0 = butterfly(x.even, y.even, gainsOf(a2, b2, gs.secondA[0], gs.secondB[0]));
    const Butterfly z1 = butterfly(x.odd, y.odd, gainsOf(a2, b2, gs.secondA[1], gs.secondB[1]));
    decisions[t + 1] = taken(z0.evenTaken, z0.oddTaken) | taken(z1.evenTaken, z1.oddTaken) << 32;
    // Lane s of z0.even, z0.odd, z1.even, z1.odd is state 4s, 4s + 1,
    // 4s + 2, 4s + 3: transpose into state order.
    const __m256i a = _mm256_unpacklo_epi16(z0.even, z0.odd);
    const __m256i b = _mm256_unpacklo_epi16(z1.even, z1.odd);
    const __m256i c = _mm256_unpackhi_epi16(z0.even, z0.odd);
    const __m256i d = _mm256_unpackhi_epi16(z1.even, z1.odd);
    // Lanes 0, 1 / 2, 3 / 4, 5 / 6, 7 (low halves) and 8 .. 15 (high).
    const __m256i p = _mm256_unpacklo_epi32(a, b), q = _mm256_unpackhi_epi32(a, b);
    const __m256i r = _mm256_unpacklo_epi32(c, d), u = _mm256_unpackhi_epi32(c, d);
    cur[0] = _mm256_permute2x128_si256(p, q, 0x20);
    cur[1] = _mm256_permute2x128_si256(r, u, 0x20);
    cur[2] = _mm256_permute2x128_si256(p, q, 0x31);
    cur[3] = _mm256_permute2x128_si256(r, u, 0x31);
    if ((t0 + t + 1) % kRenormalise == kRenormalise - 1) {
      const __m256i top4 =
          _mm256_max_epi16(_mm256_max_epi16(cur[0], cur[1]), _mm256_max_epi16(cur[2], cur[3]));
      alignas(32) std::int16_t lanes[16];
      _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), top4);
      const __m256i best = _mm256_set1_epi16(*std::max_element(lanes, lanes + 16));
#pragma GCC unroll 4
      for (unsigned w = 0; w < 4; ++w) cur[w] = _mm256_subs_epi16(cur[w], best);
    }
  }
#pragma GCC unroll 4
  for (unsigned w = 0; w < 4; ++w)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(metric + 16 * w), cur[w]);
  // An odd step left over: the plain pass takes it.
  if (t < n) forwardPassScalar(mother + 2 * t, t0 + t, n - t, metric, decisions + t);
}

// The levels of eight soft values, as quantiseScalar takes them.
[[gnu::always_inline, gnu::target("avx2")]] inline __m256i levels(const float* at, float scale) {
  const __m256 top = _mm256_set1_ps(static_cast<float>(kMaxSoft));
  __m256 x = _mm256_mul_ps(_mm256_loadu_ps(at), _mm256_set1_ps(scale));
  x = _mm256_and_ps(x, _mm256_cmp_ps(x, x, _CMP_EQ_OQ));
  x = _mm256_min_ps(x, top);
  x = _mm256_max_ps(x, -top);
  const __m256 negative = _mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_LT_OQ);
  x = _mm256_add_ps(x, _mm256_blendv_ps(_mm256_set1_ps(0.5f), _mm256_set1_ps(-0.5f), negative));
  return _mm256_cvttps_epi32(x);
}

}  // namespace

__attribute__((target("avx2"))) void quantiseAvx2(const float* in, std::size_t count, float scale,
                                                  std::int16_t* out) {
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    // Packing works within each half of the register: put the quarters back
    // in order.
    const __m256i packed = _mm256_packs_epi32(levels(in + i, scale), levels(in + i + 8, scale));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_permute4x64_epi64(packed, 0xD8));
  }
  if (i < count) {
    const __m256i packed = _mm256_packs_epi32(levels(in + i, scale), _mm256_setzero_si256());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0xD8)));
  }
}

__attribute__((target("avx2"))) void forwardPassAvx2(const std::int16_t* mother, std::size_t t0,
                                                     std::size_t n, std::int16_t* metric,
                                                     std::uint64_t* decisions) {
  pass(mother, t0, n, metric, decisions);
}

}  // namespace dot11a::rx::viterbi

#endif
