// Band-limited resampling of complex baseband samples, shared by the receiver
// (inputs at other rates) and the impairments (sampling clock offset).
#pragma once

#include <complex>
#include <span>
#include <vector>

#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// Resamples from one rate to another with a Kaiser-windowed sinc interpolator
// whose cut-off lies at 46 % of the lower rate, below both Nyquist
// frequencies. Output sample m is the input at time m x fromRate / toRate
// (in input samples); the output ends at the last input sample.
std::vector<std::complex<double>> resample(std::span<const std::complex<double>> in,
                                           double fromRate, double toRate);

}  // namespace dot11a

DOT11A_API_END
