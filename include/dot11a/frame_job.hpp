// One frame job: everything that decides the samples of a waveform, typed.
// The settings of one 802.11a frame (FrameParameters), the sequence that
// repeats it, the impairments applied afterwards, and the settings of the
// signal generator that plays it. The main window, dot11a-gen, the Python
// module and the operations by name each fill a FrameJob; make()
// (waveform.hpp) turns it into samples.
//
// The defaults of the structs are the application's defaults. The parameter
// file's record ("fileParameters") is converted to and from FrameParameters
// at the edge (frame_record.hpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/bitcoding.hpp"
#include "dot11a/export.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/payload.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/siggen_settings.hpp"
#include "dot11a/synthesis.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// dot11a-gen's names of the generated sources: "zeros" ... "pn15".
std::string_view payloadSourceName(PayloadSource s);
// The generated source of a name; false for any other text.
bool payloadSourceFromName(std::string_view name, PayloadSource& s);

// One field of the MAC header: its value (2 or 6 octets, least significant
// octet first on air) and whether it is sent.
struct MacField {
  std::uint64_t value = 0;
  bool sent = true;
};

// The seven fields of the MAC header in the record's order (FrameCntrl,
// DurationID, SeqCntrl, Address1 .. Address4; kMacFieldsRecordOrder).
struct MacHeaderFields {
  std::array<MacField, 7> fields{};

  MacField& operator[](std::string_view name);
  const MacField& operator[](std::string_view name) const;
  // The bits of the sent fields in air order, each least significant bit first.
  Bits bits() const;
};

// The settings of one frame.
struct FrameParameters {
  bool framed = true;  // preamble, SIGNAL, SERVICE and tail bits, idle interval
  Modulation modulation = Modulation::QAM64;
  CodingRate coding = {3, 4};
  bool scrambler = true;
  unsigned scramblerInit = 93;  // 0 .. 127; 0 leaves the data unscrambled
  bool interleaver = true;
  // Sub-carriers -26 .. 26, 1 on and 0 off; the centre one off.
  std::array<std::uint8_t, 53> subCarriers = defaultSubCarriers();
  long long idleSamples = 4000;  // after the burst, at the oversampled rate (100 us)
  bool mirror = false;
  int oversampling = 2;  // 1 .. 4: the sample rate is the spacing's base rate times it
  // 20 MHz channels, or the same samples half or quarter clocked (10, 5 MHz).
  ChannelSpacing spacing = ChannelSpacing::MHz20;
  int windowLength = 2;  // edge window in samples, 0 .. 16
  bool macHeaderActive = false;
  MacHeaderFields macHeader;
  bool fcs = false;
  unsigned service = 0;  // SERVICE field, 0 .. 65535
  PayloadSource source = PayloadSource::Zeros;
  int dataLength = 1024;   // payload octets without the header and FCS
  std::string sourceName;  // the payload file as named, empty for none
  Bits sourceBits;         // the payload file's bits (kept when another source is chosen)

  static std::array<std::uint8_t, 53> defaultSubCarriers();

  // The sample rate of the waveform: the spacing's base rate (20, 10 or
  // 5 Msps) times the oversampling.
  double sampleRate() const;
  // The nominal data rate in Mbit/s at the spacing (27 for 64-QAM 3/4 at
  // 10 MHz); 0 for a custom modulation and coding.
  double dataRate() const;
  // "54 Mbit/s, 64-QAM, coding 3/4" ("custom rate, ..." off the rate table),
  // the rate at the spacing ("4.5 Mbit/s, ..." for BPSK 3/4 at 10 MHz).
  std::string rateText() const;
  // Octets of the MAC header (its sent fields), sent or not.
  int headerOctets() const;
  // Octets of the PSDU: the data length with the active header and FCS.
  int totalLength() const;
  // The largest data length that still fits the 4095 octets the SIGNAL field
  // can announce with the active header and FCS.
  int dataLengthLimit() const;
  // The payload bits: the source (8 x dataLength bits, or the payload file's
  // bits), the MAC header in front and the FCS behind when they are active.
  Bits payload() const;
  // The same, refused with an error a person can act on when it is empty or
  // longer than the SIGNAL field can announce.
  Bits psdu() const;
  // The layout's inputs and the synthesis' settings (with the DAC droop
  // pre-compensation the application always applies).
  FrameShape shape() const;
  FrameSettings synthesis() const;
};

