// The time-domain plot windows: I(t) and Q(t), the eye diagram and the
// scatter diagram, with the general plotters eyediagram and scatterplot they
// draw through. The numbers come from iq_data.cpp; the windows get the frame
// of every plot window (placement against the parent, plot menus).
#include <QEvent>
#include <QFontMetrics>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/graphics/plot_objects.hpp"
#include "gui/plots/iq_data.hpp"
#include "gui/plots/plot_frame.hpp"

namespace dot11a {

namespace {

using gfx::Handle;
using namespace plotframe;

constexpr double kEps = std::numeric_limits<double>::epsilon();

// The plotters' data input as columns (a row is one column; complex gives the
// real and the imaginary parts as two).
plots::Columns columnsOf(const Value& x) {
  if (x.isAbsent() || x.isEmpty()) return {};
  if (!x.isNumeric()) raise("Input variable X must be numbers, not " + x.describe() + ".");
  const std::vector<double> re = x.toDoubles();
  std::vector<double> im;
  if (x.isComplex())
    for (const cplx& v : x.toComplex()) im.push_back(v.imag());
  return plots::plotColumns(x.rows(), x.cols(), re, im);
}

// A numeric input, `fallback` when absent or empty, NaN when it is not a
// number (the plotters' checks then name it).
double numberIn(const Call& c, std::size_t i, double fallback) {
  if (!c.has(i) || c.inputs()[i].isEmpty()) return fallback;
  const Value& v = c.inputs()[i];
  return v.isNumeric() ? v.real(0) : std::numeric_limits<double>::quiet_NaN();
}

// The window a plotter was given as `h` (its last input), when that is an
// open window: an open window of another kind is an error; anything else is
// ignored with `warning` and a new window is made.
Handle givenWindow(const Value& h, const char* tag, const std::string& warningText,
                   const std::string& wrongKind) {
  if (h.isAbsent() || h.isEmpty()) return Handle();
  const Handle given = h.isNumeric() ? Handle(h.real(0)) : Handle();
  if (given.isRoot() || !gfx::isHandle(given) || gfx::getString(given, "Type") != "figure") {
    warning(warningText);
    return Handle();
  }
  if (gfx::getString(given, "Tag") != tag) raise(wrongKind);
  return given;
}

// A new plotter window of (w0, h0) centred on the screen, named and tagged.
Handle plotterWindow(const char* tag, double w0, double h0) {
  const Handle fig = gfx::newFigure();
  const Value screen = gfx::screenSize();
  const double cx = screen.real(0) + screen.real(2) / 2, cy = screen.real(1) + screen.real(3) / 2;
  gfx::set(fig, "Position", Value::row({std::round(cx - w0 / 2), std::round(cy - h0 / 2), w0, h0}));
  gfx::setString(fig, "Name", tag);
  gfx::setString(fig, "Tag", tag);
  return fig;
}

// Closes a window made for a plot that then failed, and passes the error on.
template <typename F>
Handle closingOnError(Handle& made, F draw) {
  try {
    return draw();
  } catch (...) {
    if (!made.isRoot()) gfx::deleteFigure(made);
    throw;
  }
}

void setLimits(Handle ax, const char* property, double lo, double hi) {
  gfx::set(ax, property, Value::row({lo, hi}));
}

// ---- plot boxes in pixels --------------------------------------------------------------

// Room for the tick labels, the axis labels and the title around a plot box.
constexpr double kLeft = 72, kRight = 34, kTop = 34, kBottom = 50;

// Places the axes of a window in pixels from the size of its plot area, and
// again whenever the area is resized, so that the room for labels and titles
// stays the same at every window size. A window has one such layout; placing
// it again replaces the rule.
class PixelLayout : public QObject {
 public:
  using Rule = std::function<void(double width, double height)>;
  static void keep(Handle axes, Rule rule) {
    QWidget* a = gfx::widgetOf(axes);
    QWidget* area = a ? a->parentWidget() : nullptr;
    if (!area) return;
    auto* layout = static_cast<PixelLayout*>(area->property("dot11aPixelLayout").value<QObject*>());
    if (!layout) {
      layout = new PixelLayout(area);
      area->setProperty("dot11aPixelLayout", QVariant::fromValue<QObject*>(layout));
    }
    layout->rule_ = std::move(rule);
    layout->apply(area);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) apply(static_cast<QWidget*>(watched));
    return false;
  }

