// The graphics layer on Qt Widgets: handle registry, properties by name,
// layouts, callbacks, menus, modal waits and screen metrics.
#include "gui/graphics/graphics.hpp"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QUiLoader>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"

namespace dot11a::gfx {

std::unique_ptr<DialogService> makeQtDialogs();  // qt_dialogs.cpp
bool isQtDialogs(const DialogService& service);

QString toQ(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string fromQ(const QString& s) {
  return s.toUtf8().toStdString();
}

namespace {

constexpr const char* kHandleProp = "dot11aHandle";
constexpr const char* kFigureProp = "dot11aFigure";
constexpr const char* kLayoutProp = "dot11aLayout";
constexpr const char* kWiredProp = "dot11aWired";

struct Registry {
  double next = 1;
  std::map<double, QPointer<QObject>> objects;
  std::map<double, Value> userData;
  std::map<double, Value> appData;  // guidata, per window
  std::map<double, Value> cdata;
  std::map<double, std::vector<QEventLoop*>> waits;
  std::vector<std::pair<double, double>> callbackStack;  // (object, window)
  double dpiOverride = 0;
  int splashMs = 3000;
};

Registry& reg() {
  static Registry r;
  return r;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string onOff(bool b) {
  return b ? "on" : "off";
}

bool toBool(const Value& v, std::string_view prop) {
  if (v.isText()) {
    const std::string s = lower(v.str());
    if (s == "on") return true;
    if (s == "off") return false;
    raise("The property " + std::string(prop) + " takes 'on' or 'off', not '" + v.str() + "'.");
  }
  return v.truthy();
}

std::string textOf(const Value& v) {
  if (v.isText()) return v.str();
  if (v.isEmpty()) return "";
  if (v.isCell()) {
    std::string out;
    for (std::size_t i = 0; i < v.numel(); ++i) {
      if (i) out += '\n';
      out += textOf(v.cellAt(i));
    }
    return out;
  }
  if (v.isNumeric()) {
    // A number shown in a text control; whole numbers without a fraction.
    const double x = v.toScalar();
    if (x == std::floor(x) && std::fabs(x) < 1e15) return std::to_string(static_cast<long long>(x));
    return fromQ(QString::number(x, 'g', 10));
  }
  raise("A text was expected, not " + v.describe() + ".");
}

// Event filter on every window: the close box either runs the window's
// CloseRequestFcn or closes and destroys the window; either way a wait on it
// ends.
class WindowFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close) {
      const double h = handleOf(watched);
      const QString fcn = watched->property("CloseRequestFcn").toString();
      if (!fcn.isEmpty()) {
        event->ignore();
        evalCallback(fromQ(fcn), h);
        return true;
      }
      deleteFigure(h);
      return false;
    }
    return QObject::eventFilter(watched, event);
  }
};

WindowFilter* windowFilter() {
  static QPointer<WindowFilter> f;
  if (!f) f = new WindowFilter(qApp);
  return f;
}

void forget(double h) {
  Registry& r = reg();
  r.objects.erase(h);
  r.userData.erase(h);
  r.appData.erase(h);
  r.cdata.erase(h);
}

// Connects the user actions of a control to its Callback property. The
// callback string is read when the action happens, so a module may set it
// after loading.
void wire(QObject* o) {
  if (o->property(kWiredProp).toBool()) return;
  o->setProperty(kWiredProp, true);
  auto fire = [o] {
    const double h = handleOf(o);
    runCallback(h);
  };
  if (auto* cb = qobject_cast<QComboBox*>(o)) {
    QObject::connect(cb, &QComboBox::activated, cb, [fire](int) { fire(); });
  } else if (auto* le = qobject_cast<QLineEdit*>(o)) {
    QObject::connect(le, &QLineEdit::editingFinished, le, fire);
  } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
    QObject::connect(b, &QAbstractButton::clicked, b, [fire](bool) { fire(); });
  } else if (auto* s = qobject_cast<QAbstractSlider*>(o)) {
    QObject::connect(s, &QAbstractSlider::actionTriggered, s, [fire](int) { fire(); });
  } else if (auto* a = qobject_cast<QAction*>(o)) {
    if (!a->menu()) QObject::connect(a, &QAction::triggered, a, [fire](bool) { fire(); });
  }
}