// Why the settings cannot be synthesised (every bounded field against the
// bounds table, the coding rate, the mask), empty when they can.
std::string frameProblem(const FrameParameters& f);

inline constexpr std::size_t kMaxSequenceFrames = 100000;

// The per-frame entries of a sequence file: {"frames": [{"rate": 24,
// "length": 100, "source": "pn9"}, ...]}; each key optional.
struct SequenceEntry {
  double rate = 0;     // 0: as the frame
  double length = 0;   // octets of payload, 0: as the frame
  std::string source;  // zeros ones alt01 alt10 pn9 pn15, empty: as the frame
};

// The gap between the frames of a sequence: microseconds, or an interframe
// space by name.
struct Gap {
  double us = 0;     // 0 .. 10000
  std::string name;  // "SIFS" (16 us) or "DIFS" (34 us), empty when given in microseconds

  // Microseconds ("16", "2.5"), "SIFS" or "DIFS" (either case); raises an
  // error saying what it takes for anything else.
  static Gap parse(std::string_view text);
  // As given: the name, or the microseconds in the shortest form.
  std::string text() const;
  // The gap's duration at a channel spacing: a name stands for that
  // spacing's interframe space (SIFS 16, 32 or 64 us), microseconds for
  // themselves.
  double microseconds(ChannelSpacing s) const;
};

// A sequence of frames: frame i + 1 follows frame i (and its idle interval)
// after the gap. From frame to frame the MAC sequence number counts up, a PN
// payload continues, and the scrambler seed steps when asked; a sequence file
// sets rate, length and source per frame, its list repeating.
struct SequenceSettings {
  std::size_t frames = 1;  // 1 .. kMaxSequenceFrames
  Gap gap;
  bool seedStep = false;  // scrambler seed 1 .. 127 stepping by one per frame
  std::string file;       // JSON sequence file, empty for none

  // More than one frame, or a sequence file.
  bool active() const { return frames > 1 || !file.empty(); }
};

// The seed of the impairments' draws from its decimal text; anything else
// raises "<what> a whole number from 0 to 18446744073709551615, not "<text>".".
std::uint64_t parseSeed(std::string_view text, std::string_view what);

// Everything that decides a waveform.
struct FrameJob {
  FrameParameters frame;
  SequenceSettings sequence;
  impair::Settings impairments;
  // The signal generator's settings; generator.frequency is the carrier.
  SigGenSettings generator = defaultSigGenSettings(2);
  // The carrier is known (the window always knows it; the tools when it was
  // given): SigMF records it.
  bool carrierKnown = false;
  // The instrument's memory bounds a sequence.
  std::size_t memorySamples = impair::kMemoryM32Samples;

  // More than the one clean frame: a sequence or impairments.
  bool receiverTest() const { return sequence.active() || impairments.any(); }
};

// "100 frames, gap SIFS, scrambler seed stepping; SNR 20 dB; seed 1": what
// the sequence and the impairments do, empty for the one clean frame.
std::string describeSignal(const FrameJob& job);

// The scrambler as a summary states it: "seed 0x5D", "seeds stepping from
// 0x5D", or "not scrambled (seed 0)" / "not scrambled (off)": a frame whose
// scrambler does not change its bits is said to be so.
std::string describeScrambler(const FrameJob& job);

// Reads and checks a sequence file; errors name `option` (the front end's
// name of the file setting), the entry and the key that is wrong.
std::vector<SequenceEntry> readSequenceFile(const std::string& path, std::string_view option);

// Frame i (0-based) of the job's sequence: what the sequence file says for it,
// the sequence number, the stepped seed and the continued PN payload.
FrameParameters sequenceFrame(const FrameJob& job, const std::vector<SequenceEntry>& entries,
                              std::size_t i);

}  // namespace dot11a

DOT11A_API_END
