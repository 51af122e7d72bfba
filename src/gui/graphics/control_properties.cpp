// The property rows of the screen, windows, controls and menus. Each row says
// which kinds of object it serves and how the value is read, checked and
// written; adding a property means adding a row here.
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <limits>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "gui/graphics/internal.hpp"

namespace dot11a::gfx {

namespace {

constexpr unsigned kAll = kUiObjects | Kind::Axes | Kind::Line | Kind::Surface;

// A number set by name as an int, clamped to [lo, hi] as the widget would
// clamp it; not a number is refused under `what`.
int clampedInt(double x, const std::string& what, int lo = std::numeric_limits<int>::min(),
               int hi = std::numeric_limits<int>::max()) {
  if (const auto v = clampedInteger<int>(x, lo, hi)) return *v;
  raise(what + " must be a number, not NaN.");
}
constexpr unsigned kRoot = static_cast<unsigned>(Kind::Root);
constexpr unsigned kMenuOnly = static_cast<unsigned>(Kind::Menu);

// The widget of a window or control; a menu is shown and chosen through its
// action in the parent menu, so it has none here.
QWidget* widget(const Target& t) {
  if (qobject_cast<QMenu*>(t.object)) return nullptr;
  return qobject_cast<QWidget*>(t.object);
}

std::string tagOf(const Target& t) {
  return fromQ(t.object->objectName());
}

// A property the layer keeps on the object itself, as lower-case text.
Value storedText(const Target& t, const char* fallback) {
  const QVariant v = t.object->property(("dot11a_" + lower(t.property)).c_str());
  return Value(v.isValid() ? fromQ(v.toString()) : std::string(fallback));
}
void storeText(const Target& t, const Value& value) {
  t.object->setProperty(("dot11a_" + lower(t.property)).c_str(), toQ(lower(textOf(value))));
}

std::string styleOf(QObject* o) {
  if (qobject_cast<QComboBox*>(o)) return "popupmenu";
  if (qobject_cast<QLineEdit*>(o) || qobject_cast<QTextEdit*>(o) ||
      qobject_cast<QPlainTextEdit*>(o))
    return "edit";
  if (auto* b = qobject_cast<QAbstractButton*>(o)) {
    if (qobject_cast<QPushButton*>(b)) return b->isCheckable() ? "togglebutton" : "pushbutton";
    return b->metaObject()->className() == QString("QRadioButton") ? "radiobutton" : "checkbox";
  }
  if (qobject_cast<QAbstractSlider*>(o)) return "slider";
  if (qobject_cast<QLabel*>(o)) return "text";
  return "frame";
}

// ---- the screen ------------------------------------------------------------------

Value rootType(const Target&) {
  return Value("root");
}
Value rootUnits(const Target&) {
  return Value("pixels");
}
Value rootScreenSize(const Target&) {
  return screenSize();
}
Value rootPixelsPerInch(const Target&) {
  return screenPixelsPerInch();
}
Value rootPointer(const Target&) {
  const QPoint pt = QCursor::pos();
  return Value::row({double(pt.x()), double(screenHeight() - pt.y())});
}

// ---- every object ------------------------------------------------------------------

Value getTag(const Target& t) {
  return Value(tagOf(t));
}
void setTag(const Target& t, const Value& v) {
  t.object->setObjectName(toQ(textOf(v)));
}
Value getType(const Target& t) {
  return Value(std::string(kindName(t.kind)));
}
Value getParent(const Target& t) {
  return handleOf(t.object->parent()).toValue();
}
Value getUserData(const Target& t) {
  auto it = reg().userData.find(t.handle.id());
  return it == reg().userData.end() ? Value::empty() : it->second;
}
void setUserData(const Target& t, const Value& v) {
  reg().userData[t.handle.id()] = v;
}

// ---- windows, controls and menus -----------------------------------------------------

Value getStyle(const Target& t) {
  return Value(styleOf(t.object));
}

Value getCData(const Target& t) {
  auto it = reg().cdata.find(t.handle.id());
  return it == reg().cdata.end() ? Value::empty() : it->second;
}
void setCData(const Target& t, const Value& v) {
  const QImage img = imageFromValue(v);  // checks the planes before anything changes
  reg().cdata[t.handle.id()] = v;
  if (auto* l = qobject_cast<QLabel*>(t.object)) {
    l->setPixmap(QPixmap::fromImage(img));
  } else if (auto* b = qobject_cast<QAbstractButton*>(t.object)) {
    b->setIcon(QIcon(QPixmap::fromImage(img)));
    b->setIconSize(img.size());
  }
}

Value getCallback(const Target& t) {
  return Value(fromQ(t.object->property("Callback").toString()));
}
void setCallback(const Target& t, const Value& v) {
  t.object->setProperty("Callback", toQ(textOf(v)));
  wire(t.object);
}
Value getCloseRequestFcn(const Target& t) {
  return Value(fromQ(t.object->property("CloseRequestFcn").toString()));
}
void setCloseRequestFcn(const Target& t, const Value& v) {
  t.object->setProperty("CloseRequestFcn", toQ(textOf(v)));
  wire(t.object);
}

Value getString(const Target& t) {
  QObject* o = t.object;
  if (auto* le = qobject_cast<QLineEdit*>(o)) return Value(fromQ(le->text()));
  if (auto* te = qobject_cast<QTextEdit*>(o)) return Value(fromQ(te->toPlainText()));
  if (auto* pe = qobject_cast<QPlainTextEdit*>(o)) return Value(fromQ(pe->toPlainText()));
  if (auto* l = qobject_cast<QLabel*>(o)) return Value(fromQ(l->text()));
  if (auto* b = qobject_cast<QAbstractButton*>(o)) return Value(fromQ(b->text()));
  if (auto* g = qobject_cast<QGroupBox*>(o)) return Value(fromQ(g->title()));
  if (auto* cb = qobject_cast<QComboBox*>(o)) {
    std::vector<Value> items;
    for (int i = 0; i < cb->count(); ++i) items.emplace_back(fromQ(cb->itemText(i)));
    const std::size_t n = items.size();  // read before the list is moved into the cell
    return Value::cell(n, n == 0 ? 0 : 1, std::move(items));
  }
  if (QAction* a = actionOf(o)) return Value(fromQ(a->text()));
  return Value("");
}
void setString(const Target& t, const Value& value) {
  QObject* o = t.object;
  if (auto* cb = qobject_cast<QComboBox*>(o)) {
    QStringList items;
    if (value.isCell()) {
      for (std::size_t i = 0; i < value.numel(); ++i) items << toQ(textOf(value.cellAt(i)));
    } else {
      items = toQ(textOf(value)).split('|');
    }
    const int keep = cb->currentIndex();
    cb->clear();
    cb->addItems(items);
    cb->setCurrentIndex(std::min(keep, int(items.size()) - 1));
  } else if (auto* le = qobject_cast<QLineEdit*>(o)) {
    le->setText(toQ(textOf(value)));
    le->setCursorPosition(0);
  } else if (auto* te = qobject_cast<QTextEdit*>(o)) {
    te->setPlainText(toQ(textOf(value)));
  } else if (auto* pe = qobject_cast<QPlainTextEdit*>(o)) {
    pe->setPlainText(toQ(textOf(value)));
  } else if (auto* l = qobject_cast<QLabel*>(o)) {
    l->setText(toQ(textOf(value)));
  } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
    b->setText(toQ(textOf(value)));
  } else if (auto* g = qobject_cast<QGroupBox*>(o)) {
    g->setTitle(toQ(textOf(value)));
  } else if (QAction* a = actionOf(o)) {
    a->setText(toQ(textOf(value)));
  }
}

Value getValue(const Target& t) {
  if (auto* cb = qobject_cast<QComboBox*>(t.object)) return double(cb->currentIndex() + 1);
  if (auto* b = qobject_cast<QAbstractButton*>(t.object)) return b->isChecked() ? 1.0 : 0.0;
  if (auto* s = qobject_cast<QAbstractSlider*>(t.object)) return double(s->value());
  return 0.0;
}
void setValue(const Target& t, const Value& value) {
  if (value.isEmpty() || !value.isNumeric())
    raise("The Value of '" + tagOf(t) + "' must be a number.");
  const double v = value.toScalar();
  if (auto* cb = qobject_cast<QComboBox*>(t.object)) {
    const auto item = integerOf<int>(v, 1, cb->count());
    if (!item)
      raise("Item " + fromQ(QString::number(v)) + " is not one of the " +
            std::to_string(cb->count()) + " items of '" + tagOf(t) + "'.");
    cb->setCurrentIndex(*item - 1);
  } else if (auto* b = qobject_cast<QAbstractButton*>(t.object)) {
    b->setChecked(v != 0);
  } else if (auto* s = qobject_cast<QAbstractSlider*>(t.object)) {
    s->setValue(clampedInt(v, "The Value of '" + tagOf(t) + "'", s->minimum(), s->maximum()));
  }
}

// Min and Max: a slider's range, or numbers kept with the control.
Value getBound(const Target& t) {
  const bool isMin = lower(t.property) == "min";
  if (auto* s = qobject_cast<QAbstractSlider*>(t.object))
    return double(isMin ? s->minimum() : s->maximum());
  const QVariant v = t.object->property(("dot11a_" + lower(t.property)).c_str());
  return v.isValid() ? v.toDouble() : (isMin ? 0.0 : 1.0);
}
void setBound(const Target& t, const Value& value) {
  const double v = value.toScalar();
  const bool isMin = lower(t.property) == "min";
  if (auto* s = qobject_cast<QAbstractSlider*>(t.object)) {
    const int bound = clampedInt(v, "The " + std::string(t.property) + " of '" + tagOf(t) + "'");
    if (isMin)
      s->setMinimum(bound);
    else
      s->setMaximum(bound);
  } else {
    t.object->setProperty(("dot11a_" + lower(t.property)).c_str(), v);
  }
}

Value getEnable(const Target& t) {
  QWidget* w = widget(t);
  QAction* a = actionOf(t.object);
  return Value(onOff(w ? w->isEnabled() : a ? a->isEnabled() : true));
}
void setEnable(const Target& t, const Value& value) {
  const bool on = toBool(value, t.property);
  if (QWidget* w = widget(t))
    w->setEnabled(on);
  else if (QAction* a = actionOf(t.object))
    a->setEnabled(on);
}

Value getVisible(const Target& t) {
  if (QWidget* w = widget(t)) return Value(onOff(w->isWindow() ? w->isVisible() : !w->isHidden()));
  if (QAction* a = actionOf(t.object)) return Value(onOff(a->isVisible()));
  return Value("on");
}
void setVisible(const Target& t, const Value& value) {
  const bool on = toBool(value, t.property);
  if (QWidget* w = widget(t)) {
    if (on && w->isWindow()) {
      w->setVisible(true);
      w->raise();
      w->activateWindow();
    } else {
      w->setVisible(on);
    }
  } else if (QAction* a = actionOf(t.object)) {
    a->setVisible(on);
  }
}

Value getChecked(const Target& t) {
  if (QAction* a = actionOf(t.object)) return Value(onOff(a->isChecked()));
  if (auto* b = qobject_cast<QAbstractButton*>(t.object)) return Value(onOff(b->isChecked()));
  return Value("off");
}
void setChecked(const Target& t, const Value& value) {
  const bool on = toBool(value, t.property);
  if (QAction* a = actionOf(t.object)) {
    a->setCheckable(true);
    a->setChecked(on);
  } else if (auto* b = qobject_cast<QAbstractButton*>(t.object)) {
    b->setChecked(on);
  }
}

Value getLabel(const Target& t) {
  if (QAction* a = actionOf(t.object)) return Value(fromQ(a->text()));
  raise("Only menus have a Label.");
}
void setLabel(const Target& t, const Value& value) {
  QAction* a = actionOf(t.object);
  if (!a) raise("Only menus have a Label.");
  a->setText(toQ(textOf(value)));
  if (auto* m = qobject_cast<QMenu*>(t.object)) m->setTitle(toQ(textOf(value)));
}

Value getTooltip(const Target& t) {
  if (QWidget* w = widget(t)) return Value(fromQ(w->toolTip()));
  if (QAction* a = actionOf(t.object)) return Value(fromQ(a->toolTip()));
  return Value("");
}
void setTooltip(const Target& t, const Value& value) {
  if (QWidget* w = widget(t))
    w->setToolTip(toQ(textOf(value)));
  else if (QAction* a = actionOf(t.object))
    a->setToolTip(toQ(textOf(value)));
}

Value getName(const Target& t) {
  QWidget* w = widget(t);
  return Value(w ? fromQ(w->windowTitle()) : std::string());
}
void setName(const Target& t, const Value& value) {
  if (QWidget* w = widget(t)) w->setWindowTitle(toQ(textOf(value)));
}

Value getUnits(const Target& t) {
  return storedText(t, "pixels");
}
void setUnits(const Target& t, const Value& value) {
  const std::string u = lower(textOf(value));
  if (u != "pixels" && u != "normalized" && u != "points" && u != "characters" && u != "inches" &&
      u != "centimeters")
    raise("'" + textOf(value) + "' is not a unit of position.");
  storeText(t, value);
}

// On/off texts the layer keeps for the modules: the window's zoom and rotate
// modes (the plot windows' tools read them), and its number title.
Value getModeOff(const Target& t) {
  return storedText(t, "off");
}
Value getModeOn(const Target& t) {
  return storedText(t, "on");
}
void setOnOffText(const Target& t, const Value& value) {
  toBool(value, t.property);  // only "on"/"off" or a truth value
  t.object->setProperty(("dot11a_" + lower(t.property)).c_str(),
                        toQ(onOff(toBool(value, t.property))));
}

// MenuBar: "figure" or "none". The layer adds no standard menus of its own,
// so the menus a module adds show either way.
Value getMenuBar(const Target& t) {
  return storedText(t, "figure");
}
void setMenuBar(const Target& t, const Value& value) {
  const std::string m = lower(textOf(value));
  if (m != "figure" && m != "none") raise("The MenuBar is 'figure' or 'none'.");
  storeText(t, value);
}

Value getPointer(const Target& t) {
  return storedText(t, "arrow");
}
void setPointer(const Target& t, const Value& value) {
  const std::string shape = lower(textOf(value));
  storeText(t, value);
  QWidget* w = widget(t);
  if (!w) return;
  if (shape == "watch")
    w->setCursor(Qt::WaitCursor);
  else if (shape == "crosshair" || shape == "cross")
    w->setCursor(Qt::CrossCursor);
  else if (shape == "ibeam")
    w->setCursor(Qt::IBeamCursor);
  else if (shape == "hand")
    w->setCursor(Qt::PointingHandCursor);
  else if (shape == "fleur")
    w->setCursor(Qt::SizeAllCursor);
  else
    w->unsetCursor();
}

// ---- windows and controls only -----------------------------------------------------

Value getPosition(const Target& t) {
  QWidget* w = widget(t);
  const QRect g = w->geometry();
  return Value::row({double(g.x()), double(containerHeight(w) - g.y() - g.height()),
                     double(g.width()), double(g.height())});
}
void setPosition(const Target& t, const Value& value) {
  if (value.numel() != 4 || !value.isNumeric()) raise("A Position is [left bottom width height].");
  QWidget* w = widget(t);
  // Within the largest size a widget takes, so that the sum below stays an int.
  auto pixels = [](double x, int lo) {
    return clampedInt(x, "A Position's element", lo, QWIDGETSIZE_MAX);
  };
  const int left = pixels(value.real(0), -QWIDGETSIZE_MAX);
  const int width = pixels(value.real(2), 0);
  const int height = pixels(value.real(3), 0);
  const int bottom = pixels(value.real(1), -QWIDGETSIZE_MAX);
  w->setGeometry(left, containerHeight(w) - bottom - height, width, height);
}

Value getColor(const Target& t) {
  return colorValue(widget(t)->palette().color(QPalette::Window));
}
void setColor(const Target& t, const Value& value) {
  QWidget* w = widget(t);
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, colorFrom(value));
  w->setPalette(pal);
  w->setAutoFillBackground(true);
}

