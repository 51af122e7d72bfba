// Plots: windows for plots, axes on QCustomPlot, lines and waterfall surfaces,
// their drawing and saving as pictures.
#include <QMainWindow>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>
#include <limits>

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

bool isFinite(double v) {
  return std::isfinite(v);
}

}  // namespace

// ---- the waterfall layer ------------------------------------------------------------

// Draws the surfaces of an axes as a waterfall in a projection turned by the
// axes' View: each row of Z is a curve over X and Y, closed down to the lowest
// Z and filled with the background, so nearer curves hide those behind them;
// edges are coloured by height. A box with ticks gives the three scales.
class WaterfallLayer : public QCPLayerable {
 public:
  explicit WaterfallLayer(Axes* axes) : QCPLayerable(axes, "main"), axes_(axes) {}

 protected:
  void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
    painter->setRenderHint(QPainter::Antialiasing, true);
  }
  void draw(QCPPainter* painter) override;

 private:
  struct P3 {
    double x, y, z;
  };
  QPointF project(const P3& p, double* depth = nullptr) const;
  Axes* axes_;
};

QPointF WaterfallLayer::project(const P3& p, double* depth) const {
  const QCPRange xr = axes_->xAxis->range(), yr = axes_->yAxis->range();
  auto norm = [](double v, double lo, double hi) {
    return hi > lo ? (v - lo) / (hi - lo) - 0.5 : 0.0;
  };
  const double xn = norm(p.x, xr.lower, xr.upper);
  const double yn = norm(p.y, yr.lower, yr.upper);
  const double zn = norm(p.z, axes_->zLim[0], axes_->zLim[1]);
  const double az = axes_->view[0] * M_PI / 180, el = axes_->view[1] * M_PI / 180;
  const double u = xn * std::cos(az) + yn * std::sin(az);
  const double v =
      -xn * std::sin(az) * std::sin(el) + yn * std::cos(az) * std::sin(el) + zn * std::cos(el);
  if (depth)
    *depth =
        -xn * std::sin(az) * std::cos(el) + yn * std::cos(az) * std::cos(el) - zn * std::sin(el);
  const QRect r = axes_->axisRect()->rect();
  const double scale = 0.62 * std::min(r.width(), r.height());
  return {r.center().x() + u * scale * r.width() / std::max(1, std::min(r.width(), r.height())),
          r.center().y() - v * scale};
}

