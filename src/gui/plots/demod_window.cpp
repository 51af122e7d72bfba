// The Demodulate window. The receiver runs on a thread of its own on the
// samples; each frame's report comes back to the GUI thread as a queued
// call as soon as it is decoded, so the table fills while the rest of a long
// capture is searched. Calls that arrive after the window closed are dropped,
// and closing the window or Cancel stops the receiver at its next frame.
#include "gui/plots/demod_window.hpp"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/verify_report.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/plots/plot_frame.hpp"

namespace dot11a {

namespace {

using gfx::Handle;
using namespace plotframe;

// Frames the window decodes at most, and DATA symbols a frame whose
// equalised points it keeps: about 40 kB a frame, whatever the capture.
constexpr std::size_t kMaxFrames = 2000, kPointSymbols = 100;

std::string fmt(const char* f, double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, x);
  return buf;
}

// As dot11a-verify's table names them.
const char* fcsText(rx::FcsState s) {
  switch (s) {
    case rx::FcsState::Good:
      return "good";
    case rx::FcsState::Bad:
      return "BAD";
    case rx::FcsState::NoneFound:
      return "none";
    default:
      return "-";
  }
}

// The receiver's options from KS_Demodulate's settings record (dacDroop,
// fcs 'on' 'off' 'auto', fftBackoff, channelEstimate 'preamble' 'smoothed'
// 'data-aided'), each field optional: the settings a
// waveform was made with, or those dot11a-verify takes for a capture file.
rx::Options receiverOptions(const Value& settings, double rate) {
  rx::Options o;
  o.sampleRate = rate;
  if (!settings.isRecord()) return o;
  if (settings.hasField("dacDroop")) o.dacDroop = settings.field("dacDroop").truthy();
  if (settings.hasField("fcs")) {
    const Value& f = settings.field("fcs");
    const std::string mode = f.kind() == Value::Kind::Text ? f.str() : "";
    if (mode == "on")
      o.fcs = rx::FcsCheck::On;
    else if (mode == "off")
      o.fcs = rx::FcsCheck::Off;
    else if (mode != "auto")
      raise("KS_Demodulate: \"fcs\" must be 'auto', 'on' or 'off'.");
  }
  if (settings.hasField("fftBackoff")) {
    const double b = settings.field("fftBackoff").toScalar();
    if (!(b >= 0 && b <= 16)) raise("KS_Demodulate: \"fftBackoff\" must be from 0 to 16.");
    o.fftBackoff = b;
  }
  if (settings.hasField("channelEstimate")) {
    const Value& f = settings.field("channelEstimate");
    const auto e =
        rx::channelEstimateNamed(f.kind() == Value::Kind::Text ? f.str() : std::string());
    if (!e)
      raise("KS_Demodulate: \"channelEstimate\" must be 'preamble', 'smoothed' or 'data-aided'.");
    o.channelEstimate = *e;
  }
  // The frame's spacing in Hz; the receiver tells it from the preamble
  // when absent.
  if (settings.hasField("channelSpacing")) {
    ChannelSpacing s = ChannelSpacing::MHz20;
    if (!channelSpacingOfMHz(settings.field("channelSpacing").toScalar() / 1e6, s))
      raise("KS_Demodulate: \"channelSpacing\" must be 20e6, 10e6 or 5e6.");
    o.spacing = s;
  }
  return o;
}

struct DemodWindow {
  Handle fig;
  plots::FramePlots plots;
  QTableWidget* table = nullptr;
  QLabel* status = nullptr;
  QProgressBar* progress = nullptr;
  QPushButton *cancelButton = nullptr, *csvButton = nullptr, *jsonButton = nullptr;
  rx::Result result;
  double fftBackoff = rx::Options{}.fftBackoff;
  std::size_t totalSamples = 0;
  // Set by Cancel and by closing the window; read by the receiving thread.
  std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
  // Set on the GUI thread as the window goes: its widgets are not touched
  // again (a table being deleted still reports its selection cleared).
  bool closed = false;
};

// The window is there to be drawn in: not closed, its handle still valid
// (a deleted window's handles go at once, its widgets on a later pass of the
// event loop). Asked on the GUI thread only.
bool open(const DemodWindow& w) {
  return !w.closed && gfx::isHandle(w.fig);
}

// The receiving threads: each is joined, never left running past the
// application. A thread reports to the GUI thread only while reports may be
// posted; once the application goes, none is, and every thread is stopped
// and joined before the objects it reports to are destroyed.
class Receivers {
 public:
  static Receivers& get() {
    static Receivers r;
    return r;
  }
  // Starts `work` on a thread of its own; `stop` is its stop flag.
  void start(std::shared_ptr<std::atomic<bool>> stop, std::function<void()> work) {
    std::lock_guard lock(m_);
    reapLocked();
    auto done = std::make_shared<std::atomic<bool>>(false);
    running_.push_back({std::thread([work = std::move(work), done] {
                          work();
                          done->store(true);
                        }),
                        std::move(stop), done});
    if (!hooked_) {
      hooked_ = true;
      // Before the application object goes, with the queued reports it would
      // deliver: no thread outlives it.
      qAddPostRoutine([] { Receivers::get().stopAll(); });
    }
  }
  // Posts `call` to the GUI thread unless the application is going.
  bool post(std::function<void()> call) {
    std::lock_guard lock(m_);
    if (closing_ || qApp == nullptr) return false;
    QMetaObject::invokeMethod(qApp, std::move(call), Qt::QueuedConnection);
    return true;
  }
  void stopAll() {
    std::vector<Running> all;
    {
      std::lock_guard lock(m_);
      closing_ = true;
      all.swap(running_);
    }
    for (Running& r : all) r.stop->store(true);
    for (Running& r : all)
      if (r.thread.joinable()) r.thread.join();
  }

