// Oversampling, sinc compensation, edge windowing, overlap-add joining and the
// inverse DFT.
#include <fftw3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/synthesis.hpp"
#include "fft/fft.hpp"
#include "phy/frame_engine.hpp"

namespace dot11a {

// ---- inverse DFT ------------------------------------------------------------------

// The inverse FFT plans come from the library's one plan cache, which makes
// them under the lock that serialises FFTW's planner for every component.
fftw_plan detail::alignedInversePlan(std::size_t n) {
  return fft::plan(n, fft::Direction::Inverse, true);
}

void inverseDft(std::span<const cplx> in, std::span<cplx> out) {
  const std::size_t n = in.size();
  if (out.size() < n) raise("inverseDft: the output buffer is too short.");
  if (n == 0) return;
  fftw_plan p = fft::plan(n, fft::Direction::Inverse, false);
  // std::complex<double> is layout-compatible with fftw_complex; FFTW does not
  // write to the input of an out-of-place complex transform.
  fftw_execute_dft(p, reinterpret_cast<fftw_complex*>(const_cast<cplx*>(in.data())),
                   reinterpret_cast<fftw_complex*>(out.data()));
  const double scale = 1.0 / static_cast<double>(n);
  for (std::size_t i = 0; i < n; ++i) out[i] *= scale;
}

// ---- sinc and its compensation ------------------------------------------------------

double sinc(double x) {
  if (x == 0.0) return 1.0;
  const double px = std::numbers::pi * x;
  return std::sin(px) / px;
}

namespace {
// Signed frequency index of bin `idx` of an n-bin vector in bin order: DC and
// the positive bins first, then the negative ones.
long long signedBin(std::size_t idx, std::size_t n) {
  const std::size_t half = n / 2;
  return idx < half ? static_cast<long long>(idx)
                    : static_cast<long long>(idx) - static_cast<long long>(n);
}
}  // namespace

std::span<const double> sincCompensationGains(std::size_t n) {
  // A DAC that holds each sample for one sample period attenuates frequency f
  // by sinc(f / fs); bin k of an n-point vector sits at f / fs = k / n.
  static std::mutex mutex;
  static std::map<std::size_t, std::unique_ptr<std::vector<double>>> cache;
  std::lock_guard lock(mutex);
  auto& slot = cache[n];
  if (!slot) {
    slot = std::make_unique<std::vector<double>>(n);
    for (std::size_t i = 0; i < n; ++i)
      (*slot)[i] = 1.0 / sinc(static_cast<double>(signedBin(i, n)) / static_cast<double>(n));
  }
  return *slot;
}

Samples oversample(std::span<const cplx> input, int oversampling, bool dacCompensate, int method) {
  if (oversampling < 1) raise("dot11a_Oversample: the oversampling rate must be 1 or more.");
  const std::size_t len = input.size();
  const std::size_t extra = len * static_cast<std::size_t>(oversampling - 1);
  Samples out(len + extra, cplx(0.0, 0.0));
  if (method == 1) {
    if (len != 64)
      raise("dot11a_Oversample: zero insertion at the band centre needs 64 bins, not " +
            std::to_string(len) + ".");
    std::copy(input.begin(), input.begin() + 32, out.begin());
    std::copy(input.begin() + 32, input.end(), out.begin() + 32 + static_cast<long>(extra));
  } else if (method == 2) {
    std::copy(input.begin(), input.end(), out.begin());
  } else {
    raise(
        "dot11a_Oversample: the method must be 1 (zeros at the band centre) or 2 (zeros at "
        "the end), not " +
        std::to_string(method) + ".");
  }
  if (dacCompensate) {
    auto g = sincCompensationGains(out.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] *= g[i];
  }
  return out;
}

// ---- edge windowing and overlap-add ---------------------------------------------------

double windowWeight(int i, int windowLength) {
  return 0.5 - 0.5 * std::cos((i - 0.5) * (std::numbers::pi / windowLength));
}

void windowInPlace(std::span<cplx> buffer, std::size_t len, int windowLength, double cpRatio) {
  if (windowLength <= 0) return;
  const std::size_t w = static_cast<std::size_t>(windowLength);
  // The cyclic prefix's length within the piece; a ratio the caller gave that
  // puts it outside [0, len] (negative, not a number) has no prefix to extend.
  const auto prefix = integerOf<std::size_t>(
      std::round(static_cast<double>(len) * cpRatio / (1.0 + cpRatio)), 0, len);
  if (!prefix)
    raise("windowing: a cyclic prefix ratio of " + std::to_string(cpRatio) +
          " gives no prefix within the piece of " + std::to_string(len) + " samples.");
  const std::size_t start = *prefix;
  if (start + w > len)
    raise("The window of " + std::to_string(w) + " samples is longer than the piece of " +
          std::to_string(len) + " samples it extends.");
  if (buffer.size() < len + w) raise("windowing: the buffer is too short.");
  std::copy(buffer.begin() + static_cast<long>(start),
            buffer.begin() + static_cast<long>(start + w), buffer.begin() + static_cast<long>(len));
  const std::size_t last = len + w;
  for (std::size_t i = 1; i <= w; ++i) {
    const double f = windowWeight(static_cast<int>(i), windowLength);
    buffer[i - 1] *= f;
    buffer[last - i] *= f;
  }
}

Samples windowing(std::span<const cplx> data, int windowLength, double cpRatio) {
  Samples out(data.begin(), data.end());
  if (windowLength <= 0) return out;
  out.resize(data.size() + static_cast<std::size_t>(windowLength));
  windowInPlace(out, data.size(), windowLength, cpRatio);
  return out;
}

Samples stitchSubFrames(std::span<const cplx> a, std::span<const cplx> b, int windowLength) {
  if (a.empty()) return Samples(b.begin(), b.end());
  const std::size_t w = static_cast<std::size_t>(std::max(windowLength, 0));
  if (w > a.size() || w > b.size())
    raise("dot11a_StitchSubFrames: the overlap of " + std::to_string(w) +
          " samples is longer than a piece (" + std::to_string(a.size()) + " and " +
          std::to_string(b.size()) + " samples).");
  Samples out(a.size() + b.size() - w);
  const std::size_t overlap = a.size() - w;
  std::copy(a.begin(), a.end(), out.begin());
  for (std::size_t i = 0; i < w; ++i) out[overlap + i] += b[i];
  std::copy(b.begin() + static_cast<long>(w), b.end(), out.begin() + static_cast<long>(a.size()));
  return out;
}

// ---- operations -----------------------------------------------------------------------

}  // namespace dot11a
