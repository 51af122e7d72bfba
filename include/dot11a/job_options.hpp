// dot11a-gen's options and the Python module's keywords as one typed set: each
// front end reads what it is given (CLI11's texts, Python's numbers) into
// JobOptions, and jobOf() makes the frame job from it with one set of rules:
// the order the options apply in, their bounds, the receiver-test presets,
// and messages that name the option in the front end's spelling.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/frame_job.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/receiver_test.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// How a message spells an option: "--scrambler-init" on the command line,
// "scrambler_init" as a Python keyword.
enum class OptionSpelling { CommandLine, Keyword };

// The option `name` (as the command line writes it without "--", words joined
// by '-') in the caller's spelling.
std::string optionName(std::string_view name, OptionSpelling spelling);

struct JobOptions {
  // The frame: the defaults, or the parameter file `params`, changed by each
  // option given. They apply in a fixed order whatever order they come in:
  // the rate before modulation and coding, the source before the length, the
  // oversampling before the idle interval (which keeps its duration unless it
  // is given too).
  std::string params;
  // The channel spacing in MHz: 20, 10 or 5 (applied first: the rate is
  // given at the spacing, 3 .. 27 Mbit/s at 10 MHz). The frame's samples
  // stay as they are, idle interval included; only the clock changes.
  std::optional<double> channelSpacingMHz;
  std::optional<double> rate;             // 6 9 12 18 24 36 48 54 at 20 MHz
  std::optional<std::string> modulation;  // bpsk qpsk 16qam 64qam
  std::optional<std::string> coding;      // 1/2 2/3 3/4 1
  bool unframed = false;
  std::optional<double> length;       // octets, 1 .. 4095 less the header and FCS
  std::optional<std::string> source;  // zeros ones alt01 alt10 pn9 pn15, or a payload file
  std::optional<bool> macHeader, fcs, scrambler, interleaver;
  std::optional<double> scramblerInit;  // 0 .. 127, 0: not scrambled
  std::optional<double> service;        // 0 .. 65535
  std::optional<double> oversampling;   // 1 .. 4
  std::optional<double> window;         // 0 .. 16 samples
  std::optional<double> idleUs;         // 0 .. 1000 us
  bool mirror = false;
  std::optional<std::vector<double>> mask;  // 53 values of 0 and 1, sub-carriers -26 .. 26

  // The sequence: one frame, the sequence file's count, the preset's, or
  // `frames` when given.
  std::optional<double> frames;  // 1 .. 100000
  std::optional<Gap> gap;
  bool seedStep = false;
  std::string sequenceFile;

  // The impairments (the seed is 1 unless given); cfoPpm is the carrier
  // offset in ppm of `frequency`.
  impair::Settings impairments;
  std::optional<double> cfoPpm;
  // A receiver-test preset: sensitivity, acr or alt-acr.
  std::optional<std::string> test;
  // The carrier frequency in Hz, when given.
  std::optional<double> frequency;
};

struct OptionsJob {
  FrameJob job;
  std::optional<ReceiverTest> test;
  // The preset as a parameter file records it (the frame count when asked).
  std::optional<ReceiverTestChoice> choice;
};
// The frame job of the options. Raises dot11a::Error naming the option (in
// `spelling`) and what it accepts.
OptionsJob jobOf(const JobOptions& options, OptionSpelling spelling);

// ---- the impairment options' forms ---------------------------------------------------

// An impairment option given as numbers: the command line's comma list, or a
// Python number or tuple. Names: iq-imbalance (GAIN_DB,PHASE_DEG), dc (DBC),
// phase-noise (DEG_RMS[,CORNER_HZ]), cfo (HZ), cfo-ppm (PPM), clock-ppm (PPM),
// snr (DB), interferer (OFFSET_MHZ,LEVEL_DB). `given` is the value as the user
// wrote it, for the message "OPTION takes FORM, not "GIVEN".".
void setImpairmentNumbers(JobOptions& o, std::string_view name, std::span<const double> values,
                          std::string_view given, OptionSpelling spelling);
// The same from the command line's text (decimal numbers separated by commas).
void setImpairmentText(JobOptions& o, std::string_view name, std::string_view text,
                       OptionSpelling spelling);
// The amplifier "rapp:P,BACKOFF_DB" or "clip:BACKOFF_DB", and the channel
// "exp:RMS_NS" or "exp:RMS_NS,rician:K_DB".
impair::Amplifier amplifierOf(std::string_view text, OptionSpelling spelling);
impair::Channel channelOf(std::string_view text, OptionSpelling spelling);

}  // namespace dot11a

DOT11A_API_END
