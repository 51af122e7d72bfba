// Analysis > Level Sweep (see level_sweep.hpp): the dialog, the device
// command, the sweep on the instrument and the window that shows its result.
#include "gui/level_sweep.hpp"

#include <signal.h>
#include <unistd.h>

#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/waveform.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/instrument_task.hpp"
#include "gui/plots/plot_frame.hpp"
#include "gui/shell.hpp"

namespace dot11a::gui {

namespace {

constexpr const char* kField = "LevelSweep";
// The most a device command may print: it prints one number; a command that
// floods its output is stopped instead of filling the memory.
constexpr qint64 kMaxOutput = 64 * 1024;

double storedNumber(const Value& rec, const char* name, double fallback) {
  if (!rec.hasField(name)) return fallback;
  const Value& v = rec.field(name);
  if (!v.isNumeric() || v.numel() != 1 || !std::isfinite(v.toScalar())) return fallback;
  return v.toScalar();
}

}  // namespace

SweepSettings sweepSettingsFrom(const Value& config) {
  SweepSettings s;
  if (!config.isRecord() || !config.hasField(kField) || !config.field(kField).isRecord()) return s;
  const Value& rec = config.field(kField);
  s.start = storedNumber(rec, "Start", s.start);
  s.stop = storedNumber(rec, "Stop", s.stop);
  s.step = storedNumber(rec, "Step", s.step);
  s.timeout = storedNumber(rec, "Timeout", s.timeout);
  if (rec.hasField("Command") && rec.field("Command").isText())
    s.command = rec.field("Command").str();
  return s;
}

Value withSweepSettings(Value config, const SweepSettings& s) {
  if (!config.isRecord()) config = Value::record({});
  config.setField(kField, Value::record({{"Start", Value(s.start)},
                                         {"Stop", Value(s.stop)},
                                         {"Step", Value(s.step)},
                                         {"Command", Value(s.command)},
                                         {"Timeout", Value(s.timeout)}}));
  return config;
}

std::string levelText(double dbm) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", std::round(dbm * 100) / 100);
  std::string t = buf;
  while (t.back() == '0') t.pop_back();
  if (t.back() == '.') t.pop_back();
  return t == "-0" ? "0" : t;
}

std::string sweepProblem(const SweepSettings& s, const SigGenLimits& limits) {
  if (!std::isfinite(s.start) || !std::isfinite(s.stop))
    return "The start and stop levels must be numbers.";
  if (!(s.step > 0) || !std::isfinite(s.step)) return "The step must be more than 0 dB.";
  if (std::abs(s.stop - s.start) / s.step >= static_cast<double>(kMaxSweepSteps))
    return "A step of " + levelText(s.step) + " dB from " + levelText(s.start) + " to " +
           levelText(s.stop) + " dBm makes more than " + std::to_string(kMaxSweepSteps) + " steps.";
  for (const double level : {s.start, s.stop})
    if (level < limits.amplitudeMin || level > limits.amplitudeMax)
      return "The instrument's level range is " + levelText(limits.amplitudeMin) + " to " +
             levelText(limits.amplitudeMax) + " dBm: it cannot be set to " + levelText(level) +
             " dBm.";
  if (s.command.find_first_not_of(" \t") == std::string::npos)
    return "Give the command that prints the device's count of good frames.";
  if (!(s.timeout > 0) || s.timeout > 3600)
    return "The command's time-out must be more than 0 and at most 3600 s.";
  return {};
}

std::vector<double> sweepLevels(const SweepSettings& s) {
  const double way = s.stop >= s.start ? 1 : -1;
  // A hair of tolerance so that -90 to -60 in steps of 0.1 ends at -60.
  const auto steps =
      static_cast<std::size_t>(std::floor(std::abs(s.stop - s.start) / s.step + 1e-9));
  std::vector<double> levels;
  for (std::size_t i = 0; i <= steps; ++i)
    levels.push_back(std::round((s.start + way * s.step * static_cast<double>(i)) * 100) / 100);
  return levels;
}

