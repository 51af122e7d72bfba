// Plots: windows for plots, axes on QCustomPlot, lines and waterfall surfaces,
// their drawing and saving as pictures.
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QMainWindow>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "gui/graphics/plot_objects.hpp"

namespace dot11a::gfx {

namespace {

// Room around the plot box for tick labels, axis labels and the title.
constexpr int kLeftMargin = 64, kBottomMargin = 46, kTopMargin = 30, kRightMargin = 22;

// The colour order lines take when no colour is given.
const QColor kColorOrder[] = {QColor(0, 0, 255),   QColor(0, 128, 0),   QColor(255, 0, 0),
                              QColor(0, 191, 191), QColor(191, 0, 191), QColor(191, 191, 0),
                              QColor(64, 64, 64)};

// Lines with more points than this that are not drawn as a graph are drawn
// without antialiasing.
constexpr std::size_t kSmoothedPoints = 20000;

}  // namespace

std::span<const double> realsOf(const Value& v, std::vector<double>& copy) {
  if (v.isDouble()) return v.re();
  copy = v.toDoubles();
  return copy;
}

// ---- axes ---------------------------------------------------------------------------

Axes::Axes(QWidget* parent) : QCustomPlot(parent) {
  setProperty("dot11aPlotKind", "axes");
  axisRect()->setAutoMargins(QCP::msNone);
  xAxis2->setVisible(true);
  yAxis2->setVisible(true);
  xAxis2->setTickLabels(false);
  yAxis2->setTickLabels(false);
  connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), xAxis2,
          qOverload<const QCPRange&>(&QCPAxis::setRange));
  connect(yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), yAxis2,
          qOverload<const QCPRange&>(&QCPAxis::setRange));
  for (QCPAxis* a : {xAxis, yAxis}) {
    a->grid()->setVisible(false);
    a->setRange(0, 1);
  }
  QFont font = xAxis->tickLabelFont();
  font.setPointSizeF(9);
  for (QCPAxis* a : {xAxis, yAxis}) {
    a->setTickLabelFont(font);
    a->setLabelFont(font);
  }
  setInteractions(QCP::Interactions(QCP::iRangeDrag) | QCP::iRangeZoom);
  setNoAntialiasingOnDrag(true);
  setMouseTracking(true);  // the readout follows the pointer
  // QCustomPlot queues a replot when it is made; the resize every widget
  // gets when first shown replots it anyway, so that queued one would only
  // draw the data a second time.
  QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
  mReplotQueued = false;
  // Every replot, whatever asked for it (a resize, the user's zoom), draws
  // the current state: a queued redraw after it has nothing left to do.
  connect(this, &QCustomPlot::afterReplot, this, [this] { stale_ = false; });
}

bool Axes::is3d() const {
  return waterfall != nullptr;
}

int Axes::neededLeftRoom() const {
  if (!yAxis->visible()) return kLeftMargin;
  int widest = 0;
  if (yAxis->tickLabels() && yAxis->ticker()) {
    QVector<double> ticks;
    QVector<QString> labels;
    const QString format = yAxis->numberFormat();
    yAxis->ticker()->generate(yAxis->range(), locale(),
                              format.isEmpty() ? QLatin1Char('g') : format.at(0),
                              yAxis->numberPrecision(), ticks, nullptr, &labels);
    const QFontMetrics metrics(yAxis->tickLabelFont());
    for (const QString& label : labels) widest = std::max(widest, metrics.horizontalAdvance(label));
  }
  const int label = yAxis->label().isEmpty()
                        ? 0
                        : QFontMetrics(yAxis->labelFont()).height() + yAxis->labelPadding();
  // Tick marks outside the box, the padding of the tick labels, the labels,
  // the axis label with its padding, and a few pixels so nothing touches the
  // window's edge.
  const int need =
      yAxis->tickLengthOut() + yAxis->tickLabelPadding() + widest + label + yAxis->padding() + 4;
  return std::max(kLeftMargin, need);
}

void Axes::place() {
  layoutBox();
  redraw();
}

