// Name checks: valid variable names and reserved words.
#include <array>
#include <cctype>
#include <string_view>

#include "dot11a/call.hpp"

namespace dot11a::op {

namespace {
constexpr std::array<std::string_view, 20> kKeywords = {
    "break",      "case",   "catch",    "classdef", "continue", "else",      "elseif",
    "end",        "for",    "function", "global",   "if",       "otherwise", "parfor",
    "persistent", "return", "spmd",     "switch",   "try",      "while"};
constexpr std::size_t kMaxNameLength = 63;

bool isKeyword(std::string_view s) {
  for (std::string_view k : kKeywords)
    if (k == s) return true;
  return false;
}
}  // namespace

// isvarname(s): 1 when s is a text that can name a variable (or a record
// field): a letter, then letters, digits and underscores, at most 63
// characters, and not a reserved word.
void isvarname(Call& c) {
  const Value& s = c.in(0, "s");
  bool ok = s.isText() && !s.str().empty() && s.str().size() <= kMaxNameLength &&
            std::isalpha(static_cast<unsigned char>(s.str()[0])) && !isKeyword(s.str());
  if (ok)
    for (char ch : s.str())
      if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') ok = false;
  c.out(0) = Value::logical(ok);
}

// iskeyword(s): 1 when s is a reserved word; with no input, the list of them.
void iskeyword(Call& c) {
  if (!c.has(0)) {
    std::vector<Value> list;
    for (std::string_view k : kKeywords) list.emplace_back(std::string(k));
    const std::size_t n = list.size();  // before the list is moved away
    c.out(0) = Value::cell(n, 1, std::move(list));
    return;
  }
  const Value& s = c.in(0, "s");
  c.out(0) = Value::logical(s.isText() && isKeyword(s.str()));
}

}  // namespace dot11a::op
