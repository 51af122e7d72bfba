// Internal to the receiver: one frame, found by the search, decoded and
// measured. Shared by the receiver of a whole waveform and the streaming one.
#pragma once

#include <span>

#include "dot11a/receiver.hpp"
#include "rx/signal.hpp"

namespace dot11a::rx {

// Decodes and measures the frame the search found at `det` in x (the input at
// 20 MHz x os); `input` is the same waveform at the input rate (x itself
// when no resampling was needed), for the spectrum mask. Sets `end` to the
// working sample after the frame, where the search goes on. `captureDc` is
// the DC component already taken out of x (it counts in the frame's
// centre-frequency leakage). With `whole`, a frame that x ends before its
// last DATA symbol is only decoded as far as SIGNAL and reported truncated:
// the streaming receiver decodes it again once all of it has arrived.
FrameReport decodeFrame(std::span<const cplx> x, std::span<const cplx> input, const Detection& det,
                        int os, const Options& opt, long long& end, cplx captureDc = {},
                        bool whole = false);

}  // namespace dot11a::rx