void Axes::layoutBox() {
  QWidget* a = area();
  if (!a) return;
  leftRoom_ = neededLeftRoom();
  const QRect bounds = a->rect();
  double l = position[0], b = position[1], w = position[2], h = position[3];
  if (normalizedUnits) {
    l *= bounds.width();
    w *= bounds.width();
    b *= bounds.height();
    h *= bounds.height();
  }
  // The plot box in the area's coordinates (y counted from the top).
  // Positions set by name may be any number: clamped to the largest size a
  // widget takes (not a number to 0), so that the sums below stay ints.
  auto px = [](double x, int lo) {
    return clampedInteger<int>(x, lo, QWIDGETSIZE_MAX).value_or(std::max(lo, 0));
  };
  const QRect want(px(l, -QWIDGETSIZE_MAX), px(bounds.height() - b - h, -QWIDGETSIZE_MAX), px(w, 1),
                   px(h, 1));
  // In a small window the labels keep their room: the box gives way to them.
  QRect box = want;
  box.setLeft(std::max(box.left(), leftRoom_));
  box.setBottom(std::min(box.bottom(), bounds.bottom() - kBottomMargin));
  box.setTop(std::max(box.top(), kTopMargin));
  if (box.width() < 20 || box.height() < 20) box = want;
  const QRect outer =
      box.adjusted(-leftRoom_, -kTopMargin, kRightMargin, kBottomMargin).intersected(bounds);
  setGeometry(outer);
  axisRect()->setMargins(QMargins(
      std::max(0, box.left() - outer.left()), std::max(0, box.top() - outer.top()),
      std::max(0, outer.right() - box.right()), std::max(0, outer.bottom() - box.bottom())));
}

void Axes::fitAuto() {
  double xlo = INFINITY, xhi = -INFINITY, ylo = INFINITY, yhi = -INFINITY, zlo = INFINITY,
         zhi = -INFINITY;
  const bool xlog = xAxis->scaleType() == QCPAxis::stLogarithmic;
  const bool ylog = yAxis->scaleType() == QCPAxis::stLogarithmic;
  auto take = [](double v, bool log, double& lo, double& hi) {
    if (!std::isfinite(v) || (log && v <= 0)) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  };
  for (QObject* child : children()) {
    if (const LineObject* l = LineObject::of(child)) {
      const std::size_t n = std::min(l->x.size(), l->y.size());
      for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(l->x[i]) || !std::isfinite(l->y[i])) continue;
        take(l->x[i], xlog, xlo, xhi);
        take(l->y[i], ylog, ylo, yhi);
      }
    } else if (const SurfaceObject* s = SurfaceObject::of(child)) {
      std::vector<double> cx, cy, cz;
      const std::span<const double> X = realsOf(s->x, cx), Y = realsOf(s->y, cy),
                                    Z = realsOf(s->z, cz);
      for (std::size_t k = 0; k < Z.size(); ++k) {
        take(X[k], xlog, xlo, xhi);
        take(Y[k], ylog, ylo, yhi);
        take(Z[k], false, zlo, zhi);
      }
    }
  }
  // An empty or flat range still gets a visible extent.
  auto widen = [](double& lo, double& hi, bool log) {
    if (!(lo <= hi)) {
      lo = log ? 0.1 : 0;
      hi = 1;
    } else if (lo == hi) {
      if (log) {
        lo /= 10;
        hi *= 10;
      } else {
        const double d = lo == 0 ? 1 : std::fabs(lo) * 0.1;
        lo -= d;
        hi += d;
      }
    }
  };
  widen(xlo, xhi, xlog);
  widen(ylo, yhi, ylog);
  widen(zlo, zhi, false);
  home.reset();  // the program's limits are the view a reset returns to
  if (xLimAuto) xAxis->setRange(xlo, xhi);
  if (yLimAuto) yAxis->setRange(ylo, yhi);
  if (zLimAuto) zLim = {zlo, zhi};
}

void Axes::redraw() {
  const bool threeD = is3d() && !(view[0] == 0 && view[1] == 90);
  for (QCPAxis* a : {xAxis, yAxis, xAxis2, yAxis2}) a->setVisible(!threeD);
  if (title) title->setVisible(!title->text().isEmpty());
  // One replot in the next event loop pass for any number of changes now,
  // skipped when a replot in between (the window shown) already drew them.
  stale_ = true;
  if (redrawQueued_) return;
  redrawQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        redrawQueued_ = false;
        if (!stale_) return;
        // New limits or labels may need more (or less) room on the left.
        if (area() && neededLeftRoom() != leftRoom_) layoutBox();
        replot(QCustomPlot::rpRefreshHint);
      },
      Qt::QueuedConnection);
}

