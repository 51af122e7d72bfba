// compareStruct: field-by-field equality of two records, as the shell uses it
// to tell whether the parameter set changed since the last calculation;
// clock2str: the time stamp of plot window titles.
#include <charconv>
#include <cmath>
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"

namespace dot11a {

namespace {

std::string shownNumber(double x) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

bool sameRecord(const Value& a, const Value& b) {
  if (!a.isRecord() || !b.isRecord()) return false;
  const auto af = a.fields();
  const auto bf = b.fields();
  if (af.size() != bf.size()) return false;
  for (std::size_t i = 0; i < af.size(); ++i) {
    if (af[i].first != bf[i].first) return false;
    const Value& x = af[i].second;
    const Value& y = bf[i].second;
    if (x.isEmpty() && y.isEmpty()) continue;
    if (x.isRecord() && y.isRecord()) {
      if (!sameRecord(x, y)) return false;
      continue;
    }
    if (x.isNumeric() && y.isNumeric()) {
      if (x.rows() != y.rows() || x.cols() != y.cols()) return false;
      // Element by element, so a NaN never matches.
      for (std::size_t k = 0; k < x.numel(); ++k)
        if (!(x.complexAt(k) == y.complexAt(k))) return false;
      continue;
    }
    if (x.isText() && y.isText()) {
      if (x.str() != y.str()) return false;
      continue;
    }
    return false;
  }
  return true;
}

std::string twoDigits(long v) {
  std::string s = std::to_string(v);
  if (v >= 0 && v < 10) s.insert(s.begin(), '0');
  return s;
}

}  // namespace

namespace op {

void compareStruct(Call& c) {
  c.outputNames({"equal"});
  c.out(0) = Value::logical(sameRecord(c.in(0, "a"), c.in(1, "b")));
}

void clock2str(Call& c) {
  c.outputNames({"timestampString"});
  const Value& clk = c.in(0, "clkVector");
  if (!clk.isNumeric() || clk.isComplex() || clk.numel() < 6)
    raise("clock2str needs a row of six numbers: year, month, day, hour, minute, seconds.");
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  static const char* const kParts[] = {"year", "month", "day", "hour", "minute", "seconds"};
  // Each part within its calendar range, so no text shows a date that is not
  // one; the seconds are truncated (60 is a leap second).
  const auto whole = [&](std::size_t i, int lo, int hi) {
    const double x = clk.real(i);
    const int v = checkedInteger<int>(std::floor(x), "clock2str: the " + std::string(kParts[i]));
    if (v < lo || v > hi)
      raise("clock2str: the " + std::string(kParts[i]) + " is " + shownNumber(x) + ", not from " +
            std::to_string(lo) + " to " + std::to_string(hi) + ".");
    return v;
  };
  const int year = whole(0, 0, 9999);
  const int m = whole(1, 1, 12);
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  const int day = whole(2, 1, m == 2 && !leap ? 28 : kDays[m - 1]);
  c.out(0) = Value(twoDigits(day) + kMonths[m - 1] + std::to_string(year) + " " +
                   std::to_string(whole(3, 0, 23)) + ":" + twoDigits(whole(4, 0, 59)) + ":" +
                   twoDigits(whole(5, 0, 60)));
}

}  // namespace op
}  // namespace dot11a