bool tagged(QObject* o) {
  const QString name = o->objectName();
  return !name.isEmpty() && !name.startsWith("qt_") &&
         (qobject_cast<QWidget*>(o) != nullptr || qobject_cast<QAction*>(o) != nullptr);
}

void registerTree(QWidget* root) {
  handleOf(root);
  for (QObject* o : root->findChildren<QObject*>()) {
    if (!tagged(o)) continue;
    handleOf(o);
    wire(o);
  }
}

QString layoutPath(std::string_view name) {
  QString base = toQ(name);
  if (base.endsWith(".fig") || base.endsWith(".ui")) base = base.left(base.lastIndexOf('.'));
  const QString file = QFileInfo(base).fileName() + ".ui";
  for (const QString& candidate :
       {base + ".ui", QString("layouts/") + file, QString(":/layouts/") + file})
    if (QFileInfo::exists(candidate)) return candidate;
  raise("The layout file '" + std::string(name) + "' was not found (looked for " + fromQ(file) +
        " in layouts/ and among the built-in layouts).");
}

QMenuBar* menuBarOf(QWidget* fig) {
  if (auto* mw = qobject_cast<QMainWindow*>(fig)) return mw->menuBar();
  if (auto* mb = fig->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly)) return mb;
  auto* mb = new QMenuBar(fig);
  if (fig->layout()) fig->layout()->setMenuBar(mb);
  return mb;
}

QAction* actionOf(QObject* o) {
  if (auto* m = qobject_cast<QMenu*>(o)) return m->menuAction();
  return qobject_cast<QAction*>(o);
}

int screenHeight() {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 768;
}

// Height of the area a widget's position is counted in: the screen for
// windows, the parent for controls.
int containerHeight(QWidget* w) {
  if (w->isWindow() || !w->parentWidget()) return screenHeight();
  return w->parentWidget()->height();
}

Value colorValue(const QColor& c) {
  return Value::row({c.redF(), c.greenF(), c.blueF()});
}

QColor colorFrom(const Value& v) {
  if (v.isText()) {
    QColor c(toQ(v.str()));
    if (!c.isValid()) raise("'" + v.str() + "' is not a colour.");
    return c;
  }
  if (v.numel() != 3) raise("A colour is [red green blue] with values from 0 to 1.");
  auto part = [&](std::size_t i) { return std::clamp(v.real(i), 0.0, 1.0); };
  return QColor::fromRgbF(static_cast<float>(part(0)), static_cast<float>(part(1)),
                          static_cast<float>(part(2)));
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

bool isFigure(QObject* o) {
  return o->property(kFigureProp).toBool();
}

void setFontSize(QWidget* w, double size) {
  if (!(size > 0) || size > 500) raise("A font size must be between 0 and 500 points.");
  QFont f = w->font();
  f.setPointSizeF(size);
  w->setFont(f);
}

}  // namespace

// ---- application ------------------------------------------------------------------

void ensureApplication() {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "dot11a_b";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives until the process ends
  }
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
    raise("The windows need a QApplication, but the program created a non-GUI application.");
  DialogService& current = dialogs();
  if (dynamic_cast<ScriptedDialogs*>(&current) == nullptr && !isQtDialogs(current))
    setDialogService(makeQtDialogs());
}

// ---- handles ----------------------------------------------------------------------

double handleOf(QObject* object) {
  if (!object) return 0;
  const QVariant v = object->property(kHandleProp);
  if (v.isValid()) return v.toDouble();
  Registry& r = reg();
  const double h = r.next++;
  object->setProperty(kHandleProp, h);
  r.objects[h] = object;
  QObject::connect(object, &QObject::destroyed, [h] { forget(h); });
  return h;
}

QObject* objectOf(double handle) {
  auto& objs = reg().objects;
  auto it = objs.find(handle);
  if (it == objs.end()) return nullptr;
  return it->second.data();
}

QWidget* widgetOf(double handle) {
  return qobject_cast<QWidget*>(objectOf(handle));
}

bool isHandle(double handle) {
  return handle == 0 || objectOf(handle) != nullptr;
}

QObject* requireObject(double handle, std::string_view what) {
  QObject* o = objectOf(handle);
  if (!o)
    raise("Invalid handle " + fromQ(QString::number(handle)) + " for " + std::string(what) + ".");
  return o;
}

