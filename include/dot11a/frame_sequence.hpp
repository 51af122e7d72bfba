// Frame sequences from a parameter set: N frames with per-frame variation
// (MAC sequence number counting up, the PN payload continuing, the scrambler
// seed stepping), optionally a per-frame list from a JSON sequence file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/generator_options.hpp"
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
  OptionSpelling spelling = OptionSpelling::CommandLine;  // of "frames", "sequence" in messages
};

struct SequenceResult {
  impair::Sequence sequence;
  std::vector<std::vector<std::uint8_t>> psdus;  // octets of each frame, first bit in the LSB
  double sampleRate = 0.0;
};

// Frame i of the sequence (0-based) from the parameter set: what the sequence
// file says for it, the sequence number, the scrambler seed and the PN
// payload's continuation.
Value sequenceFrameParameters(const Value& p, const SequenceRequest& r, std::size_t i);

// The length of the joined sequence, from the frames' projected lengths
// (nothing is synthesised); raises the refusal of a sequence over the memory.
std::size_t sequenceLength(const Value& p, const SequenceRequest& r);

// All frames, synthesised and joined; the instrument memory bound is checked
// from the projected lengths before any frame is made.
SequenceResult buildSequence(const Value& p, const SequenceRequest& r);

// The per-frame entries of a sequence file: {"frames": [{"rate": 24,
// "length": 100, "source": "pn9"}, ...]}; each key optional. Raises an error
// naming the option, the entry and the key that is wrong.
struct SequenceEntry {
  double rate = 0;     // 0: as the parameter set
  double length = 0;   // octets of payload, 0: as the parameter set
  std::string source;  // zeros ones alt01 alt10 pn9 pn15, empty: as the parameter set
};
std::vector<SequenceEntry> readSequenceFile(const std::string& path,
                                            OptionSpelling spelling = OptionSpelling::CommandLine);

}  // namespace dot11a

DOT11A_API_END
