// Run-time errors and warnings of the library.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// A run-time error: the text is the message the user sees. Operations raise it;
// it unwinds to the outermost caller, or to a window module's dispatcher, which
// prints it and returns normally.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void raise(std::string message);

// The message of a failed allocation, or of a size too large to allocate.
inline constexpr std::string_view kOutOfMemory = "Out of memory.";

// Prints "Warning: <message>" on standard error, or hands it to the sink that a
// test installed. Returns the previous sink from setWarningSink; pass an empty
// function to restore printing.
void warning(std::string_view message);
using WarningSink = std::function<void(std::string_view)>;
WarningSink setWarningSink(WarningSink sink);

}  // namespace dot11a

DOT11A_API_END
