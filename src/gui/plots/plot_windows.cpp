// The spectrum, waterfall and CCDF windows: placed against their parent,
// named, given the plot menus, and drawn through the graphics layer from the
// numbers of plot_data.cpp. Also the plot menus' own actions (print, close,
// zoom out).
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QWidget>
#include <cmath>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/plots/plot_data.hpp"
#include "gui/plots/plot_frame.hpp"

namespace dot11a {

namespace plotframe {

using gfx::Handle;

std::vector<cplx> samplesOf(const Value& v) {
  if (v.isAbsent() || v.isEmpty()) return {};
  if (!v.isNumeric()) raise("The waveform must be numbers, not " + v.describe() + ".");
  return v.toComplex();
}

double numberOr(const Call& c, std::size_t i, const char* name, double fallback) {
  if (!c.has(i)) return fallback;
  const Value& v = c.in(i, name);
  if (!v.isNumeric() || v.isEmpty()) raise(std::string("The ") + name + " must be a number.");
  return v.real(0);
}

std::string textOr(const Call& c, std::size_t i, const char* name, const std::string& fallback) {
  if (!c.has(i)) return fallback;
  const Value& v = c.in(i, name);
  if (!v.isText()) raise(std::string("The ") + name + " must be a text.");
  return v.str();
}

// The window's position from its parent: `none` when the parent is the screen
// (pixels), otherwise the parent's position scaled by `grow` and moved by
// (dx, dy) times the new width and height, in the parent's units.
Value placeFrom(Handle parent, const std::vector<double>& none, double dx, double dy,
                bool scaleFirst) {
  if (parent.isRoot() || !gfx::isHandle(parent)) return Value::row(none);
  const Value p = gfx::get(parent, "Position");
  double x = p.real(0), y = p.real(1), w = p.real(2), h = p.real(3);
  if (scaleFirst) {
    w *= 0.8;
    h *= 0.8;
    x += dx * w;
    y += dy * h;
  } else {
    x += dx * w;
    y += dy * h;
    w *= 0.8;
    h *= 0.8;
  }
  return Value::row({x, y, w, h});
}

Value menuItem(const char* parent, const char* label, const char* tag, const char* callback,
               bool separator = false, bool enabled = true) {
  return Value::record({{"Parent", Value(parent)},
                        {"Label", Value(label)},
                        {"Tag", Value(tag)},
                        {"Callback", Value(callback)},
                        {"Separator", Value(separator ? "on" : "off")},
                        {"Enable", Value(enabled ? "on" : "off")}});
}

// The File, Edit and Tools menus of every plot window.
void addPlotMenus(Handle fig) {
  const Value items = Value::cellRow(
      {menuItem("", "&File", "menuPlotFile", ""),
       menuItem("menuPlotFile", "&Print", "menuPlotPrint", "print"),
       menuItem("menuPlotFile", "Save &As...", "menuPlotSaveAs", "savePlotAs"),
       menuItem("menuPlotFile", "&Export Trace Data (CSV)...", "menuPlotExportCsv",
                "exportTraceCsv"),
       menuItem("menuPlotFile", "&Close", "menuPlotClose", "close(gcf)", true),
       menuItem("", "&Edit", "menuPlotEdit", ""),
       menuItem("menuPlotEdit", "&Copy", "menuPlotCopy", "print('-dmeta')"),
       menuItem("", "&Tools", "menuPlotTools", ""),
       menuItem("menuPlotTools", "&Zoom", "KS_Zoom", "KS_Zoom"),
       menuItem("menuPlotTools", "&Rotate", "KS_Rotate", "KS_Rotate", false, false),
       menuItem("menuPlotTools", "Zoom Re&set", "KS_ZoomReset", "zoom('out')", true)});
  feval("KS_AddMenu", 1, {Value::record({{"Figure", fig.toValue()}, {"Items", items}})});
}

// A hidden plot window with no standard menu bar and no number in its title.
Handle plotWindow(const std::string& name, const Value& position, bool menuBar) {
  const Handle fig = gfx::newFigure();
  gfx::setString(fig, "MenuBar", menuBar ? "figure" : "none");
  gfx::setString(fig, "NumberTitle", "off");
  gfx::setString(fig, "Name", name);
  gfx::set(fig, "Position", position);
  addPlotMenus(fig);
  return fig;
}

// The plot box moved as the plot windows do: left x 1.2, bottom x 1.4,
// height / 1.1.
std::vector<double> movedAxesPosition() {
  std::vector<double> p = gfx::defaultAxesPosition();
  p[0] *= 1.2;
  p[1] *= 1.4;
  p[3] /= 1.1;
  return p;
}

plots::Spectrum spectrumOf(std::vector<cplx>&& samples, double sampleRate) {
  return plots::forDisplay(plots::spectrumInPlace(std::move(samples), sampleRate),
                           plots::kLongSpectrum);
}

Handle spectrumWindow(Handle parent, const std::string& label, const plots::Spectrum& s) {
  const Value where = placeFrom(parent, {50, 480, 300, 300}, 0.1, 0.18, false);
  const Handle fig = plotWindow("Magnitude Spectrum " + label, where);
  const Handle ax = gfx::newAxes(fig, movedAxesPosition());
  gfx::plotLine(ax, s.frequency, s.level);
  gfx::setString(ax, "XLabel", "Frequency (" + s.units.name + ")");
  gfx::setString(ax, "YLabel", "LogMag (dB)");
  gfx::setString(ax, "Title", "Spectrum");
  gfx::set(ax, "XLim", Value::row({s.fMin, s.fMax}));
  gfx::set(ax, "YLim", Value::row({s.bottom, s.top}));
  gfx::setString(ax, "XGrid", "on");
  gfx::setString(ax, "YGrid", "on");
  gfx::setString(fig, "Visible", "on");
  return fig;
}

Handle ccdfWindow(Handle parent, const std::string& label, const plots::Ccdf& d) {
  const Value where = placeFrom(parent, {150, 150, 340, 340}, 0.1, -0.1, true);
  const Handle fig = plotWindow("CCDF " + label, where);
  const Handle ax = gfx::newAxes(fig, movedAxesPosition());
  gfx::plotLine(ax, d.level, d.percent);
  gfx::setString(ax, "NextPlot", "add");
  const Handle ref = gfx::plotLine(ax, d.level, d.reference);
  gfx::set(ref, "Color", Value::row({0.7, 0.7, 0.7}));
  gfx::setString(ax, "NextPlot", "replace");
  gfx::setString(ax, "YScale", "log");
  gfx::set(ax, "XLim", Value::row({0, d.maxLevel}));
  gfx::set(ax, "YLim", Value::row({d.yMin, 100}));
  gfx::setString(ax, "GridLineStyle", ":");
  gfx::setString(ax, "XGrid", "on");
  gfx::setString(ax, "YGrid", "on");
  std::vector<double> ticks;
  for (double t = 0; t <= d.maxLevel + 1e-9; t += 2) ticks.push_back(t);
  gfx::set(ax, "XTick", Value::row(ticks));
  gfx::setString(ax, "Tag", "KS_CCDF");
  gfx::setString(ax, "Title", "CCDF");
  gfx::setString(ax, "YLabel", "Frequency of occurence (%)");
  gfx::setString(ax, "XLabel", "dB above Average");
  gfx::set(ax, "XColor", Value("black"));
  gfx::set(ax, "YColor", Value("black"));
  gfx::setString(fig, "Visible", "on");
  return fig;
}

}  // namespace plotframe

namespace op {

using gfx::Handle;
using namespace plotframe;

// KS_PlotSpectrum(hParent, label, sampleRate, iqWave)
void KS_PlotSpectrum(Call& c) {
  c.outputNames({"fHandle"});
  const Handle parent =
      c.has(0) ? gfx::handleFrom(c.in(0, "hParent"), "KS_PlotSpectrum") : Handle();
  c.out(0) = spectrumWindow(
                 parent, textOr(c, 1, "label", ""),
                 spectrumOf(samplesOf(c.inOr(3, Value::empty())), numberOr(c, 2, "sampleRate", 1)))
                 .toValue();
}

// KS_PlotWaterfall(hParent, label, sampleRate, period, iqWave)
void KS_PlotWaterfall(Call& c) {
  c.outputNames({"fHandle"});
  const Handle parent =
      c.has(0) ? gfx::handleFrom(c.in(0, "hParent"), "KS_PlotWaterfall") : Handle();
  const std::string label = textOr(c, 1, "label", "");
  const plots::Waterfall w =
      plots::waterfall(samplesOf(c.inOr(4, Value::empty())), numberOr(c, 2, "sampleRate", 1),
                       numberOr(c, 3, "period", 0));
  const Value where = placeFrom(parent, {100, 100, 300, 300}, 0.2, -0.2, true);
  const Handle fig = plotWindow("Spectrum Waterfall " + label, where, true);
  const Handle ax = gfx::newAxes(fig);
  feval("waterfall", 1,
        {ax.toValue(), Value::matrix(w.rows, w.cols, w.x), Value::matrix(w.rows, w.cols, w.y),
         Value::matrix(w.rows, w.cols, w.z)});
  gfx::setString(ax, "XLabel", "Frequency (" + w.frequencyUnits.name + ")");
  gfx::setString(ax, "YLabel", "Time (" + w.timeUnits.name + ")");
  gfx::setString(ax, "ZLabel", "LogMag (dB)");
  gfx::setString(ax, "Title", "Spectrum");
  gfx::set(ax, "XLim", Value::row({w.fMin, w.fMax}));
  if (w.tMax > 0) gfx::set(ax, "YLim", Value::row({0, w.tMax}));
  gfx::set(ax, "ZLim", Value::row({w.bottom, w.top}));
  // The waterfall can be turned, so its Rotate tool is offered.
  gfx::setString(gfx::guihandles(fig).field("KS_Rotate").toScalar(), "Enable", "on");
  gfx::setString(fig, "Visible", "on");
  c.out(0) = fig.toValue();
}

// KS_PlotCCDF(hParent, label, iqWave)
void KS_PlotCCDF(Call& c) {
  c.outputNames({"fHandle"});
  const Handle parent = c.has(0) ? gfx::handleFrom(c.in(0, "hParent"), "KS_PlotCCDF") : Handle();
  const std::string label = textOr(c, 1, "label", "Test Data");
  c.out(0) = ccdfWindow(parent, label, plots::ccdf(samplesOf(c.inOr(2, Value::empty())))).toValue();
}

}  // namespace op

// ---- the plot menus' actions ---------------------------------------------------------

namespace {

using gfx::Handle;

// print: prints the window's plots on a printer the user chooses;
// print('-dmeta') copies its picture to the clipboard.
void printBuiltin(Call& c) {
  const Handle fig = gfx::gcbf();
  if (!gfx::widgetOf(fig)) raise("print acts on the window whose menu was used.");
  if (c.has(0) && c.in(0, "option").isText() && c.in(0, "option").str() == "-dmeta") {
    // The picture for documents, the trace data as text for a spreadsheet
    // or an editor: the one that pastes takes what it reads.
    if (QClipboard* clip = QApplication::clipboard()) {
      auto* data = new QMimeData;
      data->setImageData(gfx::widgetOf(fig)->grab().toImage());
      const QByteArray csv = QByteArray::fromStdString(gfx::traceCsv(fig));
      data->setText(QString::fromUtf8(csv));
      data->setData(QStringLiteral("text/csv"), csv);
      clip->setMimeData(data);
    }
    return;
  }
  gfx::printFigure(fig);
}

// savePlotAs: saves the window's plots as a PNG or PDF file the user names.
void savePlotAsBuiltin(Call&) {
  gfx::savePlotAs(gfx::gcbf());
}

// exportTraceCsv: writes the window's trace data to a CSV file the user names.
void exportTraceCsvBuiltin(Call&) {
  gfx::exportTraceCsv(gfx::gcbf());
}

void closeBuiltin(Call& c) {
  gfx::deleteFigure(c.has(0) ? gfx::handleFrom(c.in(0, "h"), "close") : gfx::gcbf());
}

// zoom('out'): every axes of the window back to the view it was drawn with.
void zoomBuiltin(Call&) {
  for (Handle ax : gfx::figureAxes(gfx::gcbf())) gfx::resetView(ax);
}

const bool kRegistered = [] {
  registerBuiltin({"print", 1, 0, 1, "print", printBuiltin});
  registerBuiltin({"savePlotAs", 0, 0, 1, "savePlotAs", savePlotAsBuiltin});
  registerBuiltin({"exportTraceCsv", 0, 0, 1, "exportTraceCsv", exportTraceCsvBuiltin});
  registerBuiltin({"close", 1, 0, 1, "close", closeBuiltin});
  registerBuiltin({"zoom", 1, 0, 1, "zoom", zoomBuiltin});
  return true;
}();

}  // namespace

}  // namespace dot11a
