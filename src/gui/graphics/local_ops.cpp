// Building the local tables of window modules.
#include "gui/graphics/local_ops.hpp"

#include <set>
#include <string>

namespace dot11a::gfx {

LocalTable localOperations(std::string_view module, std::initializer_list<LocalOp> ops) {
  // The tables live as long as the program and hold views of their names; the
  // "module/name" texts of the count errors are kept here, one copy each.
  static std::set<std::string, std::less<>> texts;
  auto keep = [](std::string text) -> std::string_view {
    return *texts.insert(std::move(text)).first;
  };
  LocalTable table{keep(std::string(module)), {}};
  table.functions.reserve(ops.size());
  for (const LocalOp& op : ops)
    table.functions.push_back(OpInfo{keep(std::string(op.name)), op.nin, op.nout, 1,
                                     keep(std::string(module) + "/" + std::string(op.name)),
                                     op.fn});
  return table;
}

}  // namespace dot11a::gfx
