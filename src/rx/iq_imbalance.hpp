// Internal to the receiver: the IQ gain and phase imbalance of a frame.
#pragma once

#include <array>

#include "dot11a/receiver.hpp"

namespace dot11a::rx {

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
  // One DATA symbol: the carriers as received, the rotation that takes out
  // the common phase and the clock's phase slope, the inverse channel (0 where
  // a sub-carrier is off or not known to carry data) and the points the
  // receiver decided on the 48 data sub-carriers. The pilots (+-7, +-21)
  // are decided here, on BPSK.
  void addSymbol(const std::array<cplx, 53>& received, const std::array<cplx, 53>& turn,
                 const std::array<cplx, 53>& hInv, const std::array<cplx, 48>& decided);
  // Writes iqGainImbalanceDb and iqPhaseImbalanceDeg (left at 0 when the
  // symbols seen do not determine them).
  void report(FrameReport& rep) const;

 private:
  void add(const std::array<cplx, 53>& y, const std::array<cplx, 53>& sent);
  // Per sub-carrier, with x the value sent on it and z the conjugate of the
  // one sent on its mirror: the sums of |x|^2, |z|^2, conj(x) z, conj(x) y
  // and conj(z) y, real and imaginary parts apart so the loop over the
  // sub-carriers runs as vector code.
  struct Sums {
    std::array<double, 53> xx{}, zz{}, xzRe{}, xzIm{}, xyRe{}, xyIm{}, zyRe{}, zyIm{};
  };
  Sums sums_;
};

}  // namespace dot11a::rx