void WaterfallLayer::draw(QCPPainter* painter) {
  const QCPRange xr = axes_->xAxis->range(), yr = axes_->yAxis->range();
  const double z0 = axes_->zLim[0], z1 = axes_->zLim[1];
  // The box: the floor and the three scale edges.
  painter->setPen(QPen(Qt::black, 1));
  const P3 c000{xr.lower, yr.lower, z0}, c100{xr.upper, yr.lower, z0}, c010{xr.lower, yr.upper, z0},
      c110{xr.upper, yr.upper, z0}, c001{xr.lower, yr.lower, z1};
  painter->drawPolygon(QPolygonF({project(c000), project(c100), project(c110), project(c010)}));
  painter->drawLine(project(c000), project(c001));
  // Ticks and labels of the three scales.
  const QFont f = axes_->xAxis->tickLabelFont();
  painter->setFont(f);
  auto ticks = [&](const P3& a, const P3& b, double lo, double hi, const QString& label,
                   QPointF offset) {
    QCPAxisTicker ticker;
    ticker.setTickCount(4);
    QVector<double> positions;
    QVector<QString> labels;
    ticker.generate(QCPRange(lo, hi), QLocale::c(), 'g', 4, positions, nullptr, &labels);
    for (int i = 0; i < positions.size(); ++i) {
      if (positions[i] < lo - 1e-12 * std::fabs(hi - lo) ||
          positions[i] > hi + 1e-12 * std::fabs(hi - lo))
        continue;
      const double t = hi > lo ? (positions[i] - lo) / (hi - lo) : 0;
      const P3 p{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
      const QPointF q = project(p);
      painter->drawLine(q, q + offset * 0.25);
      painter->drawText(QRectF(q + offset - QPointF(30, 8), QSizeF(60, 16)), Qt::AlignCenter,
                        labels.value(i));
    }
    const P3 mid{(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2};
    painter->drawText(QRectF(project(mid) + offset * 2.2 - QPointF(80, 8), QSizeF(160, 16)),
                      Qt::AlignCenter, label);
  };
  ticks(c000, c100, xr.lower, xr.upper, axes_->xAxis->label(), QPointF(0, 16));
  ticks(c100, c110, yr.lower, yr.upper, axes_->yAxis->label(), QPointF(26, 10));
  ticks(c000, c001, z0, z1, axes_->zLabel, QPointF(-30, 0));

  // The curves, farthest first.
  struct Curve {
    double depth;
    QPolygonF face;
    std::vector<std::pair<QPointF, double>> edge;  // point and its height
  };
  std::vector<Curve> curves;
  for (QObject* child : axes_->children()) {
    const SurfaceObject* s = SurfaceObject::of(child);
    if (!s || !s->visible) continue;
    const std::size_t rows = s->z.rows(), cols = s->z.cols();
    double base = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < rows * cols; ++k)
      if (isFinite(s->z.real(k))) base = std::min(base, s->z.real(k));
    if (!isFinite(base)) continue;
    base = std::max(base, z0);
    for (std::size_t r = 0; r < rows; ++r) {
      Curve c;
      double depthSum = 0;
      for (std::size_t col = 0; col < cols; ++col) {
        const std::size_t k = col * rows + r;
        const double zz = std::clamp(isFinite(s->z.real(k)) ? s->z.real(k) : base, z0, z1);
        double d = 0;
        const QPointF q = project({s->x.real(k), s->y.real(k), zz}, &d);
        depthSum += d;
        c.edge.emplace_back(q, zz);
        c.face << q;
      }
      if (cols == 0) continue;
      const std::size_t first = r, last = (cols - 1) * rows + r;
      c.face << project({s->x.real(last), s->y.real(last), base})
             << project({s->x.real(first), s->y.real(first), base});
      c.depth = depthSum / double(cols);
      curves.push_back(std::move(c));
    }
  }
  std::sort(curves.begin(), curves.end(),
            [](const Curve& a, const Curve& b) { return a.depth > b.depth; });
  const QBrush bg = axes_->axisRect()->backgroundBrush();
  const QColor background = bg.style() == Qt::NoBrush ? QColor(Qt::white) : bg.color();
  QCPColorGradient gradient(QCPColorGradient::gpJet);
  for (const Curve& c : curves) {
    painter->setPen(Qt::NoPen);
    painter->setBrush(background);
    painter->drawPolygon(c.face);
    for (std::size_t i = 1; i < c.edge.size(); ++i) {
      const double h = (c.edge[i].second + c.edge[i - 1].second) / 2;
      painter->setPen(QPen(QColor::fromRgb(gradient.color(h, QCPRange(z0, z1))), 1));
      painter->drawLine(c.edge[i - 1].first, c.edge[i].first);
    }
  }
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
}

bool Axes::is3d() const {
  return waterfall != nullptr;
}

void Axes::place() {
  QWidget* a = area();
  if (!a) return;
  const QRect bounds = a->rect();
  double l = position[0], b = position[1], w = position[2], h = position[3];
  if (normalizedUnits) {
    l *= bounds.width();
    w *= bounds.width();
    b *= bounds.height();
    h *= bounds.height();
  }
  // The plot box in the area's coordinates (y counted from the top).
  const QRect want(int(std::lround(l)), int(std::lround(bounds.height() - b - h)),
                   std::max(1, int(std::lround(w))), std::max(1, int(std::lround(h))));
  // In a small window the labels keep their room: the box gives way to them.
  QRect box = want;
  box.setLeft(std::max(box.left(), kLeftMargin));
  box.setBottom(std::min(box.bottom(), bounds.bottom() - kBottomMargin));
  box.setTop(std::max(box.top(), kTopMargin));
  if (box.width() < 20 || box.height() < 20) box = want;
  const QRect outer =
      box.adjusted(-kLeftMargin, -kTopMargin, kRightMargin, kBottomMargin).intersected(bounds);
  setGeometry(outer);
  axisRect()->setMargins(QMargins(
      std::max(0, box.left() - outer.left()), std::max(0, box.top() - outer.top()),
      std::max(0, outer.right() - box.right()), std::max(0, outer.bottom() - box.bottom())));
  redraw();
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
      for (std::size_t k = 0; k < s->z.numel(); ++k) {
        take(s->x.real(k), xlog, xlo, xhi);
        take(s->y.real(k), ylog, ylo, yhi);
        take(s->z.real(k), false, zlo, zhi);
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
  if (xLimAuto) xAxis->setRange(xlo, xhi);
  if (yLimAuto) yAxis->setRange(ylo, yhi);
  if (zLimAuto) zLim = {zlo, zhi};
}

void Axes::redraw() {
  const bool threeD = is3d() && !(view[0] == 0 && view[1] == 90);
  for (QCPAxis* a : {xAxis, yAxis, xAxis2, yAxis2}) a->setVisible(!threeD);
  if (title) title->setVisible(!title->text().isEmpty());
  replot(QCustomPlot::rpQueuedReplot);
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
  QPen pen(color, width);
  pen.setStyle(style == Qt::NoPen ? Qt::SolidLine : style);
  QCPScatterStyle::ScatterShape shape = QCPScatterStyle::ssNone;
  if (marker == ".") shape = QCPScatterStyle::ssDisc;
  if (marker == "o") shape = QCPScatterStyle::ssCircle;
  if (marker == "x") shape = QCPScatterStyle::ssCross;
  if (marker == "+") shape = QCPScatterStyle::ssPlus;
  if (marker == "*") shape = QCPScatterStyle::ssStar;
  if (marker == "s") shape = QCPScatterStyle::ssSquare;
  if (marker == "d") shape = QCPScatterStyle::ssDiamond;
  const double size = marker == "." ? std::max(2.0, markerSize / 2.5) : markerSize;
  const QCPScatterStyle scatter(shape, color, color, size);
  QVector<double> keys(x.begin(), x.begin() + qsizetype(n));
  QVector<double> values(y.begin(), y.begin() + qsizetype(n));
  // A line drawn point to point; NaN in either coordinate breaks it.
  for (qsizetype i = 0; i < keys.size(); ++i)
    if (std::isnan(keys[i])) values[i] = qQNaN();
  if (rising) {
    auto* g = new QCPGraph(ax->xAxis, ax->yAxis);
    g->setData(keys, values, true);
    g->setLineStyle(style == Qt::NoPen ? QCPGraph::lsNone : QCPGraph::lsLine);
    g->setPen(pen);
    g->setScatterStyle(scatter);
    g->setAdaptiveSampling(true);
    drawn = g;
  } else {
    for (qsizetype i = 0; i < keys.size(); ++i)
      if (std::isnan(values[i])) keys[i] = qQNaN();
    auto* c = new QCPCurve(ax->xAxis, ax->yAxis);
    QVector<double> order(keys.size());
    for (qsizetype i = 0; i < order.size(); ++i) order[i] = double(i);
    c->setData(order, keys, values, true);
    c->setLineStyle(style == Qt::NoPen ? QCPCurve::lsNone : QCPCurve::lsLine);
    c->setPen(pen);
    c->setScatterStyle(scatter);
    drawn = c;
  }
  drawn->setVisible(visible);
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
  for (QObject* child : a->children())
    if (LineObject::of(child) || SurfaceObject::of(child)) delete child;
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
  fig->setProperty("dot11aCurrentAxes", handleOf(a).id());
  a->place();
  return handleOf(a);
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
  prepareForPlot(a);
  auto* line = new LineObject(a);
  line->color = kColorOrder[a->colorIndex++ % std::size(kColorOrder)];
  applyLineFormat(*line, format);
  line->x.assign(x.begin(), x.end());
  line->y.assign(y.begin(), y.end());
  line->rebuild();
  a->fitAuto();
  a->redraw();
  if (QObject* fig = objectOf(figureOf(handleOf(a))))
    fig->setProperty("dot11aCurrentAxes", handleOf(a).id());
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
    a->waterfall = new WaterfallLayer(a);
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

void savePicture(Handle object, const std::string& fileName) {
  QWidget* w = widgetOf(object);
  if (!w) raise("Only a window or an axes can be saved as a picture.");
  for (Axes* a : w->findChildren<Axes*>()) a->replot(QCustomPlot::rpImmediateRefresh);
  if (Axes* a = Axes::of(w)) a->replot(QCustomPlot::rpImmediateRefresh);
  const QString name = toQ(fileName);
  bool ok = false;
  if (name.endsWith(".pdf", Qt::CaseInsensitive)) {
    QPdfWriter pdf(name);
    pdf.setPageSize(QPageSize(w->size(), QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(72);
    QPainter painter;
    ok = painter.begin(&pdf);
    if (ok) {
      w->render(&painter);
      ok = painter.end();
    }
  } else {
    ok = w->grab().save(name);
  }
  if (!ok) raise("The picture '" + fileName + "' could not be written.");
}

}  // namespace dot11a::gfx