 private:
  struct Running {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> stop, done;
  };
  // Joins the threads that ended (at once: they have returned).
  void reapLocked() {
    for (auto it = running_.begin(); it != running_.end();)
      if (it->done->load()) {
        it->thread.join();
        it = running_.erase(it);
      } else {
        ++it;
      }
  }
  std::mutex m_;
  std::vector<Running> running_;
  bool closing_ = false, hooked_ = false;
};

const std::vector<std::string> kColumns = {"Start",
                                           "Rate (Mbit/s)",
                                           "LENGTH",
                                           "EVM (dB)",
                                           "Limit (dB)",
                                           "CFO (kHz)",
                                           "Clock (ppm)",
                                           "Leakage (dB)",
                                           "Flatness margin (dB)",
                                           "Mask margin (dB)",
                                           "FCS",
                                           "Verdict"};

// A frame's cells, in the table's and the CSV file's column order.
std::vector<std::string> frameCells(const rx::FrameReport& f) {
  return {std::to_string(f.start), fmt("%g", f.rateMbps), std::to_string(f.length),
          fmt("%.2f", f.evmDb), fmt("%.1f", f.evmLimitDb), fmt("%.2f", f.cfoHz / 1e3),
          // Only where the frame can tell the offset from none.
          f.clockOffsetMeasured() ? fmt("%.2f", f.clockOffsetPpm) : "-",
          f.centerLeakageDb > -99.0 ? fmt("%.1f", f.centerLeakageDb) : "<-99",
          fmt("%.2f", f.flatnessWorstMarginDb),
          f.maskMeasured ? fmt("%.2f", f.maskWorstMarginDb) : "-", fcsText(f.fcs),
          rx::frameResultText(f)};
}

// The table as CSV: a header line and a line per frame (no cell holds a
// comma or a quote).
std::string framesCsv(const rx::Result& r) {
  std::string out;
  const auto line = [&out](const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) out += (i ? "," : "") + cells[i];
    out += '\n';
  };
  line(kColumns);
  for (const rx::FrameReport& f : r.frames) line(frameCells(f));
  return out;
}

