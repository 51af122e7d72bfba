// The number of samples a parameter set produces, without synthesising it.
#pragma once

#include <cstddef>

#include "dot11a/export.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// Samples of the waveform dot11a_FRAME returns for the parameter set:
// framed (400 + 80 n) x OverSampling + max(idleSamples, WindowingLength),
// unframed 80 n x OverSampling, rounded up to even.
std::size_t sizeEstimate(const Value& parameters);

// The frame shape of a parameter set record (payload bits as the calculation
// builds them: a user file's own bits, otherwise 8 x dataLength, plus the
// active MAC header and FCS). Raises an error naming a field that is missing,
// not a number or out of range.
FrameShape frameShapeOf(const Value& parameters);

}  // namespace dot11a

DOT11A_API_END