double handleFrom(const Value& v, std::string_view what) {
  if (!v.isNumeric() || v.isEmpty())
    raise(std::string(what) + " must be a window or control handle, not " + v.describe() + ".");
  return v.real(0);
}

double figureOf(double handle) {
  for (QObject* o = objectOf(handle); o; o = o->parent())
    if (isFigure(o)) return handleOf(o);
  return 0;
}

// ---- properties -------------------------------------------------------------------

bool hasProperty(double handle, std::string_view property) {
  QObject* o = objectOf(handle);
  if (!o) return false;
  const std::string p = lower(property);
  if (p == "fontsize") {
    auto* w = qobject_cast<QWidget*>(o);
    // Containers pass their font on to their children, so only the controls
    // themselves carry a font size of their own.
    return w && !w->isWindow() &&
           (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QLineEdit*>(w) || qobject_cast<QLabel*>(w) ||
            qobject_cast<QAbstractSlider*>(w) || qobject_cast<QTextEdit*>(w));
  }
  return true;
}

Value get(double handle, std::string_view property) {
  const std::string p = lower(property);
  if (handle == 0) {
    if (p == "screensize") return screenSize();
    if (p == "screenpixelsperinch") return screenPixelsPerInch();
    if (p == "units") return Value("pixels");
    if (p == "type") return Value("root");
    if (p == "pointerlocation") {
      const QPoint pt = QCursor::pos();
      return Value::row({double(pt.x()), double(screenHeight() - pt.y())});
    }
    raise("The screen has no property '" + std::string(property) + "'.");
  }
  QObject* o = requireObject(handle, "get(" + std::string(property) + ")");
  auto* w = qobject_cast<QWidget*>(o);
  QAction* a = actionOf(o);
  const std::string stored = "dot11a_" + p;

  if (p == "tag") return Value(fromQ(o->objectName()));
  if (p == "type") return Value(isFigure(o) ? "figure" : a ? "uimenu" : "uicontrol");
  if (p == "style") return Value(styleOf(o));
  if (p == "parent") return handleOf(o->parent());
  if (p == "userdata") {
    auto it = reg().userData.find(handle);
    return it == reg().userData.end() ? Value::empty() : it->second;
  }
  if (p == "cdata") {
    auto it = reg().cdata.find(handle);
    return it == reg().cdata.end() ? Value::empty() : it->second;
  }
  if (p == "callback" || p == "closerequestfcn") {
    const char* name = p == "callback" ? "Callback" : "CloseRequestFcn";
    return Value(fromQ(o->property(name).toString()));
  }
  if (p == "string") {
    if (auto* le = qobject_cast<QLineEdit*>(o)) return Value(fromQ(le->text()));
    if (auto* te = qobject_cast<QTextEdit*>(o)) return Value(fromQ(te->toPlainText()));
    if (auto* pe = qobject_cast<QPlainTextEdit*>(o)) return Value(fromQ(pe->toPlainText()));
    if (auto* l = qobject_cast<QLabel*>(o)) return Value(fromQ(l->text()));
    if (auto* b = qobject_cast<QAbstractButton*>(o)) return Value(fromQ(b->text()));
    if (auto* g = qobject_cast<QGroupBox*>(o)) return Value(fromQ(g->title()));
    if (auto* cb = qobject_cast<QComboBox*>(o)) {
      std::vector<Value> items;
      for (int i = 0; i < cb->count(); ++i) items.emplace_back(fromQ(cb->itemText(i)));
      return Value::cell(items.size(), items.empty() ? 0 : 1, std::move(items));
    }
    if (a) return Value(fromQ(a->text()));
    return Value("");
  }
  if (p == "value") {
    if (auto* cb = qobject_cast<QComboBox*>(o)) return double(cb->currentIndex() + 1);
    if (auto* b = qobject_cast<QAbstractButton*>(o)) return b->isChecked() ? 1.0 : 0.0;
    if (auto* s = qobject_cast<QAbstractSlider*>(o)) return double(s->value());
    return 0.0;
  }
  if (p == "min" || p == "max") {
    if (auto* s = qobject_cast<QAbstractSlider*>(o))
      return double(p == "min" ? s->minimum() : s->maximum());
    const QVariant v = o->property(stored.c_str());
    return v.isValid() ? v.toDouble() : (p == "min" ? 0.0 : 1.0);
  }
  // A menu is shown and chosen through its action in the parent menu.
  if (qobject_cast<QMenu*>(o)) w = nullptr;
  if (p == "enable") return Value(onOff(w ? w->isEnabled() : a ? a->isEnabled() : true));
  if (p == "visible") {
    if (w) return Value(onOff(w->isWindow() ? w->isVisible() : !w->isHidden()));
    if (a) return Value(onOff(a->isVisible()));
    return Value("on");
  }
  if (p == "checked") {
    if (a) return Value(onOff(a->isChecked()));
    if (auto* b = qobject_cast<QAbstractButton*>(o)) return Value(onOff(b->isChecked()));
    return Value("off");
  }
  if (p == "label") {
    if (a) return Value(fromQ(a->text()));
    raise("Only menus have a Label.");
  }
  if (p == "tooltipstring") {
    if (w) return Value(fromQ(w->toolTip()));
    if (a) return Value(fromQ(a->toolTip()));
    return Value("");
  }
  if (p == "name") return Value(w ? fromQ(w->windowTitle()) : std::string());
  if (p == "units" || p == "pointer" || p == "numbertitle" || p == "menubar" || p == "zoommode" ||
      p == "rotatemode") {
    const QVariant v = o->property(stored.c_str());
    if (v.isValid()) return Value(fromQ(v.toString()));
    if (p == "units") return Value("pixels");
    if (p == "zoommode" || p == "rotatemode") return Value("off");
    if (p == "pointer") return Value("arrow");
    if (p == "numbertitle") return Value("on");
    return Value("figure");
  }
  if (!w) raise("A menu has no property '" + std::string(property) + "'.");
  if (p == "position") {
    const QRect g = w->geometry();
    return Value::row({double(g.x()), double(containerHeight(w) - g.y() - g.height()),
                       double(g.width()), double(g.height())});
  }
  if (p == "color" || p == "backgroundcolor")
    return colorValue(w->palette().color(QPalette::Window));
  if (p == "fontsize") {
    if (!hasProperty(handle, "FontSize"))
      raise("The object '" + fromQ(o->objectName()) + "' has no FontSize.");
    return w->font().pointSizeF();
  }
  raise("There is no property '" + std::string(property) + "' on '" + fromQ(o->objectName()) +
        "'.");
}

