// The property rows of axes, lines and surfaces.
#include <algorithm>
#include <cmath>

#include "dot11a/error.hpp"
#include "gui/graphics/plot_objects.hpp"

namespace dot11a::gfx {

namespace {

constexpr unsigned kAxes = static_cast<unsigned>(Kind::Axes);
constexpr unsigned kLine = static_cast<unsigned>(Kind::Line);
constexpr unsigned kSurface = static_cast<unsigned>(Kind::Surface);

Axes* axes(const Target& t) {
  return Axes::of(t.object);
}
LineObject* line(const Target& t) {
  return LineObject::of(t.object);
}
SurfaceObject* surface(const Target& t) {
  return SurfaceObject::of(t.object);
}
bool isX(const Target& t) {
  return std::tolower(static_cast<unsigned char>(t.property[0])) == 'x';
}
QCPAxis* axisOf(const Target& t) {
  return isX(t) ? axes(t)->xAxis : axes(t)->yAxis;
}

Value rowOf(const std::vector<double>& v) {
  return Value::row(v);
}

// [low high] with low < high, finite.
std::array<double, 2> limitsFrom(const Value& v, std::string_view property) {
  const std::vector<double> x = numbersOf(v, property);
  if (x.size() != 2 || !std::isfinite(x[0]) || !std::isfinite(x[1]) || !(x[0] < x[1]))
    raise("The " + std::string(property) + " is [low high] with low below high.");
  return {x[0], x[1]};
}

// ---- axes ---------------------------------------------------------------------------

Value getAxesPosition(const Target& t) {
  const auto& p = axes(t)->position;
  return Value::row({p[0], p[1], p[2], p[3]});
}
void setAxesPosition(const Target& t, const Value& v) {
  const std::vector<double> p = numbersOf(v, "Position");
  if (p.size() != 4 || p[2] <= 0 || p[3] <= 0 ||
      !std::all_of(p.begin(), p.end(), [](double x) { return std::isfinite(x); }))
    raise("An axes Position is [left bottom width height] with a positive width and height.");
  std::copy(p.begin(), p.end(), axes(t)->position.begin());
  axes(t)->place();
}

Value getAxesUnits(const Target& t) {
  return Value(axes(t)->normalizedUnits ? "normalized" : "pixels");
}
// Changing the units keeps the axes where they are.
void setAxesUnits(const Target& t, const Value& v) {
  const std::string u = lower(textOf(v));
  if (u != "normalized" && u != "pixels") raise("Axes Units are 'normalized' or 'pixels'.");
  Axes* a = axes(t);
  const bool normalized = u == "normalized";
  if (normalized == a->normalizedUnits) return;
  const QSize area = a->area() ? a->area()->size() : QSize(1, 1);
  const double sx = std::max(1, area.width()), sy = std::max(1, area.height());
  auto& p = a->position;
  if (normalized)
    p = {p[0] / sx, p[1] / sy, p[2] / sx, p[3] / sy};
  else
    p = {p[0] * sx, p[1] * sy, p[2] * sx, p[3] * sy};
  a->normalizedUnits = normalized;
}

Value getLim(const Target& t) {
  const QCPRange r = axisOf(t)->range();
  return Value::row({r.lower, r.upper});
}
void setLim(const Target& t, const Value& v) {
  const auto lim = limitsFrom(v, t.property);
  Axes* a = axes(t);
  if (axisOf(t)->scaleType() == QCPAxis::stLogarithmic && lim[0] <= 0)
    raise("The limits of a logarithmic axis must be above 0.");
  axisOf(t)->setRange(lim[0], lim[1]);
  (isX(t) ? a->xLimAuto : a->yLimAuto) = false;
  a->home.reset();
  a->redraw();
}
Value getZLim(const Target& t) {
  return Value::row({axes(t)->zLim[0], axes(t)->zLim[1]});
}
void setZLim(const Target& t, const Value& v) {
  const auto lim = limitsFrom(v, t.property);
  axes(t)->zLim = lim;
  axes(t)->zLimAuto = false;
  axes(t)->home.reset();
  axes(t)->redraw();
}
Value getLimMode(const Target& t) {
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t.property[0])));
  const Axes* a = axes(t);
  return Value((c == 'x' ? a->xLimAuto : c == 'y' ? a->yLimAuto : a->zLimAuto) ? "auto" : "manual");
}
void setLimMode(const Target& t, const Value& v) {
  const std::string m = lower(textOf(v));
  if (m != "auto" && m != "manual") raise("A limit mode is 'auto' or 'manual'.");
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t.property[0])));
  Axes* a = axes(t);
  (c == 'x' ? a->xLimAuto : c == 'y' ? a->yLimAuto : a->zLimAuto) = m == "auto";
  a->fitAuto();
  a->redraw();
}

