// The application entry: runs the main window's module and discards its result.
#include "dot11a/call.hpp"

namespace dot11a::op {
void Dot11a_b(Call&) {
  feval("dot11a_GUI_b", 0, std::span<const Value>{});
}
}  // namespace dot11a::op
