// dot11a-gen's receiver-test options on the command line: frame sequences,
// impairments and the receiver-test presets, read as texts into the library's
// ImpairOptions (dot11a/receiver_test.hpp), which parses them.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>

#include "dot11a/receiver_test.hpp"

namespace dot11a::cli {

void addImpairOptions(CLI::App& app, ImpairOptions& o);

// A line each for the sequence, the impairments and the receiver test.
void printReceiverTest(const ReceiverTestWaveform& w, const std::optional<ReceiverTest>& test);

}  // namespace dot11a::cli
