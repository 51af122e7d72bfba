// Internal to the receiver: which sub-carrier carries what, and the channel
// estimate's verdict on each (switched off, faded or clean).
#pragma once

#include <array>

#include "dot11a/receiver.hpp"
#include "rx/signal.hpp"

namespace dot11a::rx {

// Sub-carriers are indexed 0..52 for -26..+26 (kCentre is the index of 0).
inline constexpr std::array<int, 4> kPilots = {-21, -7, 7, 21};
inline constexpr std::array<double, 4> kPilotSigns = {1, 1, 1, -1};

inline bool isPilot(int k) {
  return k == -21 || k == -7 || k == 7 || k == 21;
}

// The 48 data sub-carriers in increasing frequency, as the mapper fills them.
const std::array<int, 48>& dataCarriers();

// The long training symbol's sub-carrier values (+-1, 0 at DC).
const std::array<cplx, 53>& longTrainingCarriers();

// Classifies the sub-carriers of the channel estimate h (whose mean power
// over the used sub-carriers is `mean`): sets `off` for DC and those that
// carry nothing, and lists them and the faded ones in the report.
void classifySubcarriers(const std::array<cplx, 53>& h, double mean, std::array<bool, 53>& off,
                         FrameReport& rep);

// The problem and notes that name the switched-off and faded sub-carriers.
void describeSubcarriers(FrameReport& rep);

}  // namespace dot11a::rx
