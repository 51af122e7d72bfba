// dot11a-gen's receiver-test options: frame sequences, impairments and the
// presets of the receiver tests; parsed into the typed settings of the
// impairment library.
#pragma once

#include <CLI/CLI.hpp>
#include <complex>
#include <optional>
#include <string>

#include "sequence_cli.hpp"

#include "dot11a/impair.hpp"
#include "dot11a/value.hpp"

namespace dot11a::cli {

struct ImpairOptions {
  std::optional<std::size_t> frames;
  std::optional<std::string> gap;  // microseconds, SIFS or DIFS
  bool seedStep = false;
  std::string sequenceFile;
  std::optional<std::string> pa, iq, dc, phaseNoise, channel, cfo, cfoPpm, clockPpm, snr,
      interferer, seed, test;
};

void addImpairOptions(CLI::App& app, ImpairOptions& o);

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
// and a readable account of what was done (for SigMF). Prints a line each for
// the sequence, the impairments and the receiver test.
struct ReceiverTestWaveform {
  std::vector<std::complex<double>> samples;
  Value waveform, markers;
  std::string impairments;
  std::size_t frames = 1;
};
ReceiverTestWaveform receiverTestWaveform(const ImpairOptions& o,
                                          const std::optional<ReceiverTest>& test,
                                          const std::optional<double>& frequency, const Value& p,
                                          double sampleRate);

// Whether any sequence or impairment option was given.
bool receiverTestWanted(const ImpairOptions& o);

}  // namespace dot11a::cli