bool isWidget(const Target& t) {
  return widget(t) != nullptr;
}

// Containers pass their font on to their children, so only the controls
// themselves carry a font size of their own.
bool hasFont(const Target& t) {
  QWidget* w = widget(t);
  return w && !w->isWindow() &&
         (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
          qobject_cast<QLineEdit*>(w) || qobject_cast<QLabel*>(w) ||
          qobject_cast<QAbstractSlider*>(w) || qobject_cast<QTextEdit*>(w));
}
Value getFontSize(const Target& t) {
  return widget(t)->font().pointSizeF();
}
void setFontSize(const Target& t, const Value& value) {
  const double size = value.toScalar();
  if (!(size > 0) || size > 500) raise("A font size must be between 0 and 500 points.");
  QWidget* w = widget(t);
  QFont f = w->font();
  f.setPointSizeF(size);
  w->setFont(f);
}

const PropertyRow kRows[] = {
    // the screen
    {"Type", kRoot, rootType},
    {"Units", kRoot, rootUnits},
    {"ScreenSize", kRoot, rootScreenSize},
    {"ScreenPixelsPerInch", kRoot, rootPixelsPerInch},
    {"PointerLocation", kRoot, rootPointer},
    // every object
    {"Tag", kAll, getTag, setTag},
    {"Type", kAll, getType},
    {"Parent", kAll, getParent},
    {"UserData", kAll, getUserData, setUserData},
    // windows, controls and menus
    {"Style", kUiObjects, getStyle},
    {"CData", kUiObjects, getCData, setCData},
    {"Callback", kUiObjects, getCallback, setCallback},
    {"CloseRequestFcn", kUiObjects, getCloseRequestFcn, setCloseRequestFcn},
    {"String", kUiObjects, getString, setString},
    {"Value", kUiObjects, getValue, setValue},
    {"Min", kUiObjects, getBound, setBound},
    {"Max", kUiObjects, getBound, setBound},
    {"Enable", kUiObjects, getEnable, setEnable},
    {"Visible", kUiObjects, getVisible, setVisible},
    {"Checked", kUiObjects, getChecked, setChecked},
    {"Label", kUiObjects, getLabel, setLabel},
    {"TooltipString", kUiObjects, getTooltip, setTooltip},
    {"Name", kUiObjects, getName, setName},
    {"Units", kUiObjects, getUnits, setUnits},
    {"Pointer", kUiObjects, getPointer, setPointer},
    {"NumberTitle", kUiObjects, getModeOn, setOnOffText},
    {"MenuBar", kUiObjects, getMenuBar, setMenuBar},
    {"ZoomMode", kUiObjects, getModeOff, setOnOffText},
    {"RotateMode", kUiObjects, getModeOff, setOnOffText},
    // windows and controls
    {"Position", kWidgets, getPosition, setPosition, isWidget},
    {"Color", kWidgets, getColor, setColor, isWidget},
    {"BackgroundColor", kWidgets, getColor, setColor, isWidget},
    {"FontSize", kWidgets, getFontSize, setFontSize, hasFont},
};

}  // namespace

std::span<const PropertyRow> uiPropertyRows() {
  return kRows;
}

}  // namespace dot11a::gfx
