// Gaussian values by the ziggurat method (Marsaglia and Tsang, 128 layers):
// most values take one 32-bit draw, a comparison and a product, which keeps
// white noise cheap next to the synthesis. The 32-bit draws come from eight
// xoshiro256++ generators stepped side by side (vector code), seeded from the
// caller's engine; the rare values outside the fast path draw from that
// engine itself. Everything follows from the engine's state, so a seed still
// gives the same values.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "impair/internal.hpp"

namespace dot11a::impair {

namespace {

struct Tables {
  std::array<std::uint32_t, 128> k{};
  std::array<double, 128> w{}, f{};
};

constexpr double kR = 3.442619855899;  // start of the tail
constexpr double kM1 = 2147483648.0;   // 2^31

const Tables& tables() {
  static const Tables t = [] {
    Tables z;
    const double v = 9.91256303526217e-3;  // area of each layer
    double dn = kR, tn = kR;
    const double q = v / std::exp(-0.5 * dn * dn);
    z.k[0] = static_cast<std::uint32_t>((dn / q) * kM1);
    z.k[1] = 0;
    z.w[0] = q / kM1;
    z.w[127] = dn / kM1;
    z.f[0] = 1.0;
    z.f[127] = std::exp(-0.5 * dn * dn);
    for (int i = 126; i >= 1; --i) {
      dn = std::sqrt(-2.0 * std::log(v / dn + std::exp(-0.5 * dn * dn)));
      z.k[static_cast<std::size_t>(i + 1)] = static_cast<std::uint32_t>((dn / tn) * kM1);
      tn = dn;
      z.f[static_cast<std::size_t>(i)] = std::exp(-0.5 * dn * dn);
      z.w[static_cast<std::size_t>(i)] = dn / kM1;
    }
    return z;
  }();
  return t;
}

// 32 random bits at a time from the 64-bit engine.
class Bits32 {
 public:
  explicit Bits32(std::mt19937_64& rng) : rng_(rng) {}
  std::uint32_t next() {
    if (have_) {
      have_ = false;
      return static_cast<std::uint32_t>(word_ >> 32);
    }
    word_ = rng_();
    have_ = true;
    return static_cast<std::uint32_t>(word_);
  }
  double uniform() {  // (0, 1)
    return (static_cast<double>(next()) + 0.5) * (1.0 / 4294967296.0);
  }

 private:
  std::mt19937_64& rng_;
  std::uint64_t word_ = 0;
  bool have_ = false;
};

// The rare case: the tail beyond kR or the wedge of a layer.
double slow(std::int32_t hz, std::size_t iz, const Tables& t, Bits32& b) {
  for (;;) {
    const double x = hz * t.w[iz];
    if (iz == 0) {
      double a, y;
      do {
        a = -std::log(b.uniform()) / kR;
        y = -std::log(b.uniform());
      } while (y + y < a * a);
      return hz > 0 ? kR + a : -kR - a;
    }
    if (t.f[iz] + b.uniform() * (t.f[iz - 1] - t.f[iz]) < std::exp(-0.5 * x * x)) return x;
    hz = static_cast<std::int32_t>(b.next());
    iz = static_cast<std::size_t>(hz & 127);
    if (static_cast<std::uint32_t>(std::abs(static_cast<std::int64_t>(hz))) < t.k[iz])
      return hz * t.w[iz];
  }
}

// Eight xoshiro256++ generators in lockstep, kept as rows of state words so
// that one step is a handful of vector operations.
class Lanes {
 public:
  static constexpr std::size_t kLanes = 8;
  explicit Lanes(std::mt19937_64& rng) {
    for (auto& row : s_)
      for (std::uint64_t& w : row) w = rng();
    for (std::size_t l = 0; l < kLanes; ++l)  // an all-zero state never leaves zero
      if ((s_[0][l] | s_[1][l] | s_[2][l] | s_[3][l]) == 0) s_[0][l] = 1;
  }
  // Fills `out` (a multiple of 2 * kLanes values) with 32-bit draws: the
  // lower, then the upper half of each 64-bit output.
  DOT11A_KERNEL void fillKernel(std::uint32_t* __restrict out, std::size_t n) {
    std::uint64_t a[kLanes], b[kLanes], c[kLanes], d[kLanes], r[kLanes];
    std::copy_n(s_[0], kLanes, a);
    std::copy_n(s_[1], kLanes, b);
    std::copy_n(s_[2], kLanes, c);
    std::copy_n(s_[3], kLanes, d);
    for (std::size_t at = 0; at < n; at += 2 * kLanes) {
      for (std::size_t l = 0; l < kLanes; ++l) {
        const std::uint64_t sum = a[l] + d[l];
        r[l] = ((sum << 23) | (sum >> 41)) + a[l];
        const std::uint64_t t = b[l] << 17;
        c[l] ^= a[l];
        d[l] ^= b[l];
        b[l] ^= c[l];
        a[l] ^= d[l];
        c[l] ^= t;
        d[l] = (d[l] << 45) | (d[l] >> 19);
      }
      for (std::size_t l = 0; l < kLanes; ++l) {
        out[at + 2 * l] = static_cast<std::uint32_t>(r[l]);
        out[at + 2 * l + 1] = static_cast<std::uint32_t>(r[l] >> 32);
      }
    }
    std::copy_n(a, kLanes, s_[0]);
    std::copy_n(b, kLanes, s_[1]);
    std::copy_n(c, kLanes, s_[2]);
    std::copy_n(d, kLanes, s_[3]);
  }
  DOT11A_VECTOR_VARIANTS(void, fill, (std::uint32_t* __restrict out, std::size_t n), (out, n))