// Asks for a file name (the extension added when it has none) and writes the text.
void exportText(const char* title, const char* extension, const char* filter,
                const std::string& suggested, const std::string& text) {
  auto path = dialogs().saveFile(title, {{std::string("*") + extension, filter}}, suggested);
  if (!path) return;
  const std::string ext = extension;
  if (path->size() < ext.size() || path->compare(path->size() - ext.size(), ext.size(), ext) != 0)
    *path += ext;
  try {
    writeFileAtomically(*path,
                        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  } catch (const std::exception& e) {
    dialogs().error(title, e.what());
  }
}

void exportCsv(const DemodWindow& w) {
  exportText("Export Frames", ".csv", "CSV files (*.csv)", "frames.csv", framesCsv(w.result));
}

// The report dot11a-verify --json writes for the frames (the tool adds the
// file's name and format and a summary).
void exportJson(const DemodWindow& w) {
  exportText("Export Report", ".json", "JSON files (*.json)", "report.json",
             rx::reportJson(w.result, rx::verdictOf(w.result, std::nullopt), 2) + "\n");
}

void showSelected(const DemodWindow& w) {
  if (!open(w)) return;
  const auto rows = w.table->selectionModel()->selectedRows();
  if (rows.empty()) return;
  const auto i = static_cast<std::size_t>(rows.front().row());
  if (i < w.result.frames.size()) plots::drawFrame(w.plots, w.result.frames[i], w.fftBackoff);
}

// A frame decoded: its row, and the progress through the samples.
void addFrame(DemodWindow& w, rx::FrameReport&& f, std::size_t searched) {
  w.result.frames.push_back(std::move(f));
  const int row = w.table->rowCount();
  w.table->setRowCount(row + 1);
  const std::vector<std::string> cells = frameCells(w.result.frames.back());
  for (std::size_t c = 0; c < cells.size(); ++c)
    w.table->setItem(row, static_cast<int>(c),
                     new QTableWidgetItem(QString::fromStdString(cells[c])));
  if (row == 0) {
    w.table->resizeColumnsToContents();
    w.table->selectRow(0);
  }
  if (w.totalSamples > 0)
    w.progress->setValue(static_cast<int>(
        1000.0 * static_cast<double>(std::min(searched, w.totalSamples)) / w.totalSamples));
}

// The frames in one line, as dot11a-verify's summary counts them: found,
// decoded, FCS good and bad, and the packet error rate (the share of the
// frames found that do not decode, a bad FCS included).
std::string summaryLine(const rx::Result& r) {
  std::size_t decoded = 0, good = 0, bad = 0;
  for (const rx::FrameReport& f : r.frames) {
    decoded += f.decoded() ? 1 : 0;
    good += f.fcs == rx::FcsState::Good ? 1 : 0;
    bad += f.fcs == rx::FcsState::Bad ? 1 : 0;
  }
  const std::size_t n = r.frames.size();
  char line[160];
  std::snprintf(line, sizeof line,
                "%zu frames found, %zu decoded, %zu FCS good, %zu FCS bad; PER %.1f %%.", n,
                decoded, good, bad, n > 0 ? 100.0 * static_cast<double>(n - decoded) / n : 0.0);
  return line;
}

// The receiver is done, stopped by Cancel, or failed with `problem`.
void finish(DemodWindow& w, const std::string& problem, bool cancelled, bool full) {
  w.result.problem = w.result.frames.empty() ? problem : "";
  w.progress->hide();
  w.cancelButton->hide();
  w.csvButton->setEnabled(true);
  w.jsonButton->setEnabled(true);
  w.table->resizeColumnsToContents();
  const std::size_t n = w.result.frames.size();
  QString text = n == 0 ? QString::fromStdString("No frame found. " + problem)
                        : QString::fromStdString(summaryLine(w.result));
  if (cancelled) text += QStringLiteral(" Cancelled: the rest of the waveform was not searched.");
  if (full) text += QString(" Stopped after %1 frames.").arg(kMaxFrames);
  w.status->setText(text);
}

// KS_Demodulate(hParent, label, sampleRate, iqWave, settings): the window
// opens at once and fills as the receiver finds frames. `settings` (a record,
// optional) holds what the waveform was made with (see receiverOptions).
void demodulate(Call& c) {
  c.outputNames({"fHandle"});
  const Handle parent = c.has(0) ? gfx::handleFrom(c.in(0, "hParent"), "KS_Demodulate") : Handle();
  const std::string label = textOr(c, 1, "label", "");
  const double rate = numberOr(c, 2, "sampleRate", 20e6);
  if (!(rate > 0) || !std::isfinite(rate)) raise("The sample rate must be above 0 Hz.");
  // The samples are taken out of the value on the receiving thread: for a
  // long capture that copy alone takes a good part of a second. The value
  // shares its payload, so keeping it costs nothing.
  const Value wave = c.inOr(3, Value::empty());
  if (wave.isAbsent() || wave.isEmpty()) raise("There is no waveform to demodulate.");
  if (!wave.isNumeric()) samplesOf(wave);  // raises what is wrong with it
  rx::Options options = receiverOptions(c.inOr(4, Value::empty()), rate);

  // Placed over the parent, but never smaller than the table and plots need.
  Value where = placeFrom(parent, {60, 60, 1100, 700}, 0.05, -0.05, true);
  if (where.real(2) < 1100 || where.real(3) < 700)
    where = Value::row({where.real(0), where.real(1), std::max(where.real(2), 1100.0),
                        std::max(where.real(3), 700.0)});
  auto w = std::make_shared<DemodWindow>();
  w->fig = plotWindow("Demodulate " + label, where);
  w->totalSamples = wave.numel();
  QWidget* host = gfx::widgetOf(w->fig);
  const Value size = gfx::get(w->fig, "Position");
  const int width = static_cast<int>(size.real(2)), height = static_cast<int>(size.real(3));
  const auto tag = [](QObject* o, const char* name) {
    gfx::setString(gfx::handleOf(o), "Tag", name);
  };
  w->status = new QLabel(QStringLiteral("Demodulating..."), host);
  tag(w->status, "KS_DemodStatus");
  w->status->setGeometry(8, 24, width - 560, 20);
  w->progress = new QProgressBar(host);
  tag(w->progress, "KS_DemodProgress");
  w->progress->setRange(0, 1000);
  w->progress->setTextVisible(false);
  w->progress->setGeometry(width - 544, 24, 180, 20);
  w->cancelButton = new QPushButton(QStringLiteral("Cancel"), host);
  tag(w->cancelButton, "KS_DemodCancel");
  w->cancelButton->setGeometry(width - 356, 22, 90, 24);
  w->csvButton = new QPushButton(QStringLiteral("Export CSV..."), host);
  tag(w->csvButton, "KS_DemodExportCsv");
  w->csvButton->setGeometry(width - 258, 22, 120, 24);
  w->jsonButton = new QPushButton(QStringLiteral("Export JSON..."), host);
  tag(w->jsonButton, "KS_DemodExportJson");
  w->jsonButton->setGeometry(width - 130, 22, 122, 24);
  w->csvButton->setEnabled(false);  // until the frames are in
  w->jsonButton->setEnabled(false);
  QObject::connect(w->csvButton, &QPushButton::clicked, host, [w] { exportCsv(*w); });
  QObject::connect(w->jsonButton, &QPushButton::clicked, host, [w] { exportJson(*w); });
  QObject::connect(w->cancelButton, &QPushButton::clicked, host, [w] {
    w->stop->store(true);
    w->cancelButton->setEnabled(false);
  });
  // Closing the window stops the receiver at its next frame, and nothing
  // touches the window's widgets from then on.
  QObject::connect(host, &QObject::destroyed, [w] {
    w->closed = true;
    w->stop->store(true);
  });
  w->table = new QTableWidget(0, static_cast<int>(kColumns.size()), host);
  tag(w->table, "KS_DemodFrames");
  QStringList headers;
  for (const std::string& h : kColumns) headers << QString::fromStdString(h);
  w->table->setHorizontalHeaderLabels(headers);
  w->table->resizeColumnsToContents();  // the headings readable before the first frame
  w->table->setSelectionBehavior(QAbstractItemView::SelectRows);
  w->table->setSelectionMode(QAbstractItemView::SingleSelection);
  w->table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  w->table->setGeometry(8, 50, width - 16, height / 4);
  auto* payload = new QPlainTextEdit(host);
  tag(payload, "KS_DemodPayload");
  payload->setReadOnly(true);
  payload->setLineWrapMode(QPlainTextEdit::NoWrap);
  payload->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);  // dump lines are wider
  payload->setFont(QFont(QStringLiteral("monospace"), 8));
  const int top = 50 + height / 4 + 6;
  payload->setGeometry(static_cast<int>(width * 0.675), top, static_cast<int>(width * 0.325) - 8,
                       height - top - 8);
  w->plots = plots::makeFramePlots(w->fig, 1 - static_cast<double>(top) / height);
  w->plots.payload = payload;
  QObject::connect(w->table, &QTableWidget::itemSelectionChanged, host, [w] { showSelected(*w); });
  // The receiver on its own thread; the window may be gone when it reports.
  // Each report runs on the GUI thread, where it is dropped (and the
  // receiver stopped) once the window closed. The thread shares with the
  // window only the stop flag and, through the posted reports, the window's
  // record, which the GUI thread alone reads.
  const auto post = [w](std::function<void(DemodWindow&)> call) {
    Receivers::get().post([w, call = std::move(call)] {
      if (open(*w))
        call(*w);
      else
        w->stop->store(true);
    });
  };
  w->result.sampleRate = rate;
  w->fftBackoff = options.fftBackoff;
  Receivers::get().start(w->stop, [wave, options, stop = w->stop, post] {
    rx::Options o = options;
    o.maxFrames = kMaxFrames;
    o.keepPointsSymbols = kPointSymbols;
    o.onFrame = [&](const rx::FrameReport& f, std::size_t searched) {
      auto copy = std::make_shared<rx::FrameReport>(f);
      post([copy, searched](DemodWindow& win) { addFrame(win, std::move(*copy), searched); });
      return !stop->load();
    };
    std::string problem;
    std::size_t found = 0;
    try {
      const rx::Result r = rx::receive(samplesOf(wave), o);
      problem = r.problem;
      found = r.frames.size();
    } catch (const std::exception& e) {
      problem = e.what();
    }
    const bool cancelled = stop->load(), full = found >= kMaxFrames;
    post([problem, cancelled, full](DemodWindow& win) { finish(win, problem, cancelled, full); });
  });
  gfx::setString(w->fig, "Visible", "on");
  c.out(0) = w->fig.toValue();
}

const bool kRegistered = [] {
  registerBuiltin({"KS_Demodulate", 5, 1, 1, "KS_Demodulate", demodulate});
  return true;
}();

}  // namespace

}  // namespace dot11a