 private:
  explicit PixelLayout(QWidget* area) : QObject(area) { area->installEventFilter(this); }
  void apply(QWidget* area) {
    if (rule_) rule_(area->width(), area->height());
  }
  Rule rule_;
};

void placeInPixels(Handle ax, double left, double bottom, double width, double height) {
  if (!gfx::isHandle(ax)) return;
  gfx::setString(ax, "Units", "pixels");
  gfx::set(ax, "Position",
           Value::row({std::round(left), std::round(bottom), std::max(20.0, std::round(width)),
                       std::max(20.0, std::round(height))}));
}

// The length of an axes' y label as drawn, in pixels (0 without a label).
int yLabelLength(Handle ax) {
  const gfx::Axes* a = gfx::Axes::of(gfx::widgetOf(ax));
  if (!a || a->yAxis->label().isEmpty()) return 0;
  return QFontMetrics(a->yAxis->labelFont()).horizontalAdvance(a->yAxis->label());
}

// The window cannot be made so low that a y label, drawn centred along its
// plot box, runs past the room its axes have above and below the box (at
// least 30 pixels each way): `fixed` pixels of the area are not plot boxes,
// and `boxes` boxes share the rest. The windows' default sizes stay allowed.
void keepLabelHeight(Handle ax, int boxes, double fixed) {
  QWidget* a = gfx::widgetOf(ax);
  QWidget* area = a ? a->parentWidget() : nullptr;
  if (!area) return;
  const int label = yLabelLength(ax);
  const int box = std::max(20, label + 8 - 2 * 30);
  if (label > 0) area->setMinimumHeight(int(std::ceil(fixed)) + boxes * box);
}

// One square box, centred: equal limits on both axes give equal scales.
void keepSquare(Handle ax) {
  PixelLayout::keep(ax, [ax](double width, double height) {
    const double w = width - kLeft - kRight, h = height - kTop - kBottom;
    const double side = std::max(20.0, std::min(w, h));
    placeInPixels(ax, kLeft + std::max(0.0, w - side) / 2, kBottom + std::max(0.0, h - side) / 2,
                  side, side);
  });
}

// Two boxes of one size one above the other, `gap` pixels apart: room for
// the upper one's tick labels (and axis label, when it has one) and the lower
// one's title.
void keepStacked(Handle upper, Handle lower, double gap) {
  PixelLayout::keep(upper, [upper, lower, gap](double width, double height) {
    const double h = std::max(20.0, (height - kTop - kBottom - gap) / 2);
    const double w = width - kLeft - kRight;
    placeInPixels(upper, kLeft, kBottom + h + gap, w, h);
    placeInPixels(lower, kLeft, kBottom, w, h);
  });
}

// ---- eye diagram ---------------------------------------------------------------------

// Draws the eye diagram into a new window, or into `h`; the window is shown
// when `show` (the plot windows show theirs once they are placed, so that long
// waveforms are not drawn twice).
Handle drawEyeDiagram(const plots::Columns& x, double n, double period, double offset,
                      const std::string& format, const Value& h, bool show) {
  const plots::EyeDiagram eye = plots::eyeDiagram(x, n, period, offset);
  Handle fig =
      givenWindow(h, "Eye Diagram", "Ignoring invalid handle H. Creating a new eye diagram.",
                  "Figure is not an existing eye diagram.\nUse an existing eye diagram or "
                  "do not use a figure handle as an input");
  Handle made;
  if (fig.isRoot()) fig = made = plotterWindow("Eye Diagram", 460, x.size() == 2 ? 540 : 360);
  return closingOnError(made, [&] {
    // A window reused with a different number of axes starts afresh; one with
    // as many keeps them (their lines are replaced unless they are held).
    std::vector<Handle> axes = gfx::figureAxes(fig);
    if (axes.size() != x.size()) {
      for (Handle ax : axes) delete gfx::widgetOf(ax);
      axes.clear();
      for (std::size_t c = 0; c < x.size(); ++c)
        axes.push_back(x.size() == 2 ? gfx::newAxes(fig, gfx::gridAxesPosition(2, 1, int(c) + 1))
                                     : gfx::newAxes(fig));
    }
    const char* subtitles[] = {"for In-Phase Signal", "for Quadrature Signal"};
    double lo = -eye.yLimit, hi = eye.yLimit;
    for (std::size_t c = 0; c < x.size(); ++c) {
      gfx::plotLine(axes[c], eye.t, eye.y[c], format);
      gfx::setString(axes[c], "XLabel", "Time");
      gfx::setString(axes[c], "YLabel", "Amplitude");
      gfx::setString(axes[c], "Title",
                     std::string("Eye Diagram ") + (x.size() == 2 ? subtitles[c] : ""));
      // Widened to what the axes hold, when they hold more than this plot.
      gfx::setString(axes[c], "YLimMode", "auto");
      const Value fitted = gfx::get(axes[c], "YLim");
      lo = std::min(lo, fitted.real(0));
      hi = std::max(hi, fitted.real(1));
    }
    for (Handle ax : axes) {
      setLimits(ax, "XLim", eye.tMin, eye.tMax);
      setLimits(ax, "YLim", lo, hi);
    }
    if (axes.size() == 2) keepStacked(axes[0], axes[1], kBottom + kTop);
    if (show) gfx::setString(fig, "Visible", "on");
    return fig;
  });
}

// ---- scatter plot --------------------------------------------------------------------

// Draws the scatter plot into a new window, or into `h`; shown when `show`.
Handle drawScatterPlot(const plots::Columns& x, double n, double offset, const std::string& format,
                       const Value& h, bool show) {
  const plots::ScatterPoints pts = plots::scatterPoints(x, n, offset);
  Handle fig =
      givenWindow(h, "Scatter Plot", "Ignoring invalid handle, H. Creating a new scatter plot.",
                  "Figure is not an existing scatter plot.\nUse an existing scatter plot "
                  "or do not use a figure handle as an input");
  Handle made;
  if (fig.isRoot()) fig = made = plotterWindow("Scatter Plot", 560, 420);
  return closingOnError(made, [&] {
    const Handle ax = gfx::currentAxes(fig);
    if (gfx::getString(ax, "NextPlot") != "add") {
      setLimits(ax, "XLim", -kEps, kEps);
      setLimits(ax, "YLim", -kEps, kEps);
    }
    // Square at its present place.
    const Value pos = gfx::get(fig, "Position");
    const double side = std::min(pos.real(2), pos.real(3));
    gfx::set(fig, "Position", Value::row({pos.real(0), pos.real(1), side, side}));
    double before = 0;
    for (const char* lim : {"XLim", "YLim"}) {
      const Value v = gfx::get(ax, lim);
      before = std::max({before, std::fabs(v.real(0)), std::fabs(v.real(1))});
    }
    gfx::plotLine(ax, pts.i, pts.q, format);
    double limit = std::max(before, pts.maxAbs * 1.07);
    if (pts.maxAbs == 0 && limit <= kEps) limit = 1;  // all zero: a visible range around 0
    setLimits(ax, "XLim", -limit, limit);
    setLimits(ax, "YLim", -limit, limit);
    keepSquare(ax);
    gfx::setString(ax, "YLabel", "Quadrature");
    gfx::setString(ax, "XLabel", "In-Phase");
    gfx::setString(ax, "Title", "Scatter plot");
    if (show) gfx::setString(fig, "Visible", "on");
    return fig;
  });
}

// The window of a plot operation that failed: the error in a dialog, no window.
void plotError(Call& c, const std::string& what, const std::exception& e) {
  dialogs().error("Plot Error", "Unable to Plot " + what + "\n" + e.what());
  c.out(0) = Value::empty();
}

// The frame of the eye and scatter windows, set after their plotter drew
// them; then the window shows.
void frameWindow(Handle fig, const std::string& name, const Value& where) {
  gfx::setString(fig, "MenuBar", "none");
  gfx::set(fig, "Position", where);
  gfx::setString(fig, "Name", name);
  gfx::setString(fig, "NumberTitle", "off");
  addPlotMenus(fig);
  gfx::setString(fig, "Visible", "on");
}

// n at least 1 and offset from 0 to n - 1, as the plot windows ask them.
std::pair<double, double> clampedStep(double n, double offset) {
  n = std::max(1.0, n);
  offset = std::min(n - 1, std::max(0.0, offset));
  return {n, offset};
}

}  // namespace

