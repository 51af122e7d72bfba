// The gated CCDF view: the CCDF of the instantaneous power over the frame
// bursts (idle time and gaps left out of the average power and of the
// statistics) or over the whole waveform, the user's choice in the window,
// with the Gaussian reference and a table of the PAPR at fixed probabilities.
#include <QCheckBox>
#include <QHeaderView>
#include <QTableWidget>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/plots/plot_data.hpp"
#include "gui/plots/plot_frame.hpp"
#include "gui/plots/spectrum_view.hpp"

namespace dot11a {

namespace {

using gfx::Handle;
using namespace plotframe;

constexpr double kPaprPercents[] = {10, 1, 0.1, 0.01};

struct CcdfWindow {
  plotframe::GatedCcdf data;
  Handle axes, curve, reference;
  QTableWidget* table = nullptr;
};

// A level of the table. The curve starts at the average power (0 dB): where
// fewer than that share of the samples reach it (over the whole waveform,
// mostly idle zeros), the level is not on the curve and is not a number
// worth printing ("-2960.50" for a silent sample).
QString paprText(double level) {
  if (!std::isfinite(level) || level < 0) return QStringLiteral("below 0 dB");
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", level);
  return QString::fromLatin1(buf);
}

// Draws the curves, the title and the PAPR table for the gate chosen.
void draw(const CcdfWindow& w, bool gated) {
  const plots::Ccdf& d = gated ? w.data.bursts : w.data.whole;
  gfx::set(w.curve, "XData", Value::row(d.level));
  gfx::set(w.curve, "YData", Value::row(d.percent));
  gfx::set(w.reference, "XData", Value::row(d.level));
  gfx::set(w.reference, "YData", Value::row(d.reference));
  gfx::set(w.axes, "XLim", Value::row({0, d.maxLevel}));
  gfx::set(w.axes, "YLim", Value::row({d.yMin, 100}));
  std::vector<double> ticks;
  for (double t = 0; t <= d.maxLevel + 1e-9; t += 2) ticks.push_back(t);
  gfx::set(w.axes, "XTick", Value::row(ticks));
  gfx::setString(w.axes, "Title",
                 gated ? "CCDF, bursts only (idle time left out)" : "CCDF, whole waveform");
  const std::vector<double>& papr = gated ? w.data.paprBursts : w.data.paprWhole;
  for (std::size_t i = 0; i < papr.size(); ++i)
    w.table->setItem(static_cast<int>(i), 1, new QTableWidgetItem(paprText(papr[i])));
}

}  // namespace

namespace plotframe {

GatedCcdf gatedCcdfOf(std::span<const cplx> samples, const plots::Ranges& bursts) {
  GatedCcdf g;
  g.whole = plots::ccdf(samples);
  g.paprWhole = plots::paprAt(samples, kPaprPercents);
  g.hasBursts = !bursts.empty();
  if (g.hasBursts) {
    const std::vector<cplx> gated = plots::gatedSamples(samples, bursts);
    g.bursts = plots::ccdf(gated);
    g.paprBursts = plots::paprAt(gated, kPaprPercents);
  }
  return g;
}

Handle gatedCcdfWindow(Handle parent, const std::string& label, const GatedCcdf& g) {
  auto w = std::make_shared<CcdfWindow>();
  w->data = g;
  const Value where = placeFrom(parent, {150, 150, 560, 420}, 0.1, -0.1, true);
  const Handle fig = plotWindow("Gated CCDF " + label, where);
  std::vector<double> box = gfx::defaultAxesPosition();
  box[2] *= 0.72;  // room for the table on the right
  w->axes = gfx::newAxes(fig, box);
  w->curve = gfx::plotLine(w->axes, std::vector<double>{0, 1}, std::vector<double>{1, 1}, "b-");
  gfx::setString(w->curve, "Tag", "KS_GatedCCDFCurve");
  gfx::setString(w->axes, "NextPlot", "add");
  w->reference = gfx::plotLine(w->axes, std::vector<double>{0, 1}, std::vector<double>{1, 1}, "k:");
  gfx::setString(w->reference, "Tag", "KS_GatedCCDFReference");
  gfx::setString(w->curve, "DisplayName", "Waveform");
  gfx::setString(w->reference, "DisplayName", "Gaussian noise");
  gfx::setString(w->axes, "NextPlot", "replace");
  gfx::setString(w->axes, "Tag", "KS_GatedCCDF");
  gfx::setString(w->axes, "YScale", "log");
  gfx::setString(w->axes, "XGrid", "on");
  gfx::setString(w->axes, "YGrid", "on");
  gfx::setString(w->axes, "YLabel", "Samples at or above (%)");
  gfx::setString(w->axes, "XLabel", "dB above average power");
  gfx::setString(w->axes, "Legend", "on");

  QWidget* host = gfx::widgetOf(fig);
  const Value size = gfx::get(fig, "Position");
  const int width = static_cast<int>(size.real(2));
  const int right = static_cast<int>(width * (box[0] + box[2])) + 12;
  auto* gate = new QCheckBox(QStringLiteral("Bursts only"), host);
  gfx::setString(gfx::handleOf(gate), "Tag", "KS_CCDFGate");
  gate->setGeometry(right, 30, width - right - 8, 22);
  gate->setChecked(w->data.hasBursts);
  gate->setEnabled(w->data.hasBursts);
  gate->setToolTip(QStringLiteral(
      "Average power and statistics over the frame bursts only (the markers' burst row)."));
  w->table = new QTableWidget(4, 2, host);
  gfx::setString(gfx::handleOf(w->table), "Tag", "KS_PAPRTable");
  w->table->setHorizontalHeaderLabels({QStringLiteral("CCDF (%)"), QStringLiteral("PAPR (dB)")});
  w->table->verticalHeader()->hide();
  w->table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int i = 0; i < 4; ++i)
    w->table->setItem(i, 0, new QTableWidgetItem(QString::number(kPaprPercents[i])));
  w->table->resizeColumnsToContents();
  w->table->setGeometry(right, 60, width - right - 8, 150);
  draw(*w, gate->isChecked());
  QObject::connect(gate, &QCheckBox::toggled, host, [w](bool on) { draw(*w, on); });
  gfx::setString(fig, "Visible", "on");
  return fig;
}

}  // namespace plotframe

namespace {

// KS_PlotGatedCCDF(hParent, label, iqWave, markers): gated to the bursts of
// the markers' second row when there are markers.
void plotGatedCcdf(Call& c) {
  c.outputNames({"fHandle"});
  const Handle parent =
      c.has(0) ? gfx::handleFrom(c.in(0, "hParent"), "KS_PlotGatedCCDF") : Handle();
  const std::string label = textOr(c, 1, "label", "");
  const std::vector<cplx> wave = samplesOf(c.inOr(2, Value::empty()));
  if (wave.empty()) raise("There is no waveform to show the CCDF of.");
  c.out(0) =
      gatedCcdfWindow(parent, label, gatedCcdfOf(wave, burstsOf(c, 3, wave.size()))).toValue();
}

const bool kRegistered = [] {
  registerBuiltin({"KS_PlotGatedCCDF", 4, 1, 1, "KS_PlotGatedCCDF", plotGatedCcdf});
  return true;
}();

}  // namespace

}  // namespace dot11a
