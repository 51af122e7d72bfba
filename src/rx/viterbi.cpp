// Soft-decision Viterbi decoding of the K = 7 convolutional code with the
// punctured rates, and recovery of the scrambler seed.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/vector_dispatch.hpp"
#include "dot11a/bitcoding.hpp"
#include "dot11a/error.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/receiver.hpp"
#include "rx/internal.hpp"
#include "rx/viterbi.hpp"

namespace dot11a::rx {

namespace viterbi {

namespace {

// The seven-bit window of a branch is (state << 1) | input, so bit j of it is
// the input j steps ago. Generator 133 octal taps delays 0, 2, 3, 5, 6 and 171
// octal taps delays 0, 1, 2, 3, 6.
constexpr unsigned kTapsA = 0b1101101;
constexpr unsigned kTapsB = 0b1001111;

// Output bit A or B of the branch into state ns from the predecessor whose
// oldest bit is m.
std::uint8_t branchBit(unsigned taps, unsigned ns, unsigned m) {
  const unsigned prev = (ns >> 1) | (m << 5);
  const unsigned window = ((prev << 1) | (ns & 1u)) & 0x7Fu;
  return static_cast<std::uint8_t>(__builtin_parity(window & taps));
}

}  // namespace

const Gains& gains() {
  static const Gains t = [] {
    Gains gn{};
    auto pm = [](std::uint8_t bit) { return static_cast<std::int16_t>(bit ? 1 : -1); };
    for (unsigned j = 0; j < 32; ++j) {
      gn.a[j] = pm(branchBit(kTapsA, 2 * j, 0));
      gn.b[j] = pm(branchBit(kTapsB, 2 * j, 0));
      // The symmetry the butterflies rely on.
      for (unsigned in = 0; in < 2; ++in)
        for (unsigned m = 0; m < 2; ++m) {
          const auto flip = static_cast<std::uint8_t>(in ^ m);
          if (branchBit(kTapsA, 2 * j + in, m) != (branchBit(kTapsA, 2 * j, 0) ^ flip) ||
              branchBit(kTapsB, 2 * j + in, m) != (branchBit(kTapsB, 2 * j, 0) ^ flip))
            raise("The Viterbi decoder's branch table is not symmetric.");
        }
    }
    return gn;
  }();
  return t;
}

// A saturating 16-bit sum, as the vector pass's.
static std::int16_t saturated(int v) {
  return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
}

// The forward pass, add-compare-select, one state at a time.
void forwardPassScalar(const std::int16_t* mother, std::size_t t0, std::size_t n,
                       std::int16_t* metric, std::uint64_t* decisions) {
  const Gains& g = gains();
  std::int16_t next[64];
  for (std::size_t t = 0; t < n; ++t) {
    const std::size_t step = t0 + t;
    const int sa = mother[2 * t], sb = mother[2 * t + 1];
    std::uint64_t word = 0;
    for (unsigned j = 0; j < 32; ++j) {
      const int gain = g.a[j] * sa + g.b[j] * sb;
      const std::int16_t e0 = saturated(metric[j] + gain), e1 = saturated(metric[j + 32] - gain);
      const std::int16_t o0 = saturated(metric[j] - gain), o1 = saturated(metric[j + 32] + gain);
      next[2 * j] = e1 > e0 ? e1 : e0;
      next[2 * j + 1] = o1 > o0 ? o1 : o0;
      word |= static_cast<std::uint64_t>(e1 > e0) << decisionBit(2 * j, step);
      word |= static_cast<std::uint64_t>(o1 > o0) << decisionBit(2 * j + 1, step);
    }
    decisions[t] = word;
    std::copy(next, next + 64, metric);
    if (step % kRenormalise == kRenormalise - 1) {
      const int top = *std::max_element(metric, metric + 64);
      for (unsigned st = 0; st < 64; ++st) metric[st] = saturated(metric[st] - top);
    }
  }
}

void quantiseScalar(const float* in, std::size_t count, float scale, std::int16_t* out) {
  constexpr auto kTop = static_cast<float>(kMaxSoft);
  for (std::size_t i = 0; i < count; ++i) {
    float x = in[i] * scale;
    x = x == x ? x : 0.0f;
    x = x > kTop ? kTop : x;
    x = x < -kTop ? -kTop : x;
    x += x < 0.0f ? -0.5f : 0.5f;
    out[i] = static_cast<std::int16_t>(static_cast<int>(x));
  }
}

}  // namespace viterbi

namespace {

using namespace viterbi;

// The pass of the level the vector loops run at (see core/vector_dispatch.hpp).
ViterbiPass bestPass() {
  return core::vectorLevel() != core::VectorLevel::plain && viterbiPassAvailable(ViterbiPass::avx2)
             ? ViterbiPass::avx2
             : ViterbiPass::plain;
}

// Quantises the n steps' soft values (through `level`) and runs the
// forward pass on them.
void forwardPass(const float* mother, float scale, std::size_t t0, std::size_t n,
                 std::int16_t* metric, std::uint64_t* decisions, ViterbiPass pass,
                 std::int16_t* level) {
  const std::size_t count = (2 * n + 7) / 8 * 8;
#ifdef DOT11A_VITERBI_AVX2
  if (pass == ViterbiPass::avx2) {
    quantiseAvx2(mother, count, scale, level);
    return forwardPassAvx2(level, t0, n, metric, decisions);
  }
#else
  (void)pass;
#endif
  quantiseScalar(mother, count, scale, level);
  forwardPassScalar(level, t0, n, metric, decisions);
}

// The rates by their puncturing pattern: which of the mother code's output
// bits (A0 B0 A1 B1 ...) each sends over one period.
constexpr std::uint8_t k12[] = {1, 1};
constexpr std::uint8_t k23[] = {1, 1, 1, 0};
constexpr std::uint8_t k34[] = {1, 1, 1, 0, 0, 1};

// Restores `count` values of the mother code (from the start of a period)
// out of soft[in ...], erasures where punctured and after the end of `soft`;
// returns the index of the next unused soft value.
template <std::size_t P, class T>
std::size_t depuncture(const std::uint8_t (&pattern)[P], std::span<const T> soft, std::size_t in,
                       T* out, std::size_t count) {
  const auto ones = static_cast<std::size_t>(std::count(pattern, pattern + P, 1));
  if (ones == P) {  // nothing punctured
    const std::size_t sent = std::min(count, soft.size() - in);
    std::copy_n(soft.data() + in, sent, out);
    std::fill(out + sent, out + count, T(0));
    return in + sent;
  }
  std::size_t k = 0;
  for (; k + P <= count && in + ones <= soft.size(); k += P)
    for (std::size_t p = 0; p < P; ++p) out[k + p] = pattern[p] ? soft[in++] : T(0);
  for (std::size_t p = 0; k < count; ++k, p = (p + 1) % P)
    out[k] = pattern[p] && in < soft.size() ? soft[in++] : T(0);
  return in;
}

// Four floats, or their four 32-bit integers, as one vector register: the
// loop below as vector code with the baseline instructions.
typedef float Floats __attribute__((vector_size(16)));
typedef std::int32_t Ints __attribute__((vector_size(16)));

// The scale that puts the mean magnitude of the finite soft values that are
// not erasures at half of kMaxSoft: steps fine enough for the small values
// of the inner bits of 64-QAM, which decode as well as with floats, and
// room for twice the mean before values are clipped (the confident ones,
// whose exact size matters least). A mean, unlike the largest value, keeps
// a few outliers (a burst of interference) from flattening the rest.
float softScale(std::span<const float> soft) {
  // Running sums per lane, so that the additions need not wait for each
  // other; a lane's count goes down by one (all bits set) per value.
  Floats sum[2] = {}, s;
  Ints count[2] = {};
  const std::size_t n = soft.size();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8)
    for (std::size_t l = 0; l < 2; ++l) {
      std::memcpy(&s, soft.data() + i + 4 * l, sizeof s);
      const Floats zero = {};
      sum[l] += s < zero ? -s : s;
      count[l] += s != zero;
    }
  double total = 0.0;
  long long values = 0;
  for (std::size_t l = 0; l < 2; ++l)
    for (int k = 0; k < 4; ++k) {
      total += sum[l][k];
      values -= count[l][k];
    }
  for (; i < n; ++i) {
    total += std::abs(soft[i]);
    values += soft[i] != 0.0f;
  }
  if (!std::isfinite(total)) {
    // Values near the floats' limit, or not finite: again in double
    // precision, without the infinite ones.
    total = 0.0;
    values = 0;
    for (const float v : soft)
      if (std::isfinite(v) && v != 0.0f) {
        total += std::abs(static_cast<double>(v));
        ++values;
      }
  }
  if (values == 0 || !(total > 0.0)) return 0.0f;
  return static_cast<float>(kMaxSoft / 2.0 / (total / static_cast<double>(values)));
}

// Two steps back from t (even, at least 2): writes the input bits of steps
// t - 1 and t - 2 and returns p for t - 2. p is the state after step t - 1
// (odd) as the index of its bit in that step's decision word: bits 2..5, 0,
// 1 of the state (decisionBit). Keeping the index instead of the state
// shortens the chain of operations each bit waits for.
[[gnu::always_inline]] inline unsigned twoStepsBack(const std::uint64_t* dec, std::size_t t,
                                                    unsigned p, std::uint8_t* out) {
  // Step t - 1 (odd). Its input bit is the state's bit 0; the state before
  // it, after step t - 2 (even), is the same bits shifted down with the
  // decision on top: in that step's order (bits 1..5, 0) only bit 4 changes.
  out[t - 1] = static_cast<std::uint8_t>((p >> 4) & 1u);
  const auto m1 = static_cast<unsigned>((dec[t - 1] >> p) & 1u);
  const unsigned r = (p & ~16u) | (m1 << 4);
  // Step t - 2 (even), r its state's bits 1..5, 0.
  out[t - 2] = static_cast<std::uint8_t>(r >> 5);
  const auto m0 = static_cast<unsigned>((dec[t - 2] >> r) & 1u);
  return ((r >> 2) & 7u) | (m0 << 3) | ((r & 3u) << 4);
}

// Follows the decisions back from the final state; out[t] is the input bit
// of step t. Each bit waits for the one after it, so a long input is cut
// into kChains stretches traced side by side, the processor overlapping
// their chains. Only the last starts from a known state; the others start
// from state 0 and note the index of every second step. Once the stretch
// after one is done, its true state at the boundary is known, and the
// stretch is traced again from there until it meets the noted path (from
// then on the two are the same), which the survivors of a Viterbi decoder
// do within a few constraint lengths. So the bits are those of one chain
// from the final state, whatever the input.
void traceBack(const std::uint64_t* dec, std::size_t nBits, unsigned state, std::uint8_t* out) {
  std::size_t t = nBits - nBits % 2;
  unsigned p = 0;
  if (nBits % 2 == 1) {
    const unsigned r = decisionBit(state, nBits - 1);
    out[nBits - 1] = static_cast<std::uint8_t>(r >> 5);
    const auto m = static_cast<unsigned>((dec[nBits - 1] >> r) & 1u);
    p = ((r >> 2) & 7u) | (m << 3) | ((r & 3u) << 4);
  } else if (nBits > 0) {
    p = decisionBit(state, nBits - 1);
  }
  constexpr std::size_t kChains = 4, kShortest = 256;
  if (t < kChains * kShortest) {
    for (; t >= 2; t -= 2) p = twoStepsBack(dec, t, p, out);
    return;
  }
  // Stretch k covers steps [k len, (k + 1) len); the last also the rest.
  const std::size_t len = t / kChains / 2 * 2;
  for (; t > kChains * len; t -= 2) p = twoStepsBack(dec, t, p, out);
  thread_local std::vector<std::uint8_t> noted;
  if (noted.size() < t / 2 + 1) noted.resize(t / 2 + 1);
  // A plain pointer: the thread's own vector is found by a library call.
  std::uint8_t* note = noted.data();
  unsigned q0 = 0, q1 = 0, q2 = 0, q3 = p;
  static_assert(kChains == 4);
  for (std::size_t i = 0; i < len; i += 2) {
    const std::size_t t1 = len - i, t2 = 2 * len - i, t3 = 3 * len - i, t4 = 4 * len - i;
    note[t1 / 2] = static_cast<std::uint8_t>(q0);
    note[t2 / 2] = static_cast<std::uint8_t>(q1);
    note[t3 / 2] = static_cast<std::uint8_t>(q2);
    q0 = twoStepsBack(dec, t1, q0, out);
    q1 = twoStepsBack(dec, t2, q1, out);
    q2 = twoStepsBack(dec, t3, q2, out);
    q3 = twoStepsBack(dec, t4, q3, out);
  }
  const std::array<unsigned, kChains> q = {q0, q1, q2, q3};
  // From the top down: the true index at the top of each stretch, traced
  // until it meets the noted one.
  unsigned truth = q[kChains - 1];
  for (std::size_t k = kChains - 1; k-- > 0;) {
    std::size_t tk = (k + 1) * len;
    while (tk > k * len && truth != note[tk / 2]) {
      truth = twoStepsBack(dec, tk, truth, out);
      tk -= 2;
    }
    if (tk > k * len) truth = q[k];  // met: the rest of the stretch is as traced
  }
}

}  // namespace