Value getScale(const Target& t) {
  return Value(axisOf(t)->scaleType() == QCPAxis::stLogarithmic ? "log" : "linear");
}
void setScale(const Target& t, const Value& v) {
  const std::string s = lower(textOf(v));
  if (s != "log" && s != "linear") raise("An axis scale is 'linear' or 'log'.");
  Axes* a = axes(t);
  QCPAxis* axis = axisOf(t);
  QCPAxis* twin = isX(t) ? a->xAxis2 : a->yAxis2;
  const bool log = s == "log";
  for (QCPAxis* ax : {axis, twin}) {
    ax->setScaleType(log ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    if (log) {
      ax->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
      ax->setNumberFormat("gb");
      ax->setNumberPrecision(3);
    } else {
      ax->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
      ax->setNumberFormat("gb");
      ax->setNumberPrecision(6);
    }
  }
  a->fitAuto();
  a->redraw();
}

Value getGrid(const Target& t) {
  return Value(onOff(axisOf(t)->grid()->visible()));
}
void setGrid(const Target& t, const Value& v) {
  const bool on = toBool(v, t.property);
  axisOf(t)->grid()->setVisible(on);
  axisOf(t)->grid()->setSubGridVisible(false);
  axes(t)->redraw();
}
Value getGridStyle(const Target& t) {
  return Value(fromQ(axes(t)->gridStyle));
}
void setGridStyle(const Target& t, const Value& v) {
  const std::string s = textOf(v);
  const Qt::PenStyle style = lineStyleFrom(s);
  Axes* a = axes(t);
  a->gridStyle = toQ(s);
  for (QCPAxis* ax : {a->xAxis, a->yAxis}) {
    QPen pen = ax->grid()->pen();
    pen.setStyle(style);
    pen.setColor(QColor(140, 140, 140));
    ax->grid()->setPen(pen);
  }
  a->redraw();
}

Value getAxisLabel(const Target& t) {
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t.property[0])));
  if (c == 'z') return Value(fromQ(axes(t)->zLabel));
  return Value(fromQ(axisOf(t)->label()));
}
void setAxisLabel(const Target& t, const Value& v) {
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t.property[0])));
  if (c == 'z')
    axes(t)->zLabel = toQ(textOf(v));
  else
    axisOf(t)->setLabel(toQ(textOf(v)));
  axes(t)->redraw();
}

Value getTitle(const Target& t) {
  const Axes* a = axes(t);
  return Value(a->title ? fromQ(a->title->text()) : std::string());
}
void setTitle(const Target& t, const Value& v) {
  Axes* a = axes(t);
  if (!a->title) {
    a->title = new QCPItemText(a);
    a->title->setClipToAxisRect(false);
    a->title->position->setType(QCPItemPosition::ptAxisRectRatio);
    a->title->position->setCoords(0.5, 0);
    a->title->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    a->title->setPadding(QMargins(0, 0, 0, 6));
    QFont f = a->xAxis->labelFont();
    f.setBold(true);
    f.setPointSizeF(10);
    a->title->setFont(f);
  }
  a->title->setText(toQ(textOf(v)));
  a->redraw();
}