 private:
  std::uint64_t s_[4][kLanes];
};

constexpr std::size_t kBatch = 512;

// The fast path over a batch: the value of each draw, and whether it lies
// inside its layer's rectangle (true for about 99 % of draws).
DOT11A_KERNEL void fastPathKernel(const std::uint32_t* __restrict bits, std::size_t n,
                                  const Tables& t, double* __restrict value,
                                  std::uint8_t* __restrict inside) {
  for (std::size_t i = 0; i < n; ++i) {
    const auto hz = static_cast<std::int32_t>(bits[i]);
    const std::uint32_t iz = bits[i] & 127u;
    const std::uint32_t sign = static_cast<std::uint32_t>(hz >> 31);
    const std::uint32_t magnitude = (bits[i] ^ sign) - sign;  // |hz|, 2^31 for INT32_MIN
    value[i] = static_cast<double>(hz) * t.w[iz];
    inside[i] = magnitude < t.k[iz];
  }
}
DOT11A_VECTOR_VARIANTS(void, fastPath,
                       (const std::uint32_t* __restrict bits, std::size_t n, const Tables& t,
                        double* __restrict value, std::uint8_t* __restrict inside),
                       (bits, n, t, value, inside))

DOT11A_KERNEL void scaleAddKernel(double* __restrict out, const double* __restrict v, std::size_t n,
                                  double sigma) {
  for (std::size_t i = 0; i < n; ++i) out[i] += sigma * v[i];
}
DOT11A_VECTOR_VARIANTS(void, scaleAdd,
                       (double* __restrict out, const double* __restrict v, std::size_t n,
                        double sigma),
                       (out, v, n, sigma))

}  // namespace

void fillGaussian(std::span<double> out, double sigma, std::mt19937_64& rng) {
  std::fill(out.begin(), out.end(), 0.0);
  addGaussian(out, sigma, rng);
}

void addGaussian(std::span<double> out, double sigma, std::mt19937_64& rng) {
  const Tables& t = tables();
  Lanes lanes(rng);
  Bits32 b(rng);
  std::uint32_t bits[kBatch];
  double value[kBatch];
  std::uint8_t inside[kBatch];
  for (std::size_t at = 0; at < out.size(); at += kBatch) {
    const std::size_t n = std::min(kBatch, out.size() - at);
    lanes.fill(bits, kBatch);
    fastPath(bits, n, t, value, inside);
    // The rare draws outside the fast path, in order, then the batch added.
    // Eight flags at a time: most groups have none outside.
    for (std::size_t i = 0; i < n; i += 8) {
      std::uint64_t group = 0;
      std::memcpy(&group, inside + i, 8);
      if (group == 0x0101010101010101u) continue;
      for (std::size_t j = i; j < std::min(n, i + 8); ++j)
        if (!inside[j]) value[j] = slow(static_cast<std::int32_t>(bits[j]), bits[j] & 127u, t, b);
    }
    scaleAdd(out.data() + at, value, n, sigma);
  }
}

}  // namespace dot11a::impair
