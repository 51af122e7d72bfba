// The waterfall layer of an axes: its surfaces drawn as a waterfall in a
// projection turned by the axes' View, with its box, scales and labels.
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "dot11a/checked_integer.hpp"
#include "gui/graphics/plot_objects.hpp"

namespace dot11a::gfx {

namespace {

// ---- the waterfall layer ------------------------------------------------------------

// Draws the surfaces of an axes as a waterfall in a projection turned by the
// axes' View: each row of Z is a curve over X and Y, closed down to the lowest
// Z and filled with the background, so nearer curves hide those behind them;
// edges are coloured by height. A box with ticks gives the three scales: the
// frequency and time scales on the front edges of the floor, the level scale
// on the left upright with its grid on the two back walls. Labels sit outside
// the box, clear of its edges and of each other; the number of ticks follows
// the room an edge has on the screen.
//
// More curves than the screen can separate are merged for drawing (each
// merged curve keeps the highest level of its rows, so no peak is lost); the
// surface's data stay as they are.
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
  // Projection at unit scale: u to the right, v upwards, and the depth.
  void rotate(const P3& p, double& u, double& v, double* depth) const;
  QPointF project(const P3& p, double* depth = nullptr) const;
  // Fits the projected box into the widget, leaving room for the labels.
  void fit();
  void drawBox(QCPPainter* painter);
  void drawCurves(QCPPainter* painter);

