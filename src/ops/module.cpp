// The dispatcher shared by the window modules.
#include "dot11a/module.hpp"

#include <iostream>

namespace dot11a {

namespace {
std::string& lastError() {
  static std::string message;
  return message;
}
}  // namespace

const std::string& lastModuleError() {
  return lastError();
}
void clearModuleError() {
  lastError().clear();
}

bool dispatchModule(const LocalTable& table, Call& c) {
  const Value& name = c.in(0, "action");
  if (!name.isText()) return false;
  const OpInfo* fn = table.find(name.str());
  if (fn == nullptr) {
    std::cerr << "Undefined function '" << name.str() << "' in " << table.module << "."
              << std::endl;
    return false;
  }
  ModuleScope scope(&table);
  try {
    const std::span<const Value> rest = c.inputs().subspan(1, c.nargin() - 1);
    std::vector<Value> outs = invoke(*fn, c.nargout(), rest);
    for (std::size_t i = 0; i < outs.size(); ++i) c.out(i) = std::move(outs[i]);
    return true;
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    lastError() = e.what();
    return false;
  }
}

double handleIn(const Value& handles, std::string_view tag) {
  if (!handles.isRecord() || !handles.hasField(tag))
    raise("The window has no control tagged '" + std::string(tag) + "'.");
  return handles.field(tag).toScalar();
}

}  // namespace dot11a
