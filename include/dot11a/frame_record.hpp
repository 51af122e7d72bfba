// The frame job's records at the edge: the parameter set record
// ("fileParameters" of a parameter file, the main window's "parameters",
// the input of the operations by name) and the receiver-test signal record
// ("SignalSettings"), each converted in one place each way. The files keep
// their formats: field names, order and kinds are those of the records the
// application has always written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "dot11a/export.hpp"
#include "dot11a/frame_job.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/value.hpp"
#include "dot11a/waveform.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// The optional field of the channel spacing in MHz (20, 10 or 5); written
// only for 10 and 5 MHz frames, read as 20 when absent.
inline constexpr std::string_view kChannelSpacingField = "ChannelSpacing";

// The parameter set record of a frame: every field in the file's order, the
// derived ones (dataRate, totalLength, ProjectedLength, MACheader.Length and
// its BitStream) computed from the typed fields.
Value toRecord(const FrameParameters& frame);
// The frame of a parameter set record. Raises an error naming the field that
// is missing, of the wrong kind or out of range (the checks of a parameter
// file, parameterSetProblem).
FrameParameters fromRecord(const Value& parameters);

// The typed header of a MAC header contents record (the MAC header dialog's
// result, MACheader.Contents): each field's Contents and Active.
MacHeaderFields macHeaderOf(const Value& contents);

// The receiver-test signal record: Frames, Gap, SeedStep, SequenceFile and
// the impairments (an impairment that is off is empty; the seed is a text).
Value toSignalRecord(const SequenceSettings& sequence, const impair::Settings& impairments);
// Reads the record into `sequence` and `impairments`. Raises an error naming
// the field that is missing or wrong; the values are checked by make().
void fromSignalRecord(const Value& record, SequenceSettings& sequence,
                      impair::Settings& impairments);

// The receiver-test preset a signal was made with (the window's Signal >
// Receiver Test): its name and the frame count asked for, none when the
// preset chose it. Kept in the signal record's optional "ReceiverTest"
// field, which records written before it existed lack.
struct ReceiverTestChoice {
  std::string name;
  std::optional<std::size_t> frames;
  bool operator==(const ReceiverTestChoice&) const = default;
};
// The record with the choice in its "ReceiverTest" field.
Value withReceiverTest(Value signalRecord, const ReceiverTestChoice& choice);
// The choice a signal record holds, none when it holds none. Raises an error
// naming the field when it is there but wrong.
std::optional<ReceiverTestChoice> receiverTestOf(const Value& signalRecord);

// The waveform as the operations by name and a download take it: the 1 x n
// sample row and the 2 x n marker rows (marker 1 above marker 2).
struct WaveformValues {
  Value waveform;
  Value markers;
};
WaveformValues toValues(const Waveform& w);

// What the receiver is told of a waveform it verifies (the DAC droop
// pre-compensation, the FCS, the symbols' window at the sample rate), for
// rx::optionsFor: dot11a-gen --verify and the window's Demodulate both ask it.
rx::MadeWith madeWith(const Waveform& w);

// The one parameter-file writer of every front end: the frame, the
// generator settings ("SigGenSettings", with the C platform's fields when
// asked) and, when the job is more than one clean frame, the signal, with
// the receiver-test preset that made it when one did.
void writeJobFile(const std::string& path, const FrameJob& job, bool platformC = false,
                  const std::optional<ReceiverTestChoice>& test = std::nullopt);

}  // namespace dot11a

DOT11A_API_END