  Axes* axes_;
  double su_ = 1, sv_ = 1, u0_ = 0, v0_ = 0;  // screen = (u0 + su u, v0 - sv v)
};

void WaterfallLayer::rotate(const P3& p, double& u, double& v, double* depth) const {
  const QCPRange xr = axes_->xAxis->range(), yr = axes_->yAxis->range();
  auto norm = [](double a, double lo, double hi) {
    return hi > lo ? (a - lo) / (hi - lo) - 0.5 : 0.0;
  };
  const double xn = norm(p.x, xr.lower, xr.upper);
  const double yn = norm(p.y, yr.lower, yr.upper);
  const double zn = norm(p.z, axes_->zLim[0], axes_->zLim[1]);
  const double az = axes_->view[0] * M_PI / 180, el = axes_->view[1] * M_PI / 180;
  u = xn * std::cos(az) + yn * std::sin(az);
  v = -xn * std::sin(az) * std::sin(el) + yn * std::cos(az) * std::sin(el) + zn * std::cos(el);
  if (depth)
    *depth =
        -xn * std::sin(az) * std::cos(el) + yn * std::cos(az) * std::cos(el) - zn * std::sin(el);
}

QPointF WaterfallLayer::project(const P3& p, double* depth) const {
  double u = 0, v = 0;
  rotate(p, u, v, depth);
  return {u0_ + su_ * u, v0_ - sv_ * v};
}

void WaterfallLayer::fit() {
  const QCPRange xr = axes_->xAxis->range(), yr = axes_->yAxis->range();
  double umin = INFINITY, umax = -INFINITY, vmin = INFINITY, vmax = -INFINITY;
  for (double x : {xr.lower, xr.upper})
    for (double y : {yr.lower, yr.upper})
      for (double z : {axes_->zLim[0], axes_->zLim[1]}) {
        double u = 0, v = 0;
        rotate({x, y, z}, u, v, nullptr);
        umin = std::min(umin, u);
        umax = std::max(umax, u);
        vmin = std::min(vmin, v);
        vmax = std::max(vmax, v);
      }
  // Room for the tick labels and the axis labels around the box, and for the
  // title above it.
  const QFontMetrics fm(axes_->xAxis->tickLabelFont());
  const int room = fm.horizontalAdvance("-100") + 2 * fm.height() + 14;
  const QRect r = axes_->rect().adjusted(room, 26 + fm.height(), -room, -(2 * fm.height() + 22));
  su_ = std::max(1.0, r.width() / std::max(1e-9, umax - umin));
  sv_ = std::max(1.0, r.height() / std::max(1e-9, vmax - vmin));
  u0_ = r.center().x() - su_ * (umin + umax) / 2;
  v0_ = r.center().y() + sv_ * (vmin + vmax) / 2;
}

namespace {

QPointF unit(QPointF d) {
  const double len = std::hypot(d.x(), d.y());
  return len > 0 ? d / len : QPointF(0, 1);
}

// How far a text box of `size` reaches in the direction `n` from its centre.
double reach(QSizeF size, QPointF n) {
  return std::fabs(n.x()) * size.width() / 2 + std::fabs(n.y()) * size.height() / 2;
}

}  // namespace

void WaterfallLayer::drawBox(QCPPainter* painter) {
  const QCPRange xr = axes_->xAxis->range(), yr = axes_->yAxis->range();
  const double z0 = axes_->zLim[0], z1 = axes_->zLim[1];
  // The floor corners; the front edges are the lower ones on the screen, the
  // back corner is the farthest.
  const P3 corner[4] = {{xr.lower, yr.lower, z0},
                        {xr.upper, yr.lower, z0},
                        {xr.upper, yr.upper, z0},
                        {xr.lower, yr.upper, z0}};
  QPointF q[4];
  double depth[4];
  for (int i = 0; i < 4; ++i) q[i] = project(corner[i], &depth[i]);
  const QPointF centre = (q[0] + q[1] + q[2] + q[3]) / 4;
  const int back = int(std::max_element(depth, depth + 4) - depth);
  // Edges 0-1 and 3-2 run along x, 1-2 and 0-3 along y.
  const bool xFront01 = (q[0].y() + q[1].y()) >= (q[3].y() + q[2].y());
  const bool yFront12 = (q[1].y() + q[2].y()) >= (q[0].y() + q[3].y());
  const P3 xa = xFront01 ? corner[0] : corner[3], xb = xFront01 ? corner[1] : corner[2];
  const P3 ya = yFront12 ? corner[1] : corner[0], yb = yFront12 ? corner[2] : corner[3];
  // The upright for the level scale: the floor corner farthest left that is
  // not the back one.
  int left = back == 0 ? 1 : 0;
  for (int i = 0; i < 4; ++i)
    if (i != back && q[i].x() < q[left].x()) left = i;
  const P3 za = corner[left], zb{za.x, za.y, z1};

  // Level grid on the two back walls, then the box.
  const QFont tickFont = axes_->xAxis->tickLabelFont();
  const QFontMetricsF fm(tickFont);
  auto ticksOf = [&](double lo, double hi, double length, double labelExtent) {
    QCPAxisTicker ticker;
    ticker.setTickCount(
        clampedInteger(std::trunc(length / std::max(24.0, 1.8 * labelExtent)), 2, 5).value_or(2));
    QVector<double> positions;
    QVector<QString> labels;
    ticker.generate(QCPRange(lo, hi), QLocale::c(), 'g', 4, positions, nullptr, &labels);
    std::vector<std::pair<double, QString>> out;
    for (int i = 0; i < positions.size(); ++i)
      if (positions[i] >= lo - 1e-9 * std::fabs(hi - lo) &&
          positions[i] <= hi + 1e-9 * std::fabs(hi - lo))
        out.emplace_back(positions[i], labels.value(i));
    return out;
  };
  const double zLength = std::fabs(project(zb).y() - project(za).y());
  const auto zTicks = ticksOf(z0, z1, zLength, 2.5 * fm.height());
  const P3 b = corner[back], n1 = corner[(back + 1) % 4], n3 = corner[(back + 3) % 4];
  painter->setPen(QPen(QColor(200, 200, 200), 1, Qt::DotLine));
  for (const auto& [z, text] : zTicks) {
    painter->drawLine(project({n1.x, n1.y, z}), project({b.x, b.y, z}));
    painter->drawLine(project({b.x, b.y, z}), project({n3.x, n3.y, z}));
  }
  painter->setPen(QPen(QColor(90, 90, 90), 1));
  painter->setBrush(Qt::NoBrush);
  painter->drawPolygon(QPolygonF({q[0], q[1], q[2], q[3]}));
  painter->drawLine(project(b), project({b.x, b.y, z1}));
  painter->drawLine(project(za), project(zb));

  // Ticks and labels of one scale along the edge a-b. A tick label that would
  // touch one already drawn (where two scales meet at a corner) is left out.
  painter->setFont(tickFont);
  std::vector<QRectF> drawn;
  auto scale = [&](const P3& a, const P3& bEnd, double lo, double hi, const QString& label,
                   const std::vector<std::pair<double, QString>>& given, bool upright) {
    const QPointF pa = project(a), pb = project(bEnd);
    QPointF n(-(pb - pa).y(), (pb - pa).x());
    n = unit(n);
    const QPointF mid = (pa + pb) / 2;
    if (QPointF::dotProduct(n, mid - centre) < 0 || (upright && n.x() > 0)) n = -n;
    if (upright) n = QPointF(-1, 0);
    const QPointF along = unit(pb - pa);
    const double length = std::hypot((pb - pa).x(), (pb - pa).y());
    const double sample = reach(fm.size(0, "-00.0"), along) * 2;
    const auto ticks = given.empty() ? ticksOf(lo, hi, length, sample) : given;
    double widest = 0;
    for (const auto& [value, text] : ticks) {
      const double t = hi > lo ? (value - lo) / (hi - lo) : 0;
      const P3 p{a.x + t * (bEnd.x - a.x), a.y + t * (bEnd.y - a.y), a.z + t * (bEnd.z - a.z)};
      const QPointF at = project(p);
      painter->drawLine(at, at + n * 5);
      const QSizeF size = fm.size(0, text);
      const double r = reach(size, n);
      widest = std::max(widest, r * 2);
      const QPointF c = at + n * (8 + r);
      const QRectF box(c - QPointF(size.width() / 2, size.height() / 2), size);
      if (std::any_of(drawn.begin(), drawn.end(),
                      [&](const QRectF& d) { return d.adjusted(-3, -1, 3, 1).intersects(box); }))
        continue;
      drawn.push_back(box);
      painter->drawText(box, Qt::AlignCenter, text);
    }
    if (label.isEmpty()) return;
    const QFont labelFont = axes_->xAxis->labelFont();
    const QSizeF size = QFontMetricsF(labelFont).size(0, label);
    painter->setFont(labelFont);
    painter->save();
    if (upright) {
      // Turned to read upwards, beside the tick labels.
      const QPointF c = mid + n * (8 + widest + 6 + size.height() / 2);
      painter->translate(c);
      painter->rotate(-90);
      painter->drawText(QRectF(-size.width() / 2, -size.height() / 2, size.width(), size.height()),
                        Qt::AlignCenter, label);
    } else {
      const QPointF c = mid + n * (8 + widest + 4 + reach(size, n));
      painter->drawText(QRectF(c - QPointF(size.width() / 2, size.height() / 2), size),
                        Qt::AlignCenter, label);
    }
    painter->restore();
    painter->setFont(tickFont);
  };
  scale(xa, xb, xr.lower, xr.upper, axes_->xAxis->label(), {}, false);
  scale(ya, yb, yr.lower, yr.upper, axes_->yAxis->label(), {}, false);
  scale(za, zb, z0, z1, axes_->zLabel, zTicks, true);
}

void WaterfallLayer::drawCurves(QCPPainter* painter) {
  const double z0 = axes_->zLim[0], z1 = axes_->zLim[1];
  struct Curve {
    double depth;
    QPolygonF face;
    std::vector<double> level;  // height of each point of the edge
  };
  std::vector<Curve> curves;
  // Curves closer than about a pixel apart on the screen cannot be told
  // apart: at most as many as the widget is wide.
  const std::size_t most = std::max(16, axes_->width());
  for (QObject* child : axes_->children()) {
    const SurfaceObject* s = SurfaceObject::of(child);
    if (!s || !s->visible) continue;
    const std::size_t rows = s->z.rows(), cols = s->z.cols();
    if (rows == 0 || cols == 0) continue;
    std::vector<double> cx, cy, cz;
    const std::span<const double> X = realsOf(s->x, cx), Y = realsOf(s->y, cy),
                                  Z = realsOf(s->z, cz);
    double base = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < rows * cols; ++k)
      if (std::isfinite(Z[k])) base = std::min(base, Z[k]);
    if (!std::isfinite(base)) continue;
    base = std::clamp(base, z0, z1);
    const std::size_t group = (rows + most - 1) / most;
    for (std::size_t r0 = 0; r0 < rows; r0 += group) {
      const std::size_t r1 = std::min(rows, r0 + group);
      const std::size_t mid = (r0 + r1 - 1) / 2;
      Curve c;
      c.face.reserve(qsizetype(cols + 2));
      c.level.reserve(cols);
      double depthSum = 0;
      for (std::size_t col = 0; col < cols; ++col) {
        double zz = -std::numeric_limits<double>::infinity();
        for (std::size_t r = r0; r < r1; ++r) {
          const double v = Z[col * rows + r];
          if (std::isfinite(v)) zz = std::max(zz, v);
        }
        zz = std::clamp(std::isfinite(zz) ? zz : base, z0, z1);
        const std::size_t k = col * rows + mid;
        double d = 0;
        c.face << project({X[k], Y[k], zz}, &d);
        c.level.push_back(zz);
        depthSum += d;
      }
      const std::size_t first = mid, last = (cols - 1) * rows + mid;
      c.face << project({X[last], Y[last], base}) << project({X[first], Y[first], base});
      c.depth = depthSum / double(cols);
      curves.push_back(std::move(c));
    }
  }
  std::stable_sort(curves.begin(), curves.end(),
                   [](const Curve& a, const Curve& b) { return a.depth > b.depth; });
  const QBrush bg = axes_->axisRect()->backgroundBrush();
  const QColor background = bg.style() == Qt::NoBrush ? QColor(Qt::white) : bg.color();
  // Edge colours by height from a table of 64 steps; runs of one colour are
  // drawn as one polyline.
  constexpr int kSteps = 64;
  QCPColorGradient gradient(QCPColorGradient::gpJet);
  QColor colours[kSteps];
  for (int i = 0; i < kSteps; ++i)
    colours[i] = QColor::fromRgb(gradient.color(i, QCPRange(0, kSteps - 1)));
  // Heights are the caller's data and limits: a NaN or a span past the
  // doubles' range takes the lowest colour.
  auto step = [&](double h) {
    return z1 > z0 ? clampedInteger(std::trunc((h - z0) / (z1 - z0) * kSteps), 0, kSteps - 1)
                         .value_or(0)
                   : 0;
  };
  for (const Curve& c : curves) {
    painter->setPen(Qt::NoPen);
    painter->setBrush(background);
    painter->drawPolygon(c.face);
    const std::size_t n = c.level.size();
    std::size_t start = 0;
    while (start + 1 < n) {
      const int colour = step((c.level[start] + c.level[start + 1]) / 2);
      std::size_t end = start + 1;
      while (end + 1 < n && step((c.level[end] + c.level[end + 1]) / 2) == colour) ++end;
      painter->setPen(QPen(colours[colour], 1));
      painter->drawPolyline(c.face.constData() + start, int(end - start + 1));
      start = end;
    }
  }
}

void WaterfallLayer::draw(QCPPainter* painter) {
  fit();
  drawBox(painter);
  drawCurves(painter);
}

}  // namespace

QCPLayerable* newWaterfallLayer(Axes* axes) {
  return new WaterfallLayer(axes);
}

}  // namespace dot11a::gfx
