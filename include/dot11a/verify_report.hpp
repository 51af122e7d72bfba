// The receiver's findings for people and scripts: a frame's verdict, the
// overall verdict, the per-frame table and the JSON report. One writer for
// dot11a-verify, dot11a-gen --verify, the Python module and the Demodulate
// window, so that each gives the same text.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/receiver.hpp"

DOT11A_API_BEGIN

namespace dot11a::rx {

// A frame's verdict in the table: PASS, FAIL (decode) when it does not decode,
// FAIL (fault) when it decodes but the transmitter broke a rule of the
// standard (tail bits), FAIL (limit) when a measurement is past its limit.
const char* frameResultText(const FrameReport& f);

// The overall verdict: frames found, every one decoded and within its limits,
// and the PSDU as expected when one was given.
struct Verdict {
  bool pass = false;
  std::vector<std::string> reasons;
};
Verdict verdictOf(const Result& r, const std::optional<std::vector<std::uint8_t>>& expectPsdu);

// The per-frame table, the problems and notes, and PASS or FAIL.
void printReport(std::ostream& out, const Result& r, const Verdict& v);
// The same for scripts, as JSON text: an object with "pass", "reasons",
// "sample_rate", "problem" (when nothing was decoded) and "frames". Indented
// by `indent` spaces a level, or on one line when it is negative.
std::string reportJson(const Result& r, const Verdict& v, int indent = -1);
// One frame's object of the report's "frames", the same way; with its
// number in a stream as "frame" when one is given.
std::string frameJson(const FrameReport& f, int indent = -1,
                      std::optional<std::uint64_t> number = std::nullopt);

}  // namespace dot11a::rx

DOT11A_API_END