bool viterbiPassAvailable(ViterbiPass pass) {
  switch (pass) {
    case ViterbiPass::plain:
      return true;
#ifdef DOT11A_VITERBI_AVX2
    case ViterbiPass::avx2:
      return __builtin_cpu_supports("avx2");
#endif
    default:
      return false;
  }
}

std::vector<std::uint8_t> viterbiDecodeWith(std::span<const float> soft, double codingRate,
                                            std::size_t nBits, bool terminated, bool vector) {
  return viterbiDecodeWith(soft, codingRate, nBits, terminated,
                           vector ? bestPass() : ViterbiPass::plain);
}

namespace {

// The puncturing period (mother-code values) of a coding rate.
int puncturingPeriod(double codingRate) {
  const CodingRate* rate = codingRateOf(codingRate);
  const int period = !rate                              ? 0
                     : rate->num == 1 && rate->den == 2 ? 2
                     : rate->num == 2 && rate->den == 3 ? 4
                     : rate->num == 3 && rate->den == 4 ? 6
                                                        : 0;
  if (period == 0) raise("The Viterbi decoder takes coding rates 1/2, 2/3 and 3/4 only.");
  return period;
}

template <class T>
std::size_t depunctureRate(int period, std::span<const T> soft, std::size_t in, T* out,
                           std::size_t count) {
  if (period == 2) return depuncture(k12, soft, in, out, count);
  if (period == 4) return depuncture(k23, soft, in, out, count);
  return depuncture(k34, soft, in, out, count);
}

}  // namespace

