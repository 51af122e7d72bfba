// The application entry: starts the main window's module and then waits, in
// the window system's event loop, until the main window has gone away.
#include "dot11a/call.hpp"

namespace dot11a::op {
void Dot11a_b(Call&) {
  const std::vector<Value> out = feval("dot11a_GUI_b", 1, std::span<const Value>{});
  if (out.empty() || !out[0].isNumeric() || out[0].isEmpty()) return;
  feval("uiwait", 0, {out[0]});
}
}  // namespace dot11a::op
