// Receiver-test waveforms from dot11a-gen's options: frame sequences,
// impairments and the presets of the receiver tests, given as the command
// line's texts and parsed into the typed settings of the impairment library.
// The command-line tool and the Python module share these rules and messages.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/frame_sequence.hpp"
#include "dot11a/generator_options.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// The options as texts, each as the command line takes it:
//   frames 1 .. 100000; gap "16", "SIFS" or "DIFS"; sequence a JSON file;
//   pa "rapp:P,BACKOFF_DB" or "clip:BACKOFF_DB"; iq "GAIN_DB,PHASE_DEG";
//   dc "DBC"; phaseNoise "DEG_RMS[,CORNER_HZ]"; channel "exp:RMS_NS[,rician:K_DB]";
//   cfo "HZ"; cfoPpm "PPM"; clockPpm "PPM"; snr "DB"; interferer "OFFSET_MHZ,LEVEL_DB";
//   seed "0" .. "18446744073709551615"; test "sensitivity" | "acr" | "alt-acr".
// Messages name the options in `spelling`.
struct ImpairOptions {
  std::optional<std::size_t> frames;
  std::optional<std::string> gap;  // microseconds, SIFS or DIFS
  bool seedStep = false;
  std::string sequenceFile;
  std::optional<std::string> pa, iq, dc, phaseNoise, channel, cfo, cfoPpm, clockPpm, snr,
      interferer, seed, test;
  OptionSpelling spelling = OptionSpelling::CommandLine;
};

// The receiver test a --test preset names, from Table 91 of the standard:
// the wanted level (sensitivity, or 3 dB above it for the rejection tests)
// and the interferer's offset and level.
struct ReceiverTest {
  std::string name;
  double rateMbps = 0;
  double wantedDbm = 0;
  std::optional<impair::Interferer> interferer;
  std::size_t frames = 0;
};

// Applies a --test preset to the parameter set (1000-octet PSDU, and for the
// rejection tests an oversampling that holds the interferer unless the user
// chose one); nothing without --test.
std::optional<ReceiverTest> applyTestPreset(const ImpairOptions& o, Value& p,
                                            bool oversamplingGiven);

// The impairment settings of the options; `frequency` is the carrier for
// --cfo-ppm. Raises an error naming the option and what it takes.
impair::Settings impairSettings(const ImpairOptions& o, const std::optional<double>& frequency,
                                const std::optional<ReceiverTest>& test);

// The sequence the options ask for (one frame without --frames / --sequence).
SequenceRequest sequenceRequest(const ImpairOptions& o, const std::optional<ReceiverTest>& test,
                                std::size_t memorySamples);

// The waveform of a sequence and impairments, in place of the single clean
// frame: samples, the waveform and 2 x n marker rows as a download takes them,
// and a readable account of what was done (for SigMF).
struct ReceiverTestWaveform {
  std::vector<std::complex<double>> samples;
  Value waveform, markers;
  std::string impairments;  // "100 frames; SNR 20 dB" (for SigMF)
  std::string settings;     // the impairments alone, empty without any
  std::size_t frames = 1;
  std::vector<std::size_t> frameStarts;          // first sample of every frame
  std::vector<std::vector<std::uint8_t>> psdus;  // of every frame, first bit in the LSB
};
ReceiverTestWaveform receiverTestWaveform(const ImpairOptions& o,
                                          const std::optional<ReceiverTest>& test,
                                          const std::optional<double>& frequency, const Value& p,
                                          double sampleRate);

// The same from typed settings: the sequence of `request` with the
// impairments `s` (checked at `sampleRate` before any frame is made).
ReceiverTestWaveform impairedSequence(const Value& p, const SequenceRequest& request,
                                      const impair::Settings& s, double sampleRate);

// Whether any sequence or impairment option was given.
bool receiverTestWanted(const ImpairOptions& o);

}  // namespace dot11a

DOT11A_API_END
