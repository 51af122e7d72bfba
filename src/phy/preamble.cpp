// The PLCP preamble: ten short and two long training symbols.
#include <array>
#include <cmath>

#include "dot11a/error.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a {

namespace {

// Sub-carriers -26 ... +26 of the short training sequence, as a unit pattern.
constexpr std::array<double, 53> kShortPattern = {
    0, 0, 1, 0,  0, 0, -1, 0,  0, 0, 1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, 1, 0, 0, 0, 0,
    0, 0, 0, -1, 0, 0, 0,  -1, 0, 0, 0, 1, 0, 0, 0,  1, 0, 0, 0,  1, 0, 0, 0, 1, 0, 0};
// Sub-carriers -26 ... +26 of the long training sequence.
constexpr std::array<double, 53> kLongPattern = {
    1,  1,  -1, -1, 1,  1, -1, 1,  -1, 1, 1,  1,  1,  1, 1,  -1, -1, 1,
    1,  -1, 1,  -1, 1,  1, 1,  1,  0,  1, -1, -1, 1,  1, -1, 1,  -1, 1,
    -1, -1, -1, -1, -1, 1, 1,  -1, -1, 1, -1, 1,  -1, 1, 1,  1,  1};
constexpr double kShortPower = 2.1666666666666665;  // 13/6

// One period of a training symbol: mapped, masked, oversampled, inverse DFT.
Samples trainingPeriod(const std::array<cplx, 53>& sc, int oversampling,
                       std::span<const cplx> mask64, bool sincComp) {
  if (mask64.size() != 64)
    raise("The sub-carrier mask must hold 64 values in bin order, not " +
          std::to_string(mask64.size()) + ".");
  std::array<cplx, 64> bins;
  carrierMappingInto(sc, 1, bins);
  for (std::size_t b = 0; b < 64; ++b) bins[b] *= mask64[b];
  const Samples over = oversample(bins, oversampling, sincComp, 1);
  Samples x(over.size());
  inverseDft(over, x);
  return x;
}

}  // namespace

Samples shortSequence(int oversampling, int windowLength, std::span<const cplx> mask64,
                      bool sincComp) {
  const double scale = std::sqrt(kShortPower);
  std::array<cplx, 53> sc;
  for (std::size_t k = 0; k < 53; ++k) sc[k] = scale * kShortPattern[k] * cplx(1.0, 1.0);
  const Samples x = trainingPeriod(sc, oversampling, mask64, sincComp);
  const std::size_t n = x.size();
  // Two and a half periods: ten short symbols.
  Samples out(n * 5 / 2 + static_cast<std::size_t>(std::max(windowLength, 0)));
  for (std::size_t i = 0; i < n * 5 / 2; ++i) out[i] = x[i % n];
  windowInPlace(out, n * 5 / 2, windowLength, 0.0);
  return out;
}

Samples longSequence(int oversampling, int windowLength, std::span<const cplx> mask64,
                     bool sincComp) {
  std::array<cplx, 53> sc;
  for (std::size_t k = 0; k < 53; ++k) sc[k] = kLongPattern[k];
  const Samples x = trainingPeriod(sc, oversampling, mask64, sincComp);
  const std::size_t n = x.size();
  // Guard interval of half a period, then two periods.
  Samples out(n * 5 / 2 + static_cast<std::size_t>(std::max(windowLength, 0)));
  for (std::size_t i = 0; i < n * 5 / 2; ++i) out[i] = x[(i + n / 2) % n];
  windowInPlace(out, n * 5 / 2, windowLength, 0.25);
  return out;
}

Samples syncSequence(int oversampling, int windowLength, std::span<const cplx> mask64,
                     bool sincComp) {
  return stitchSubFrames(shortSequence(oversampling, windowLength, mask64, sincComp),
                         longSequence(oversampling, windowLength, mask64, sincComp), windowLength);
}

}  // namespace dot11a
