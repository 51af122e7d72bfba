// Parameter files, the stored configuration, waveform files (containers, the
// 16-bit Zenfold sample file, SigMF recordings) and PCAP captures of the PSDU.
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
#include "dot11a/value.hpp"
#include "dot11a/waveform.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// Appends `extension` unless `filename` already ends with it (case counts).
std::string addFileExtention(std::string_view filename, std::string_view extension);

// ---- parameter files and the stored configuration ----------------------------

inline constexpr std::string_view kConfigFileName = "defaults.mat";

// Writes `fileParameters` and `filename` (the path) to a parameter file, and
// the signal-generator settings as the optional variable "SigGenSettings"
// and the window's receiver-test signal (frame sequence and impairments) as
// the optional variable "SignalSettings" when they are given (readers that do
// not know them pass over them).
void writeParameterFile(const std::string& path, const Value& fileParameters,
                        const Value& sigGenSettings = Value::empty(),
                        const Value& signalSettings = Value::empty());

// Outcome of reading a parameter file: the record, or the reason it was refused
// (the text shown under the path: "has an Invalid File Format." and so on, or
// the read error).
struct ParameterFileRead {
  std::optional<Value> parameters;
  std::string problem;     // set when parameters is empty
  bool readError = false;  // true: `problem` is the read error itself
  // The generator settings stored beside the parameters; absent in files
  // written before they were stored, and in files whose record is not a record.
  std::optional<Value> sigGenSettings;
  // The receiver-test signal stored beside them, as stored (the caller reads
  // it); absent in files that have none.
  std::optional<Value> signalSettings;
};
ParameterFileRead readParameterFile(const std::string& path, std::string_view expectedFormatId);

// Empty when `candidate` can replace the running parameter set: every field of
// `reference` (the default set) present, of the same kind, with the sizes and
// ranges the calculation relies on. Otherwise a description of the first
// problem.
std::string parameterSetProblem(const Value& candidate, const Value& reference);

// ---- waveform files -------------------------------------------------------------

// The 16-bit sample file: I and Q of each sample as big-endian two's
// complement, scaled so the largest component becomes (32766 * scale), with
// scale limited to 1e-5 .. 1.
std::vector<std::uint8_t> zenfoldBytes(std::span<const std::complex<double>> samples,
                                       double scale = 1.0);

// The containers' variable that records a waveform pre-compensated for the
// sin(x)/x droop of a DAC clocked at its own sample rate (1), as everything
// the synthesis makes is; a receiver judges flatness after that droop.
inline constexpr std::string_view kDacPrecompensatedVariable = "dacPrecompensated";
// The same fact in a SigMF recording's global object (true or false).
inline constexpr std::string_view kSigmfDacKey = "dot11a:dac_precompensated";
// A SigMF recording's channel spacing in Hz (10e6, 5e6), written for 10 and
// 5 MHz frames; a recording without it holds 20 MHz frames.
inline constexpr std::string_view kSigmfSpacingKey = "dot11a:channel_spacing";

// Container "samples": an N x 2 real matrix [I Q] (pairs) or an N x 1 complex
// column, and "dacPrecompensated" (1 or 0).
void writeSamplesContainer(const std::string& path, std::span<const std::complex<double>> samples,
                           bool iqColumns, bool dacPrecompensated = true);
// Container "samplePoints", "sampleRate", "wave" (2 x N: I row, Q row) and
// "dacPrecompensated" (1 or 0).
void writeSaveWaveContainer(const std::string& path, std::span<const std::complex<double>> samples,
                            double sampleRate, bool dacPrecompensated = true);

// A marked stretch of a SigMF recording.
struct SigmfAnnotation {
  std::uint64_t sampleStart = 0;
  std::uint64_t sampleCount = 0;
  std::string label;
  std::string comment;
};
struct SigmfInfo {
  double sampleRate = kBaseSampleRate;
  std::optional<double> frequency;  // carrier frequency in Hz, when known
  std::string description;
  std::vector<SigmfAnnotation> annotations;
  // Pre-compensated for the droop of a DAC clocked at sampleRate (recorded as
  // "dot11a:dac_precompensated").
  bool dacPrecompensated = false;
  // What was done to the waveform after synthesis (recorded as
  // "dot11a:impairments" when not empty).
  std::string impairments;
  // The frames' channel spacing (kSigmfSpacingKey when not 20 MHz).
  ChannelSpacing spacing = ChannelSpacing::MHz20;
};
// Raises, before anything is written to `path`, when a sample is Inf or NaN
// (naming the first such sample, counted from 1) or when `sampleRate` is given
// and is not a positive number: no file format holds such a waveform
// faithfully, and readers refuse such a rate.
void checkWaveformToWrite(const std::string& path, std::span<const std::complex<double>> samples,
                          std::optional<double> sampleRate = std::nullopt);

