// Gaussian values by the ziggurat method (Marsaglia and Tsang, 128 layers):
// most values take one 32-bit draw, a comparison and a product, which keeps
// white noise cheap next to the synthesis.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

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

}  // namespace

void fillGaussian(std::span<double> out, double sigma, std::mt19937_64& rng) {
  std::fill(out.begin(), out.end(), 0.0);
  addGaussian(out, sigma, rng);
}

void addGaussian(std::span<double> out, double sigma, std::mt19937_64& rng) {
  const Tables& t = tables();
  Bits32 b(rng);
  for (double& o : out) {
    const auto hz = static_cast<std::int32_t>(b.next());
    const auto iz = static_cast<std::size_t>(hz & 127);
    const double v = static_cast<std::uint32_t>(std::abs(static_cast<std::int64_t>(hz))) < t.k[iz]
                         ? hz * t.w[iz]
                         : slow(hz, iz, t, b);
    o += sigma * v;
  }
}

}  // namespace dot11a::impair
