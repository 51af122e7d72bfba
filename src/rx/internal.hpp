// Internal to the receiver: the rate facts it decodes with and the per-frame
// measurements.
#pragma once

#include <span>

#include "dot11a/receiver.hpp"

namespace dot11a::rx {

struct RateFacts {
  double mbps;
  int nbpsc;  // coded bits per sub-carrier
  double codingRate;
  std::size_t ncbps, ndbps;
};
std::span<const RateFacts> rateTable();

// Flatness from the frame's channel estimate and the spectrum mask from its
// samples at the input rate.
void measureFrame(FrameReport& rep, std::span<const cplx> frameSamples, const Options& opt,
                  int oversampling);

}  // namespace dot11a::rx
