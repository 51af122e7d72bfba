// The connection dialog's Check Hardware. The identity query runs on a worker
// thread, so the dialog keeps answering (OK, Cancel, the close box, other
// controls) while a serial port or a silent LAN host waits out its time-out.
// Only one check runs at a time; its answer is shown only while the dialog
// still shows the check it belongs to (same opening, same interface).
#include <QCoreApplication>
#include <QThreadPool>
#include <QWidget>
#include <optional>
#include <string>

#include "dot11a/instrument.hpp"
#include "dot11a/module.hpp"
#include "gui/connection_dialog.hpp"
#include "gui/graphics/graphics.hpp"

namespace dot11a::connection {

using namespace gfx;

namespace {

struct CheckState {
  bool running = false;
  int started = 0;  // the number of the latest check
  int shown = 0;    // the check whose answer the status line waits for (0: none)
};

// Touched on the GUI thread only; the worker reports through the event queue.
CheckState& checks() {
  static CheckState state;
  return state;
}

// While a check runs the button is off and the dialog shows the busy pointer.
void showCheckRunning(double fig, const Value& handles, bool running) {
  setString(handleIn(handles, "pbCheckHardware"), "Enable", running ? "off" : "on");
  if (QWidget* w = widgetOf(fig)) {
    if (running)
      w->setCursor(Qt::BusyCursor);
    else
      w->unsetCursor();
  }
}

// The end of a check, on the GUI thread: the dialog open now (if any) gets its
// button back, and the answer when it still waits for this check.
void checkFinished(int check, bool failed, const std::string& message) {
  checks().running = false;
  const bool wanted = checks().shown == check;
  checks().shown = 0;
  const double fig = findFigure(kWindowTag);
  if (fig == 0) return;
  const Value handles = guidata(fig);
  if (!handles.isRecord() || !handles.hasField("lblStatus")) return;
  showCheckRunning(fig, handles, false);
  if (wanted) showStatus(handles, message, failed);
}

}  // namespace

void dropCheckAnswer() {
  checks().shown = 0;
}

void showPendingCheck(double fig, const Value& handles) {
  if (checks().running) showCheckRunning(fig, handles, true);
}

// The choices on screen are checked, not the record the dialog was opened
// with. A TCP/IP address that cannot be one is reported without asking the
// gateway.
void pbCheckHardware_Callback(Call& c) {
  const Value& handles = c.in(2, "handles");
  const double fig = dialogOf(handles);
  if (checks().running) return;  // the button is off meanwhile
  Value config;
  std::optional<std::string> problem;
  try {
    config = updateConfig(handles);
    if (handles.hasField("checkTimeout")) config.setField("timeout", handles.field("checkTimeout"));
    if (sameText(config.field("type").str(), "TCPIP"))
      problem = tcpipAddressProblem(config.field("TCPIP").field("address").str());
  } catch (const std::exception& e) {
    problem = e.what();
  }
  if (problem) {
    checks().shown = 0;
    showStatus(handles, *problem, true);
    return;
  }
  const int check = ++checks().started;
  checks().running = true;
  checks().shown = check;
  showStatus(handles, "... Checking ...", false);
  showCheckRunning(fig, handles, true);
  // The worker only reads its copy of the configuration (a value written on
  // this thread meanwhile is copied first); the answer comes back to the GUI
  // thread through the application's event queue.
  QThreadPool::globalInstance()->start([check, config] {
    bool failed = true;
    std::string message;
    try {
      const IoResult r = hwPing(config);
      failed = !r.ok();
      message = r.response;
    } catch (const std::exception& e) {
      message = e.what();
    }
    // At exit the thread pool waits for the check; the application may be gone.
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(
          app, [check, failed, message] { checkFinished(check, failed, message); },
          Qt::QueuedConnection);
  });
}

}  // namespace dot11a::connection
