// The Demodulate window. The receiver runs on a thread of its own on a copy of
// the samples; its result comes back to the GUI thread as a queued call, which
// is dropped when the window was closed meanwhile.
#include "gui/plots/demod_window.hpp"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/receiver.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/plots/plot_frame.hpp"

namespace dot11a::plots {

namespace {

unsigned le16(std::span<const std::uint8_t> p, std::size_t at) {
  return static_cast<unsigned>(p[at]) | static_cast<unsigned>(p[at + 1]) << 8;
}

std::string address(std::span<const std::uint8_t> p, std::size_t at) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%02x:%02x:%02x:%02x:%02x:%02x", p[at], p[at + 1], p[at + 2],
                p[at + 3], p[at + 4], p[at + 5]);
  return buf;
}

}  // namespace

MacFields parseMacHeader(std::span<const std::uint8_t> psdu) {
  MacFields m;
  if (psdu.size() >= 2) {
    m.frameControl = le16(psdu, 0);
    m.type = (m.frameControl >> 2) & 3;
    m.subtype = (m.frameControl >> 4) & 15;
  }
  if (psdu.size() >= 4) m.duration = le16(psdu, 2);
  if (psdu.size() >= 10) m.address1 = address(psdu, 4);
  if (psdu.size() >= 16) m.address2 = address(psdu, 10);
  if (psdu.size() >= 22) m.address3 = address(psdu, 16);
  if (psdu.size() >= 24) {
    m.sequenceControl = le16(psdu, 22);
    m.sequenceNumber = m.sequenceControl >> 4;
    m.fragmentNumber = m.sequenceControl & 15;
    m.complete = true;
  }
  return m;
}

std::string hexDump(std::span<const std::uint8_t> octets) {
  std::string out;
  char buf[32];
  for (std::size_t i = 0; i < octets.size(); ++i) {
    if (i % 16 == 0) {
      if (i > 0) out += '\n';
      std::snprintf(buf, sizeof buf, "%04zx ", i);
      out += buf;
    }
    std::snprintf(buf, sizeof buf, " %02x", octets[i]);
    out += buf;
  }
  return out;
}

}  // namespace dot11a::plots

