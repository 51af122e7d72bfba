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

// Which of the options a tool takes: dot11a-gen all of them; the PER bench
// the impairments without the white noise, the seed and the presets (its
// points set the SNR, its own --seed the draws) and without the sequence
// (it makes one frame at a time).
enum class ImpairOptionsFor { Generator, Bench };

void addImpairOptions(CLI::App& app, JobOptions& o, ImpairTexts& t,
                      ImpairOptionsFor which = ImpairOptionsFor::Generator);
// The texts into the options; raises an error naming the option and its form.
void readImpairTexts(const ImpairTexts& t, JobOptions& o);

// A line each for the sequence, the impairments and the receiver test.
void printReceiverTest(const FrameJob& job, const Waveform& w,
                       const std::optional<ReceiverTest>& test);

}  // namespace dot11a::cli
