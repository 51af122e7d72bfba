// The bounds of the parameter set's settings, written once: the main window's
// clamps and tooltips, the parameter-file checks and dot11a-gen's option
// checks all read this table.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "dot11a/export.hpp"
#include "dot11a/rate_table.hpp"

DOT11A_API_BEGIN

namespace dot11a {

struct FrameParameters;

// How a setting is typed in and shown.
enum class Notation { Decimal, Hex };

struct ParameterBound {
  std::string_view field;  // field of the parameter set record
  double lo = 0;           // the range a user may set
  double hi = 0;
  bool whole = true;  // whole numbers only
  Notation notation = Notation::Decimal;
  // The lowest value a stored parameter set may hold (a user file of no bytes
  // stores a data length of 0, below what may be typed in).
  double storedLo = 0;
  // The typed field the row bounds (frameProblem checks it).
  double (*of)(const FrameParameters&) = nullptr;
};

// The largest idle interval between frames, in microseconds, and the largest
// oversampling ratio of the parameter set; the idle interval is stored in
// samples, up to kMaxIdleMicroseconds x 20 x kMaxParameterOversampling.
inline constexpr double kMaxIdleMicroseconds = 1000;
inline constexpr int kMaxParameterOversampling = 4;
// The largest edge window of the parameter set, in samples.
inline constexpr int kMaxParameterWindow = 16;

// Every bounded scalar field of the parameter set, in record order: the
// parameter-file check reads the record's field of that name, frameProblem()
// the typed field. A new bound is a new row. The data length's upper bound is
// the PSDU limit; with an active MAC header or FCS the limit is lower
// (FrameParameters::dataLengthLimit).
std::span<const ParameterBound> parameterBounds();
// The row of a field; raises an error for a field without one.
const ParameterBound& parameterBound(std::string_view field);

// The idle interval in microseconds as typed into the window or given to
// dot11a-gen (0 to kMaxIdleMicroseconds, any real number).
const ParameterBound& idleIntervalBound();

// True when x lies in [lo, hi] (whole when the row asks for it).
bool withinBounds(const ParameterBound& b, double x);
// True when a stored value is acceptable: [storedLo, hi], whole when asked.
bool withinStoredBounds(const ParameterBound& b, double x);
// "0 to 16", "0 to 7F" (hex rows), "1 to 4095".
std::string rangeText(const ParameterBound& b);
// The entry clamp of the window: min(value, hi) then max(that, lo); an entry
// that gave no number takes hi.
double clampEntry(const ParameterBound& b, std::optional<double> value);

}  // namespace dot11a

DOT11A_API_END
