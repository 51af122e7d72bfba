// num2Str: numbers as text, by the conversions of dot11a/num2str.hpp.
#include <algorithm>
#include <cmath>
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/num2str.hpp"

namespace dot11a {
namespace op {

// num2Str(x, format): x as text by the general conversion; with a number as the
// second input, that many significant digits; with a text, that format. The
// elements of a row are joined by two blanks, rows by line breaks; a text input
// comes back unchanged.
void num2Str(Call& c) {
  c.outputNames({"str"});
  const Value& x = c.in(0, "x");
  if (x.isText()) {
    c.out(0) = x;
    return;
  }
  if (!x.isNumeric() && !x.isEmpty())
    raise("num2Str: the input must be a number or a text, not " + x.describe() + ".");
  const Value fallback;
  const Value& fmt = c.inOr(1, fallback);
  auto one = [&](double v) {
    if (fmt.isText()) return formatNumber(fmt.str(), v);
    if (fmt.isNumeric() && !fmt.isEmpty())
      // formatG keeps 1 to 17 digits; a precision outside them is one of the ends.
      return formatG(v, checkedInteger<int>(std::round(std::clamp(fmt.toScalar(), 1.0, 17.0)),
                                            "num2Str: the precision"));
    return num2str(v);
  };
  auto element = [&](std::size_t i) {
    const cplx z = x.complexAt(i);
    if (!x.isComplex()) return one(z.real());
    std::string im = one(std::fabs(z.imag()));
    return one(z.real()) + (std::signbit(z.imag()) ? "-" : "+") + im + "i";
  };
  std::string out;
  const std::size_t rows = x.rows(), cols = x.cols();
  for (std::size_t r = 0; r < rows; ++r) {
    if (r > 0) out += '\n';
    for (std::size_t col = 0; col < cols; ++col) {
      if (col > 0) out += "  ";
      out += element(col * rows + r);  // column-major storage
    }
  }
  c.out(0) = Value(out);
}

}  // namespace op
}  // namespace dot11a
