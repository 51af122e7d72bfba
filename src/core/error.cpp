#include "dot11a/error.hpp"

#include <iostream>
#include <utility>

namespace dot11a {

namespace {
WarningSink& sink() {
  static WarningSink s;
  return s;
}
}  // namespace

void raise(std::string message) {
  throw Error(std::move(message));
}

void warning(std::string_view message) {
  if (sink()) {
    sink()(message);
    return;
  }
  std::cerr << "Warning: " << message << '\n';
}

WarningSink setWarningSink(WarningSink s) {
  return std::exchange(sink(), std::move(s));
}

}  // namespace dot11a