DeviceCount runDeviceCommand(const std::string& command, double levelDbm, std::size_t sent,
                             std::size_t step, double timeoutS,
                             const std::function<bool()>& cancelled) {
  DeviceCount r;
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DOT11A_LEVEL_DBM", QString::fromStdString(levelText(levelDbm)));
  env.insert("DOT11A_SENT", QString::number(static_cast<qulonglong>(sent)));
  env.insert("DOT11A_STEP", QString::number(static_cast<qulonglong>(step)));
  p.setProcessEnvironment(env);
  p.setStandardInputFile(QProcess::nullDevice());
  // A group of its own, so that a kill reaches what the shell started too.
  p.setChildProcessModifier([] { ::setsid(); });
  p.start("/bin/sh", {"-c", QString::fromStdString(command)});
  if (!p.waitForStarted(5000)) {
    r.error = "/bin/sh could not be started: " + p.errorString().toStdString();
    return r;
  }
  QByteArray out, err;
  QElapsedTimer clock;
  clock.start();
  std::string stopped;
  while (!p.waitForFinished(20)) {
    out += p.readAllStandardOutput();
    err += p.readAllStandardError();
    if (cancelled && cancelled())
      stopped = "cancelled";
    else if (clock.elapsed() > timeoutS * 1000)
      stopped = "no answer within " + num2str(timeoutS) + " s";
    else if (out.size() > kMaxOutput || err.size() > kMaxOutput)
      stopped = "more than 64 kB of output";
    if (!stopped.empty()) {
      ::kill(-static_cast<pid_t>(p.processId()), SIGKILL);
      p.waitForFinished(2000);
      break;
    }
  }
  out += p.readAllStandardOutput();
  err += p.readAllStandardError();
  r.stderrText = err.left(kMaxOutput).trimmed().toStdString();
  const std::string printed = out.left(200).trimmed().toStdString();
  if (!stopped.empty()) {
    r.error = "stopped: " + stopped;
  } else if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    r.error = "it failed (exit status " + std::to_string(p.exitCode()) + ") and printed \"" +
              printed + "\"";
  } else if (const auto n = parseDecimal(printed); !n || !std::isfinite(*n)) {
    r.error = "it printed \"" + printed + "\", not a count of good frames";
  } else if (*n < 0 || *n > static_cast<double>(sent)) {
    r.error = "it counted " + num2str(*n) + " good frames of the " + std::to_string(sent) +
              " sent (it must count the frames of this step only)";
  } else {
    r.ok = true;
    r.good = *n;
  }
  return r;
}

// ---- the dialog ---------------------------------------------------------------------

namespace {

QLineEdit* addField(QFormLayout* form, QWidget* parent, const char* name, const char* label,
                    const std::string& text, const char* tip) {
  auto* e = new QLineEdit(QString::fromStdString(text), parent);
  e->setObjectName(name);
  e->setToolTip(tip);
  form->addRow(label, e);
  return e;
}

double numberIn(const QDialog* d, const char* name, const char* what) {
  const QString text = d->findChild<QLineEdit*>(name)->text();
  const auto v = parseDecimal(text.toStdString());
  if (!v) raise(std::string(what) + " must be a number, not \"" + text.toStdString() + "\".");
  return *v;
}

}  // namespace

