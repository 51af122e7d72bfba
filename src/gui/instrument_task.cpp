// Instrument work on a worker thread with a progress dialog and Cancel.
#include "gui/instrument_task.hpp"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cmath>

#include "dot11a/dialogs.hpp"
#include "gui/graphics/graphics.hpp"

namespace dot11a::gui {

namespace {

// Shared by the worker and the GUI thread. The atomics are read and written
// by both; the dialog and the loop only on the GUI thread, through posts.
class Task : public TaskProgress, public std::enable_shared_from_this<Task> {
 public:
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};
  std::atomic<int> shownPermille{-1};
  QPointer<QProgressDialog> dialog;
  QEventLoop* loop = nullptr;

  // Runs `f` on the GUI thread, after what is queued there.
  template <class F>
  static void post(F f) {
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(app, std::move(f), Qt::QueuedConnection);
  }

  void stage(std::string text) override {
    post([self = shared_from_this(), text = std::move(text)] {
      if (self->dialog) self->dialog->setLabelText(QString::fromStdString(text));
    });
  }
  void fraction(double done) override {
    const int permille = static_cast<int>(std::lround(std::clamp(done, 0.0, 1.0) * 1000));
    // A report per chunk sent: only a change of the bar is worth a repaint.
    if (permille == shownPermille.exchange(permille)) return;
    post([self = shared_from_this(), permille] {
      if (!self->dialog) return;
      if (self->dialog->maximum() != 1000) self->dialog->setRange(0, 1000);
      self->dialog->setValue(permille);
    });
  }
  bool cancelled() const override { return cancel; }
  bool confirm(std::string_view title, std::string_view text) override {
    if (cancel) return false;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    if (QThread::currentThread() == app->thread()) return askOkCancel(title, text);
    bool answer = false;
    const std::string t(title), x(text);
    QMetaObject::invokeMethod(
        app, [&answer, &t, &x] { answer = askOkCancel(t, x); }, Qt::BlockingQueuedConnection);
    return answer && !cancel;
  }
};

bool& running() {
  static bool flag = false;
  return flag;
}

bool& windowRunning() {
  static bool flag = false;
  return flag;
}

// The threads the window's own work runs on: a cancelled calculation goes on
// to its end on one while the next one starts on the other.
QThreadPool& windowPool() {
  static QThreadPool pool;
  static const bool sized = [] {
    pool.setMaxThreadCount(2);
    return true;
  }();
  (void)sized;
  return pool;
}

struct TaskStyle {
  const char* objectName;
  Qt::WindowModality modality;
  int showAfterMs;
};

// Runs `work` on `pool` and serves events until it ends, the user cancels,
// or `figure` is closed. The dialog lives on the heap under the window: a
// callback served meanwhile may close the window, which then takes the
// dialog with it.
bool runTask(QThreadPool& pool, const TaskStyle& style, double figure, const std::string& title,
             std::function<void(TaskProgress&)> work) {
  auto task = std::make_shared<Task>();
  QEventLoop loop;
  task->loop = &loop;
  QWidget* over = gfx::widgetOf(figure);
  QPointer<QWidget> window(over != nullptr ? over->window() : nullptr);
  auto* dialog =
      new QProgressDialog(QString::fromStdString(title + "..."), "Cancel", 0, 0, window.data());
  dialog->setObjectName(style.objectName);
  dialog->setWindowTitle(QString::fromStdString(title));
  dialog->setWindowModality(style.modality);
  // A dialog that leaves the window usable leaves it the keyboard too: the
  // user's Alt+F or typing goes on where it was.
  if (style.modality == Qt::NonModal) dialog->setAttribute(Qt::WA_ShowWithoutActivating);
  dialog->setAutoClose(false);
  dialog->setAutoReset(false);
  dialog->setMinimumDuration(style.showAfterMs);
  dialog->setMinimumWidth(360);
  dialog->setValue(0);
  task->dialog = dialog;
  QObject::connect(dialog, &QProgressDialog::canceled, &loop, [task] {
    task->cancel = true;
    if (task->loop) task->loop->quit();
  });
  // A window closed while the work runs ends the wait; its result is dropped.
  const bool hadWindow = !window.isNull();
  if (hadWindow)
    QObject::connect(window.data(), &QObject::destroyed, &loop, [task] {
      task->cancel = true;
      if (task->loop) task->loop->quit();
    });
  pool.start([task, work = std::move(work)] {
    try {
      work(*task);
    } catch (const std::exception&) {
      // The work reports its own failures; nothing may escape a pool thread.
    }
    Task::post([task] {
      task->finished = true;
      if (task->loop) task->loop->quit();
    });
  });
  if (!task->finished && !task->cancel) loop.exec();
  task->loop = nullptr;
  if (task->dialog) delete task->dialog.data();
  task->dialog = nullptr;
  const bool windowGone = hadWindow && (window.isNull() || !gfx::isHandle(figure));
  return task->finished && !task->cancel && !windowGone;
}

}  // namespace

QThreadPool& instrumentPool() {
  // Destroyed at exit after waiting for work still under way, which ends
  // within its instrument time-outs.
  static QThreadPool pool;
  return pool;
}

bool instrumentTaskRunning() {
  return running();
}

bool windowTaskRunning() {
  return running() || windowRunning();
}

bool runInstrumentTask(double figure, const std::string& title,
                       std::function<void(TaskProgress&)> work) {
  running() = true;
  struct Done {
    ~Done() { running() = false; }
  } done;
  // Shown only when the work takes longer than a moment, so a quick Refresh
  // does not flash a window.
  return runTask(instrumentPool(), {"dlgInstrumentProgress", Qt::WindowModal, 400}, figure, title,
                 std::move(work));
}

bool runWindowTask(double figure, const std::string& title,
                   std::function<void(TaskProgress&)> work) {
  windowRunning() = true;
  struct Done {
    ~Done() { windowRunning() = false; }
  } done;
  return runTask(windowPool(), {"dlgWindowProgress", Qt::NonModal, 200}, figure, title,
                 std::move(work));
}

}  // namespace dot11a::gui
