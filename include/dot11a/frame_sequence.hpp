// A frame sequence of a parameter set record, without impairments: the frames
// of make() (waveform.hpp) for a record and a sequence request, with the
// bursts where the frames lie. For callers that hold the record; the typed
// path is a FrameJob.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

struct SequenceRequest {
  std::size_t frames = 1;
  double gapUs = 0.0;
  bool seedStep = false;  // scrambler seed 1..127 stepping by one per frame
  std::string file;       // JSON sequence file, empty for none
  std::size_t memorySamples = impair::kMemoryM32Samples;
};

struct SequenceResult {
  impair::Sequence sequence;
  std::vector<std::vector<std::uint8_t>> psdus;  // octets of each frame, first bit in the LSB
  double sampleRate = 0.0;
};

// All frames, synthesised and joined; the instrument memory bound is checked
// from the projected lengths before any frame is made.
SequenceResult buildSequence(const Value& parameters, const SequenceRequest& r);

}  // namespace dot11a

DOT11A_API_END