void set(double handle, std::string_view property, const Value& value) {
  const std::string p = lower(property);
  if (handle == 0) raise("The screen's properties cannot be set.");
  QObject* o = requireObject(handle, "set(" + std::string(property) + ")");
  auto* w = qobject_cast<QWidget*>(o);
  QAction* a = actionOf(o);
  const std::string stored = "dot11a_" + p;

  if (p == "tag") {
    o->setObjectName(toQ(textOf(value)));
  } else if (p == "userdata") {
    reg().userData[handle] = value;
  } else if (p == "callback" || p == "closerequestfcn") {
    o->setProperty(p == "callback" ? "Callback" : "CloseRequestFcn", toQ(textOf(value)));
    wire(o);
  } else if (p == "string") {
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
    } else if (a) {
      a->setText(toQ(textOf(value)));
    }
  } else if (p == "value") {
    if (value.isEmpty() || !value.isNumeric())
      raise("The Value of '" + fromQ(o->objectName()) + "' must be a number.");
    const double v = value.toScalar();
    if (auto* cb = qobject_cast<QComboBox*>(o)) {
      const int item = static_cast<int>(std::lround(v));
      if (item < 1 || item > cb->count() || item != v)
        raise("Item " + fromQ(QString::number(v)) + " is not one of the " +
              std::to_string(cb->count()) + " items of '" + fromQ(o->objectName()) + "'.");
      cb->setCurrentIndex(item - 1);
    } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
      b->setChecked(v != 0);
    } else if (auto* s = qobject_cast<QAbstractSlider*>(o)) {
      s->setValue(static_cast<int>(std::lround(v)));
    }
  } else if (p == "min" || p == "max") {
    const double v = value.toScalar();
    if (auto* s = qobject_cast<QAbstractSlider*>(o)) {
      if (p == "min")
        s->setMinimum(int(std::lround(v)));
      else
        s->setMaximum(int(std::lround(v)));
    } else {
      o->setProperty(stored.c_str(), v);
    }
  } else if (p == "enable" || p == "visible") {
    if (qobject_cast<QMenu*>(o)) {
      const bool on = toBool(value, property);
      if (p == "enable")
        a->setEnabled(on);
      else
        a->setVisible(on);
      return;
    }
    const bool on = toBool(value, property);
    if (p == "visible") {
      if (on && w && w->isWindow()) {
        w->setVisible(true);
        w->raise();
        w->activateWindow();
      } else if (w) {
        w->setVisible(on);
      } else if (a) {
        a->setVisible(on);
      }
      return;
    }
    if (w)
      w->setEnabled(on);
    else if (a)
      a->setEnabled(on);
  } else if (p == "checked") {
    const bool on = toBool(value, property);
    if (a) {
      a->setCheckable(true);
      a->setChecked(on);
    } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
      b->setChecked(on);
    }
  } else if (p == "label") {
    if (!a) raise("Only menus have a Label.");
    a->setText(toQ(textOf(value)));
    if (auto* m = qobject_cast<QMenu*>(o)) m->setTitle(toQ(textOf(value)));
  } else if (p == "tooltipstring") {
    if (w)
      w->setToolTip(toQ(textOf(value)));
    else if (a)
      a->setToolTip(toQ(textOf(value)));
  } else if (p == "name") {
    if (w) w->setWindowTitle(toQ(textOf(value)));
  } else if (p == "units" || p == "numbertitle" || p == "menubar" || p == "zoommode" ||
             p == "rotatemode") {
    o->setProperty(stored.c_str(), toQ(lower(textOf(value))));
    if (p == "menubar" && w && isFigure(o))
      if (auto* mw = qobject_cast<QMainWindow*>(w))
        mw->menuBar()->setVisible(lower(textOf(value)) != "none");
  } else if (p == "pointer") {
    const std::string shape = lower(textOf(value));
    o->setProperty(stored.c_str(), toQ(shape));
    if (w) {
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
  } else if (p == "cdata") {
    reg().cdata[handle] = value;
    const QImage img = imageFromValue(value);
    if (auto* l = qobject_cast<QLabel*>(o)) {
      l->setPixmap(QPixmap::fromImage(img));
    } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
      b->setIcon(QIcon(QPixmap::fromImage(img)));
      b->setIconSize(img.size());
    }
  } else if (!w) {
    raise("A menu has no property '" + std::string(property) + "'.");
  } else if (p == "position") {
    if (value.numel() != 4 || !value.isNumeric())
      raise("A Position is [left bottom width height].");
    const int left = int(std::lround(value.real(0)));
    const int width = std::max(0, int(std::lround(value.real(2))));
    const int height = std::max(0, int(std::lround(value.real(3))));
    const int bottom = int(std::lround(value.real(1)));
    w->setGeometry(left, containerHeight(w) - bottom - height, width, height);
  } else if (p == "color" || p == "backgroundcolor") {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colorFrom(value));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
  } else if (p == "fontsize") {
    if (!hasProperty(handle, "FontSize"))
      raise("The object '" + fromQ(o->objectName()) + "' has no FontSize.");
    setFontSize(w, value.toScalar());
  } else {
    raise("There is no property '" + std::string(property) + "' on '" + fromQ(o->objectName()) +
          "'.");
  }
}

