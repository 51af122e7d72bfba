// The capture-wide DC component, taken out before the frame search.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "rx/internal.hpp"

namespace dot11a::rx {

// A component weaker than -50 dB of the capture's power is left alone, so
// clean waveforms are not copied.
cplx captureDcOf(cplx sum, double power, double count) {
  if (!(count > 0.0)) return {0.0, 0.0};
  const cplx dc = sum / count;
  return std::norm(dc) * count > 1e-5 * power ? dc : cplx(0.0, 0.0);
}

namespace {

struct CaptureSums {
  cplx sum{0.0, 0.0};
  double power = 0.0;
  bool nonFinite = false;
};

// One pass over the samples: their sum, their power and whether any part is
// infinite or NaN. Four lanes of (real, imaginary) pairs, so the additions
// need not wait for each other; a non-finite part has an all-ones exponent,
// and adding one to that field carries into the sign bit only then.
CaptureSums captureSums(std::span<const cplx> samples) {
  typedef double Pair __attribute__((vector_size(16)));
  typedef std::uint64_t Bits2 __attribute__((vector_size(16)));
  constexpr std::uint64_t kExp = 0x7FF0000000000000ULL, kExpLsb = 0x0010000000000000ULL;
  const Bits2 exp = {kExp, kExp}, lsb = {kExpLsb, kExpLsb};
  Pair sum[4] = {}, pw[4] = {};
  Bits2 any = {0, 0};
  const auto* bytes = reinterpret_cast<const unsigned char*>(samples.data());
  auto add = [&](std::size_t l, std::size_t i) {
    Pair v;
    std::memcpy(&v, bytes + sizeof(cplx) * i, sizeof v);
    Bits2 b;
    std::memcpy(&b, &v, sizeof b);
    any |= (b & exp) + lsb;
    sum[l] += v;
    pw[l] += v * v;
  };
  const std::size_t n = samples.size();
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4)
    for (unsigned l = 0; l < 4; ++l) add(l, i + l);
  for (; i < n; ++i) add(i & 3u, i);
  const Pair s = (sum[0] + sum[1]) + (sum[2] + sum[3]);
  const Pair p = (pw[0] + pw[1]) + (pw[2] + pw[3]);
  return {cplx(s[0], s[1]), p[0] + p[1], ((any[0] | any[1]) >> 63) != 0};
}

}  // namespace

// A DC component of the capture (the capturing receiver's own carrier
// leakage) pulls the frame search's carrier offset towards 0 Hz and, turned
// by the carrier correction, spreads over every sub-carrier. Its mean over
// the capture is taken out before the search: the frames themselves average
// to almost nothing.
cplx cleanCapture(std::span<const cplx>& samples, std::vector<cplx>& store,
                  std::size_t& nonFinite) {
  nonFinite = 0;
  CaptureSums sums = captureSums(samples);
  if (sums.nonFinite) {
    store.assign(samples.begin(), samples.end());
    for (cplx& v : store)
      if (!std::isfinite(v.real()) || !std::isfinite(v.imag())) {
        v = 0.0;
        ++nonFinite;
      }
    samples = store;
    sums = captureSums(samples);
  }
  const cplx dc = captureDcOf(sums.sum, sums.power, static_cast<double>(samples.size()));
  if (dc == cplx(0.0, 0.0)) return dc;
  if (store.data() != samples.data()) store.assign(samples.begin(), samples.end());
  for (cplx& v : store) v -= dc;
  samples = store;
  return dc;
}

}  // namespace dot11a::rx