// ---- lines --------------------------------------------------------------------------

LineObject::LineObject(Axes* axes) : QObject(axes) {
  setProperty("dot11aPlotKind", "line");
}

LineObject::~LineObject() {
  if (drawn) drawn->parentPlot()->removePlottable(drawn.data());
}

void LineObject::rebuild() {
  Axes* ax = axes();
  if (drawn) ax->removePlottable(drawn.data());
  drawn = nullptr;
  const std::size_t n = std::min(x.size(), y.size());
  if (x.size() != y.size()) return;  // drawn again once both have the same length
  bool rising = true;
  double last = -INFINITY;
  for (std::size_t i = 0; i < n && rising; ++i) {
    if (std::isnan(x[i])) continue;
    rising = x[i] >= last;
    last = x[i];
  }
  // A line drawn point to point; NaN in either coordinate breaks it. The data
  // containers are filled directly (adding point by point costs more than
  // the drawing for long waveforms).
  if (rising) {
    auto* g = new QCPGraph(ax->xAxis, ax->yAxis);
    QVector<QCPGraphData> points(static_cast<qsizetype>(n));
    for (std::size_t i = 0; i < n; ++i)
      points[qsizetype(i)] = QCPGraphData(x[i], std::isnan(x[i]) ? qQNaN() : y[i]);
    g->data()->set(points, true);
    g->setAdaptiveSampling(true);
    drawn = g;
  } else {
    auto* c = new QCPCurve(ax->xAxis, ax->yAxis);
    QVector<QCPCurveData> points(static_cast<qsizetype>(n));
    for (std::size_t i = 0; i < n; ++i)
      points[qsizetype(i)] = std::isnan(x[i]) || std::isnan(y[i])
                                 ? QCPCurveData(double(i), qQNaN(), qQNaN())
                                 : QCPCurveData(double(i), x[i], y[i]);
    c->data()->set(points, true);
    drawn = c;
    // Smoothing the edges of hundreds of thousands of segments or markers
    // costs several times the drawing itself and shows nothing in so dense a
    // trace (eye diagrams and scatter plots of long waveforms): long lines
    // are drawn without it. Lines drawn as a graph are thinned to the
    // screen's pixels anyway.
    if (n > kSmoothedPoints) {
      c->setAntialiased(false);
      c->setAntialiasedScatters(false);
    }
  }
  restyle();
}

void LineObject::restyle() {
  if (!drawn) return;
  QPen pen(color, width);
  pen.setStyle(style == Qt::NoPen ? Qt::SolidLine : style);
  QCPScatterStyle::ScatterShape shape = QCPScatterStyle::ssNone;
  if (marker == ".") shape = QCPScatterStyle::ssDot;
  if (marker == "o") shape = QCPScatterStyle::ssCircle;
  if (marker == "x") shape = QCPScatterStyle::ssCross;
  if (marker == "+") shape = QCPScatterStyle::ssPlus;
  if (marker == "*") shape = QCPScatterStyle::ssStar;
  if (marker == "s") shape = QCPScatterStyle::ssSquare;
  if (marker == "d") shape = QCPScatterStyle::ssDiamond;
  const double size = marker == "." ? std::max(2.0, markerSize / 2.5) : markerSize;
  QCPScatterStyle scatter(shape, color, color, size);
  // A "." is one dot per point: a square pen dot covering the area of the
  // small outlined disc (diameter size + 1) it stands for, far cheaper to
  // draw than an ellipse per point.
  if (shape == QCPScatterStyle::ssDot)
    scatter.setPen(QPen(color, (size + 1) * std::sqrt(M_PI) / 2, Qt::SolidLine, Qt::SquareCap));
  if (auto* g = qobject_cast<QCPGraph*>(drawn.data())) {
    g->setLineStyle(style == Qt::NoPen ? QCPGraph::lsNone : QCPGraph::lsLine);
    g->setScatterStyle(scatter);
  } else if (auto* c = qobject_cast<QCPCurve*>(drawn.data())) {
    c->setLineStyle(style == Qt::NoPen ? QCPCurve::lsNone : QCPCurve::lsLine);
    c->setScatterStyle(scatter);
  }
  drawn->setPen(pen);
  drawn->setVisible(visible);
  drawn->setName(displayName);
  // A line without a name (a connector, a guide) has no entry in the legend.
  if (displayName.isEmpty())
    drawn->removeFromLegend();
  else
    drawn->addToLegend();
}

