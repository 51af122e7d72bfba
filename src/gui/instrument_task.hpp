// Long work off the GUI thread: Download and Refresh, and the window's own
// work (Calculate, the views, opening a capture), run on a worker while a
// progress dialog says what is happening and offers Cancel, so a slow or
// silent instrument, or a long sequence, never freezes the window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QThreadPool;

namespace dot11a::gui {

// What the work sees of its dialog. Both calls are safe from the worker.
class TaskProgress {
 public:
  virtual ~TaskProgress() = default;
  // Shows what the work does now ("Sending the waveform (1.6 MB)...").
  virtual void stage(std::string text) = 0;
  // Shows how much of the work is done (0 to 1) as a bar instead of the busy
  // indicator.
  virtual void fraction(double done) = 0;
  // True once the user pressed Cancel: the work stops at its next safe point.
  virtual bool cancelled() const = 0;
  // Asks a question on the GUI thread and waits for the answer (the RS-232
  // transfer-time question); false once the user cancelled.
  virtual bool confirm(std::string_view title, std::string_view text) = 0;
};

// Runs `work` on a worker thread and waits for it in a local event loop, so
// the window keeps repainting and the progress dialog (shown over `figure`
// once the work takes longer than a moment) answers. Returns true when the
// work ended, false when the user cancelled first: control returns at once,
// and the work, which cannot be interrupted inside one instrument call, ends
// on its own, its result dropped (instrument calls are served one at a time,
// so the next one waits for it).
bool runInstrumentTask(double figure, const std::string& title,
                       std::function<void(TaskProgress&)> work);

// The threads instrument work runs on. Not Qt's global pool: a transfer
// that waits for a stalled instrument would hold a thread there, and Qt's
// painting hands work to that pool and waits for it, so two such waits (a
// cancelled transfer winding down, the next one queued behind it) froze the
// window until the first timed out.
QThreadPool& instrumentPool();

// True while a task waits in runInstrumentTask: the buttons that start one
// do nothing meanwhile (their second press would run inside the first's wait).
bool instrumentTaskRunning();

// The window's own work (Calculate, a view's computation, reading a capture)
// on a worker: as runInstrumentTask, except that the progress dialog (shown
// after 0.2 s) leaves the window usable, so its menus open and its fields
// take input while the work runs. Returns true when the work ended and its
// result may be used: false when the user cancelled (control returns at once,
// the work ends on its own and its result is dropped) or closed `figure`
// meanwhile. The caller drops a result whose settings changed meanwhile.
bool runWindowTask(double figure, const std::string& title,
                   std::function<void(TaskProgress&)> work);

// True while a window task or an instrument task waits: the commands that
// would start another one (or replace what it works on) refuse meanwhile.
bool windowTaskRunning();

}  // namespace dot11a::gui