std::string getString(double handle, std::string_view property) {
  return textOf(get(handle, property));
}
void setString(double handle, std::string_view property, std::string_view text) {
  set(handle, property, Value(std::string(text)));
}
double getNumber(double handle, std::string_view property) {
  return get(handle, property).toScalar();
}
void setNumber(double handle, std::string_view property, double x) {
  set(handle, property, x);
}

// ---- layouts ----------------------------------------------------------------------

double openLayout(std::string_view name, bool reuse) {
  ensureApplication();
  const QString path = layoutPath(name);
  if (reuse) {
    for (auto& [h, ptr] : reg().objects)
      if (ptr && isFigure(ptr) && ptr->property(kLayoutProp).toString() == path) return h;
  }
  QFile file(path);
  if (!file.open(QFile::ReadOnly))
    raise("The layout file '" + fromQ(path) + "' could not be opened.");
  QUiLoader loader;
  QWidget* root = loader.load(&file);
  if (!root)
    raise("The layout file '" + fromQ(path) +
          "' could not be read: " + fromQ(loader.errorString()));
  root->setAttribute(Qt::WA_DeleteOnClose, false);
  root->setProperty(kFigureProp, true);
  root->setProperty(kLayoutProp, path);
  if (root->objectName().isEmpty()) root->setObjectName(QFileInfo(path).baseName());
  root->installEventFilter(windowFilter());
  registerTree(root);
  return handleOf(root);
}

