// Number-to-text conversion used in instrument commands and displayed values.
// The output never depends on the process locale: the decimal separator is
// always '.', whatever LC_NUMERIC says.
#pragma once

#include <string>
#include <string_view>

#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// The general conversion: a whole number as plain decimal digits ("25",
// "-30", "40000000"); any other value in shortest %g form with its number of
// integer digits plus four significant digits (at least 5, at most 15):
// 2.5, -10.25, 0.33333. NaN and infinities give "NaN", "Inf" and "-Inf".
std::string num2str(double x);

// %g with the given number of significant digits (1 to 17), locale-free.
std::string formatG(double x, int significantDigits);

// One value through a printf-like format that holds exactly one conversion of
// d, i, u, f, F, e, E, g or G (flags - + 0 space #, width and precision
// allowed; "%%" is a literal percent sign). Raises a run-time error for any
// other format, so a format from outside can never read beyond its argument.
std::string formatNumber(std::string_view format, double x);

}  // namespace dot11a

DOT11A_API_END
