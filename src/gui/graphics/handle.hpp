// A handle of the graphics layer: the number by which the window modules name
// a window, control, menu, axes or line. 0 is the screen (the root object).
//
// The modules keep handles as numbers inside Value records (the handles record
// of a window, callback arguments), so a Handle is made from a number where it
// leaves such a record (Handle::from at the Value edge, or implicitly from a
// double) and turns back into a number for the record (toValue, or implicitly
// to double, which also keeps comparisons such as `fig != 0` reading as before).
#pragma once

#include <ostream>
#include <string_view>

#include "dot11a/value.hpp"

namespace dot11a::gfx {

class Handle {
 public:
  constexpr Handle() noexcept = default;
  constexpr Handle(double id) noexcept : id_(id) {}  // NOLINT: numbers from the modules' records

  // The handle held by a value (a number, or the first element of a row);
  // raises an error naming `what` for anything else.
  static Handle from(const Value& v, std::string_view what);

  constexpr double id() const noexcept { return id_; }
  constexpr operator double() const noexcept { return id_; }  // NOLINT: see above
  constexpr bool isRoot() const noexcept { return id_ == 0; }
  Value toValue() const { return Value(id_); }

 private:
  double id_ = 0;
};

inline std::ostream& operator<<(std::ostream& os, Handle h) {
  return os << h.id();
}

}  // namespace dot11a::gfx
