// dot11a-gen's frame sequences: the library's sequence builder under the names
// the generator's option code uses.
#pragma once

#include "dot11a/sequence.hpp"

namespace dot11a::cli {

using dot11a::buildSequence;
using dot11a::readSequenceFile;
using dot11a::SequenceEntry;
using dot11a::sequenceFrameParameters;
using dot11a::SequenceRequest;
using dot11a::SequenceResult;

}  // namespace dot11a::cli
