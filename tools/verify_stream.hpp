// dot11a-verify over long recordings and live streams: raw samples decoded a
// chunk at a time (in parallel over stretches of a file), each frame handed
// on as it is decoded, and the summary of them all.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "dot11a/receiver.hpp"
#include "dot11a/sample_stream.hpp"

namespace dot11a::cli {

// What a recording held, frame by frame.
class Summary {
 public:
  void add(const rx::FrameReport& f);
  // Samples the receiver counted as 0: not numbers, and lone spikes.
  void setCleaned(std::uint64_t nonFinite, std::uint64_t spikes) {
    nonFinite_ = nonFinite;
    spikes_ = spikes;
  }
  bool cleaned() const { return nonFinite_ + spikes_ > 0; }
  std::uint64_t frames() const { return frames_; }
  std::uint64_t passed() const { return passed_; }
  // The summary lines of the table.
  void print(std::ostream& out, std::uint64_t samples, double sampleRate) const;
  nlohmann::json json(std::uint64_t samples, double sampleRate) const;

 private:
  std::uint64_t frames_ = 0, decoded_ = 0, fcsGood_ = 0, fcsBad_ = 0, passed_ = 0, failDecode_ = 0,
                failLimit_ = 0, evmCount_ = 0;
  std::map<double, std::uint64_t> rates_;  // Mbit/s -> frames decoded
  double evmSumDb_ = 0.0, evmWorstDb_ = 0.0;
  std::uint64_t evmWorstFrame_ = 0;
  double cfoMin_ = 0.0, cfoMax_ = 0.0, cfoSum_ = 0.0, cfoSumSq_ = 0.0;
  std::uint64_t nonFinite_ = 0, spikes_ = 0;
};

// One frame as a line of the log a stream prints, with its problems and notes
// on the lines after it.
void printFrameLine(std::ostream& out, std::uint64_t number, const rx::FrameReport& f);

// The JSON report of a recording written as its frames are decoded, so that
// a recording of any length takes no more memory than its table: the keys
// come in the order of the whole document (file, format, frames, then the
// rest, sorted), each frame's object indented for its place. Nothing is
// written before the first frame or finish(), so an error in opening the
// input still gives the short error report alone.
class JsonReport {
 public:
  JsonReport(std::ostream& out, std::string file, std::string format)
      : out_(out), file_(std::move(file)), format_(std::move(format)) {}
  void add(const rx::FrameReport& f);
  // Ends the frames and writes the keys of `rest` after them.
  void finish(const nlohmann::json& rest);
  bool started() const { return started_; }

 private:
  void start();
  std::ostream& out_;
  std::string file_, format_;
  bool started_ = false, anyFrame_ = false;
};

struct StreamSource {
  std::string path;  // "-" for standard input
  SampleFormat format = SampleFormat::Cf32;
};

// What a source gave: its samples read (each once, however many threads read
// it), and those the receiver counted as 0.
struct SourceRead {
  std::uint64_t samples = 0, nonFinite = 0, spikes = 0;
};

// Decodes every frame of the source with the streaming receiver and hands the
// reports to onFrame in the order of the recording. A file is cut into
// stretches that `threads` workers decode side by side (each starting a
// frame's length early to fall into step with the frames). Reading stops
// when `stop` is set (Ctrl+C); what has arrived is decoded. `read` follows
// what was read as it goes, so that it holds what was there when an error
// stops the source.
void decodeSource(const StreamSource& src, const rx::Options& options, unsigned threads,
                  const std::function<void(rx::FrameReport&&)>& onFrame,
                  const std::atomic<bool>& stop, SourceRead& read);

}  // namespace dot11a::cli