std::vector<std::uint8_t> viterbiDecodeWith(std::span<const float> soft, double codingRate,
                                            std::size_t nBits, bool terminated, ViterbiPass pass) {
  if (!viterbiPassAvailable(pass))
    raise("This processor lacks the instructions of the Viterbi pass asked for.");
  const int period = puncturingPeriod(codingRate);

  alignas(32) std::array<std::int16_t, 64> metric;
  metric.fill(kUnreached);
  metric[0] = 0;
  // One scale for the whole input, so the levels keep the soft values'
  // proportions from the first step to the last.
  const float scale = softScale(soft);
  // The decision words (8 bytes a step) of up to the longest frame's bits
  // are kept from call to call: the receiver decodes frame after frame, and
  // fresh pages for each cost more than the trace-back. A longer input gets
  // its own, which it gives back. Every word used is written by the forward
  // pass.
  constexpr std::size_t kKeep = 1 << 16;
  thread_local std::vector<std::uint64_t> kept;
  std::vector<std::uint64_t> own;
  std::vector<std::uint64_t>& store = nBits <= kKeep ? kept : own;
  if (store.size() < nBits) store.resize(nBits);
  std::uint64_t* dec = store.data();
  // The quantiser takes eight values at a time: the places after the last
  // step hold zeros or values of an earlier block, unused.
  alignas(32) float mother[2 * kBlock] = {};
  alignas(32) std::int16_t level[2 * kBlock];
  static_assert(2 * kBlock % 8 == 0);
  std::size_t in = 0;
  for (std::size_t t0 = 0; t0 < nBits; t0 += kBlock) {
    const std::size_t n = std::min(kBlock, nBits - t0);
    in = depunctureRate(period, soft, in, mother, 2 * n);
    forwardPass(mother, scale, t0, n, metric.data(), dec + t0, pass, level);
  }
  unsigned state = 0;
  if (!terminated)
    state = static_cast<unsigned>(std::max_element(metric.begin(), metric.end()) - metric.begin());
  std::vector<std::uint8_t> out(nBits);
  traceBack(dec, nBits, state, out.data());
  return out;
}