std::string lineStyleName(Qt::PenStyle s) {
  switch (s) {
    case Qt::NoPen:
      return "none";
    case Qt::DotLine:
      return ":";
    case Qt::DashLine:
      return "--";
    case Qt::DashDotLine:
      return "-.";
    default:
      return "-";
  }
}

Qt::PenStyle lineStyleFrom(const std::string& s) {
  if (s == "-") return Qt::SolidLine;
  if (s == ":") return Qt::DotLine;
  if (s == "--") return Qt::DashLine;
  if (s == "-.") return Qt::DashDotLine;
  if (s == "none") return Qt::NoPen;
  raise("'" + s + "' is not a line style (-, :, --, -. or none).");
}

void applyLineFormat(LineObject& line, std::string_view format) {
  std::string style;
  bool colour = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (std::string_view("bgrcmykw").find(c) != std::string_view::npos) {
      line.color = colorFrom(Value(std::string(1, c)));
      colour = true;
    } else if (c == '-' || c == ':') {
      style += c;
    } else if (c == '.' && !style.empty() && style.back() == '-') {
      style += c;  // "-." dash-dot
    } else if (std::string_view(".ox+*sd").find(c) != std::string_view::npos) {
      line.marker = QString(QChar(c));
    } else {
      raise("'" + std::string(format) + "' is not a line format.");
    }
  }
  (void)colour;
  if (!style.empty())
    line.style = lineStyleFrom(style);
  else if (line.marker != "none")
    line.style = Qt::NoPen;  // markers alone, as "b." means
}

// ---- surfaces -----------------------------------------------------------------------

SurfaceObject::SurfaceObject(Axes* axes) : QObject(axes) {
  setProperty("dot11aPlotKind", "surface");
}

// ---- the public functions -------------------------------------------------------------

void layoutAxes(QWidget* figure) {
  for (Axes* a : figure->findChildren<Axes*>()) a->place();
}

Handle newFigure() {
  ensureApplication();
  auto* win = new QMainWindow;
  auto* central = new QWidget(win);
  central->setObjectName("qt_plotArea");
  win->setCentralWidget(central);
  win->resize(560, 420);
  adoptFigure(win);
  reg().currentFigure = handleOf(win).id();
  return handleOf(win);
}

namespace {

QWidget* plotArea(QWidget* fig) {
  if (auto* mw = qobject_cast<QMainWindow*>(fig))
    if (mw->centralWidget()) return mw->centralWidget();
  return fig;
}

Axes* requireAxes(Handle h) {
  Axes* a = Axes::of(requireObject(h, "an axes"));
  if (!a) raise("The handle " + fromQ(QString::number(h.id())) + " is not an axes.");
  return a;
}

// Earlier lines and surfaces go unless the axes are held.
void prepareForPlot(Axes* a) {
  if (a->hold) return;
  // Collected first: deleting a line also deletes its drawn plottable, another
  // child of the axes, so the list of children changes under a loop over it.
  std::vector<QObject*> old;
  for (QObject* child : a->children())
    if (LineObject::of(child) || SurfaceObject::of(child)) old.push_back(child);
  for (QObject* o : old) delete o;
  if (a->waterfall) {
    delete a->waterfall;
    a->waterfall = nullptr;
  }
  a->colorIndex = 0;
}

}  // namespace

std::vector<Handle> figureAxes(Handle figure) {
  std::vector<Handle> out;
  if (QWidget* fig = widgetOf(figure))
    for (Axes* a : fig->findChildren<Axes*>()) out.push_back(handleOf(a));
  return out;
}

std::vector<double> defaultAxesPosition() {
  return {0.13, 0.11, 0.775, 0.815};
}

