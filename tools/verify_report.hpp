// Printing the receiver's findings, shared by dot11a-verify and dot11a-gen --verify.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "dot11a/receiver.hpp"

namespace dot11a::cli {

// A frame's verdict in the table: PASS, FAIL (decode) when it does not decode,
// FAIL (fault) when it decodes but the transmitter broke a rule of the
// standard (tail bits), FAIL (limit) when a measurement is past its limit.
const char* frameResultText(const rx::FrameReport& f);

// The overall verdict: frames found, every one decoded and within its limits,
// and the PSDU as expected when one was given.
struct Verdict {
  bool pass = false;
  std::vector<std::string> reasons;
};
Verdict verdictOf(const rx::Result& r, const std::optional<std::vector<std::uint8_t>>& expectPsdu);

// The per-frame table, the problems and notes, and PASS or FAIL.
void printReport(std::ostream& out, const rx::Result& r, const Verdict& v);
// The same for scripts.
nlohmann::json reportJson(const rx::Result& r, const Verdict& v);

}  // namespace dot11a::cli
