// Internal to the receiver: the IQ gain and phase imbalance of a frame.
#pragma once

#include <array>

#include "dot11a/receiver.hpp"
#include "rx/symbol_pass.hpp"

namespace dot11a::rx {

// Per sub-carrier, with x the value sent on it and z the conjugate of the
// one sent on its mirror: the sums of |x|^2, conj(x) z, conj(x) y and
// conj(z) y, real and imaginary parts apart so the loop over the
// sub-carriers runs as vector code. The sum of |z|^2 is its mirror's sum
// of |x|^2.
struct IqImbalanceSums {
  alignas(32) std::array<double, kPadded> xx{}, xzRe{}, xzIm{}, xyRe{}, xyIm{}, zyRe{}, zyIm{};
};

// A modulator whose quadrature branch has gain g and phase error phi sends
// mu x + nu conj(x): sub-carrier k then carries mu X(k) + nu conj(X(-k)), the
// image of its mirror. Per sub-carrier, a least-squares fit over the long
// training and the DATA symbols (what was sent known or decided) gives
// A = H(k) mu and B = H(k) nu; their ratio nu / mu needs no channel, and with
// mu + conj(nu) = 1 gives g exp(j phi) = 2 mu - 1.
class IqImbalanceEstimator {
 public:
  // One training symbol: the carriers as received and the values sent.
  void addTraining(const std::array<cplx, 53>& received, const std::array<cplx, 53>& sent);
  // One DATA symbol: per sub-carrier the value received, turned by the
  // rotation that takes out the common phase and the clock's phase slope,
  // and the point decided on it; both 0 where a sub-carrier is off or not
  // known to carry data.
  void addSymbol(const SplitCarriers& received, const SplitCarriers& decided);
  // Writes iqGainImbalanceDb and iqPhaseImbalanceDeg (left at 0 when the
  // symbols seen do not determine them).
  void report(FrameReport& rep) const;

 private:
  IqImbalanceSums sums_;
};

}  // namespace dot11a::rx
