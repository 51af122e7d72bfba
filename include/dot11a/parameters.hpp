// The parameter set record of one 802.11a frame ("parameters" of the main
// window, "fileParameters" of a parameter file) where it is still read as a
// record: its default, its derived fields, and the frame it gives. The typed
// frame is FrameParameters (frame_job.hpp); frame_record.hpp converts.
//
// The record's field names and order are those of the parameter files:
// ParameterFileFormat_ID, generationMode, dataRate, modulation, encoderRate,
// scramblerActive, scramblerInit, interleaverActive, SubCarriers, idleSamples,
// MirrorSpectrum, OverSampling, WindowingLength, MACheader {Active, Length,
// Contents}, MACfcs {Active, Length, Contents}, serviceField, dataSourceType,
// dataLength, dataSourceName, dataSourceBitstream, totalLength, ProjectedLength.
#pragma once

#include <string>
#include <string_view>

#include "dot11a/export.hpp"
#include "dot11a/frame_job.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

inline constexpr std::string_view kParameterFileFormatId = "dot11a - Format 1.0";
// The format identifier a parameter file must carry to replace this set: the
// set's own, or kParameterFileFormatId when it has none.
std::string parameterFileFormatIdOf(const Value& parameters);

// The default parameter set: the record of FrameParameters{} (ProjectedLength
// is 0 until the window first computes it).
Value defaultParameters();

// The nominal data rate in Mbit/s for a modulation code (1 BPSK .. 4 64-QAM) and
// a coding rate; 0 for a combination that is not a standard rate ("Custom").
double dataRateFor(double modulation, double encoderRate);
// The item of the data-rate list (1..8 for 6..54 Mbit/s, 9 for Custom).
int dataRateItem(double modulation, double encoderRate);
// The modulation and coding rate of a data-rate list item 1..8.
struct RatePair {
  double dataRate;
  double modulation;
  double encoderRate;
};
RatePair ratePairOfItem(int item);

// The user-file source: asks for a payload file (loadUserDataFile with the
// 4095-byte limit) and, when one was read, stores its bits as the source,
// sets the data length to its byte count and the source to the user file.
// Returns false, changing nothing, when the user cancelled or the file could
// not be read.
bool loadUserFile(FrameParameters& frame);

// Recomputes dataRate, totalLength and ProjectedLength of a record that holds
// a usable parameter set.
void updateDerivedFields(Value& parameters);

// The frame of a parameter set record as the main window calculates it, as the
// waveform row and the 2 x n marker rows the operations by name return.
struct FrameResult {
  Value waveform;
  Value markers;
};
FrameResult calculateFrame(const Value& parameters);

}  // namespace dot11a

DOT11A_API_END