LevelSweepDialog::LevelSweepDialog(const SweepSettings& current, const SigGenLimits& limits,
                                   std::size_t frames, QWidget* parent)
    : QDialog(parent), result_(current), limits_(limits) {
  setObjectName("dlgLevelSweep");
  setWindowTitle("Level Sweep");
  auto* form = new QFormLayout;
  const std::string range = "The instrument: " + levelText(limits.amplitudeMin) + " to " +
                            levelText(limits.amplitudeMax) + " dBm.";
  addField(form, this, "start", "&Start level (dBm):", levelText(current.start), range.c_str());
  addField(form, this, "stop", "S&top level (dBm):", levelText(current.stop), range.c_str());
  addField(form, this, "step", "Ste&p (dB):", levelText(current.step),
           "The size of each step, towards the stop level.");
  auto* command = addField(
      form, this, "command", "&Device command:", current.command,
      "Run with /bin/sh -c after each step. DOT11A_LEVEL_DBM, DOT11A_SENT and DOT11A_STEP are in "
      "its environment; it prints the device's count of good frames.");
  command->setMinimumWidth(360);
  addField(form, this, "timeout", "&Time-out (s):", num2str(current.timeout),
           "The longest the command may take at one step.");
  auto* note = new QLabel(
      QString::fromStdString(
          "Each step sets the level and plays the calculated waveform once: " +
          std::to_string(frames) + (frames == 1 ? " frame" : " frames") +
          " sent (Signal > Frame Sequence sets how many). The waveform is stored in the "
          "instrument first; afterwards the level is set back and the waveform stopped."),
      this);
  note->setWordWrap(true);
  message_ = new QLabel(this);
  message_->setObjectName("message");
  message_->setWordWrap(true);
  message_->setStyleSheet("color: #b00020;");
  message_->hide();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("&Run");
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(note);
  layout->addWidget(message_);
  layout->addWidget(buttons);
}

QString LevelSweepDialog::problem() const {
  return message_->isVisible() ? message_->text() : QString();
}

void LevelSweepDialog::accept() {
  try {
    SweepSettings s;
    s.start = numberIn(this, "start", "The start level");
    s.stop = numberIn(this, "stop", "The stop level");
    s.step = numberIn(this, "step", "The step");
    s.timeout = numberIn(this, "timeout", "The time-out");
    s.command = findChild<QLineEdit*>("command")->text().trimmed().toStdString();
    if (const std::string p = sweepProblem(s, limits_); !p.empty()) dot11a::raise(p);
    result_ = s;
    message_->hide();
    QDialog::accept();
  } catch (const std::exception& e) {
    message_->setText(QString::fromStdString(e.what()));
    message_->show();
  }
}

// ---- the sweep ----------------------------------------------------------------------

