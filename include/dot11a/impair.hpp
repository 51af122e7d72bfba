// Receiver-test waveforms: impairments applied to a synthesised waveform, and
// sequences of frames joined with gaps.
//
// Impairments run after synthesis in a fixed order: amplifier, IQ imbalance,
// DC, phase noise, multipath channel, carrier offset, sampling clock offset,
// white noise, interferer. Every random draw follows from Settings::seed, each
// impairment from its own std::mt19937_64 stream derived from that seed (white
// noise from fast generators seeded by its stream), so switching one impairment on or off leaves
// the draws of the others unchanged and the same settings always give the same samples.
//
// Levels (amplifier back-off, DC, SNR, interferer) are relative to the mean
// power of the wanted signal over its bursts (the frames, not the gaps).
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/synthesis.hpp"

DOT11A_API_BEGIN

namespace dot11a::impair {

// ---- impairments ----------------------------------------------------------------------

struct Amplifier {
  enum class Model { Rapp, Clip } model = Model::Rapp;
  double smoothness = 2.0;  // Rapp's P, 0.1 .. 100
  double backoffDb = 6.0;   // saturation level above the RMS level, 0 .. 30 dB
};
struct IqImbalance {
  double gainDb = 0.0;    // quadrature branch against in-phase, -6 .. 6 dB
  double phaseDeg = 0.0;  // quadrature error, -45 .. 45 degrees
};
struct PhaseNoise {
  double rmsDeg = 0.0;      // 0 .. 30 degrees
  double cornerHz = 100e3;  // the spectrum is flat below, falls 20 dB/decade above
};
struct Channel {
  double rmsDelayNs = 50.0;         // 1 .. 1000 ns
  std::optional<double> ricianKDb;  // Rician first tap with this K factor; Rayleigh without
};
struct Interferer {
  double offsetHz = 20e6;  // centre of the interfering channel from the wanted one
  double levelDb = 0.0;    // its mean power relative to the wanted signal's, -60 .. 60 dB
};

struct Settings {
  std::optional<Amplifier> amplifier;
  std::optional<IqImbalance> iq;
  std::optional<double> dcDbc;  // carrier leakage relative to the frame power, -80 .. 0 dBc
  std::optional<PhaseNoise> phaseNoise;
  std::optional<Channel> channel;
  std::optional<double> cfoHz;     // -1 MHz .. 1 MHz, and within the sample rate
  std::optional<double> clockPpm;  // -1000 .. 1000 ppm
  std::optional<double> snrDb;     // -20 .. 100 dB in the occupied band
  std::optional<Interferer> interferer;
  std::uint64_t seed = 1;

  bool any() const;
};

// The band the SNR is stated in: 52 sub-carriers of 312.5 kHz in a 20 MHz
// channel, of 156.25 and 78.125 kHz at 10 and 5 MHz spacing.
inline constexpr double kOccupiedBandwidthHz = 52 * 312.5e3;
constexpr double occupiedBandwidthHz(ChannelSpacing spacing) {
  return kOccupiedBandwidthHz * clockFactor(spacing);
}

// Checks every value against its range and the sample rate; raises an error
// that names the setting and what it accepts. The interferer is a channel of
// the wanted frames' spacing.
void validate(const Settings& s, double sampleRate, ChannelSpacing spacing = ChannelSpacing::MHz20);

// A burst of the wanted signal: samples [begin, end).
struct Burst {
  std::size_t begin = 0, end = 0;
};

// Applies the impairments to a waveform at `sampleRate` whose frames lie in
// `bursts` (sorted, not overlapping; empty means the whole waveform is one
// burst). The channel is drawn anew for every burst. The result has the
// length of the input except with a clock offset, which stretches or shrinks
// it by the ppm.
// The SNR is stated over the occupied band of the frames' spacing, and the
// interferer is a frame of that spacing.
Samples apply(std::span<const cplx> in, double sampleRate, std::span<const Burst> bursts,
              const Settings& s, ChannelSpacing spacing = ChannelSpacing::MHz20);

// Where a burst is after the clock offset of the settings (unchanged without
// one), within a waveform of `length` samples.
Burst stretched(const Burst& b, const Settings& s, std::size_t length);

// A one-line readable account of the settings ("IQ imbalance 0.5 dB, 2 deg; ...").
std::string describe(const Settings& s);

// ---- the single stages, for tests and measurements --------------------------------------

// Mean power over the bursts.
double burstPower(std::span<const cplx> x, std::span<const Burst> bursts);
// The tap powers of the exponential-decay channel at this sample rate, summing to 1:
// tap k has power proportional to exp(-k Ts / Trms), for k up to 10 Trms / Ts.
std::vector<double> exponentialProfile(double rmsDelayNs, double sampleRate);

// ---- frame sequences ------------------------------------------------------------------

// The gap between frames: microseconds, or "SIFS" (16 us) or "DIFS" (34 us).
// Raises an error for anything else or a value outside 0 .. 10000 us.
double gapMicroseconds(std::string_view text);

// The largest waveform of the instrument's memory options, in samples.
inline constexpr std::size_t kMemoryM08Samples = 8'000'000;
inline constexpr std::size_t kMemoryM32Samples = 32'000'000;

struct Sequence {
  Samples waveform;
  std::vector<std::uint8_t> marker1;  // 1 at the first sample of every frame
  std::vector<std::uint8_t> marker2;  // 1 during every burst
  std::vector<Burst> bursts;          // where the frames are (without their idle tail)
};

// Joins frames: frame i, then `gapSamples` of silence, then frame i + 1 (no
// gap after the last one). A frame's own idle interval stays part of it.
// Refuses, before it allocates, a total above `memorySamples`.
Sequence joinFrames(std::span<const Frame> frames, std::size_t gapSamples,
                    std::size_t memorySamples);

// The 2 x `length` marker matrix (column-major, as a download takes it) of a
// sequence after the impairments: marker 1 at every frame start, marker 2
// over every burst, where they are after the settings' clock offset.
std::vector<double> sequenceMarkers(std::span<const Burst> bursts, const Settings& s,
                                    std::size_t length);

// The total joinFrames would give for frames of these lengths; raises the
// refusal it would raise.
std::size_t sequenceLength(std::span<const std::size_t> frameLengths, std::size_t gapSamples,
                           std::size_t memorySamples);

}  // namespace dot11a::impair

DOT11A_API_END
