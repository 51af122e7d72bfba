// Soft-decision Viterbi decoding of the K = 7 convolutional code with the
// punctured rates, and recovery of the scrambler seed.
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

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

// The signs (+1 for a one) of the output pair (A, B) of the branches into
// the even (parity 0) or odd successors 2j + parity, from predecessor j (a0,
// b0) or j + 32 (a1, b1).
struct Signs {
  alignas(32) std::array<float, 32> a0, b0, a1, b1;
};

// The forward pass: add-compare-select over butterflies. States 2j and 2j + 1
// both come from j (oldest bit 0) or j + 32 (oldest bit 1), with branch gain
// +-sa +-sb. Keeping the signs in arrays indexed by j lets the compiler run
// the 32 butterflies of a step as vector operations; the metrics of the even
// and the odd successors are computed apart and interleaved afterwards. One
// decision byte per state and step, the even successors first: state ns at
// step t has decisions[64 t + 32 (ns & 1) + ns / 2]. Built for AVX2 as well
// where the processor has it (chosen at load time); the arithmetic is the
// same in both, so is the result.
__attribute__((target_clones("avx2", "default"))) void forwardPass(const float* mother,
                                                                   std::size_t nBits,
                                                                   const std::array<Signs, 2>& sign,
                                                                   float* metric,
                                                                   std::uint8_t* decisions) {
  alignas(32) float next[2][32];
  for (std::size_t t = 0; t < nBits; ++t) {
    const float sa = mother[2 * t], sb = mother[2 * t + 1];
    std::uint8_t* dec = decisions + t * 64;
    for (unsigned in = 0; in < 2; ++in) {
      const Signs& sg = sign[in];
      float* nx = next[in];
      std::uint8_t* d = dec + 32 * in;
      for (unsigned j = 0; j < 32; ++j) {
        const float c0 = metric[j] + (sa * sg.a0[j] + sb * sg.b0[j]);
        const float c1 = metric[j + 32] + (sa * sg.a1[j] + sb * sg.b1[j]);
        const bool one = c1 > c0;
        nx[j] = one ? c1 : c0;
        d[j] = one;
      }
    }
    for (unsigned j = 0; j < 32; ++j) {
      metric[2 * j] = next[0][j];
      metric[2 * j + 1] = next[1][j];
    }
    // Keep the metrics small now and then: subtract the best one.
    if ((t & 31u) == 31u) {
      const float top = *std::max_element(metric, metric + 64);
      for (unsigned st = 0; st < 64; ++st) metric[st] -= top;
    }
  }
}

}  // namespace

std::vector<std::uint8_t> viterbiDecode(std::span<const float> soft, double codingRate,
                                        std::size_t nBits, bool terminated) {
  const auto pattern = puncturePattern(codingRate);
  // Restore the mother code's 2 x nBits values, erasures where punctured.
  std::vector<float> mother(2 * nBits, 0.0f);
  std::size_t in = 0;
  for (std::size_t k = 0, p = 0; k < mother.size() && in < soft.size(); ++k) {
    if (pattern[p]) mother[k] = soft[in++];
    if (++p == pattern.size()) p = 0;
  }

  const Branches& br = branches();
  std::array<Signs, 2> sign{};
  for (unsigned j = 0; j < 32; ++j)
    for (unsigned in = 0; in < 2; ++in) {
      const unsigned ns = 2 * j + in;
      auto pm = [](std::uint8_t bit) { return bit ? 1.0f : -1.0f; };
      sign[in].a0[j] = pm(br.a[ns][0]);
      sign[in].b0[j] = pm(br.b[ns][0]);
      sign[in].a1[j] = pm(br.a[ns][1]);
      sign[in].b1[j] = pm(br.b[ns][1]);
    }
  constexpr float kNone = -1e30f;
  alignas(32) std::array<float, 64> metric;
  metric.fill(kNone);
  metric[0] = 0.0f;
  // Every decision byte is written by the forward pass: no need to clear them.
  const std::unique_ptr<std::uint8_t[]> decisions(new std::uint8_t[nBits * 64]);
  forwardPass(mother.data(), nBits, sign, metric.data(), decisions.get());
  unsigned state = 0;
  if (!terminated)
    state = static_cast<unsigned>(std::max_element(metric.begin(), metric.end()) - metric.begin());
  std::vector<std::uint8_t> out(nBits);
  for (std::size_t t = nBits; t-- > 0;) {
    out[t] = static_cast<std::uint8_t>(state & 1u);
    const unsigned m = decisions[t * 64 + 32 * (state & 1u) + (state >> 1)];
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