Value guihandles(double handle) {
  const double fig = figureOf(handle);
  QObject* root = objectOf(fig);
  if (!root) raise("guihandles needs a handle of a window or of an object inside one.");
  Value rec = Value::record();
  if (!root->objectName().isEmpty()) rec.setField(fromQ(root->objectName()), handleOf(root));
  for (QObject* o : root->findChildren<QObject*>()) {
    if (!tagged(o)) continue;
    wire(o);
    const std::string tag = fromQ(o->objectName());
    if (!rec.hasField(tag)) rec.setField(tag, handleOf(o));
  }
  return rec;
}

Value guidata(double handle) {
  const double fig = figureOf(handle);
  if (fig == 0) raise("guidata needs a handle of a window or of an object inside one.");
  auto it = reg().appData.find(fig);
  return it == reg().appData.end() ? Value::empty() : it->second;
}

void setGuidata(double handle, const Value& data) {
  const double fig = figureOf(handle);
  if (fig == 0) raise("guidata needs a handle of a window or of an object inside one.");
  reg().appData[fig] = data;
}

double findFigure(std::string_view tag) {
  for (auto& [h, ptr] : reg().objects)
    if (ptr && isFigure(ptr) && ptr->objectName() == toQ(tag)) return h;
  return 0;
}

void deleteFigure(double handle) {
  QObject* o = objectOf(handle);
  if (!o) return;
  uiresume(handle);
  std::vector<double> gone;
  for (auto& [h, ptr] : reg().objects)
    for (QObject* p = ptr.data(); p; p = p->parent())
      if (p == o) {
        gone.push_back(h);
        break;
      }
  for (double h : gone) forget(h);
  if (auto* w = qobject_cast<QWidget*>(o)) w->hide();
  o->deleteLater();  // the window may be deleted from inside one of its callbacks
}

// ---- callbacks ----------------------------------------------------------------------

namespace {

struct Parser {
  std::string_view s;
  std::size_t i = 0;
  double source = 0;

