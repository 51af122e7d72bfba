// The waveform a frame job makes: the samples, the two marker rows, and what
// each frame in it is (where it starts, where its fields lie, its PSDU and
// rate), as every writer, plot and download reads them. make() is the one
// path from settings to samples for every front end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/frame_job.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/synthesis.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// One frame of a waveform.
struct WaveformFrame {
  std::size_t start = 0;           // its first sample (after a clock offset, where it is then)
  std::size_t burstEnd = 0;        // one past its burst's last sample (ditto)
  FrameLayout layout;              // its fields as synthesised, from its start
  std::vector<std::uint8_t> psdu;  // octets, the first bit in the least significant bit
  double rateMbps = 0;             // 0 for a custom modulation and coding
  std::string rateText;            // "54 Mbit/s, 64-QAM, coding 3/4"
};

struct Waveform {
  Samples samples;
  std::vector<std::uint8_t> marker1;  // 1 at the first sample of every frame
  std::vector<std::uint8_t> marker2;  // 1 during every burst
  double sampleRate = kBaseSampleRate;
  bool framed = true;
  bool fcs = false;               // every PSDU ends in a frame check sequence
  bool dacPrecompensated = true;  // the samples carry the DAC droop pre-compensation
  int oversampling = 1;           // the sample rate is the spacing's base rate times it
  ChannelSpacing spacing = ChannelSpacing::MHz20;
  int windowLength = 0;  // the symbols' edge window, in samples
  // A clock offset moved the samples: the frames' layouts no longer hold
  // sample for sample (start and burstEnd do).
  bool stretched = false;
  std::vector<WaveformFrame> frames;
  std::string signal;     // describeSignal() of the job: the sequence and impairments
  std::string scrambler;  // describeScrambler() of the job

  // "802.11a frame, 54 Mbit/s, 64-QAM, coding 3/4, PSDU 1024 octets", with
  // "N x " in front for a sequence and "10 MHz channel, " before the rate
  // at 10 and 5 MHz spacing.
  std::string description() const;
};

// Defined here so that the readers and writers of files, built on their own
// (the fuzz targets), need none of the synthesis.
inline std::string Waveform::description() const {
  if (frames.empty()) return "802.11a waveform";
  const WaveformFrame& f = frames.front();
  const std::string channel = spacing == ChannelSpacing::MHz20
                                  ? ""
                                  : std::to_string(spacingMHz(spacing)) + " MHz channel, ";
  const std::string one = "802.11a frame, " + channel + f.rateText + ", PSDU " +
                          std::to_string(f.psdu.size()) + " octets";
  return frames.size() > 1 ? std::to_string(frames.size()) + " x " + one : one;
}

// Every waveform a call makes is bounded by the memory its whole result
// takes, whatever front end asks for it. Per sample: the complex double
// samples (16 bytes) and the two marker bytes; the second sample buffer of an
// impairment pass (16); the boxed copies a call by name returns, the complex
// row (16) and the 2 x n double markers (16); and the caller's own copy of
// the samples, a numpy array (16). dot11a-call writes its text form as it
// goes, so the text adds nothing that stays. 82 bytes a sample within 4 GiB:
// about 52 million samples.
inline constexpr std::size_t kResultBudgetBytes = std::size_t{4} << 30;
inline constexpr std::size_t kResultBytesPerSample = 82;
inline constexpr std::size_t kMaxResultSamples = kResultBudgetBytes / kResultBytesPerSample;

// Refuses `what` ("The waveform", "The sequence") of `samples` samples when
// its result would take more than the budget, saying how much it would take
// and what is allowed.
void checkResultSize(std::size_t samples, std::string_view what);

// Makes the waveform of a job: the frame, or every frame of the sequence
// synthesised into place, then the impairments. Everything is checked first
// (the frame, the impairments at the sample rate, a sequence against the
// memory) and errors name the setting and what it accepts.
Waveform make(const FrameJob& job);

// The length make() gives, without synthesising (a clock offset's stretch and
// the memory bound included).
std::size_t projectedLength(const FrameJob& job);

}  // namespace dot11a

DOT11A_API_END
