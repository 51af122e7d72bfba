// The levels a receiver tester reads off a waveform played at a signal
// generator's set level: every front end (the window's status line and
// spectrum view, dot11a-gen with --power, Python's power=) asks this one
// place.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/waveform.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// [first, end) sample ranges.
using Ranges = std::vector<std::pair<std::size_t, std::size_t>>;
// The runs where a burst marker row is non-zero, within the first `n`
// samples. An empty marker row gives no runs.
Ranges burstRanges(std::span<const double> marker, std::size_t n);

// The generator's set level is the RMS power of the whole waveform as
// played (idle time included). From it: the mean power over the bursts
// (over every sample when there are none), the highest instantaneous power,
// both in dBm, and their ratio in dB. `valid` is false for a waveform
// without power.
struct Levels {
  double burstDbm = 0, peakDbm = 0, paprDb = 0;
  bool valid = false;
};
Levels levelsAt(std::span<const std::complex<double>> samples, const Ranges& bursts,
                double setLevelDbm);
// A made waveform's levels, its bursts those of its burst marker (marker 2).
Levels levelsOf(const Waveform& w, double setLevelDbm);
// "burst -26.6 dBm, peak -16.2 dBm, PAPR 10.4 dB" (empty when not valid).
std::string levelsText(const Levels& l);

}  // namespace dot11a

DOT11A_API_END
