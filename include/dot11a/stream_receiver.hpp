// The verification receiver for samples that arrive in pieces: a long
// recording read a chunk at a time, or a live stream. It keeps a bounded
// window of samples (a little more than the longest frame) and hands on each
// frame as soon as its last sample has arrived, with the same report the
// receiver of a whole waveform gives.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "dot11a/export.hpp"
#include "dot11a/receiver.hpp"

DOT11A_API_BEGIN

namespace dot11a::rx {

class StreamReceiver {
 public:
  // Receives each frame's report, `start` counted from the first sample pushed.
  using FrameHandler = std::function<void(FrameReport&&)>;

  // The sample rate must be 20 MHz times a whole number from 1 to 16 (the
  // stream is not resampled); a run-time error says so otherwise. At most
  // options.maxFrames frames are handed on; samples after that are ignored.
  StreamReceiver(const Options& options, FrameHandler onFrame);
  ~StreamReceiver();
  StreamReceiver(const StreamReceiver&) = delete;
  StreamReceiver& operator=(const StreamReceiver&) = delete;

  // The next samples of the stream. Non-finite samples, and lone spikes 60 dB
  // above both their neighbours, count as 0.
  void push(std::span<const cplx> samples);
  // The same for single-precision samples (a cf32 file or stream as it is
  // read), widened to double as they are copied into the window: the frames
  // are those of the samples pushed as doubles, without a second copy.
  void push(std::span<const std::complex<float>> samples);
  // The end of the stream: the frames still waiting for samples are decoded
  // with what there is (a frame cut short is reported as truncated).
  void finish();

  // Samples from the start of a frame's short training to the end of the
  // longest frame at this rate, with a margin: how far a frame reaches.
  std::uint64_t frameReach() const;

  bool full() const;                  // maxFrames frames handed on
  std::uint64_t samplesSeen() const;  // pushed so far
  std::uint64_t framesFound() const;
  std::uint64_t nonFiniteSamples() const;  // counted as 0
  std::uint64_t spikeSamples() const;      // lone spikes, counted as 0

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dot11a::rx

DOT11A_API_END
