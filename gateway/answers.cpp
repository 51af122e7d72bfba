// Splitting instrument answers and reading error-queue answers.
#include "answers.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "links.hpp"

namespace hwio {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string lineWithout(std::string& buffer, std::size_t end) {
  std::string line = buffer.substr(0, end);
  buffer.erase(0, end + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

std::optional<std::string> takeAnswer(std::string& buffer, std::size_t limit) {
  std::size_t searchFrom = 0;
  if (!buffer.empty() && buffer[0] == '#') {
    if (buffer.size() < 2) return std::nullopt;
    const char n = buffer[1];
    if (!isDigit(n))
      throw Failure(3, "The instrument's answer starts a block with \"#" + std::string(1, n) +
                           "\", which is not a block header.");
    if (n != '0') {  // "#0" is an indefinite block: it ends at the line end
      const std::size_t digits = static_cast<std::size_t>(n - '0');
      if (buffer.size() < 2 + digits) return std::nullopt;
      std::size_t length = 0;
      for (std::size_t k = 0; k < digits; ++k) {
        const char c = buffer[2 + k];
        if (!isDigit(c))
          throw Failure(3, "The instrument's answer has a block length \"" +
                               buffer.substr(2, digits) + "\" that is not a number.");
        length = length * 10 + static_cast<std::size_t>(c - '0');
      }
      if (length > limit)
        throw Failure(3, "The instrument's answer announces a block of " + std::to_string(length) +
                             " bytes, more than the " + std::to_string(limit) + " accepted.");
      searchFrom = 2 + digits + length;
      if (buffer.size() < searchFrom) return std::nullopt;
    }
  }
  const auto nl = buffer.find('\n', searchFrom);
  if (nl == std::string::npos) {
    if (buffer.size() > limit)
      throw Failure(3, "The instrument's answer is longer than " + std::to_string(limit) +
                           " bytes without a line end.");
    return std::nullopt;
  }
  if (nl > limit)
    throw Failure(3, "The instrument's answer is longer than " + std::to_string(limit) + " bytes.");
  return lineWithout(buffer, nl);
}

std::optional<ErrorAnswer> parseErrorAnswer(std::string_view answer) {
  const std::string text(answer);
  const char* start = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long code = std::strtol(start, &end, 10);
  if (end == start || errno == ERANGE) return std::nullopt;
  ErrorAnswer out;
  out.code = code;
  std::string_view rest(end);
  while (!rest.empty() && (rest.front() == ',' || rest.front() == ' ')) rest.remove_prefix(1);
  if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"')
    rest = rest.substr(1, rest.size() - 2);
  out.text = std::string(rest);
  return out;
}

}  // namespace hwio