  void skip() {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  }
  bool eat(char c) {
    skip();
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  [[noreturn]] void fail(const std::string& why) {
    raise("Cannot evaluate the callback \"" + std::string(s) + "\": " + why + ".");
  }
  std::string ident() {
    skip();
    const std::size_t start = i;
    while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_')) ++i;
    if (start == i || std::isdigit(static_cast<unsigned char>(s[start])))
      fail("a name was expected");
    return std::string(s.substr(start, i - start));
  }
  std::vector<Value> args() {
    std::vector<Value> out;
    if (!eat('(')) return out;
    if (eat(')')) return out;
    do out.push_back(arg());
    while (eat(','));
    if (!eat(')')) fail("')' was expected");
    return out;
  }
  Value arg() {
    skip();
    if (i >= s.size()) fail("an argument was expected");
    const char c = s[i];
    if (c == '\'') {
      std::string text;
      ++i;
      while (true) {
        if (i >= s.size()) fail("a text is not closed");
        if (s[i] == '\'') {
          if (i + 1 < s.size() && s[i + 1] == '\'') {
            text += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text += s[i++];
      }
      return Value(text);
    }
    if (c == '[') {
      ++i;
      if (!eat(']')) fail("only [] is understood inside brackets");
      return Value::empty();
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
      const std::string rest(s.substr(i));
      char* end = nullptr;
      const double x = std::strtod(rest.c_str(), &end);
      if (end == rest.c_str()) fail("a number was expected");
      i += static_cast<std::size_t>(end - rest.c_str());
      return x;
    }
    const std::string name = ident();
    if (name == "gcbo") return source;
    if (name == "gcbf" || name == "gcf") return figureOf(source);
    std::vector<Value> a = args();
    if (name == "guidata") {
      if (a.size() != 1) fail("guidata takes one handle here");
      return guidata(handleFrom(a[0], "guidata"));
    }
    std::vector<Value> r = feval(name, 1, a);
    return r.empty() ? Value() : r[0];
  }
};

}  // namespace

void evalCallback(std::string_view text, double source) {
  Registry& r = reg();
  r.callbackStack.emplace_back(source, figureOf(source));
  try {
    Parser p{text, 0, source};
    p.skip();
    if (p.i < text.size()) {
      const std::string name = p.ident();
      std::vector<Value> a = p.args();
      p.eat(';');
      p.skip();
      if (p.i != text.size()) p.fail("unexpected text after the call");
      feval(name, 0, a);
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
  }
  r.callbackStack.pop_back();
}

void runCallback(double handle) {
  QObject* o = objectOf(handle);
  if (!o) return;
  const QString cb = o->property("Callback").toString();
  if (!cb.isEmpty()) evalCallback(fromQ(cb), handle);
}

double gcbo() {
  return reg().callbackStack.empty() ? 0 : reg().callbackStack.back().first;
}
double gcbf() {
  return reg().callbackStack.empty() ? 0 : reg().callbackStack.back().second;
}

// ---- menus ------------------------------------------------------------------------

double addMenu(double figure, double parentMenu, const std::string& label, const std::string& tag,
               const std::string& callback) {
  QWidget* fig = widgetOf(figure);
  if (!fig || !isFigure(fig)) raise("Menus can only be added to a window.");
  QObject* created = nullptr;
  if (parentMenu == 0) {
    QMenu* m = menuBarOf(fig)->addMenu(toQ(label));
    created = m;
  } else {
    QObject* parent = requireObject(parentMenu, "a parent menu");
    QMenu* pm = qobject_cast<QMenu*>(parent);
    if (!pm) {
      // An item that gets items of its own becomes a sub-menu.
      QAction* pa = qobject_cast<QAction*>(parent);
      if (!pa) raise("The parent of a menu item must be a menu.");
      raise("The menu item '" + fromQ(pa->objectName()) +
            "' cannot take items; declare it as a menu.");
    }
    auto* act = new QAction(toQ(label), pm);
    pm->addAction(act);
    created = act;
  }
  created->setObjectName(toQ(tag));
  const double h = handleOf(created);
  if (!callback.empty()) created->setProperty("Callback", toQ(callback));
  wire(created);
  return h;
}

double addSubMenu(double parentMenu, const std::string& label, const std::string& tag) {
  auto* pm = qobject_cast<QMenu*>(requireObject(parentMenu, "a parent menu"));
  if (!pm) raise("The parent of a menu must be a menu.");
  QMenu* m = pm->addMenu(toQ(label));
  m->setObjectName(toQ(tag));
  return handleOf(m);
}

void addSeparatorBefore(double item) {
  QObject* o = requireObject(item, "a menu item");
  QAction* a = actionOf(o);
  if (!a) return;
  QObject* parent = qobject_cast<QMenu*>(o) ? o->parent() : o->parent();
  if (auto* pm = qobject_cast<QMenu*>(parent)) pm->insertSeparator(a);
}

// ---- waits ------------------------------------------------------------------------

void uiwait(double figure) {
  QWidget* w = widgetOf(figure);
  if (!w) return;
  QEventLoop loop;
  QPointer<QWidget> guard(w);
  auto conn = QObject::connect(w, &QObject::destroyed, &loop, &QEventLoop::quit);
  reg().waits[figure].push_back(&loop);
  loop.exec();
  auto& list = reg().waits[figure];
  list.erase(std::remove(list.begin(), list.end(), &loop), list.end());
  if (list.empty()) reg().waits.erase(figure);
  if (guard) QObject::disconnect(conn);
}

void uiresume(double figure) {
  auto it = reg().waits.find(figure);
  if (it == reg().waits.end()) return;
  for (QEventLoop* l : it->second) l->quit();
}

// ---- screen -----------------------------------------------------------------------

Value screenSize() {
  ensureApplication();
  QScreen* s = QGuiApplication::primaryScreen();
  const QRect g = s ? s->geometry() : QRect(0, 0, 1024, 768);
  return Value::row({1, 1, double(g.width()), double(g.height())});
}

double screenPixelsPerInch() {
  if (reg().dpiOverride > 0) return reg().dpiOverride;
  ensureApplication();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? std::round(s->logicalDotsPerInch()) : 96;
}

void setPixelsPerInchOverride(double dpi) {
  reg().dpiOverride = dpi;
}

Value defaultControlColor() {
  ensureApplication();
  return colorValue(QApplication::palette().color(QPalette::Button));
}

// ---- pictures -----------------------------------------------------------------------

Value imageToValue(const QImage& image) {
  const QImage img = image.convertToFormat(QImage::Format_RGB32);
  const std::size_t rows = static_cast<std::size_t>(img.height());
  const std::size_t cols = static_cast<std::size_t>(img.width());
  std::vector<double> r(rows * cols), g(rows * cols), b(rows * cols);
  for (std::size_t y = 0; y < rows; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(int(y)));
    for (std::size_t x = 0; x < cols; ++x) {
      const std::size_t k = x * rows + y;  // column-major
      r[k] = qRed(line[x]);
      g[k] = qGreen(line[x]);
      b[k] = qBlue(line[x]);
    }
  }
  return Value::record({{"R", Value::matrix(rows, cols, std::move(r))},
                        {"G", Value::matrix(rows, cols, std::move(g))},
                        {"B", Value::matrix(rows, cols, std::move(b))}});
}

QImage imageFromValue(const Value& v) {
  if (v.isEmpty()) return {};
  if (!v.isRecord() || !v.hasField("R") || !v.hasField("G") || !v.hasField("B"))
    raise("A picture is a record with R, G and B planes (as imread returns it).");
  const Value& r = v.field("R");
  const Value& g = v.field("G");
  const Value& b = v.field("B");
  const std::size_t rows = r.rows(), cols = r.cols();
  if (g.rows() != rows || g.cols() != cols || b.rows() != rows || b.cols() != cols)
    raise("The R, G and B planes of a picture must have the same size.");
  if (rows > 20000 || cols > 20000) raise("The picture is too large.");
  QImage img(int(cols), int(rows), QImage::Format_RGB32);
  auto px = [](double x) { return std::clamp(int(std::lround(x)), 0, 255); };
  for (std::size_t y = 0; y < rows; ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(int(y)));
    for (std::size_t x = 0; x < cols; ++x) {
      const std::size_t k = x * rows + y;
      line[x] = qRgb(px(r.real(k)), px(g.real(k)), px(b.real(k)));
    }
  }
  return img;
}

QImage readPicture(std::string_view fileName) {
  ensureApplication();
  const QString name = toQ(fileName);
  for (const QString& candidate : {name, QString("layouts/") + QFileInfo(name).fileName(),
                                   QString(":/layouts/") + QFileInfo(name).fileName()}) {
    if (!QFileInfo::exists(candidate)) continue;
    QImage img(candidate);
    if (img.isNull()) raise("The picture file '" + fromQ(candidate) + "' could not be decoded.");
    return img;
  }
  raise("The picture file '" + std::string(fileName) + "' was not found.");
}

int splashMinimumMs() {
  return reg().splashMs;
}
void setSplashMinimumMs(int ms) {
  reg().splashMs = std::max(0, ms);
}

void processEvents(int maxMs) {
  if (!QCoreApplication::instance()) return;
  if (maxMs <= 0) {
    QCoreApplication::processEvents();
    return;
  }
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < maxMs)
    QCoreApplication::processEvents(QEventLoop::AllEvents, int(maxMs - t.elapsed()));
}

// At library stop every window goes away, so a restarted library begins clean.
namespace {
void stopGraphics() {
  std::vector<QPointer<QObject>> figures;
  for (auto& [h, ptr] : reg().objects)
    if (ptr && isFigure(ptr)) figures.push_back(ptr);
  for (auto& f : figures)
    if (f) delete f.data();
  Registry& r = reg();
  r.objects.clear();
  r.userData.clear();
  r.appData.clear();
  r.cdata.clear();
  r.callbackStack.clear();
  if (isQtDialogs(dialogs())) setDialogService(nullptr);
}
const bool kHook = [] {
  addLifecycleHook({900, nullptr, stopGraphics});
  return true;
}();
}  // namespace

}  // namespace dot11a::gfx
