// The table of a window module's local operations (its callbacks and helpers
// reachable by name while the module runs), built from plain rows: the name the
// layouts and modules call, the declared counts and the C++ function. The C++
// function may be named differently from the registered name, so a name kept
// for compatibility (a misspelling the layouts rely on) stays out of the code.
#pragma once

#include <initializer_list>
#include <string_view>

#include "dot11a/call.hpp"

namespace dot11a::gfx {

struct LocalOp {
  std::string_view name;  // as called by name
  int nin = 0;            // fixed count, kAny or kOnePlus
  int nout = 0;
  OpFn fn = nullptr;
};

// A control or menu callback: any inputs (object, event data, handles, ...),
// no outputs.
constexpr LocalOp callback(std::string_view name, OpFn fn) {
  return {name, kAny, 0, fn};
}

// The module's table; the argument-count errors name each operation
// "module/name", declared on line 1.
LocalTable localOperations(std::string_view module, std::initializer_list<LocalOp> ops);

}  // namespace dot11a::gfx