Value getNextPlot(const Target& t) {
  return Value(axes(t)->hold ? "add" : "replace");
}
void setNextPlot(const Target& t, const Value& v) {
  const std::string m = lower(textOf(v));
  if (m != "add" && m != "replace" && m != "replacechildren")
    raise("NextPlot is 'add', 'replace' or 'replacechildren'.");
  axes(t)->hold = m == "add";
}

Value getAxesColor(const Target& t) {
  const QBrush b = axes(t)->axisRect()->backgroundBrush();
  return colorValue(b.style() == Qt::NoBrush ? QColor(Qt::white) : b.color());
}
void setAxesColor(const Target& t, const Value& v) {
  axes(t)->axisRect()->setBackground(QBrush(colorFrom(v)));
  axes(t)->redraw();
}

Value getAxisColor(const Target& t) {
  return colorValue(axisOf(t)->basePen().color());
}
void setAxisColor(const Target& t, const Value& v) {
  const QColor c = colorFrom(v);
  for (QCPAxis* ax : {axisOf(t), isX(t) ? axes(t)->xAxis2 : axes(t)->yAxis2}) {
    QPen pen = ax->basePen();
    pen.setColor(c);
    ax->setBasePen(pen);
    ax->setTickPen(pen);
    ax->setSubTickPen(pen);
    ax->setTickLabelColor(c);
    ax->setLabelColor(c);
  }
  axes(t)->redraw();
}

Value getTick(const Target& t) {
  QCPAxis* ax = axisOf(t);
  if (auto text = ax->ticker().dynamicCast<QCPAxisTickerText>()) {
    std::vector<double> out;
    for (auto it = text->ticks().begin(); it != text->ticks().end(); ++it) out.push_back(it.key());
    return rowOf(out);
  }
  axes(t)->replot(QCustomPlot::rpImmediateRefresh);
  const QVector<double> ticks = ax->tickVector();
  return rowOf(std::vector<double>(ticks.begin(), ticks.end()));
}
// Fixed tick positions, labelled with their values; [] returns to automatic.
void setTick(const Target& t, const Value& v) {
  const std::vector<double> ticks = numbersOf(v, t.property);
  QCPAxis* ax = axisOf(t);
  if (ticks.empty()) {
    ax->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
  } else {
    QSharedPointer<QCPAxisTickerText> text(new QCPAxisTickerText);
    for (double x : ticks) text->addTick(x, QString::number(x, 'g', 6));
    ax->setTicker(text);
  }
  axes(t)->redraw();
}

Value getView(const Target& t) {
  return Value::row({axes(t)->view[0], axes(t)->view[1]});
}
void setView(const Target& t, const Value& v) {
  const std::vector<double> view = numbersOf(v, "View");
  if (view.size() != 2 || !std::isfinite(view[0]) || !std::isfinite(view[1]))
    raise("The View is [azimuth elevation] in degrees.");
  axes(t)->view = {std::remainder(view[0], 360.0), std::clamp(view[1], -90.0, 90.0)};
  axes(t)->home.reset();
  axes(t)->redraw();
}

Value getChildren(const Target& t) {
  std::vector<double> out;
  for (QObject* c : t.object->children())
    if (LineObject::of(c) || SurfaceObject::of(c)) out.push_back(handleOf(c).id());
  std::reverse(out.begin(), out.end());  // the newest first
  return out.empty() ? Value::empty() : Value::matrix(out.size(), 1, out);
}

Value getPlotVisible(const Target& t) {
  if (LineObject* l = line(t)) return Value(onOff(l->visible));
  if (SurfaceObject* s = surface(t)) return Value(onOff(s->visible));
  return Value(onOff(!static_cast<QWidget*>(t.object)->isHidden()));
}
void setPlotVisible(const Target& t, const Value& v) {
  const bool on = toBool(v, t.property);
  if (LineObject* l = line(t)) {
    l->visible = on;
    if (l->drawn) l->drawn->setVisible(on);
    l->axes()->redraw();
  } else if (SurfaceObject* s = surface(t)) {
    s->visible = on;
    s->axes()->redraw();
  } else {
    static_cast<QWidget*>(t.object)->setVisible(on);
  }
}

