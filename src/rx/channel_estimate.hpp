// Internal to the receiver: the channel estimate smoothed by what is known
// of a channel, that its impulse response is short.
#pragma once

#include <array>

#include "dot11a/receiver.hpp"

namespace dot11a::rx {

// The least-squares estimate h (sub-carriers -26..+26, DC unused) projected
// onto an impulse response of `taps` taps from `firstDelay` samples at
// 20 MHz on: the 52 gains of a short channel are far fewer unknowns than 52,
// so the projection keeps 52 / taps times less of the estimate's noise. The
// sub-carriers marked `off` (DC, those switched off) are no observations and
// keep their value. `noiseVar` is the variance of the estimate's noise on
// one sub-carrier. The projection is refused (false, `out` untouched) when
// what it leaves out is more than noise: the response is longer, or the
// estimate holds no noise to speak of and needs no smoothing.
bool smoothChannel(const std::array<cplx, 53>& h, const std::array<bool, 53>& off, double noiseVar,
                   double firstDelay, int taps, std::array<cplx, 53>& out);

}  // namespace dot11a::rx
