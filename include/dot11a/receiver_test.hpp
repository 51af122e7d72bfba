// Receiver-test presets: the wanted signal and interferer of a minimum
// sensitivity or (alternate) adjacent channel rejection test at one of the
// standard rates, made into a frame job of countable frames. One function
// for every front end: dot11a-gen's --test, Python's test=, dot11a_Sequence's
// "test" and the window's receiver test.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "dot11a/export.hpp"
#include "dot11a/frame_job.hpp"
#include "dot11a/impair.hpp"

DOT11A_API_BEGIN

namespace dot11a {

inline constexpr std::array<std::string_view, 3> kReceiverTestNames = {"sensitivity", "acr",
                                                                       "alt-acr"};
// The frames a preset makes when they fit: enough to count a packet error
// rate of 10 % with about a hundred errors.
inline constexpr std::size_t kReceiverTestFrames = 1000;
// The PSDU of every frame, MAC header and FCS included.
inline constexpr int kReceiverTestPsduOctets = 1000;

// What a preset chose: the wanted level at the receiver input (sensitivity,
// or 3 dB above it for the rejection tests), the interferer, and the frames.
struct ReceiverTest {
  std::string name;
  double rateMbps = 0;
  double wantedDbm = 0;
  std::optional<impair::Interferer> interferer;
  std::size_t frames = 0;
  // "1000 frames", "391 frames, the most ... holds", "20 frames, as asked".
  std::string framesText;
};

// A front end's request; the option names spell its messages.
struct ReceiverTestRequest {
  std::string name;                   // one of kReceiverTestNames
  std::optional<std::size_t> frames;  // the user's count, else the most that fit (at most 1000)
  bool oversamplingGiven = false;     // else the lowest oversampling that holds the interferer
  bool gapGiven = false;              // else SIFS
  std::string testOption = "--test", rateOption = "--rate", interfererOption = "--interferer";
};

// The standard's minimum input sensitivity (PSDU of 1000 octets, PER of
// 10 %) of the rate the 20 MHz table names `rateMbps` (6 .. 54), in dBm, at
// `spacing` (3 and 6 dB lower at 10 and 5 MHz); none for a rate off the table.
std::optional<double> minimumSensitivityDbm(double rateMbps, ChannelSpacing spacing);

// Makes `job` the preset's, at the frame's rate: 1000-octet PSDUs with the
// MAC header (sequence numbers counting up), a PN payload continuing from
// frame to frame (PN9 unless the frame's is PN15) and the FCS; the scrambler
// seed stepping (unless the frame is not scrambled); the interferer of the
// rejection tests; and as many frames as asked, or as fit the job's memory
// (at most kReceiverTestFrames). Set the impairments and the memory first:
// a clock offset's stretch counts. Raises naming the options.
ReceiverTest applyReceiverTest(FrameJob& job, const ReceiverTestRequest& request);

}  // namespace dot11a

DOT11A_API_END
