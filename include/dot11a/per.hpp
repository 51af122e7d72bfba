// The packet-error-rate bench: frames made, impaired, decoded and counted,
// point by point (a rate and an SNR), as a sensitivity test does it. The
// command line (dot11a-per), Python (veltora.per_curve) and the window run
// the same sweep through this engine, locally on threads or split into
// chunks of frames that any machine can run (runChunk) and that combine()
// puts together: the counts depend on the seed and the settings only, never
// on how the frames were shared out.
//
// Every frame is a frame job of its own: the sweep's job at the point's rate,
// with random payload octets and scrambler seed and its own impairment seed,
// all drawn from frameSeed(). It is made by make(), 16 us of silence are put
// in front of it (its idle interval follows it), and white noise at the
// point's SNR over the occupied band (as the impairments define it) is added
// to the whole buffer. A frame counts as received when a frame with its
// PSDU, octet for octet, comes out of the receiver (or, in the ideal mode,
// of decodeIdeal() told its start, carrier offset and noise-free samples).
// The same frame index at the same rate is the same frame and channel at
// every SNR, in both modes: the curves differ by the noise's level only.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/frame_job.hpp"

DOT11A_API_BEGIN

namespace dot11a::per {

// The most frames a point may ask for, and the most points a sweep.
inline constexpr std::size_t kMaxFramesPerPoint = 1'000'000'000;
inline constexpr std::size_t kMaxPoints = 10'000;
// The most threads a local run starts.
inline constexpr unsigned kMaxWorkers = 1024;
// The packet error rate a sensitivity is stated at.
inline constexpr double kSensitivityPer = 0.1;

struct Sweep {
  // What every frame starts from: the frame (its PSDU length, FCS,
  // oversampling, window, ...) and its impairments. The rate is set per
  // point, the payload and scrambler seed per frame; the impairments' seed is
  // the sweep's seed, and their SNR must be unset (the points set it).
  FrameJob job;
  std::vector<double> ratesMbps;    // 6 9 12 18 24 36 48 54, each at most once
  std::vector<double> snrDb;        // the SNR of each point, in dB in the occupied band
  std::size_t frames = 1000;        // per point, 1 .. kMaxFramesPerPoint
  std::size_t stopAfterErrors = 0;  // a point ends at its Nth frame error; 0: never
  bool ideal = false;               // decodeIdeal() instead of the receiver
};

// Raises an error naming the setting (in the caller's words: `names` maps
// "rates", "snr", "frames" and "stop-after-errors" to the front end's
// spelling) when the sweep cannot run: no rate or SNR, a rate off the table
// or twice, an SNR out of the impairments' range, too many points or frames,
// an unframed frame (the receiver needs the preamble), or the frame or its
// impairments out of bounds.
void validate(const Sweep& sweep, const std::function<std::string(std::string_view)>& names);

// The points in the order of the results: each rate in turn, at each SNR.
struct Point {
  double rateMbps = 0;
  double snrDb = 0;
};
std::vector<Point> points(const Sweep& sweep);

// The seed of frame `index` at a rate: the draws of its payload, scrambler
// seed, channel and noise.
std::uint64_t frameSeed(std::uint64_t sweepSeed, double rateMbps, std::uint64_t index);

// What became of one frame.
enum class Outcome : std::uint8_t {
  Received,  // its PSDU came out whole
  Error,     // a frame was found at its start, with another PSDU or none
  Missed,    // no frame was found at its start (counted among the errors too)
};
Outcome runFrame(const Sweep& sweep, const Point& point, std::uint64_t index);

// Frames [first, first + frames.size()) of one point, as one worker counts
// them. `errorsAt` holds the first errors' indices (at most
// stopAfterErrors of them; none when the sweep never stops), so that
// combine() can end the point exactly at its Nth error.
struct Chunk {
  std::size_t point = 0;
  std::uint64_t first = 0;
  std::uint64_t frames = 0;  // the frames run (fewer than asked when cancelled)
  std::uint64_t errors = 0, missed = 0;
  std::vector<std::uint64_t> errorsAt;
  std::vector<std::uint8_t> missedAt;  // 1 where the error of errorsAt was a miss
};
// Runs `count` frames of point `point` from frame `first`; stops early, with
// the frames run so far, when `cancel` becomes true.
Chunk runChunk(const Sweep& sweep, std::size_t point, std::uint64_t first, std::uint64_t count,
               const std::atomic<bool>* cancel = nullptr);

// One point's count.
struct PointResult {
  double rateMbps = 0;
  double snrDb = 0;
  std::uint64_t frames = 0;  // frames counted
  std::uint64_t errors = 0;  // of them, frames not received
  std::uint64_t missed = 0;  // of the errors, frames not found at all
  // Every frame asked for was counted, or the point ended at its Nth error.
  bool complete = false;
  double per() const;
};

// A point's count from its chunks, in any order: the frames from the first
// on without a gap, up to the sweep's frames or its Nth error. Chunks past a
// gap (not yet run, or cancelled) are left out and the point is incomplete.
PointResult combine(const Sweep& sweep, std::size_t point, std::span<const Chunk> chunks);

struct RunOptions {
  unsigned workers = 0;         // threads, at most kMaxWorkers; 0: one per local core
  std::size_t chunkFrames = 8;  // frames a worker takes at a time
  // Called on the calling thread: as each point is complete, and with the
  // frames counted of those planned (fewer planned as points end early).
  std::function<void(std::size_t point, const PointResult&)> onPoint;
  std::function<void(std::uint64_t done, std::uint64_t planned)> onProgress;
  // Called on the calling thread about every 100 ms; returning false
  // cancels the sweep (as `cancel` does).
  std::function<bool()> poll;
  const std::atomic<bool>* cancel = nullptr;
};

// Runs the sweep on local threads and returns every point, in points()'s
// order; cancelled, the points hold what was counted without a gap and
// those not complete say so.
std::vector<PointResult> run(const Sweep& sweep, const RunOptions& options = {});

// Sets the C library's allocator up for a process that runs frames: freed
// memory stays with the process (up to 256 MB) instead of going back to the
// kernel after each frame, and buffers of a frame's size come from the heap.
// Otherwise every frame's buffers are faulted in anew, which costs the bench
// more than the frames' own work. Process-wide: the front ends call it.
void keepFreedMemory();

// The SNR at which a rate's PER falls through `per`, interpolated on a log
// scale of PER between the two points around its last crossing (a point
// that lost no frame counts as half a frame lost); none when the points do
// not cross it. `points` are one rate's, in any order of SNR.
std::optional<double> snrAt(std::span<const PointResult> points, double per = kSensitivityPer);

// The noise figure and thermal noise density the standard's minimum input
// sensitivities are read against.
inline constexpr double kSensitivityNoiseFigureDb = 10;
inline constexpr double kThermalNoiseDbmPerHz = -174;
// The SNR in the occupied band (as the sweep's SNR is stated) that a
// receiver with a 10 dB noise figure sees at the rate's minimum input
// sensitivity: the sensitivity less the thermal noise in the occupied band
// and the noise figure (9.9 dB at 6 Mbit/s, 26.9 dB at 54; at 10 and 5 MHz
// 0.01 and 0.02 dB more, the levels being 3 and 6 dB lower).
// A curve that falls through PER 10 % at a lower SNR meets the sensitivity
// with that noise figure. None for a rate off the table.
std::optional<double> sensitivitySnrDb(double rateMbps,
                                       ChannelSpacing spacing = ChannelSpacing::MHz20);

// The SNRs of FROM:TO:STEP (TO included, to within a thousandth of a step),
// of a comma list, or of one number; raises an error naming `option`.
std::vector<double> snrList(std::string_view text, std::string_view option);

// The result as dot11a-per --json writes it and veltora.per_curve returns
// it: "settings" (rates, snr_db, frames, stop_after_errors, ideal, seed,
// psdu_octets, fcs, sample_rate, impairments), "points" (rate_mbps,
// snr_db, frames, errors, missed, per: null without frames, complete),
// "thresholds" (rate_mbps,
// snr_db_at_per_10: null when not crossed, snr_db_limit: sensitivitySnrDb())
// and "complete".
std::string resultJson(const Sweep& sweep, std::span<const PointResult> results);
// One line a point: rate_mbps,snr_db,frames,errors,missed,per,complete.
std::string resultCsv(std::span<const PointResult> results);

}  // namespace dot11a::per

DOT11A_API_END
