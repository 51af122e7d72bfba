// The PER bench's settings into a sweep (see dot11a/per_options.hpp).
#include "dot11a/per_options.hpp"

#include <cmath>

#include "dot11a/error.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/rate_table.hpp"

namespace dot11a::cli {

namespace {

// A whole number of lo .. hi, or the message that names the option.
std::uint64_t whole(double v, double lo, double hi, std::string_view option,
                    OptionSpelling spelling) {
  if (!(v >= lo && v <= hi && v == std::floor(v)))
    raise(optionName(option, spelling) + " must be a whole number from " + num2str(lo) + " to " +
          num2str(hi) + ", not " + num2str(v) + ".");
  return static_cast<std::uint64_t>(v);
}

}  // namespace

bool isAwgn(std::string_view channel) {
  return channel == "awgn" || channel == "AWGN";
}

per::Sweep sweepOf(const PerOptions& o, OptionSpelling spelling) {
  const auto name = [spelling](std::string_view n) { return optionName(n, spelling); };
  JobOptions j = o.job;
  // The PSDU as the SIGNAL field announces it, the FCS's four octets included.
  const double smallest = o.fcs ? 5 : 1;
  const std::uint64_t psdu = whole(o.psduOctets, smallest, kMaxPsduOctets, "psdu-octets", spelling);
  // Any rate makes the job; the points set theirs (validate() names a wrong one).
  j.rate = 6;
  j.length = static_cast<double>(psdu) - (o.fcs ? 4 : 0);
  j.fcs = o.fcs;
  j.macHeader = false;
  j.oversampling = static_cast<double>(whole(o.oversampling, 1, 4, "oversampling", spelling));
  // Each frame is followed by 16 us of noise.
  j.idleUs = 16;
  j.impairments.seed = o.seed;
  per::Sweep s;
  s.job = jobOf(j, spelling).job;
  s.ratesMbps = o.rates;
  s.snrDb = o.snr;
  s.frames = whole(o.frames, 1, static_cast<double>(per::kMaxFramesPerPoint), "frames", spelling);
  s.stopAfterErrors = whole(o.stopAfterErrors, 0, static_cast<double>(per::kMaxFramesPerPoint),
                            "stop-after-errors", spelling);
  s.ideal = o.ideal;
  per::validate(s, name);
  return s;
}

}  // namespace dot11a::cli