namespace {

// What the sweep did, filled on the worker; read on the GUI thread under the
// lock (after a Cancel the worker still finishes its step and sets the level
// back while the window goes on).
struct SweepRun {
  std::mutex lock;
  std::vector<SweepPoint> points;
  std::vector<std::string> log;
  std::string error;    // why the sweep stopped early
  std::string refused;  // why nothing was sent
  bool levelChanged = false;
  std::string restoreError;
  void note(std::string line) {
    std::lock_guard<std::mutex> g(lock);
    log.push_back(std::move(line));
  }
};

constexpr std::string_view kArbOn = " :source:rad:arb:state on";
constexpr std::string_view kArbOff = " :source:rad:arb:state off";

std::string levelCommand(double dbm) {
  return " " + std::string(kPowerHeader) + " " + levelText(dbm) + "dbm";
}

// Sends one command; false (with the reason in run.error) when it failed.
bool send(SweepRun& run, const Value& config, const std::string& command) {
  const IoResult r = hwSend(config, command);
  if (r.ok()) return true;
  std::lock_guard<std::mutex> g(run.lock);
  run.error = "The instrument refused \"" + command.substr(command.find_first_not_of(' ')) +
              "\": " + r.response;
  return false;
}

struct SweepJob {
  SweepSettings settings;
  std::vector<double> levels;
  SigGenSettings playback;  // the window's, whose level is set back afterwards
  Value config, wave, markers;
  Platform platform = Platform::B;
  std::size_t frames = 0;
  double seconds = 0;  // one play of the waveform
};

void sweep(const SweepJob& job, SweepRun& run, TaskProgress& progress) {
  progress.stage("Asking the instrument for its ranges...");
  const LimitsReport ranges = queryInstrumentLimits(job.config);
  if (ranges.limits) {
    std::string why = sweepProblem(job.settings, *ranges.limits);
    for (const RangeViolation& v : why.empty() ? outsideLimits(job.playback, *ranges.limits)
                                               : std::vector<RangeViolation>{}) {
      const bool power = v.field == "Amplitude";
      const auto shown = [power](double x) { return power ? num2str(x) + " dBm" : hertzText(x); };
      why += (why.empty() ? "The instrument cannot take these settings of the window:" : "") +
             std::string("\n") + v.field + " " + shown(v.value) +
             " (the instrument: " + shown(v.min) + " to " + shown(v.max) + ")";
    }
    if (!why.empty()) {
      std::lock_guard<std::mutex> g(run.lock);
      run.refused = why;
      return;
    }
  }
  if (progress.cancelled()) return;
  progress.stage("Storing the waveform in the instrument...");
  const DownloadResult stored = tgxDownload(
      job.wave, job.markers, job.playback.title, job.config,
      [&progress](std::string_view t, std::string_view x) { return progress.confirm(t, x); });
  if (!stored.ok()) {
    std::lock_guard<std::mutex> g(run.lock);
    run.error = stored.cancelled ? std::string("The transfer was declined.")
                                 : "The waveform could not be stored: " + stored.description;
    return;
  }
  if (progress.cancelled()) return;
  // The playback settings, without starting the waveform: each step plays it.
  progress.stage("Sending the playback settings...");
  {
    std::lock_guard<std::mutex> g(run.lock);
    run.levelChanged = true;  // from here on the level is set back at the end
  }
  bool ok = true;
  for (const std::string& c : playbackCommands(job.playback.title, job.playback, job.platform))
    if (c != kArbOn && !(ok = send(run, job.config, c))) break;
  const std::size_t n = job.levels.size();
  for (std::size_t i = 0; ok && i < n && !progress.cancelled(); ++i) {
    const double level = job.levels[i];
    progress.stage("level " + levelText(level) + " dBm, step " + std::to_string(i + 1) + " of " +
                   std::to_string(n));
    progress.fraction(static_cast<double>(i) / static_cast<double>(n));
    if (!send(run, job.config, levelCommand(level)) ||
        !send(run, job.config, std::string(kArbOn))) {
      ok = false;
      break;
    }
    // The ARB starts the waveform from its beginning; it is stopped after one
    // play, so the device sees each frame once.
    QElapsedTimer played;
    played.start();
    while (played.elapsed() < job.seconds * 1000 && !progress.cancelled()) QThread::msleep(2);
    if (!send(run, job.config, std::string(kArbOff)) || progress.cancelled()) break;
    const DeviceCount count =
        runDeviceCommand(job.settings.command, level, job.frames, i + 1, job.settings.timeout,
                         [&progress] { return progress.cancelled(); });
    std::string line = "Step " + std::to_string(i + 1) + ", " + levelText(level) + " dBm: ";
    line += count.ok ? num2str(count.good) + " of " + std::to_string(job.frames) + " good"
                     : count.error;
    if (!count.stderrText.empty()) line += "\n  " + count.stderrText;
    run.note(line);
    if (progress.cancelled()) break;
    std::lock_guard<std::mutex> g(run.lock);
    if (!count.ok) {
      run.error = "Step " + std::to_string(i + 1) + " of " + std::to_string(n) + " (" +
                  levelText(level) + " dBm): the command \"" + job.settings.command + "\" " +
                  count.error + ".";
      break;
    }
    run.points.push_back({level, job.frames, count.good});
  }
  // Only the level set back follows a Cancel or an error.
  const IoResult back = hwSend(job.config, levelCommand(job.playback.amplitude));
  std::lock_guard<std::mutex> g(run.lock);
  if (!back.ok()) run.restoreError = back.response;
}

// ---- the result window --------------------------------------------------------------

gfx::Handle sweepWindow(double parent, const std::vector<SweepPoint>& points,
                        const std::vector<std::string>& log, const std::string& label) {
  using gfx::Handle;
  const Value where = plotframe::placeFrom(Handle(parent), {150, 150, 880, 480}, 0.05, -0.05, true);
  const Handle fig = plotframe::plotWindow("Level Sweep " + label, where);
  std::vector<double> box = gfx::defaultAxesPosition();
  box[2] *= 0.5;  // the table and the log on the right
  const Handle axes = gfx::newAxes(fig, box);
  std::vector<double> x, y;
  double lowest = 1e-3;
  for (const SweepPoint& p : points) {
    x.push_back(p.level);
    y.push_back(p.per());
    if (p.per() > 0) lowest = std::min(lowest, p.per() / 2);
  }
  const Handle curve = gfx::plotLine(axes, x, y, "bo-");
  gfx::setString(curve, "Tag", "KS_LevelSweepCurve");
  gfx::setString(curve, "DisplayName", "PER");
  gfx::setString(axes, "NextPlot", "add");
  double lo = x.empty() ? -100 : *std::min_element(x.begin(), x.end());
  double hi = x.empty() ? -50 : *std::max_element(x.begin(), x.end());
  if (hi - lo < 1) lo -= 1, hi += 1;
  const Handle limit =
      gfx::plotLine(axes, std::vector<double>{lo, hi}, std::vector<double>{0.1, 0.1}, "r--");
  gfx::setString(limit, "Tag", "KS_LevelSweepLimit");
  gfx::setString(limit, "DisplayName", "PER 10 %");
  gfx::setString(axes, "NextPlot", "replace");
  gfx::setString(axes, "Tag", "KS_LevelSweep");
  gfx::setString(axes, "YScale", "log");
  gfx::set(axes, "XLim", Value::row({lo, hi}));
  gfx::set(axes, "YLim", Value::row({lowest, 1}));
  gfx::setString(axes, "XGrid", "on");
  gfx::setString(axes, "YGrid", "on");
  gfx::setString(axes, "XLabel", "Level (dBm)");
  gfx::setString(axes, "YLabel", "PER (0 is below the axis)");
  gfx::setString(axes, "Title", "PER against level");
  gfx::setString(axes, "Legend", "on");

  QWidget* host = gfx::widgetOf(fig);
  const Value size = gfx::get(fig, "Position");
  const int width = static_cast<int>(size.real(2)), height = static_cast<int>(size.real(3));
  const int right = static_cast<int>(width * (box[0] + box[2])) + 40;
  auto* table = new QTableWidget(static_cast<int>(points.size()), 4, host);
  gfx::setString(gfx::handleOf(table), "Tag", "KS_LevelSweepTable");
  table->setHorizontalHeaderLabels({"Level (dBm)", "Sent", "Good", "PER"});
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int i = 0; i < static_cast<int>(points.size()); ++i) {
    const SweepPoint& p = points[static_cast<std::size_t>(i)];
    char per[32];
    std::snprintf(per, sizeof per, "%.4g", p.per());
    const QString cells[4] = {QString::fromStdString(levelText(p.level)),
                              QString::number(static_cast<qulonglong>(p.sent)),
                              QString::fromStdString(num2str(p.good)), QString::fromLatin1(per)};
    for (int k = 0; k < 4; ++k) table->setItem(i, k, new QTableWidgetItem(cells[k]));
  }
  table->resizeColumnsToContents();
  table->setGeometry(right, 30, width - right - 8, height / 2 - 30);
  auto* text = new QPlainTextEdit(host);
  gfx::setString(gfx::handleOf(text), "Tag", "KS_LevelSweepLog");
  text->setReadOnly(true);
  std::string all;
  for (const std::string& line : log) all += line + "\n";
  text->setPlainText(QString::fromStdString(all));
  text->setGeometry(right, height / 2 + 8, width - right - 8, height / 2 - 16);
  gfx::setString(fig, "Visible", "on");
  return fig;
}