namespace op {

// KS_PlotIQTime(hParent, label, sampleRate, overlay, iqWave)
void KS_PlotIQTime(Call& c) {
  c.outputNames({"fig"});
  const Handle parent = c.has(0) ? gfx::handleFrom(c.in(0, "hParent"), "KS_PlotIQTime") : Handle();
  std::string label = textOr(c, 1, "label", "");
  const bool overlay = c.has(3) && c.in(3, "overlay").truthy();
  const plots::IqTime p =
      plots::iqTime(samplesOf(c.inOr(4, Value::empty())), numberOr(c, 2, "sampleRate", 1));
  if (p.placeholder) label = "No Data";
  const Value where = placeFrom(parent, {150, 150, 340, 340}, 0.1, -0.1, true);
  const Handle fig = plotWindow("I(t) Q(t) " + label, where);
  const std::string timeLabel = "Time (" + p.units.name + ")";
  std::vector<Handle> axes;
  if (!overlay) {
    const Handle axI = gfx::newAxes(fig, gfx::gridAxesPosition(2, 1, 1));
    gfx::plotLine(axI, p.t, p.i);
    const Handle axQ = gfx::newAxes(fig, gfx::gridAxesPosition(2, 1, 2));
    gfx::plotLine(axQ, p.t, p.q);
    // One above the other, of one size, with room for the upper one's tick
    // labels and the lower one's title (the upper one has no axis label).
    const double gap = kBottom - 20 + kTop;
    keepStacked(axI, axQ, gap);
    gfx::setString(axI, "Tag", "KS_Iwave");
    gfx::setString(axI, "Title", "I(t)");
    gfx::setString(axI, "YLabel", "Amplitude (V)");
    gfx::setString(axI, "XLabel", "");
    gfx::setString(axQ, "Tag", "KS_Qwave");
    gfx::setString(axQ, "Title", "Q(t)");
    gfx::setString(axQ, "YLabel", "Amplitude (V)");
    gfx::setString(axQ, "XLabel", timeLabel);
    keepLabelHeight(axI, 2, kTop + kBottom + gap);
    axes = {axI, axQ};
  } else {
    const Handle ax = gfx::newAxes(fig, movedAxesPosition());
    gfx::setString(gfx::plotLine(ax, p.t, p.i), "DisplayName", "I(t)");
    gfx::setString(ax, "NextPlot", "add");
    const Handle q = gfx::plotLine(ax, p.t, p.q);
    gfx::set(q, "Color", Value("magenta"));
    gfx::setString(q, "DisplayName", "Q(t)");
    gfx::setString(ax, "NextPlot", "replace");
    gfx::setString(ax, "Legend", "on");
    gfx::setString(ax, "Title", "I(t) Q(t)");
    gfx::setString(ax, "YLabel", "Amplitude (V)");
    gfx::setString(ax, "XLabel", timeLabel);
    gfx::setString(ax, "Tag", "KS_IQwave");
    keepLabelHeight(ax, 1, kTop + kBottom);
    axes = {ax};
  }
  for (Handle ax : axes) {
    setLimits(ax, "XLim", 0, p.tMax);
    setLimits(ax, "YLim", -p.amplitude, p.amplitude);
  }
  gfx::setString(fig, "Visible", "on");
  c.out(0) = fig.toValue();
}

// eyediagram(x, n, period, offset, plotstring, h)
void eyediagram(Call& c) {
  c.outputNames({"h"});
  const plots::Columns x = columnsOf(c.in(0, "x"));
  const double n = numberIn(c, 1, std::numeric_limits<double>::quiet_NaN());
  const Handle fig =
      drawEyeDiagram(x, n, numberIn(c, 2, 1), numberIn(c, 3, 0), textOr(c, 4, "plotstring", "b-"),
                     c.inOr(5, Value::empty()), true);
  c.out(0) = fig.toValue();
}

// KS_PlotEyeDiagram(hParent, label, iqWave, n, period, offset)
void KS_PlotEyeDiagram(Call& c) {
  c.outputNames({"fig"});
  const Handle parent =
      c.has(0) ? gfx::handleFrom(c.in(0, "hParent"), "KS_PlotEyeDiagram") : Handle();
  const std::string label = textOr(c, 1, "label", "");
  const auto [n, offset] = clampedStep(numberOr(c, 3, "n", 1), numberOr(c, 5, "offset", 0));
  double period = numberOr(c, 4, "period", 1);
  if (period == 0) period = 1;
  const Value where = placeFrom(parent, {150, 150, 340, 340}, 0.1, -0.1, true);
  Handle fig;
  try {
    fig = drawEyeDiagram(columnsOf(c.inOr(2, Value::empty())), n, period, offset, "b-",
                         Value::empty(), false);
  } catch (const std::exception& e) {
    plotError(c, "Eye Diagram", e);
    return;
  }
  frameWindow(fig, "Eye Diagram " + label, where);
  c.out(0) = fig.toValue();
}

// scatterplot(x, n, offset, plotstring, h)
void scatterplot(Call& c) {
  c.outputNames({"h"});
  const plots::Columns x = columnsOf(c.in(0, "x"));
  const Handle fig =
      drawScatterPlot(x, numberIn(c, 1, 1), numberIn(c, 2, 0), textOr(c, 3, "plotstring", "b."),
                      c.inOr(4, Value::empty()), true);
  c.out(0) = fig.toValue();
}

// KS_PlotScatterDiagram(hParent, label, iqWave, n, offset, traceOn)
void KS_PlotScatterDiagram(Call& c) {
  c.outputNames({"fig"});
  const Handle parent =
      c.has(0) ? gfx::handleFrom(c.in(0, "hParent"), "KS_PlotScatterDiagram") : Handle();
  const std::string label = textOr(c, 1, "label", "");
  const auto [n, offset] = clampedStep(numberOr(c, 3, "n", 1), numberOr(c, 4, "offset", 0));
  const bool traceOn = c.has(5) && !c.in(5, "traceOn").isEmpty() && c.in(5, "traceOn").truthy();
  const Value where = placeFrom(parent, {150, 150, 340, 340}, 0.1, -0.1, true);
  Handle fig;
  try {
    const plots::Columns x = columnsOf(c.inOr(2, Value::empty()));
    if (!traceOn) {
      fig = drawScatterPlot(x, n, offset, "b.", Value::empty(), false);
    } else {
      // Every sample joined by a cyan line, then the decimated points as blue
      // dots in the same (held) axes.
      fig = drawScatterPlot(x, 1, offset, "c-", Value::empty(), false);
      try {
        const Handle ax = gfx::currentAxes(fig);
        gfx::setString(ax, "NextPlot", "add");
        drawScatterPlot(x, n, offset, "b.", fig.toValue(), false);
        gfx::setString(ax, "NextPlot", "replace");
      } catch (...) {
        gfx::deleteFigure(fig);
        throw;
      }
    }
  } catch (const std::exception& e) {
    plotError(c, "Scatter Diagram", e);
    return;
  }
  frameWindow(fig, "Scatter Diagram " + label, where);
  c.out(0) = fig.toValue();
}

}  // namespace op

}  // namespace dot11a
