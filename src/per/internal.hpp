// The bench's pieces shared between its source files.
#pragma once

#include "dot11a/frame_job.hpp"
#include "dot11a/rate_table.hpp"

namespace dot11a::per {

// The table's entry of a rate given at a spacing (27 Mbit/s at 10 MHz is
// the 54 Mbit/s entry), or none.
const RateEntry* tableRate(double rateMbps, ChannelSpacing spacing);

// The job at a rate of the table at its spacing: its modulation and coding set.
FrameJob jobAtRate(const FrameJob& base, double rateMbps);

}  // namespace dot11a::per
