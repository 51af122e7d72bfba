// A calculated frame with what its files record (the rate it was made at,
// where its fields lie, its PSDU), and the waveform files it is exported to.
// The desktop application's File > Export Waveform and the command-line
// generator describe a frame through the same functions.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/dialogs.hpp"
#include "dot11a/export.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

struct CalculatedFrame {
  std::vector<std::complex<double>> samples;
  double sampleRate = kBaseSampleRate;
  FrameLayout layout;
  std::vector<std::uint8_t> psdu;  // octets, first bit in the least significant bit
  std::string rateText;            // "54 Mbit/s, 64-QAM, coding 3/4"
  double rateMbps = 0;             // 0 for a custom modulation and coding
  bool fcsActive = false;          // the PSDU ends in a frame check sequence
  bool dacPrecompensated = true;   // the samples carry the DAC droop pre-compensation
  Value waveform, markers;         // as calculated, for a download
};

// Calculates the frame of a parameter set.
CalculatedFrame calculatedFrame(const Value& parameters);

// "54 Mbit/s, 64-QAM, coding 3/4" ("custom rate, ..." off the rate table).
std::string rateDescription(const Value& parameters);

// The SigMF description and annotations (preamble, SIGNAL, DATA) of a frame.
SigmfInfo sigmfInfoOf(const CalculatedFrame& frame, std::optional<double> frequency);

// The waveform files of the application's export.
enum class WaveformFile {
  Sigmf,        // NAME.sigmf-meta + NAME.sigmf-data: rate, centre frequency, annotations
  SaveWave,     // MAT container: samplePoints, sampleRate, wave (I and Q rows)
  SixteenBit,   // interleaved 16-bit big-endian I/Q
  PsduCapture,  // PCAP of the PSDU
};
// The file dialog's filters, in the order of WaveformFile.
std::vector<FileFilter> waveformFileFilters();
// The name with the format's extension added when it does not end in it.
std::string withWaveformExtension(std::string_view name, WaveformFile format);
// Writes the frame in that format (atomically, as every writer here does).
void writeWaveformFile(const std::string& path, WaveformFile format, const CalculatedFrame& frame,
                       std::optional<double> frequency);

}  // namespace dot11a

DOT11A_API_END
