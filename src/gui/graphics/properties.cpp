// get and set: one table of property rows keyed by property name and object
// kind. The rows themselves live with their concern (control_properties.cpp for
// windows, controls, menus and the screen; axes.cpp for axes, lines and
// surfaces); this file finds the row and reports what has no row.
#include <QObject>
#include <map>

#include "dot11a/error.hpp"
#include "gui/graphics/internal.hpp"

namespace dot11a::gfx {

namespace {

using Key = std::pair<std::string, unsigned>;  // (lower-case name, one Kind bit)

struct Table {
  std::map<Key, const PropertyRow*> rows;
  std::map<std::string, bool> names;  // every name that some kind has
  std::vector<const PropertyRow*> order;
};

const Table& table() {
  static const Table t = [] {
    Table out;
    for (auto rows : {uiPropertyRows(), plotPropertyRows()}) {
      for (const PropertyRow& row : rows) {
        const std::string name = lower(row.name);
        out.names[name] = true;
        out.order.push_back(&row);
        for (unsigned bit = 1; bit <= static_cast<unsigned>(Kind::Surface); bit <<= 1)
          if (row.kinds & bit) out.rows.emplace(Key{name, bit}, &row);
      }
    }
    return out;
  }();
  return t;
}

Target targetOf(Handle handle, std::string_view property, std::string_view op) {
  if (handle.isRoot()) return {handle, nullptr, Kind::Root, property};
  QObject* o = requireObject(handle, std::string(op) + "(" + std::string(property) + ")");
  return {handle, o, kindOf(o), property};
}

const PropertyRow* findRow(const Target& t) {
  const Table& tab = table();
  auto it = tab.rows.find(Key{lower(t.property), static_cast<unsigned>(t.kind)});
  if (it == tab.rows.end()) return nullptr;
  if (it->second->applies && !it->second->applies(t)) return nullptr;
  return it->second;
}

[[noreturn]] void noSuchProperty(const Target& t) {
  const std::string p(t.property);
  if (t.kind == Kind::Root) raise("The screen has no property '" + p + "'.");
  const std::string tag = fromQ(t.object->objectName());
  const Table& tab = table();
  auto it = tab.rows.find(Key{lower(p), static_cast<unsigned>(t.kind)});
  if (it != tab.rows.end())
    raise("The object '" + tag + "' has no " + std::string(it->second->name) + ".");
  if (t.kind == Kind::Menu && tab.names.count(lower(p)))
    raise("A menu has no property '" + p + "'.");
  raise("There is no property '" + p + "' on '" + tag + "'.");
}

}  // namespace

Value get(Handle handle, std::string_view property) {
  const Target t = targetOf(handle, property, "get");
  const PropertyRow* row = findRow(t);
  if (!row) noSuchProperty(t);
  if (!row->get) raise("The property " + std::string(row->name) + " can only be set.");
  return row->get(t);
}

void set(Handle handle, std::string_view property, const Value& value) {
  if (handle.isRoot()) raise("The screen's properties cannot be set.");
  const Target t = targetOf(handle, property, "set");
  const PropertyRow* row = findRow(t);
  if (!row) noSuchProperty(t);
  if (!row->set) raise("The property " + std::string(row->name) + " cannot be changed.");
  row->set(t, value);
}

bool hasProperty(Handle handle, std::string_view property) {
  if (!handle.isRoot() && !objectOf(handle)) return false;
  return findRow(targetOf(handle, property, "get")) != nullptr;
}

std::vector<std::string> propertyNames(Handle handle) {
  const Target t = targetOf(handle, "", "get");
  std::vector<std::string> out;
  for (const PropertyRow* row : table().order)
    if ((row->kinds & static_cast<unsigned>(t.kind)) && (!row->applies || row->applies(t)))
      out.emplace_back(row->name);
  return out;
}

std::string getString(Handle handle, std::string_view property) {
  return textOf(get(handle, property));
}
void setString(Handle handle, std::string_view property, std::string_view text) {
  set(handle, property, Value(std::string(text)));
}
double getNumber(Handle handle, std::string_view property) {
  return get(handle, property).toScalar();
}
void setNumber(Handle handle, std::string_view property, double x) {
  set(handle, property, x);
}

}  // namespace dot11a::gfx
