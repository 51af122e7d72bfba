// The bench's pieces shared between its source files.
#pragma once

#include "dot11a/frame_job.hpp"

namespace dot11a::per {

// The job at a rate of the table: its modulation and coding set.
FrameJob jobAtRate(const FrameJob& base, double rateMbps);

}  // namespace dot11a::per