std::vector<double> gridAxesPosition(int rows, int cols, int index) {
  if (rows < 1 || cols < 1 || index < 1 || index > rows * cols)
    raise("Axes " + std::to_string(index) + " is not in a " + std::to_string(rows) + "-by-" +
          std::to_string(cols) + " grid.");
  const int r = (index - 1) / cols, c = (index - 1) % cols;
  const double cellW = 1.0 / cols, cellH = 1.0 / rows;
  return {c * cellW + 0.13 * cellW, 1 - (r + 1) * cellH + 0.11 * cellH, 0.775 * cellW,
          0.815 * cellH * (rows > 1 ? 0.92 : 1)};
}

Handle newAxes(Handle figure, const std::vector<double>& position) {
  QWidget* fig = widgetOf(figure);
  if (!fig || !isFigure(fig)) raise("Axes can only be made in a window.");
  if (!position.empty() && position.size() != 4)
    raise("An axes Position is [left bottom width height].");
  auto* a = new Axes(plotArea(fig));
  const std::vector<double> pos = position.empty() ? defaultAxesPosition() : position;
  std::copy(pos.begin(), pos.end(), a->position.begin());
  a->show();
  makeCurrent(handleOf(a));
  a->place();
  return handleOf(a);
}

void makeCurrent(Handle axes) {
  Axes* a = requireAxes(axes);
  const Handle figure = figureOf(axes);
  if (QObject* fig = objectOf(figure)) {
    fig->setProperty("dot11aCurrentAxes", handleOf(a).id());
    // A window of a layout (a dialog with a plot of its own) never becomes
    // the target of commands that name no window.
    if (!fig->property(kLayoutProp).isValid()) reg().currentFigure = figure.id();
  }
}

Handle currentFigure() {
  const Handle figure = reg().currentFigure;
  if (QObject* fig = objectOf(figure); fig && isFigure(fig)) return figure;
  return newFigure();
}

void deleteAxes(Handle axes) {
  delete requireAxes(axes);
}

Handle currentAxes(Handle figure) {
  QWidget* fig = widgetOf(figure);
  if (!fig || !isFigure(fig)) raise("Only a window has a current axes.");
  const Handle current = fig->property("dot11aCurrentAxes").toDouble();
  if (Axes::of(objectOf(current))) return current;
  return newAxes(figure);
}

Handle plotLine(Handle axes, std::span<const double> x, std::span<const double> y,
                std::string_view format) {
  Axes* a = requireAxes(axes);
  if (x.size() != y.size())
    raise("The X and Y data of a line must have the same length (" + std::to_string(x.size()) +
          " and " + std::to_string(y.size()) + ").");
  {
    LineObject check(a);  // a wrong format raises before the axes are cleared
    applyLineFormat(check, format);
  }
  prepareForPlot(a);
  auto* line = new LineObject(a);
  line->color = kColorOrder[a->colorIndex++ % std::size(kColorOrder)];
  applyLineFormat(*line, format);
  line->x.assign(x.begin(), x.end());
  line->y.assign(y.begin(), y.end());
  line->rebuild();
  a->fitAuto();
  a->redraw();
  makeCurrent(handleOf(a));
  return handleOf(line);
}

Handle addSurface(Handle axes, const Value& x, const Value& y, const Value& z) {
  Axes* a = requireAxes(axes);
  for (const Value* m : {&x, &y, &z})
    if (!m->isNumeric() || m->isComplex())
      raise("The X, Y and Z of a surface must be real matrices.");
  if (x.rows() != z.rows() || x.cols() != z.cols() || y.rows() != z.rows() || y.cols() != z.cols())
    raise("The X, Y and Z of a surface must have the same size.");
  prepareForPlot(a);
  auto* s = new SurfaceObject(a);
  s->x = x;
  s->y = y;
  s->z = z;
  if (!a->waterfall) {
    a->waterfall = newWaterfallLayer(a);
    if (a->view[0] == 0 && a->view[1] == 90) a->view = {-37.5, 30};
  }
  a->fitAuto();
  a->redraw();
  return handleOf(s);
}

void autoscale(Handle axes) {
  Axes* a = requireAxes(axes);
  a->xLimAuto = a->yLimAuto = a->zLimAuto = true;
  a->fitAuto();
  a->redraw();
}

}  // namespace dot11a::gfx
