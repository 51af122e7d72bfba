// Locale-free number-to-text conversion and the num2Str operation.
#include "dot11a/num2str.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"

namespace dot11a {

namespace {

// std::to_chars is specified to ignore the locale, which is the point here.
std::string toChars(double x, std::chars_format fmt, int precision) {
  char buf[400];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, fmt, precision);
  if (ec != std::errc()) raise("Cannot convert the number to text.");
  return std::string(buf, end);
}

std::string nonFinite(double x) {
  if (std::isnan(x)) return "NaN";
  return x < 0 ? "-Inf" : "Inf";
}

std::string wholeNumber(double x) {
  if (x == 0) return "0";  // also -0
  return toChars(x, std::chars_format::fixed, 0);
}

}  // namespace

std::string formatG(double x, int significantDigits) {
  if (!std::isfinite(x)) return nonFinite(x);
  return toChars(x, std::chars_format::general, std::clamp(significantDigits, 1, 17));
}

std::string num2str(double x) {
  if (!std::isfinite(x)) return nonFinite(x);
  if (x == std::trunc(x)) return wholeNumber(x);
  const double digits = std::ceil(std::log10(std::fabs(x)));
  const int p = checkedInteger<int>(std::min(11.0, std::max(1.0, digits)), "num2str: digits") + 4;
  return toChars(x, std::chars_format::general, p);
}

std::string formatNumber(std::string_view format, double x) {
  std::string prefix, suffix;
  bool seen = false;
  bool left = false, plus = false, space = false, zero = false;
  int width = 0, precision = -1;
  char conv = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    std::string& lit = seen ? suffix : prefix;
    if (format[i] != '%') {
      lit.push_back(format[i]);
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      lit.push_back('%');
      ++i;
      continue;
    }
    if (seen)
      raise("The number format \"" + std::string(format) + "\" has more than one conversion.");
    ++i;
    for (; i < format.size() && std::string_view("-+ 0#").find(format[i]) != std::string_view::npos;
         ++i) {
      left |= format[i] == '-';
      plus |= format[i] == '+';
      space |= format[i] == ' ';
      zero |= format[i] == '0';
    }
    for (; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i)
      width = std::min(width * 10 + (format[i] - '0'), 1000);
    if (i < format.size() && format[i] == '.') {
      precision = 0;
      for (++i; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i)
        precision = std::min(precision * 10 + (format[i] - '0'), 100);
    }
    if (i >= format.size() ||
        std::string_view("diufFeEgG").find(format[i]) == std::string_view::npos)
      raise("The number format \"" + std::string(format) +
            "\" needs one conversion of d, i, u, f, e or g.");
    conv = format[i];
    seen = true;
  }
  if (!seen) raise("The number format \"" + std::string(format) + "\" has no conversion.");

  std::string body;
  const bool finite = std::isfinite(x);
  if (!finite) {
    body = nonFinite(std::fabs(x));
  } else {
    const double ax = std::fabs(x);
    switch (conv) {
      case 'd':
      case 'i':
      case 'u':
        body = wholeNumber(std::round(ax));
        break;
      case 'f':
      case 'F':
        body = toChars(ax, std::chars_format::fixed, precision < 0 ? 6 : precision);
        break;
      case 'e':
      case 'E':
        body = toChars(ax, std::chars_format::scientific, precision < 0 ? 6 : precision);
        break;
      default:
        body = toChars(ax, std::chars_format::general, precision < 0 ? 6 : std::max(precision, 1));
        break;
    }
    if (conv == 'E' || conv == 'G')
      std::transform(body.begin(), body.end(), body.begin(),
                     [](char c) { return c == 'e' ? 'E' : c; });
  }
  // A value that rounds to integer zero prints without a minus sign, as printf does.
  const bool integerConv = conv == 'd' || conv == 'i' || conv == 'u';
  const bool negative =
      std::signbit(x) && !(finite && integerConv && std::round(std::fabs(x)) == 0);
  const std::string sign = negative ? "-" : (plus ? "+" : (space ? " " : ""));
  const std::size_t len = sign.size() + body.size();
  std::string out;
  if (static_cast<std::size_t>(width) > len) {
    const std::size_t pad = static_cast<std::size_t>(width) - len;
    if (left)
      out = sign + body + std::string(pad, ' ');
    else if (zero && finite)
      out = sign + std::string(pad, '0') + body;
    else
      out = std::string(pad, ' ') + sign + body;
  } else {
    out = sign + body;
  }
  return prefix + out + suffix;
}

}  // namespace dot11a
