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
#include <vector>

#include "dot11a/instrument.hpp"
#include "dot11a/module.hpp"
#include "gui/connection_dialog.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/instrument_task.hpp"

namespace dot11a::connection {

using namespace gfx;

namespace {

// Ranges a check brought back, for the configuration the dialog returns.
struct Reported {
  std::string instrument;  // instrumentKey of the checked connection
  std::string family;
  SigGenLimits limits;
};

struct CheckState {
  bool running = false;
  int started = 0;  // the number of the latest check
  int shown = 0;    // the check whose answer the status line waits for (0: none)
  std::vector<Reported> reported;
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
void checkFinished(int check, bool failed, const std::string& message,
                   const std::optional<Reported>& ranges) {
  checks().running = false;
  if (ranges && checks().shown == check) checks().reported.push_back(*ranges);
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

Value withCheckedRanges(Value config) {
  for (const Reported& r : checks().reported)
    config = withInstrumentLimits(std::move(config), r.instrument, r.family, r.limits);
  checks().reported.clear();
  return config;
}

// The generator family the dialog serves ("b" or "c"), or nothing when the
// dialog serves another instrument (the spectrum analyzer shares it), which
// is never asked for a generator's ranges.
std::optional<std::string> rangesFamily(double fig, const Value& handles) {
  if (getString(fig, "Name").rfind("Spectrum Analyzer", 0) == 0) return std::nullopt;
  const double model = handles.hasField("Model") ? handles.field("Model").toScalar() : 0;
  if (model == 1) return "b";
  if (model == 2) return "c";
  return std::nullopt;
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
    if (sameText(config.field("type").str(), "TCPIP"))
      problem = tcpipAddressProblem(config.field("TCPIP").field("address").str());
    const TypedTimeout timeout = typedTimeout(handles);
    if (!timeout.problem.empty()) problem = timeout.problem;
    if (timeout.seconds) config.setField("timeout", *timeout.seconds);
  } catch (const std::exception& e) {
    problem = e.what();
  }
  if (problem) {
    checks().shown = 0;
    showStatus(handles, *problem, true);
    return;
  }
  const std::optional<std::string> family = rangesFamily(fig, handles);
  const int check = ++checks().started;
  checks().running = true;
  checks().shown = check;
  showStatus(handles, "... Checking ...", false);
  showCheckRunning(fig, handles, true);
  // The worker only reads its copy of the configuration (a value written on
  // this thread meanwhile is copied first); the answer comes back to the GUI
  // thread through the application's event queue.
  // A generator that answered is asked for its ranges too.
  gui::instrumentPool().start([check, config, family] {
    bool failed = true;
    std::string message;
    std::optional<Reported> ranges;
    try {
      const IoResult r = hwPing(config);
      failed = !r.ok();
      message = r.response;
      if (r.ok() && family) {
        const LimitsReport report = queryInstrumentLimits(config);
        message += "\n" + report.message;
        if (report.limits) ranges = Reported{instrumentKey(config), *family, *report.limits};
      }
    } catch (const std::exception& e) {
      message = e.what();
    }
    // At exit the thread pool waits for the check; the application may be gone.
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(
          app, [check, failed, message, ranges] { checkFinished(check, failed, message, ranges); },
          Qt::QueuedConnection);
  });
}

}  // namespace dot11a::connection