namespace dot11a {

namespace {

using gfx::Handle;
using namespace plotframe;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string fmt(const char* f, double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, x);
  return buf;
}

const char* fcsText(rx::FcsState s) {
  switch (s) {
    case rx::FcsState::Good:
      return "good";
    case rx::FcsState::Bad:
      return "BAD";
    case rx::FcsState::NoneFound:
      return "none found";
    default:
      return "-";
  }
}

struct DemodWindow {
  Handle fig, evmCarrier, evmSymbol, flatness, channel;
  QTableWidget* table = nullptr;
  QPlainTextEdit* payload = nullptr;
  QLabel* status = nullptr;
  QPushButton* exportButton = nullptr;
  rx::Result result;
};

std::vector<double> subcarriers() {
  std::vector<double> k;
  for (int i = -26; i <= 26; ++i) k.push_back(i);
  return k;
}

// Draws a line, and a second one over it when `limit` holds any points.
void drawPair(Handle ax, const std::vector<double>& x, const std::vector<double>& y,
              const std::vector<double>& lx, const std::vector<double>& ly) {
  gfx::plotLine(ax, x, y, "b.-");
  if (!lx.empty()) {
    gfx::setString(ax, "NextPlot", "add");
    gfx::plotLine(ax, lx, ly, "r-");
    gfx::setString(ax, "NextPlot", "replace");
  }
  gfx::autoscale(ax);
  // The limits stay in view, with a little room above and below.
  const Value lim = gfx::get(ax, "YLim");
  double lo = lim.real(0), hi = lim.real(1);
  for (double v : ly)
    if (std::isfinite(v)) {
      lo = std::min(lo, v - 1);
      hi = std::max(hi, v + 1);
    }
  gfx::set(ax, "YLim", Value::row({lo, hi}));
}

// The selected frame's plots and payload.
void showFrame(const DemodWindow& w, std::size_t i) {
  if (i >= w.result.frames.size()) return;
  const rx::FrameReport& f = w.result.frames[i];
  const std::vector<double> k = subcarriers();
  std::vector<double> evmK = f.evmPerSubcarrierDb;
  evmK.resize(53, kNaN);
  drawPair(w.evmCarrier, k, evmK, {-26, 26}, {f.evmLimitDb, f.evmLimitDb});
  std::vector<double> sym, evmS = f.evmPerSymbolDb;
  for (std::size_t s = 0; s < evmS.size(); ++s) sym.push_back(static_cast<double>(s));
  if (sym.empty()) {  // nothing decoded: an empty plot
    sym = {0};
    evmS = {kNaN};
  }
  drawPair(w.evmSymbol, sym, evmS, {0, sym.back()}, {f.evmLimitDb, f.evmLimitDb});
  // The flatness limits: +-2 dB within -16..16, +2 / -4 dB beyond.
  std::vector<double> flat = f.flatnessDb;
  flat.resize(53, kNaN);
  drawPair(w.flatness, k, flat, {-26, -16, -16, 16, 16, 26, kNaN, -26, 26},
           {-4, -4, -2, -2, -4, -4, kNaN, 2, 2});
  std::vector<double> mag(53, kNaN);
  for (std::size_t j = 0; j < f.channel.size() && j < 53; ++j)
    if (std::abs(f.channel[j]) > 0) mag[j] = 20 * std::log10(std::abs(f.channel[j]));
  drawPair(w.channel, k, mag, {}, {});
  std::string text =
      "PSDU, " + std::to_string(f.psdu.size()) + " octets\n" + plots::hexDump(f.psdu);
  const plots::MacFields m = plots::parseMacHeader(f.psdu);
  if (m.complete) {
    char buf[400];
    std::snprintf(buf, sizeof buf,
                  "\n\nMAC header\nFrame control 0x%04x: type %u, subtype %u\nDuration %u\n"
                  "Address 1 %s\nAddress 2 %s\nAddress 3 %s\nSequence number %u, fragment %u",
                  m.frameControl, m.type, m.subtype, m.duration, m.address1.c_str(),
                  m.address2.c_str(), m.address3.c_str(), m.sequenceNumber, m.fragmentNumber);
    text += buf;
  }
  w.payload->setPlainText(QString::fromStdString(text));
}

const std::vector<std::string> kColumns = {"Start",
                                           "Rate (Mbit/s)",
                                           "LENGTH",
                                           "EVM (dB)",
                                           "Limit (dB)",
                                           "CFO (kHz)",
                                           "Clock (ppm)",
                                           "Flatness margin (dB)",
                                           "Mask margin (dB)",
                                           "FCS",
                                           "Verdict"};

// A frame's cells, in the table's and the CSV file's column order.
std::vector<std::string> frameCells(const rx::FrameReport& f) {
  return {std::to_string(f.start),
          fmt("%g", f.rateMbps),
          std::to_string(f.length),
          fmt("%.2f", f.evmDb),
          fmt("%.1f", f.evmLimitDb),
          fmt("%.2f", f.cfoHz / 1e3),
          fmt("%.2f", f.clockOffsetPpm),
          fmt("%.2f", f.flatnessWorstMarginDb),
          f.maskMeasured ? fmt("%.2f", f.maskWorstMarginDb) : "-",
          fcsText(f.fcs),
          f.passed() ? "PASS" : "FAIL"};
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

void exportCsv(const DemodWindow& w) {
  const auto path =
      dialogs().saveFile("Export Frames", {{"*.csv", "CSV files (*.csv)"}}, "frames.csv");
  if (!path) return;
  try {
    const std::string text = framesCsv(w.result);
    writeFileAtomically(*path,
                        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  } catch (const std::exception& e) {
    dialogs().error("Export Frames", e.what());
  }
}

void fillTable(DemodWindow& w) {
  const auto& frames = w.result.frames;
  w.table->setRowCount(static_cast<int>(frames.size()));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const std::vector<std::string> cells = frameCells(frames[i]);
    for (std::size_t c = 0; c < cells.size(); ++c)
      w.table->setItem(static_cast<int>(i), static_cast<int>(c),
                       new QTableWidgetItem(QString::fromStdString(cells[c])));
  }
  w.table->resizeColumnsToContents();
  if (!frames.empty()) w.table->selectRow(0);
  w.exportButton->setEnabled(true);
  w.status->setText(frames.empty() ? QString::fromStdString("No frame found. " + w.result.problem)
                                   : QString("%1 frame(s) decoded.").arg(frames.size()));
}

// KS_Demodulate(hParent, label, sampleRate, iqWave): the window opens at once
// and fills when the receiver is done.
void demodulate(Call& c) {
  c.outputNames({"fHandle"});
  const Handle parent = c.has(0) ? gfx::handleFrom(c.in(0, "hParent"), "KS_Demodulate") : Handle();
  const std::string label = textOr(c, 1, "label", "");
  const double rate = numberOr(c, 2, "sampleRate", 20e6);
  if (!(rate > 0) || !std::isfinite(rate)) raise("The sample rate must be above 0 Hz.");
  auto samples = std::make_shared<const std::vector<cplx>>(samplesOf(c.inOr(3, Value::empty())));
  if (samples->empty()) raise("There is no waveform to demodulate.");

  // Placed over the parent, but never smaller than the table and plots need.
  Value where = placeFrom(parent, {60, 60, 900, 640}, 0.05, -0.05, true);
  if (where.real(2) < 900 || where.real(3) < 640)
    where = Value::row({where.real(0), where.real(1), std::max(where.real(2), 900.0),
                        std::max(where.real(3), 640.0)});
  auto w = std::make_shared<DemodWindow>();
  w->fig = plotWindow("Demodulate " + label, where);
  QWidget* host = gfx::widgetOf(w->fig);
  const Value size = gfx::get(w->fig, "Position");
  const int width = static_cast<int>(size.real(2)), height = static_cast<int>(size.real(3));
  w->status = new QLabel(QStringLiteral("Demodulating..."), host);
  gfx::setString(gfx::handleOf(w->status), "Tag", "KS_DemodStatus");
  w->status->setGeometry(8, 24, width - 140, 20);
  w->exportButton = new QPushButton(QStringLiteral("Export CSV..."), host);
  gfx::setString(gfx::handleOf(w->exportButton), "Tag", "KS_DemodExportCsv");
  w->exportButton->setGeometry(width - 128, 22, 120, 24);
  w->exportButton->setEnabled(false);  // until the frames are in
  QObject::connect(w->exportButton, &QPushButton::clicked, host, [w] { exportCsv(*w); });
  w->table = new QTableWidget(0, static_cast<int>(kColumns.size()), host);
  gfx::setString(gfx::handleOf(w->table), "Tag", "KS_DemodFrames");
  QStringList headers;
  for (const std::string& h : kColumns) headers << QString::fromStdString(h);
  w->table->setHorizontalHeaderLabels(headers);
  w->table->setSelectionBehavior(QAbstractItemView::SelectRows);
  w->table->setSelectionMode(QAbstractItemView::SingleSelection);
  w->table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  w->table->setGeometry(8, 46, width - 16, height / 4);
  w->payload = new QPlainTextEdit(host);
  gfx::setString(gfx::handleOf(w->payload), "Tag", "KS_DemodPayload");
  w->payload->setReadOnly(true);
  w->payload->setLineWrapMode(QPlainTextEdit::NoWrap);
  w->payload->setFont(QFont(QStringLiteral("monospace"), 8));
  const int top = 46 + height / 4 + 6;
  w->payload->setGeometry(static_cast<int>(width * 0.62), top, static_cast<int>(width * 0.38) - 8,
                          height - top - 8);
  // The plots in a 2 x 2 grid under the table, left of the payload.
  const double gridTop = 1 - static_cast<double>(top) / height;
  const auto cell = [&](int r, int col) {
    return std::vector<double>{0.07 + col * 0.31, gridTop - (r + 1) * gridTop / 2 + 0.07, 0.23,
                               gridTop / 2 - 0.12};
  };
  const auto axes = [&](int r, int col, const char* tag, const char* title, const char* x,
                        const char* y) {
    const Handle ax = gfx::newAxes(w->fig, cell(r, col));
    gfx::setString(ax, "Tag", tag);
    gfx::setString(ax, "Title", title);
    gfx::setString(ax, "XLabel", x);
    gfx::setString(ax, "YLabel", y);
    gfx::setString(ax, "XGrid", "on");
    gfx::setString(ax, "YGrid", "on");
    return ax;
  };
  w->evmCarrier = axes(0, 0, "KS_DemodEvmCarrier", "EVM per sub-carrier", "Sub-carrier", "dB");
  w->evmSymbol = axes(0, 1, "KS_DemodEvmSymbol", "EVM per symbol", "Symbol", "dB");
  w->flatness = axes(1, 0, "KS_DemodFlatness", "Spectral flatness", "Sub-carrier", "dB");
  w->channel = axes(1, 1, "KS_DemodChannel", "Channel magnitude", "Sub-carrier", "dB");
  QObject::connect(w->table, &QTableWidget::itemSelectionChanged, host, [w] {
    const auto rows = w->table->selectionModel()->selectedRows();
    if (!rows.empty()) showFrame(*w, static_cast<std::size_t>(rows.front().row()));
  });
  // The receiver on its own thread; the window may be gone when it is done.
  QPointer<QWidget> alive(host);
  std::thread([samples, rate, w, alive] {
    rx::Result r;
    try {
      r = rx::receive(*samples, {.sampleRate = rate});
    } catch (const std::exception& e) {
      r.problem = e.what();
    }
    QMetaObject::invokeMethod(
        qApp,
        [w, alive, r = std::move(r)]() mutable {
          if (!alive) return;
          w->result = std::move(r);
          fillTable(*w);
        },
        Qt::QueuedConnection);
  }).detach();
  gfx::setString(w->fig, "Visible", "on");
  c.out(0) = w->fig.toValue();
}

const bool kRegistered = [] {
  registerBuiltin({"KS_Demodulate", 4, 1, 1, "KS_Demodulate", demodulate});
  return true;
}();

}  // namespace

}  // namespace dot11a
