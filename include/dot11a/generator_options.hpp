// The frame settings of dot11a-gen by name: one rule (names, bounds, codes and
// messages) that turns named options into the parameter set, shared by the
// command-line tool and the Python module.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// How a message spells an option: "--scrambler-init" on the command line,
// "scrambler_init" as a Python keyword.
enum class OptionSpelling { CommandLine, Keyword };

// The option `name` (as the command line writes it without "--", words joined
// by '-') in the caller's spelling.
std::string optionName(std::string_view name, OptionSpelling spelling);

// One option and its value. Names: params, rate, modulation, coding, unframed,
// length, source, mac-header, fcs, scrambler-init, scrambler, interleaver,
// service, oversampling, window, idle-us, mirror, mask.
//
// A value is either the command line's text or a typed value:
//   mac-header, fcs, scrambler, interleaver: "on" | "off" | "1" | "0", or a number (non-zero on)
//   scrambler-init: hexadecimal text ("5A", "0x5A") or decimal with a d suffix ("90d"),
//                   or the seed as a number
//   service: hexadecimal text, or a number
//   mask: 53 characters of 0 and 1, or 53 numbers of 0 and 1
//   unframed, mirror: a number (non-zero on)
//   rate, length, oversampling, window, idle-us: numbers; the others texts
struct NamedOption {
  std::string name;
  Value value;
};

// The parameter set the options describe: the starting set (the defaults, or
// the parameter file "params") changed by each option, checked against the
// parameter set's bounds, with its derived fields updated. The options are
// applied in a fixed order whatever order they come in (the idle interval
// after the oversampling, the length after the payload source). Raises
// dot11a::Error naming the option in `spelling` and what it accepts; an
// unknown name is an error too.
Value generatorParameters(const std::vector<NamedOption>& options, OptionSpelling spelling);

}  // namespace dot11a

DOT11A_API_END