// Adds the window to those File > Exit closes.
void keepWindow(double fig) {
  std::vector<double> kept;
  const Value& info = shell::appInfo();
  if (info.hasField("ClientWindows") && info.field("ClientWindows").isNumeric())
    for (double w : info.field("ClientWindows").toDoubles())
      if (w != 0 && gfx::isHandle(w)) kept.push_back(w);
  kept.push_back(fig);
  shell::appInfo().setField("ClientWindows", Value::row(std::move(kept)));
}

// Analysis > Level Sweep...
void menuAnalysisLevelSweep_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  const double fig = shell::mainWindow(h);
  if (instrumentTaskRunning() || shell::busy(fig)) return;
  if (!shell::waveformReady(h, "Level Sweep")) return;
  const std::shared_ptr<const Waveform> wave = shell::waveformOnShow();
  constexpr std::string_view kTitle = "Level Sweep";
  if (!wave || wave->frames.empty())
    return dialogs().error(kTitle, "The level sweep plays a calculated waveform: Calculate one.");
  SweepJob job;
  job.config = global("configuration");
  job.platform = platformFromText(shell::appText("Platform"));
  try {
    job.playback = sigGenSettingsFromValue(global("SigGenSettings"));
  } catch (const std::exception& e) {
    return dialogs().error(kTitle, e.what());
  }
  if (std::abs(job.playback.samplingRate - wave->sampleRate) > 1e-9 * wave->sampleRate)
    return dialogs().error(kTitle, "The waveform was calculated for " +
                                       num2str(wave->sampleRate / 1e6) +
                                       " MHz but the sample rate is set to " +
                                       num2str(job.playback.samplingRate / 1e6) +
                                       " MHz: set it to the waveform's (Download offers to).");
  const SigGenLimits limits = limitsInForce(job.config, job.platform);
  LevelSweepDialog dialog(sweepSettingsFrom(job.config), limits, wave->frames.size(),
                          gfx::widgetOf(fig));
  if (dialog.exec() != QDialog::Accepted) return;
  job.settings = dialog.settings();
  global("configuration") = withSweepSettings(global("configuration"), job.settings);
  job.config = global("configuration");
  job.levels = sweepLevels(job.settings);
  job.wave = global("waveform");
  job.markers = global("markers");
  job.frames = wave->frames.size();
  job.seconds = static_cast<double>(wave->samples.size()) / wave->sampleRate;

  auto run = std::make_shared<SweepRun>();
  const bool finished = runInstrumentTask(
      fig, std::string(kTitle), [job, run](TaskProgress& progress) { sweep(job, *run, progress); });
  // A window closed meanwhile: the worker still sets the level back; there is
  // nothing left to show the result in.
  if (!gfx::isHandle(fig)) return;
  std::vector<SweepPoint> points;
  std::vector<std::string> log;
  std::string error, refused, restoreError;
  bool changed = false;
  {
    std::lock_guard<std::mutex> g(run->lock);
    points = run->points;
    log = run->log;
    error = run->error;
    refused = run->refused;
    changed = run->levelChanged;
    restoreError = run->restoreError;
  }
  const std::string steps =
      std::to_string(points.size()) + " of " + std::to_string(job.levels.size());
  const std::string back = "; the level is set back to " + levelText(job.playback.amplitude) +
                           " dBm and the waveform stopped.";
  if (!refused.empty()) {
    tellUser(fig, "Level sweep refused; nothing was sent: " + refused);
    return dialogs().error(kTitle, refused + "\nNothing was sent.");
  }
  std::string status;
  if (!finished)
    status = "Level sweep cancelled after " + steps + " steps: nothing more is played" +
             (changed || !points.empty() ? back : ".");
  else if (!error.empty())
    status = "Level sweep stopped after " + steps + " steps" + (changed ? back : ".");
  else
    status =
        "Level sweep done: " + steps + " steps of " + std::to_string(job.frames) + " frames" + back;
  if (finished && !restoreError.empty())
    status += " Setting the level back failed: " + restoreError;
  tellUser(fig, status, !error.empty() || !restoreError.empty());
  if (!points.empty() || !log.empty())
    keepWindow(sweepWindow(fig, points, log, shell::appText("Name")).toValue().toScalar());
  if (finished && !error.empty()) dialogs().error(kTitle, error);
}

[[maybe_unused]] const bool kSweepCommands = shell::addCommands({
    gfx::callback("menuAnalysisLevelSweep_Callback", menuAnalysisLevelSweep_Callback),
});

}  // namespace

}  // namespace dot11a::gui
