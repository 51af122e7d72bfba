// Internal to the receiver: the working signal (the input with the carrier
// offset removed, read one FFT window at a time) and the frame search. The
// signal's members are defined here, inline, because the per-symbol decoding
// calls them in its inner loops.
#pragma once

#include <fftw3.h>

#include <algorithm>
#include <array>
#include <complex>
#include <cstddef>
#include <numbers>
#include <span>
#include <vector>

#include "dot11a/error.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/receiver.hpp"
#include "fft/fft.hpp"
#include "rx/internal.hpp"
#include "rx/symbol_pass.hpp"

namespace dot11a::rx {

// Sub-carriers are indexed 0..52 for -26..+26.
inline constexpr int kCentre = 26;

// A complex product without the library's checks for infinite operands:
// the samples are finite (the receiver cleans them first), and the checks
// cost more than the product itself.
inline cplx mul(cplx a, cplx b) {
  return cplx(a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real());
}

// ---- the working signal ----------------------------------------------------------------------

// The input at 20 MHz x os with the carrier offset removed (and the spectrum
// turned back when it was mirrored), read one FFT window at a time.
class Signal {
 public:
  Signal(std::span<const cplx> x, int os)
      : x_(x),
        os_(os),
        n_(64 * static_cast<std::size_t>(os)),
        in_(n_, "The receiver's FFT input"),
        out_(n_, "The receiver's FFT output") {}
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;
  std::size_t size() const { return x_.size(); }
  int os() const { return os_; }
  double rate() const { return kBaseSampleRate * os_; }

  void setCorrection(double coarseHz, bool mirrored, double fineHz) {
    coarse_ = coarseHz;
    mirrored_ = mirrored;
    fine_ = fineHz;
    // The rotation of each sample of a window against the window's first,
    // so the samples of a window are corrected independently of each other
    // (no running product carried from one sample to the next).
    const double w = 2.0 * std::numbers::pi * hz() / rate();
    rot_.resize(n_);
    for (std::size_t i = 0; i < n_; ++i) rot_[i] = std::polar(1.0, w * static_cast<double>(i));
  }
  // The corrected sample n (0 outside the waveform). Mirrored, the input is
  // conjugated between the coarse and the fine correction, so one rotation
  // does both: conj(x e^-jwc) e^-jwf = conj(x) e^j(wc - wf).
  double hz() const { return mirrored_ ? coarse_ - fine_ : -(coarse_ + fine_); }
  // Samples n0 .. n0 + count - 1, corrected, into out.
  void read(long long n0, std::size_t count, cplx* out) const {
    for (std::size_t i0 = 0; i0 < count; i0 += n_) {
      const std::size_t len = std::min(n_, count - i0);
      const long long first = n0 + static_cast<long long>(i0);
      readTurned(first, len, out + i0);
      const cplx r0 = windowPhase(first);
      for (std::size_t i = 0; i < len; ++i) out[i0 + i] = mul(out[i0 + i], r0);
    }
  }
  // Sub-carriers -26..+26 of the FFT window starting at sample n0. The
  // rotation of the window's first sample is common to all its samples, so
  // it is applied to the 53 sub-carriers after the transform.
  // Without `common`, the rotation is left out: for callers that take out the
  // common phase themselves and would only undo it.
  void carriers(long long n0, std::array<cplx, 53>& c, bool common = true) {
    // FFTW's own buffers are aligned, so the plan may use vector code.
    readTurned(n0, n_, in_.data());
    fftw_execute_dft(forwardPlan(n_, true), in_.get(), out_.get());
    const cplx* out = out_.data();
    if (!common) {
      std::copy(out + n_ - kCentre, out + n_, c.begin());
      std::copy(out, out + kCentre + 1, c.begin() + kCentre);
      return;
    }
    // Bins n - 26 .. n - 1 hold -26..-1, bins 0..26 hold 0..+26.
    turnCarriers(out + n_ - kCentre, out, windowPhase(n0), c);
  }
  // Asks the processor to fetch samples n0 .. n0 + count - 1 ahead of their
  // use: a frame's samples come from memory the search has not read.
  void prefetch(long long n0, std::size_t count) const {
    // Bounds from std::max and std::min: GCC 12 drops the whole loop when
    // they come from std::clamp.
    const long long from = std::max<long long>(n0, 0);
    const long long to =
        std::min<long long>(n0 + static_cast<long long>(count), static_cast<long long>(x_.size()));
    const cplx* p = x_.data();
    // Four samples to a cache line of 64 bytes.
    for (long long n = from; n < to; n += 4) __builtin_prefetch(p + n);
  }
  std::array<cplx, 53> carriers(long long n0) {
    std::array<cplx, 53> c;
    carriers(n0, c);
    return c;
  }

 private:
  // The correction's rotation at sample n.
  cplx windowPhase(long long n) const {
    return std::polar(1.0, 2.0 * std::numbers::pi * hz() / rate() * static_cast<double>(n));
  }
  // Samples first .. first + len - 1 (len at most one window), each turned
  // by the correction's rotation relative to the first, into out.
  void readTurned(long long first, std::size_t len, cplx* __restrict out) const {
    const long long size = static_cast<long long>(x_.size());
    // The part of the window that lies inside the waveform.
    const auto lo = static_cast<std::size_t>(std::clamp<long long>(-first, 0, len));
    const auto hi = static_cast<std::size_t>(
        std::clamp<long long>(size - first, static_cast<long long>(lo), len));
    std::fill(out, out + lo, cplx(0.0, 0.0));
    std::fill(out + hi, out + len, cplx(0.0, 0.0));
    if (hi <= lo) return;
    // Pointers to the first sample inside: the window may start before the
    // waveform or end after it.
    turnSamples(x_.data() + (first + static_cast<long long>(lo)), rot_.data() + lo, mirrored_,
                hi - lo, out + lo);
  }

 private:
  std::span<const cplx> x_;
  int os_;
  std::size_t n_;
  double coarse_ = 0.0, fine_ = 0.0;
  bool mirrored_ = false;
  std::vector<cplx> rot_;  // e^jwi for i = 0 .. n_ - 1
  // Each buffer frees itself: one that could not be had leaks nothing.
  fft::Buffer in_;
  fft::Buffer out_;
};

// ---- frame search ---------------------------------------------------------------------------

struct Detection {
  long long ltf = 0;  // first sample of the first long training period
  double coarseHz = 0.0;
  double fineHz = 0.0;
  bool mirrored = false;
  long long resumeAt = 0;  // where to search on when this was no frame
  bool found = false;
};

// The short training repeats every 16 samples at 20 MHz: the delayed
// autocorrelation finds it and measures the carrier offset. The long training
// then fixes the timing to the sample and refines the offset. The short
// training is searched in windows that end before searchEnd (the end of x
// when negative); the long training may lie beyond it.
Detection detect(std::span<const cplx> x, long long from, int os, long long searchEnd = -1);

}  // namespace dot11a::rx
