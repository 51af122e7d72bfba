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

bool runInstrumentTask(double figure, const std::string& title,
                       std::function<void(TaskProgress&)> work) {
  auto task = std::make_shared<Task>();
  running() = true;
  struct Done {
    ~Done() { running() = false; }
  } done;
  QEventLoop loop;
  task->loop = &loop;
  // Shown only when the work takes longer than a moment, so a quick Refresh
  // does not flash a window.
  QWidget* over = gfx::widgetOf(figure);
  QProgressDialog dialog(QString::fromStdString(title + "..."), "Cancel", 0, 0,
                         over != nullptr ? over->window() : nullptr);
  dialog.setObjectName("dlgInstrumentProgress");
  dialog.setWindowTitle(QString::fromStdString(title));
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  dialog.setMinimumDuration(400);
  dialog.setMinimumWidth(360);
  dialog.setValue(0);
  task->dialog = &dialog;
  QObject::connect(&dialog, &QProgressDialog::canceled, &loop, [task] {
    task->cancel = true;
    if (task->loop) task->loop->quit();
  });
  instrumentPool().start([task, work = std::move(work)] {
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
  task->dialog = nullptr;
  return task->finished && !task->cancel;
}

}  // namespace dot11a::gui
