// Reading complex baseband captures for verification: the waveform files our
// tools write (MAT containers, SigMF, the 16-bit sample file) and raw cf32_le.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/rate_table.hpp"

DOT11A_API_BEGIN

namespace dot11a {

enum class CaptureFormat { Auto, Mat, Sigmf, Sample16, Cf32 };

struct Capture {
  std::vector<std::complex<double>> samples;
  std::optional<double> sampleRate;  // when the file states it
  std::string format;                // what was read, for reports
  // The file records that its samples are pre-compensated for the droop of a
  // DAC clocked at their rate (our own SigMF and MAT containers do).
  bool dacPrecompensated = false;
  // The channel spacing the file records (our SigMF recordings of 10 and
  // 5 MHz frames), absent when it records none.
  std::optional<ChannelSpacing> spacing{};
};

// The format a file name's extension names (Auto when none fits).
CaptureFormat captureFormatOf(std::string_view path);
// "mat", "sigmf", "bin", "cf32" (or "auto") as a format; false for any other text.
bool captureFormatFromText(std::string_view text, CaptureFormat& format);

// Reads a capture. Raises a run-time error that names the file and what is
// wrong with it; an empty file gives no samples. Every format holds at most
// 2^26 samples; a larger file is refused before it is read. A SigMF data file
// whose SHA-512 differs from the one its metadata records is refused.
Capture readCapture(const std::string& path, CaptureFormat format = CaptureFormat::Auto);

// The byte parsers behind readCapture, for data already in memory.
// 16-bit sample file: I then Q, big-endian two's complement, scaled to +-1.
std::vector<std::complex<double>> parseSample16(std::span<const std::uint8_t> bytes);
// cf32_le: I then Q, little-endian IEEE floats.
std::vector<std::complex<double>> parseCf32(std::span<const std::uint8_t> bytes);
// SigMF metadata: the data type (only cf32_le and ci16_le are read), the
// sample rate, the data's SHA-512 (lower-case hexadecimal) when recorded, and
// whether the samples are pre-compensated for the DAC.
struct SigmfMeta {
  std::string datatype;
  std::optional<double> sampleRate;
  std::optional<std::string> sha512;
  bool dacPrecompensated = false;
  std::optional<ChannelSpacing> spacing{};  // kSigmfSpacingKey, when recorded
};
SigmfMeta parseSigmfMeta(std::string_view json);

}  // namespace dot11a

DOT11A_API_END
