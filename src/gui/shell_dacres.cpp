// applyDacRes: the display quantiser every plot applies to the waveform, so a
// plot shows the steps the instrument's converter can make.
#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

#include "dot11a/call.hpp"
#include "gui/shell.hpp"
#include "model/large_buffer.hpp"

namespace dot11a {

namespace {

// The grid's steps per unit of the waveform: 2^(numBits-1) - 1 steps up to
// the larger of the peak in-phase and the peak quadrature magnitude; 0 when
// the waveform passes unchanged (up to 2 bits, no samples, or no finite
// non-zero peak). More than 32 bits count as 32.
double dacScale(std::span<const cplx> z, double numBits) {
  if (numBits <= 2 || z.empty()) return 0;
  numBits = std::min(numBits, 32.0);
  double peak = 0;
  for (const cplx& s : z) peak = std::max({peak, std::abs(s.real()), std::abs(s.imag())});
  if (!(peak > 0) || !std::isfinite(peak)) return 0;
  return (std::pow(2.0, numBits - 1) - 1) / peak;
}

}  // namespace

std::vector<cplx> shell::dacResolution(std::span<const cplx> z, double numBits) {
  const double scale = dacScale(z, numBits);
  if (scale == 0) return {z.begin(), z.end()};
  std::vector<cplx> out = reservedBuffer<cplx>(z.size());
  for (const cplx& v : z)  // halves away from zero
    out.emplace_back(std::round(v.real() * scale) / scale, std::round(v.imag() * scale) / scale);
  return out;
}

namespace op {

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
  const double numBits = bitsIn.toScalar();
  if (numBits <= 2 || wave.isEmpty()) {
    c.out(0) = wave;
    return;
  }
  const std::vector<cplx> z = wave.toComplex();
  const double scale = dacScale(z, numBits);
  if (scale == 0) {
    c.out(0) = wave;
    return;
  }
  const bool complex = wave.isComplex();
  std::vector<double> re(z.size()), im(complex ? z.size() : 0);
  for (std::size_t k = 0; k < z.size(); ++k) {
    re[k] = std::round(z[k].real() * scale) / scale;  // halves away from zero
    if (complex) im[k] = std::round(z[k].imag() * scale) / scale;
  }
  c.out(0) = Value::matrix(wave.rows(), wave.cols(), std::move(re), std::move(im));
}

}  // namespace op
}  // namespace dot11a
