// The application object, the screen's metrics, splash timing, event
// processing and the layer's shut-down when the library stops.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPalette>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/internal.hpp"

namespace dot11a::gfx {

std::unique_ptr<DialogService> makeQtDialogs();  // qt_dialogs.cpp
bool isQtDialogs(const DialogService& service);

void ensureApplication() {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "dot11a_b";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives until the process ends
  }
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
    raise("The windows need a QApplication, but the program created a non-GUI application.");
  gui::keepWindowsOnScreen();
  DialogService& current = dialogs();
  if (dynamic_cast<ScriptedDialogs*>(&current) == nullptr && !isQtDialogs(current))
    setDialogService(makeQtDialogs());
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
