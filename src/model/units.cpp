// Numbers with an SI prefix and a unit.
#include "dot11a/units.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace dot11a {

namespace {

bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool digit(char c) {
  return c >= '0' && c <= '9';
}

// The decimal number at the start of `s`: sign, digits, point, digits and an
// exponent. Split into the mantissa text and the exponent, so that a prefix
// joins the exponent and "5.18 GHz" reads as exactly 5.18e9.
struct Number {
  std::string_view mantissa;
  long long exponent = 0;
  std::size_t length = 0;  // characters taken from the text
};

std::optional<Number> leadingNumber(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  std::size_t digits = 0;
  for (; i < s.size() && digit(s[i]); ++i) ++digits;
  if (i < s.size() && s[i] == '.')
    for (++i; i < s.size() && digit(s[i]); ++i) ++digits;
  if (digits == 0) return std::nullopt;
  Number n;
  n.mantissa = s.substr(0, i);
  // An 'e' is an exponent only when digits follow it ("5e" is no number).
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    bool negative = false;
    if (j < s.size() && (s[j] == '-' || s[j] == '+')) negative = s[j++] == '-';
    if (j < s.size() && digit(s[j])) {
      long long e = 0;
      for (; j < s.size() && digit(s[j]); ++j) e = std::min(e * 10 + (s[j] - '0'), 1'000'000'000LL);
      n.exponent = negative ? -e : e;
      i = j;
    }
  }
  n.length = i;
  return n;
}

// mantissa x 10^exponent, correctly rounded; beyond a double's range,
// +-infinity or zero.
double scaled(std::string_view mantissa, long long exponent) {
  if (!mantissa.empty() && mantissa.front() == '+') mantissa.remove_prefix(1);
  const bool negative = !mantissa.empty() && mantissa.front() == '-';
  const std::string text = std::string(mantissa) + "e" + std::to_string(exponent);
  double value = 0;
  // from_chars never looks at the locale, so a comma locale cannot change it.
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc::result_out_of_range) return value;
  // Where the first non-zero digit stands decides between huge and tiny.
  long long magnitude = exponent;
  const std::size_t point = mantissa.find('.');
  const std::string_view whole = mantissa.substr(0, point);
  const std::size_t firstNonZero = mantissa.find_first_of("123456789");
  if (firstNonZero == std::string_view::npos) return negative ? -0.0 : 0.0;
  if (point == std::string_view::npos || firstNonZero < point)
    magnitude += static_cast<long long>(whole.size() - firstNonZero);
  else
    magnitude -= static_cast<long long>(firstNonZero - point - 1);
  if (magnitude > 0)
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  return negative ? -0.0 : 0.0;
}

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool endsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The power of ten of a frequency suffix ("GHz", "M", "kS/s", "hz").
std::optional<int> frequencyExponent(std::string_view suffix) {
  std::string s = lowerAscii(suffix);
  for (std::string_view unit : {"sa/s", "s/s", "sps", "hz"})
    if (endsWith(s, unit)) {
      s.resize(s.size() - unit.size());
      break;
    }
  s = std::string(trimmed(s));
  if (s.empty()) return 0;
  if (s == "k") return 3;
  if (s == "m") return 6;
  if (s == "g") return 9;
  if (s == "t") return 12;
  return std::nullopt;
}

// The power of ten of a time suffix ("s", "ms", "us", "µs", "ns", "ps").
std::optional<int> timeExponent(std::string_view suffix) {
  if (suffix.empty()) return 0;
  if (!endsWith(suffix, "s")) return std::nullopt;
  suffix.remove_suffix(1);
  if (suffix.empty()) return 0;
  if (suffix == "m") return -3;
  // u, the micro sign (U+00B5) and the Greek small letter mu (U+03BC)
  if (suffix == "u" || suffix == "\xC2\xB5" || suffix == "\xCE\xBC") return -6;
  if (suffix == "n") return -9;
  if (suffix == "p") return -12;
  return std::nullopt;
}

}  // namespace

std::optional<Measure> parseMeasure(std::string_view text, Quantity quantity) {
  text = trimmed(text);
  const std::optional<Number> number = leadingNumber(text);
  if (!number) return std::nullopt;
  const std::string_view suffix = trimmed(text.substr(number->length));
  const std::optional<int> exponent =
      quantity == Quantity::Frequency ? frequencyExponent(suffix) : timeExponent(suffix);
  if (!exponent) return std::nullopt;
  const double value = scaled(number->mantissa, number->exponent + *exponent);
  if (std::isnan(value)) return std::nullopt;
  return Measure{value, !suffix.empty()};
}

}  // namespace dot11a