// The two paths of a recording named by either of its files or by its base.
struct SigmfPaths {
  std::string data;
  std::string meta;
};
SigmfPaths sigmfPaths(std::string_view name);
// The metadata text (JSON) of a recording; with `dataSha512` (the data file's
// digest in hexadecimal) it is recorded as core:sha512.
std::string sigmfMetadata(const SigmfInfo& info, std::size_t sampleCount,
                          std::string_view dataSha512 = {});
// Writes NAME.sigmf-data (cf32_le) and NAME.sigmf-meta, which records the
// data's SHA-512: readers refuse a data file that does not match it. Both
// files are replaced, or neither.
void writeSigmf(std::string_view name, std::span<const std::complex<double>> samples,
                const SigmfInfo& info);

// One IEEE 802.11 frame of a capture file: its PSDU, whether the last four
// octets are a frame check sequence, the data rate (0: not recorded) and the
// time stamp in seconds.
struct PcapPacket {
  std::span<const std::uint8_t> psdu;
  bool withFcs = false;
  double rateMbps = 0;
  double seconds = 0;
};
// A capture file of the packets, each with a radio header that carries the
// FCS flag and the data rate.
void writePcap(const std::string& path, std::span<const PcapPacket> packets);
// A capture file of one PSDU, stamped with the time of writing.
void writePcap(const std::string& path, std::span<const std::uint8_t> psdu, bool withFcs,
               double rateMbps = 0);

// ---- the waveform files of a Waveform ---------------------------------------------------

// The one writer of each waveform file, for every front end.
enum class WaveformFormat {
  Sigmf,           // NAME.sigmf-meta + NAME.sigmf-data: rate, carrier, every frame annotated
  SaveWave,        // MAT container "samplePoints", "sampleRate", "wave" (I and Q rows)
  SixteenBit,      // interleaved 16-bit big-endian I/Q
  PsduCapture,     // PCAP, one packet per frame, stamped with its time in the waveform
  SamplesComplex,  // MAT container "samples": the complex column
  SamplesPairs,    // MAT container "samples": N x 2, I and Q columns
};
// The two MAT containers by the names the tools take: "samples" and "wave".
std::optional<WaveformFormat> matContainerOf(std::string_view name);
// The format a file name's extension asks for (.sigmf-meta, .sigmf-data,
// .sigmf, .bin, .pcap, and .mat, which is `mat`); nullopt for any other.
std::optional<WaveformFormat> waveformFormatOf(std::string_view path,
                                               WaveformFormat mat = WaveformFormat::SamplesComplex);
// The extensions waveformFormatOf() takes, for messages.
inline constexpr std::string_view kWaveformExtensions =
    ".mat, .bin, .sigmf-meta, .sigmf-data or .pcap";
// The name with the format's extension added when it does not end in it.
std::string withWaveformExtension(std::string_view name, WaveformFormat format);

// What a waveform file records beside the samples: the carrier (SigMF, when
// known) and the sample rate the SaveWave container states (the waveform's
// own unless given: the window's Special Save Wave states the instrument's).
struct WaveformFileOptions {
  std::optional<double> carrier;
  std::optional<double> sampleRate;
};
// The SigMF description, the account of the sequence and impairments, and
// the annotations: each frame's preamble, SIGNAL and DATA, or where a clock
// offset moved the frames, each frame's burst.
SigmfInfo sigmfInfoOf(const Waveform& w, std::optional<double> carrier);
// Writes the waveform in that format (atomically, as every writer here does).
void writeWaveform(const std::string& path, WaveformFormat format, const Waveform& w,
                   const WaveformFileOptions& options = {});

}  // namespace dot11a

DOT11A_API_END
