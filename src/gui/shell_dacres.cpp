// applyDacRes: the display quantiser every plot applies to the waveform, so a
// plot shows the steps the instrument's converter can make.
#include <cmath>
#include <vector>

#include "dot11a/call.hpp"

namespace dot11a::op {

// Rounds each part to a grid of 2^(numBits-1) - 1 steps up to the larger of
// the peak in-phase and the peak quadrature magnitude. Up to 2 bits, and for a
// waveform without a finite non-zero peak (all zeros, or a non-finite sample),
// the input comes back unchanged; more than 32 bits count as 32.
void applyDacRes(Call& c) {
  c.outputNames({"resWave"});
  const Value& wave = c.in(0, "wave");
  const Value& bitsIn = c.in(1, "numBits");
  if (!wave.isNumeric())
    raise("applyDacRes needs the waveform as numbers, not " + wave.describe() + ".");
  if (!bitsIn.isNumeric() || bitsIn.isEmpty() || std::isnan(bitsIn.toScalar()))
    raise("applyDacRes needs the number of bits as a number.");
  double numBits = bitsIn.toScalar();
  if (numBits <= 2 || wave.isEmpty()) {
    c.out(0) = wave;
    return;
  }
  numBits = std::min(numBits, 32.0);
  const std::vector<cplx> z = wave.toComplex();
  double peak = 0;
  for (const cplx& s : z) peak = std::max({peak, std::abs(s.real()), std::abs(s.imag())});
  if (!(peak > 0) || !std::isfinite(peak)) {
    c.out(0) = wave;
    return;
  }
  const double scale = (std::pow(2.0, numBits - 1) - 1) / peak;
  const bool complex = wave.isComplex();
  std::vector<double> re(z.size()), im(complex ? z.size() : 0);
  for (std::size_t k = 0; k < z.size(); ++k) {
    re[k] = std::round(z[k].real() * scale) / scale;  // halves away from zero
    if (complex) im[k] = std::round(z[k].imag() * scale) / scale;
  }
  c.out(0) = Value::matrix(wave.rows(), wave.cols(), std::move(re), std::move(im));
}

}  // namespace dot11a::op
