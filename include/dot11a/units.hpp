// Numbers typed with an SI prefix and a unit: "5.18 GHz", "5180M", "20 MHz",
// "40 MS/s", "1 ms", "10 us", "10 µs". One reader for every frequency, rate
// and time entry, in the window and the command-line tools alike.
#pragma once

#include <optional>
#include <string_view>

#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

enum class Quantity {
  // Hz, and sample rates in S/s, Sa/s or sps. The prefixes k, M, G and T are
  // read without regard to case ("5180 mhz" is 5.18 GHz): no field takes
  // millihertz, and a lower-case m typed there always means mega.
  Frequency,
  // Seconds: s, ms, us (or µs), ns, ps, written as SI writes them (lower-case
  // prefixes; "1 Ms" is no time).
  Time,
};

struct Measure {
  double value;   // in Hz (or samples per second) or in seconds
  bool withUnit;  // the text named a prefix or a unit; a bare number did not
};

// Reads `text` as a number with an optional prefix and unit of `quantity`.
// Blanks around the text and between the number and the unit are allowed;
// the decimal separator is always '.'. A number too large for a double reads
// as +-infinity and one too small as zero, so the entry rules' bounds apply.
// nullopt when the text is not such a number (a NaN, an unknown unit).
std::optional<Measure> parseMeasure(std::string_view text, Quantity quantity);

}  // namespace dot11a

DOT11A_API_END