std::vector<std::uint8_t> viterbiDecode(std::span<const float> soft, double codingRate,
                                        std::size_t nBits, bool terminated) {
  return viterbiDecodeWith(soft, codingRate, nBits, terminated, true);
}

std::vector<std::uint8_t> viterbiDecodeExact(std::span<const double> soft, double codingRate,
                                             std::size_t nBits, bool terminated) {
  const int period = puncturingPeriod(codingRate);
  const Gains& g = gains();
  std::array<double, 64> metric, next;
  // Far below any reachable metric, yet finite, so that sums stay ordered.
  metric.fill(-1e300);
  metric[0] = 0.0;
  std::vector<std::uint64_t> dec(nBits);
  std::vector<double> mother(2 * kBlock);
  std::size_t in = 0;
  for (std::size_t t0 = 0; t0 < nBits; t0 += kBlock) {
    const std::size_t n = std::min(kBlock, nBits - t0);
    in = depunctureRate<double>(period, soft, in, mother.data(), 2 * n);
    for (std::size_t t = 0; t < n; ++t) {
      const std::size_t step = t0 + t;
      // NaN counts as nothing known; the values are finite otherwise (the
      // caller's log-likelihood ratios).
      const double sa = mother[2 * t] == mother[2 * t] ? mother[2 * t] : 0.0;
      const double sb = mother[2 * t + 1] == mother[2 * t + 1] ? mother[2 * t + 1] : 0.0;
      std::uint64_t word = 0;
      for (unsigned j = 0; j < 32; ++j) {
        const double gain = 0.5 * (g.a[j] * sa + g.b[j] * sb);
        const double e0 = metric[j] + gain, e1 = metric[j + 32] - gain;
        const double o0 = metric[j] - gain, o1 = metric[j + 32] + gain;
        next[2 * j] = e1 > e0 ? e1 : e0;
        next[2 * j + 1] = o1 > o0 ? o1 : o0;
        word |= static_cast<std::uint64_t>(e1 > e0) << decisionBit(2 * j, step);
        word |= static_cast<std::uint64_t>(o1 > o0) << decisionBit(2 * j + 1, step);
      }
      dec[step] = word;
      // Relative to the best, so that a long frame of large values keeps
      // its precision.
      const double top = *std::max_element(next.begin(), next.end());
      for (unsigned st = 0; st < 64; ++st) metric[st] = std::max(next[st] - top, -1e300);
    }
  }
  unsigned state = 0;
  if (!terminated)
    state = static_cast<unsigned>(std::max_element(metric.begin(), metric.end()) - metric.begin());
  std::vector<std::uint8_t> out(nBits);
  traceBack(dec.data(), nBits, state, out.data());
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