// ---- lines --------------------------------------------------------------------------

std::vector<double>& lineData(const Target& t) {
  LineObject* l = line(t);
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t.property[0])));
  return c == 'x' ? l->x : c == 'y' ? l->y : l->z;
}
Value getLineData(const Target& t) {
  return rowOf(lineData(t));
}
void setLineData(const Target& t, const Value& v) {
  lineData(t) = numbersOf(v, t.property);
  LineObject* l = line(t);
  l->rebuild();
  l->axes()->fitAuto();
  l->axes()->redraw();
}
Value getLineColor(const Target& t) {
  return colorValue(line(t)->color);
}
void setLineColor(const Target& t, const Value& v) {
  line(t)->color = colorFrom(v);
  line(t)->restyle();
  line(t)->axes()->redraw();
}
Value getLineStyle(const Target& t) {
  return Value(lineStyleName(line(t)->style));
}
void setLineStyle(const Target& t, const Value& v) {
  line(t)->style = lineStyleFrom(textOf(v));
  line(t)->restyle();
  line(t)->axes()->redraw();
}
Value getDisplayName(const Target& t) {
  return Value(fromQ(line(t)->displayName));
}
void setDisplayName(const Target& t, const Value& v) {
  line(t)->displayName = toQ(textOf(v));
  line(t)->restyle();
  line(t)->axes()->redraw();
}
// A legend of the lines by their DisplayName, in the axes' upper right corner.
Value getLegend(const Target& t) {
  return Value(axes(t)->legend->visible() ? "on" : "off");
}
void setLegend(const Target& t, const Value& v) {
  Axes* a = axes(t);
  const std::string on = textOf(v);
  if (on != "on" && on != "off") raise("Legend is \"on\" or \"off\".");
  a->legend->setVisible(on == "on");
  // A see-through face: points under the legend stay visible.
  a->legend->setBrush(QColor(255, 255, 255, 170));
  a->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
  a->redraw();
}
// Where the legend sits: "northeast" (upper right, the default) or
// "southwest" (lower left, clear of curves that fall from upper left).
Value getLegendLocation(const Target& t) {
  const Qt::Alignment a = axes(t)->axisRect()->insetLayout()->insetAlignment(0);
  return Value((a & Qt::AlignBottom) ? "southwest" : "northeast");
}
void setLegendLocation(const Target& t, const Value& v) {
  Axes* a = axes(t);
  const std::string where = textOf(v);
  if (where != "northeast" && where != "southwest")
    raise("LegendLocation is \"northeast\" or \"southwest\".");
  a->axisRect()->insetLayout()->setInsetAlignment(
      0, where == "northeast" ? Qt::AlignTop | Qt::AlignRight : Qt::AlignBottom | Qt::AlignLeft);
  a->redraw();
}

Value getLineWidth(const Target& t) {
  return line(t)->width;
}
void setLineWidth(const Target& t, const Value& v) {
  const double w = v.toScalar();
  if (!(w > 0) || w > 100) raise("A LineWidth is above 0 and at most 100 points.");
  line(t)->width = w;
  line(t)->restyle();
  line(t)->axes()->redraw();
}
Value getMarker(const Target& t) {
  return Value(fromQ(line(t)->marker));
}
void setMarker(const Target& t, const Value& v) {
  const std::string m = textOf(v);
  if (m != "none" &&
      (m.size() != 1 || std::string_view(".ox+*sd").find(m[0]) == std::string_view::npos))
    raise("'" + m + "' is not a marker (. o x + * s d or none).");
  line(t)->marker = toQ(m);
  line(t)->restyle();
  line(t)->axes()->redraw();
}
Value getMarkerSize(const Target& t) {
  return line(t)->markerSize;
}
void setMarkerSize(const Target& t, const Value& v) {
  const double s = v.toScalar();
  if (!(s > 0) || s > 100) raise("A MarkerSize is above 0 and at most 100 points.");
  line(t)->markerSize = s;
  line(t)->restyle();
  line(t)->axes()->redraw();
}

