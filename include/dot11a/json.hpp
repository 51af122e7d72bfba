// Values as JSON text, for command-line tools and scripts.
//
// Reading: a number is a 1x1 double; an array of numbers a row; an array of
// equally long arrays of numbers a matrix (one inner array per row); an object
// {"re": X, "im": X} a complex value of X's shape; {"int32": X} an int32 value;
// a string a text; null an absent value; any other object a record (fields in
// order); any other array a cell list.
// Writing uses the same forms; doubles carry 17 significant digits, a 1x1
// value is a plain number and a row a flat array. NaN and infinities, which
// JSON cannot hold, are written as the strings "NaN", "Inf" and "-Inf".
#pragma once

#include <string>
#include <string_view>

#include "dot11a/export.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// Values from outside (JSON here, Python objects in the module) nest records
// and cell lists at most this deep: no value of the library nests anywhere
// near it, and the conversion, one call per level, must not run out of stack.
inline constexpr int kMaxValueNesting = 256;

// Raises a run-time error that quotes the text when it is not valid JSON, or
// nests deeper than kMaxValueNesting.
Value valueFromJson(std::string_view text);
std::string valueToJson(const Value& v);

}  // namespace dot11a

DOT11A_API_END
