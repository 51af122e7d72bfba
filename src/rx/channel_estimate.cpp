// The channel estimate projected onto a short impulse response.
#include "rx/channel_estimate.hpp"

#include <cmath>
#include <numbers>
#include <vector>

#include "rx/signal.hpp"

namespace dot11a::rx {

bool smoothChannel(const std::array<cplx, 53>& h, const std::array<bool, 53>& off, double noiseVar,
                   double firstDelay, int taps, std::array<cplx, 53>& out) {
  const auto L = static_cast<std::size_t>(taps);
  std::vector<std::size_t> obs;
  for (std::size_t i = 0; i < 53; ++i)
    if (!off[i]) obs.push_back(i);
  if (obs.size() < 2 * L) return false;
  // Sub-carrier k of a tap at delay d: e^(-j 2 pi k d / 64).
  std::vector<cplx> a(obs.size() * L);
  for (std::size_t r = 0; r < obs.size(); ++r) {
    const double k = static_cast<double>(obs[r]) - kCentre;
    for (std::size_t d = 0; d < L; ++d)
      a[r * L + d] = std::polar(
          1.0, -2.0 * std::numbers::pi * k * (firstDelay + static_cast<double>(d)) / 64.0);
  }
  // Normal equations G g = A^H h, G = A^H A, solved by Cholesky.
  std::vector<cplx> g(L * L), rhs(L);
  for (std::size_t p = 0; p < L; ++p) {
    for (std::size_t q = 0; q <= p; ++q) {
      cplx s = 0.0;
      for (std::size_t r = 0; r < obs.size(); ++r) s += std::conj(a[r * L + p]) * a[r * L + q];
      g[p * L + q] = s;
    }
    cplx s = 0.0;
    for (std::size_t r = 0; r < obs.size(); ++r) s += std::conj(a[r * L + p]) * h[obs[r]];
    rhs[p] = s;
  }
  // Lower factor in place: G = C C^H.
  for (std::size_t p = 0; p < L; ++p) {
    for (std::size_t q = 0; q <= p; ++q) {
      cplx s = g[p * L + q];
      for (std::size_t m = 0; m < q; ++m) s -= g[p * L + m] * std::conj(g[q * L + m]);
      if (p == q) {
        if (!(s.real() > 1e-9)) return false;
        g[p * L + p] = std::sqrt(s.real());
      } else {
        g[p * L + q] = s / g[q * L + q].real();
      }
    }
  }
  for (std::size_t p = 0; p < L; ++p) {  // C u = rhs
    cplx s = rhs[p];
    for (std::size_t m = 0; m < p; ++m) s -= g[p * L + m] * rhs[m];
    rhs[p] = s / g[p * L + p].real();
  }
  for (std::size_t p = L; p-- > 0;) {  // C^H g = u
    cplx s = rhs[p];
    for (std::size_t m = p + 1; m < L; ++m) s -= std::conj(g[m * L + p]) * rhs[m];
    rhs[p] = s / g[p * L + p].real();
  }
  std::array<cplx, 53> s = h;
  double left = 0.0;
  for (std::size_t r = 0; r < obs.size(); ++r) {
    cplx v = 0.0;
    for (std::size_t d = 0; d < L; ++d) v += a[r * L + d] * rhs[d];
    s[obs[r]] = v;
    left += std::norm(h[obs[r]] - v);
  }
  // Noise alone leaves (observations - taps) times its variance; half as
  // much again is allowed for the spread of that sum and of the variance's
  // own estimate. Where the response reaches beyond the taps, the part
  // left out is a bias on every sub-carrier.
  const double expected = static_cast<double>(obs.size() - L) * noiseVar;
  if (!(left <= 1.5 * expected)) return false;
  out = s;
  return true;
}

}  // namespace dot11a::rx
