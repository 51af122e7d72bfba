// dot11a-gen's receiver-test options on the command line: frame sequences,
// impairments and the receiver-test presets. Numbers and flags bind into
// JobOptions; the compound forms ("rapp:2,6", "0.5,2") are read as texts and
// turned into the typed settings by the library's parsers, which the Python
// module's texts share.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "dot11a/job_options.hpp"
#include "dot11a/waveform.hpp"

namespace dot11a::cli {

struct ImpairTexts {
  std::optional<std::string> gap, pa, iq, dc, phaseNoise, channel, cfo, cfoPpm, clockPpm, snr,
      interferer, seed;
};

void addImpairOptions(CLI::App& app, JobOptions& o, ImpairTexts& t);
// The texts into the options; raises an error naming the option and its form.
void readImpairTexts(const ImpairTexts& t, JobOptions& o);

// A line each for the sequence, the impairments and the receiver test.
void printReceiverTest(const FrameJob& job, const Waveform& w,
                       const std::optional<ReceiverTest>& test);

}  // namespace dot11a::cli
