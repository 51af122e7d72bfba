// What the files of the graphics layer share among themselves: the registry of
// handles and per-object data, the kinds of objects, the property table's row
// type, and small conversions between values and Qt.
#pragma once

#include <QColor>
#include <QPointer>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gui/graphics/graphics.hpp"

class QAction;
class QEventLoop;
class QMenuBar;

namespace dot11a::gfx {

// Dynamic properties the layer keeps on its Qt objects.
inline constexpr const char* kHandleProp = "dot11aHandle";
inline constexpr const char* kFigureProp = "dot11aFigure";
inline constexpr const char* kLayoutProp = "dot11aLayout";
inline constexpr const char* kWiredProp = "dot11aWired";

struct Registry {
  double next = 1;
  std::map<double, QPointer<QObject>> objects;
  std::map<double, Value> userData;
  std::map<double, Value> appData;  // guidata, per window
  std::map<double, Value> cdata;
  std::map<double, std::vector<QEventLoop*>> waits;
  std::vector<std::pair<double, double>> callbackStack;  // (object, window)
  double currentFigure = 0;  // where plotting commands draw (currentFigure())
  double dpiOverride = 0;
  int splashMs = 3000;
};
Registry& reg();
// Drops what the registry holds for a handle whose object is going away.
void forget(Handle h);

// ---- object kinds ---------------------------------------------------------------
// The property table is keyed by property name and by the kind of the object.
enum class Kind : unsigned {
  Root = 1u << 0,     // the screen, handle 0
  Figure = 1u << 1,   // a window
  Control = 1u << 2,  // a control or container inside a window
  Menu = 1u << 3,     // a menu or menu item
  Axes = 1u << 4,     // a plot area
  Line = 1u << 5,     // a line in an axes
  Surface = 1u << 6,  // a surface (waterfall) in an axes
};
constexpr unsigned operator|(Kind a, Kind b) {
  return static_cast<unsigned>(a) | static_cast<unsigned>(b);
}
constexpr unsigned operator|(unsigned a, Kind b) {
  return a | static_cast<unsigned>(b);
}
inline constexpr unsigned kWidgets = Kind::Figure | Kind::Control;
inline constexpr unsigned kUiObjects = Kind::Figure | Kind::Control | Kind::Menu;
inline constexpr unsigned kPlotObjects = Kind::Line | Kind::Surface;
std::string_view kindName(Kind k);
Kind kindOf(QObject* o);

// The object a property is read or written on.
struct Target {
  Handle handle;
  QObject* object = nullptr;  // null for the screen
  Kind kind = Kind::Root;
  std::string_view property;  // as the caller spelled it (for messages)
};

// One row of the property table. `get` or `set` may be null (read-only or
// write-only); `applies` narrows a row to some objects of its kinds (FontSize
// exists on controls that draw text, not on containers). Setters validate
// their value and raise a clear error before they change anything.
struct PropertyRow {
  std::string_view name;  // canonical spelling; matched case-insensitively
  unsigned kinds;         // Kind bits the row serves
  Value (*get)(const Target&) = nullptr;
  void (*set)(const Target&, const Value&) = nullptr;
  bool (*applies)(const Target&) = nullptr;
};

// The rows, by concern (control_properties.cpp, axes.cpp).
std::span<const PropertyRow> uiPropertyRows();
std::span<const PropertyRow> plotPropertyRows();

// ---- helpers ------------------------------------------------------------------------
std::string lower(std::string_view s);
std::string onOff(bool b);
bool toBool(const Value& v, std::string_view prop);  // "on"/"off" or a truth value
std::string textOf(const Value& v);                  // text shown in a control
Value colorValue(const QColor& c);
QColor colorFrom(const Value& v);
std::vector<double> numbersOf(const Value& v, std::string_view what);  // a real vector

bool isFigure(QObject* o);
QAction* actionOf(QObject* o);
int screenHeight();
int containerHeight(QWidget* w);
QMenuBar* menuBarOf(QWidget* fig);
// Connects a control's user actions to its Callback property (once).
void wire(QObject* o);
// Objects a handles record lists: named widgets and actions.
bool tagged(QObject* o);

// Makes a top-level widget a window of the layer: marks it, watches its close
// box and registers it and its tagged children (layouts.cpp).
void adoptFigure(QWidget* root);

// Re-places the axes of a window after it was resized (axes.cpp).
void layoutAxes(QWidget* figure);

}  // namespace dot11a::gfx
