// The averaged spectrum view: the power spectral density of the frame bursts
// (the receiver's Welch estimate), the transmit mask drawn against it and the
// readouts an RF engineer reads off it.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "dot11a/rate_table.hpp"
#include "gui/plots/plot_data.hpp"

namespace dot11a::plots {

struct AveragedSpectrum {
  std::vector<double> frequencyMHz, levelDbr;  // increasing frequency, peak at 0 dBr
  std::vector<double> maskMHz, maskDbr;        // the mask's corners within the span
  double rbwHz = 0;
  bool gated = false;  // averaged over the bursts only
  std::size_t bursts = 0;
  ChannelSpacing spacing = ChannelSpacing::MHz20;  // the mask's and the channel's
  bool maskChecked = false;  // some bin lies beyond the mask's flat top (9 MHz at 20 MHz)
  double worstMarginDb = 0, worstFrequencyHz = 0;
  bool pass = false;
  double channelPowerDb = 0;  // over the channel, dB relative to a full-scale (|x| = 1) sample
  double occupiedHz = 0;      // 99 % of the power
  double spanMHz = 0;         // the axis runs from -spanMHz to +spanMHz
  double bottom = -100, top = 10;
  // The levels at the signal generator's set level, when the caller knows it.
  Levels levels;
  double setLevelDbm = 0;
};

// The spectrum of the samples within `bursts` (all samples when there are
// none) at about `rbwHz` resolution. Each burst's Welch estimate is weighted
// by its energy, so a short burst counts as much as its samples do. An empty
// waveform or one without power gives an empty spectrum. The mask and the
// channel are those of the frame's spacing.
AveragedSpectrum averagedSpectrum(std::span<const std::complex<double>> samples, double rate,
                                  const Ranges& bursts, double rbwHz,
                                  ChannelSpacing spacing = ChannelSpacing::MHz20);

// The trace point nearest to `mhz` (the marker sits on the trace); the first
// point for an empty trace is {0, 0}.
struct MarkerReading {
  double mhz = 0, dbr = 0;
};
MarkerReading markerAt(const AveragedSpectrum& s, double mhz);
// "M1 +3.125 MHz -12.30 dBr   M2 (delta) +5.000 MHz -20.10 dB": the marker at
// `m1` and the delta marker `delta` MHz from it, read relative to the marker.
std::string markerText(const AveragedSpectrum& s, double m1, double delta);

}  // namespace dot11a::plots

namespace dot11a {
class Call;
namespace plotframe {
// The bursts of markers given as input i of a view (two rows as long as the
// `n` samples, the second one 1 during a burst): none when the input is absent
// or empty; an error for markers of another shape or without a burst.
plots::Ranges burstsOf(const Call& c, std::size_t i, std::size_t n);
}  // namespace plotframe
}  // namespace dot11a
