// The parameter set of one 802.11a frame: its default record, the derived
// fields, and the calculation that turns it into a waveform. The main window
// and the command-line generator both use these.
//
// The record's field names and order are those of the parameter files:
// ParameterFileFormat_ID, generationMode, dataRate, modulation, encoderRate,
// scramblerActive, scramblerInit, interleaverActive, SubCarriers, idleSamples,
// MirrorSpectrum, OverSampling, WindowingLength, MACheader {Active, Length,
// Contents}, MACfcs {Active, Length, Contents}, serviceField, dataSourceType,
// dataLength, dataSourceName, dataSourceBitstream, totalLength, ProjectedLength.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "dot11a/bitcoding.hpp"
#include "dot11a/export.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

inline constexpr std::string_view kParameterFileFormatId = "dot11a - Format 1.0";
// The format identifier a parameter file must carry to replace this set: the
// set's own, or kParameterFileFormatId when it has none.
std::string parameterFileFormatIdOf(const Value& parameters);

// The default parameter set (ProjectedLength is 0 until updateDerivedFields).
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

// Octets in the PSDU: dataLength plus the active MAC header and FCS lengths.
double totalLength(const Value& parameters);
// The largest dataLength that still fits 4095 octets with the active header
// and FCS.
double dataLengthLimit(const Value& parameters);
// dataLength clamped to 1 .. dataLengthLimit (no number gives the limit).
double clampDataLength(const Value& parameters, double newLength);

// The user-file source: asks for a payload file (loadUserDataFile with the
// 4095-byte limit) and, when one was read, stores its bits as
// dataSourceBitstream, sets dataLength to its byte count and dataSourceType to
// 7. Returns false, changing nothing, when the user cancelled or the file could
// not be read.
bool loadUserFileInto(Value& parameters);

// Recomputes dataRate, totalLength and ProjectedLength.
void updateDerivedFields(Value& parameters);

// The payload of a calculation: dot11_GeneratePayload of the parameter set,
// refused with a clear error when it is empty (a user file of no bytes) or
// longer than the SIGNAL field can announce.
Value calculationPayload(const Value& parameters);
// The same as bits, for the typed synthesis.
Bits calculationBits(const Value& parameters);

// The calculation of the main window: the payload, then dot11a_FRAME with the
// fifteen inputs from the parameter set (sinc compensation 1). Returns the
// waveform and the markers.
struct FrameResult {
  Value waveform;
  Value markers;
};
FrameResult calculateFrame(const Value& parameters);

}  // namespace dot11a

DOT11A_API_END