// ---- surfaces -----------------------------------------------------------------------

Value& surfaceData(const Target& t) {
  SurfaceObject* s = surface(t);
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t.property[0])));
  return c == 'x' ? s->x : c == 'y' ? s->y : s->z;
}
Value getSurfaceData(const Target& t) {
  return surfaceData(t);
}
void setSurfaceData(const Target& t, const Value& v) {
  const Value& z = surface(t)->z;
  if (!v.isNumeric() || v.isComplex() || v.rows() != z.rows() || v.cols() != z.cols())
    raise("The " + std::string(t.property) + " of a surface is a real matrix of its size.");
  surfaceData(t) = v;
  surface(t)->axes()->fitAuto();
  surface(t)->axes()->redraw();
}

const PropertyRow kRows[] = {
    {"Visible", kAxes | kLine | kSurface, getPlotVisible, setPlotVisible},
    // axes
    {"Position", kAxes, getAxesPosition, setAxesPosition},
    {"Units", kAxes, getAxesUnits, setAxesUnits},
    {"XLim", kAxes, getLim, setLim},
    {"YLim", kAxes, getLim, setLim},
    {"ZLim", kAxes, getZLim, setZLim},
    {"XLimMode", kAxes, getLimMode, setLimMode},
    {"YLimMode", kAxes, getLimMode, setLimMode},
    {"ZLimMode", kAxes, getLimMode, setLimMode},
    {"XScale", kAxes, getScale, setScale},
    {"YScale", kAxes, getScale, setScale},
    {"XGrid", kAxes, getGrid, setGrid},
    {"YGrid", kAxes, getGrid, setGrid},
    {"GridLineStyle", kAxes, getGridStyle, setGridStyle},
    {"XLabel", kAxes, getAxisLabel, setAxisLabel},
    {"YLabel", kAxes, getAxisLabel, setAxisLabel},
    {"ZLabel", kAxes, getAxisLabel, setAxisLabel},
    {"Title", kAxes, getTitle, setTitle},
    {"NextPlot", kAxes, getNextPlot, setNextPlot},
    {"Color", kAxes, getAxesColor, setAxesColor},
    {"XColor", kAxes, getAxisColor, setAxisColor},
    {"YColor", kAxes, getAxisColor, setAxisColor},
    {"XTick", kAxes, getTick, setTick},
    {"YTick", kAxes, getTick, setTick},
    {"View", kAxes, getView, setView},
    {"Children", kAxes, getChildren},
    {"Legend", kAxes, getLegend, setLegend},
    {"LegendLocation", kAxes, getLegendLocation, setLegendLocation},
    // lines
    {"XData", kLine, getLineData, setLineData},
    {"YData", kLine, getLineData, setLineData},
    {"ZData", kLine, getLineData, setLineData},
    {"Color", kLine, getLineColor, setLineColor},
    {"LineStyle", kLine, getLineStyle, setLineStyle},
    {"LineWidth", kLine, getLineWidth, setLineWidth},
    {"DisplayName", kLine, getDisplayName, setDisplayName},
    {"Marker", kLine, getMarker, setMarker},
    {"MarkerSize", kLine, getMarkerSize, setMarkerSize},
    // surfaces
    {"XData", kSurface, getSurfaceData, setSurfaceData},
    {"YData", kSurface, getSurfaceData, setSurfaceData},
    {"ZData", kSurface, getSurfaceData, setSurfaceData},
};

}  // namespace

std::span<const PropertyRow> plotPropertyRows() {
  return kRows;
}

}  // namespace dot11a::gfx
