// The receiver-test signal of the desktop window: a frame sequence and the
// impairments applied to the frames of the parameter set, the record parameter
// files store them in ("SignalSettings"), and the waveform they give.
#pragma once

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

struct SignalSettings {
  std::size_t frames = 1;    // 1 .. kMaxSequenceFrames
  std::string gap = "0";     // microseconds, "SIFS" or "DIFS", as typed
  bool seedStep = false;     // scrambler seed stepping 1 .. 127 from frame to frame
  std::string sequenceFile;  // JSON list of per-frame rate, length and source; empty: none
  impair::Settings impairments;

  // More than one frame, or a sequence file: the waveform is a sequence.
  bool sequence() const { return frames > 1 || !sequenceFile.empty(); }
  // Anything other than the one clean frame of the parameter set.
  bool active() const { return sequence() || impairments.any(); }
};

inline constexpr std::size_t kMaxSequenceFrames = 100000;

// Checks the frame count, the gap, the sequence file (read and checked) and
// the impairments at this sample rate; raises an error that names the
// setting and what it accepts.
void validate(const SignalSettings& s, double sampleRate);

// The record and back. Reading raises an error naming the field that is
// missing or wrong; the values themselves are checked by validate().
Value toValue(const SignalSettings& s);
SignalSettings signalSettingsFromValue(const Value& record);

// A one-line account: "100 frames, gap 16 us; SNR 20 dB; seed 1", empty for
// the clean frame.
std::string describe(const SignalSettings& s);

// The length of the waveform the settings make from the parameter set, a
// clock offset's stretch included; raises the memory refusal when it is over
// `memorySamples`. Nothing is synthesised.
std::size_t signalLength(const Value& parameters, const SignalSettings& s,
                         std::size_t memorySamples);

// The waveform: every frame synthesised, joined and impaired; marker 1 at
// every frame start and marker 2 over every burst (where they are after a
// clock offset), as the 1 x n waveform and 2 x n marker rows a download takes.
// Checks the settings and the memory bound before anything is made.
struct SignalWaveform {
  std::vector<std::complex<double>> samples;
  Value waveform, markers;
  std::size_t frames = 1;
  std::string description;  // describe() of the settings
};
SignalWaveform signalWaveform(const Value& parameters, const SignalSettings& s,
                              std::size_t memorySamples);

}  // namespace dot11a

DOT11A_API_END
