// Internal to the receiver: the DC a frame brings, found in its long training,
// taken out of its sub-carriers and measured as centre-frequency leakage.
#pragma once

#include <array>

#include "dot11a/receiver.hpp"
#include "rx/signal.hpp"

namespace dot11a::rx {

class FrameDc {
 public:
  // The DC component the capture had (already taken out of the samples).
  void setCaptureDc(cplx dc) { captureDc_ = dc; }

  // From the sub-carriers y1 and y2 of the two long training periods, whose
  // windows start at n1 and n2 of the signal corrected by `hz` at `rate`:
  // finds the DC, takes it out of y1 and y2 and reports the leakage.
  void measure(double hz, double rate, int os, bool mirrored, long long n1, long long n2,
               std::array<cplx, 53>& y1, std::array<cplx, 53>& y2, FrameReport& rep);

  // Whether the preamble showed a DC component at 0 Hz of the input.
  bool inputDc() const { return inputDc_ != cplx(0.0, 0.0); }

  // Removes the input's DC component found in the preamble from the
  // sub-carriers of the window starting at n0.
  void remove(long long n0, std::array<cplx, 53>& c) const {
    if (inputDc_ == cplx(0.0, 0.0)) return;
    const cplx at = inputDc_ * std::polar(1.0, theta_ * static_cast<double>(n0));
    for (std::size_t i = 0; i < 53; ++i) c[i] -= at * leak_[i];
  }

 private:
  void prepareLeak(double hz, double rate, int os);

  // What the capture had, what the frame brought at 0 Hz of the input (in
  // the corrected signal), the correction's turn per sample and each
  // sub-carrier's share of a constant.
  cplx captureDc_{0.0, 0.0}, inputDc_{0.0, 0.0};
  double theta_ = 0.0;
  std::array<cplx, 53> leak_{};
};

}  // namespace dot11a::rx
