// compareStruct: field-by-field equality of two records, as the shell uses it
// to tell whether the parameter set changed since the last calculation;
// clock2str: the time stamp of plot window titles.
#include <cmath>
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"

namespace dot11a {

namespace {

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
  if (!clk.isNumeric() || clk.numel() < 6)
    raise("clock2str needs a row of six numbers: year, month, day, hour, minute, seconds.");
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  static const char* const kParts[] = {"year", "month", "day", "hour", "minute", "seconds"};
  const auto whole = [&](std::size_t i) {
    return checkedInteger<int>(std::floor(clk.real(i)), "clock2str: the " + std::string(kParts[i]));
  };
  const long m = whole(1);
  const std::string month = (m >= 1 && m <= 12) ? kMonths[m - 1] : "";
  c.out(0) =
      Value(twoDigits(whole(2)) + month + std::to_string(whole(0)) + " " +
            std::to_string(whole(3)) + ":" + twoDigits(whole(4)) + ":" + twoDigits(whole(5)));
}

}  // namespace op
}  // namespace dot11a
