// Reading of instrument answers, apart from any connection: splitting received
// bytes into answers (lines, or IEEE 488.2 definite-length blocks whose bytes
// may include line ends) and reading an error-queue answer.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace hwio {

// Takes the next complete answer off the front of `buffer`, without its line
// end (a CR before the LF is dropped too). An answer that starts with a
// definite-length block "#<n><length><bytes>" ends after its bytes, at the
// next line end. Returns nullopt while more bytes are needed. Raises
// Failure(3) for a malformed block header or an answer longer than `limit`.
std::optional<std::string> takeAnswer(std::string& buffer, std::size_t limit);

// An answer of ":SYST:ERR?": `<code>,"<text>"`. nullopt when the answer does
// not start with a whole number (after blanks and a sign).
struct ErrorAnswer {
  long code = 0;
  std::string text;  // the message without its quotes
};
std::optional<ErrorAnswer> parseErrorAnswer(std::string_view answer);

}  // namespace hwio
