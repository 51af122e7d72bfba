// The PER bench's settings as its front ends take them (dot11a-per's options,
// veltora.per_curve's keywords) and the one set of rules that makes the
// sweep from them: bounds, defaults and messages in the front end's spelling.
// The window's PER curve makes its sweep here too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/job_options.hpp"
#include "dot11a/per.hpp"

DOT11A_API_BEGIN

namespace dot11a::cli {

struct PerOptions {
  std::vector<double> rates = {6, 9, 12, 18, 24, 36, 48, 54};
  std::vector<double> snr;
  double frames = 1000;
  double stopAfterErrors = 0;  // 0: every frame of every point
  double psduOctets = 1000;    // the PSDU with its FCS, as the sensitivity test takes it
  bool fcs = true;
  double oversampling = 1;
  std::uint64_t seed = 1;
  bool ideal = false;
  // The impairments (white noise excepted), the carrier offset in ppm and
  // the carrier it is a share of: as dot11a-gen takes them.
  JobOptions job;
};

// "awgn" for the channel: white noise alone, no multipath.
bool isAwgn(std::string_view channel);

// The sweep of the options; raises an error naming the option in `spelling`.
per::Sweep sweepOf(const PerOptions& o, OptionSpelling spelling);

}  // namespace dot11a::cli

DOT11A_API_END
