// The plot objects behind axes, line and surface handles (shared by axes.cpp,
// which creates and draws them, and axes_properties.cpp, their table rows).
#pragma once

#include <qcustomplot.h>

#include <QPointer>
#include <QRubberBand>
#include <array>
#include <optional>
#include <span>
#include <vector>

#include "gui/graphics/internal.hpp"

namespace dot11a::gfx {

class Readout;

// One axes: a QCustomPlot widget whose plot box is placed at the axes'
// Position; the box's margins hold the tick labels, axis labels and title.
class Axes : public QCustomPlot {
 public:
  explicit Axes(QWidget* parent);
  static Axes* of(QObject* o) { return dynamic_cast<Axes*>(o); }

  std::array<double, 4> position{0.13, 0.11, 0.775, 0.815};  // in `units`
  bool normalizedUnits = true;
  bool hold = false;  // NextPlot "add"
  bool xLimAuto = true, yLimAuto = true, zLimAuto = true;
  std::array<double, 2> zLim{0, 1};
  std::array<double, 2> view{0, 90};  // azimuth, elevation in degrees
  QString zLabel;
  QString gridStyle = ":";
  QCPItemText* title = nullptr;
  QCPLayerable* waterfall = nullptr;  // from newWaterfallLayer, when a surface is drawn
  int colorIndex = 0;                 // next colour of the colour order

  // The view the axes had before the user first zoomed, panned or turned
  // them; a reset goes back to it. Limits set by the program replace it.
  struct ViewState {
    QCPRange x, y;
    std::array<double, 2> zLim, view;
    bool xAuto, yAuto, zAuto;
  };
  std::optional<ViewState> home;
  Readout* readout = nullptr;  // the value under the pointer (plot_tools.cpp)

  bool is3d() const;
  // Places the widget so that its plot box sits at `position` in the area.
  void place();
  // Fits the limits still in automatic mode to the data.
  void fitAuto();
  void redraw();
  QWidget* area() const { return parentWidget(); }
  // True once a replot has drawn every change made so far.
  bool upToDate() const { return !stale_; }

  // The interactive tools (plot_tools.cpp): the user's zoom, pan and turn
  // start by keeping the view to come back to; resetView returns to it.
  void keepHome();
  void resetView();
  // Zooms the 2-D axes by `factor` (below 1: in) about a point in plot
  // coordinates, or to a rectangle given in widget pixels.
  void zoomAbout(double x, double y, double factor);
  void zoomToPixels(const QRect& r);
  // x and y in the units of the axis labels, e.g. "3.00 MHz, -12.4 dB".
  QString readoutText(double x, double y) const;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void leaveEvent(QEvent* e) override;

 private:
  enum class Drag { None, Pan, Rectangle, Turn };
  Drag drag_ = Drag::None;
  QPoint pressAt_;
  std::array<double, 2> pressView_{0, 0};
  QRubberBand* band_ = nullptr;
  // Room left of the plot box for the y tick labels and the y label, in
  // pixels: what they need at the font and limits in force, at least the
  // default. Measured again before each replot, so new limits or a new label
  // never push the label out of the widget.
  int neededLeftRoom() const;
  void layoutBox();
  int leftRoom_ = 0;
  bool stale_ = true;          // changed since the last replot (or never drawn)
  bool redrawQueued_ = false;  // a replot is queued for the next event loop pass
  bool windowMode(const char* mode) const;
};

// A line: its data as given (XData, YData, ZData), drawn as a QCPGraph when X
// never decreases (adaptive sampling for long waveforms) and as a QCPCurve
// otherwise (eye traces that run back in time).
class LineObject : public QObject {
 public:
  explicit LineObject(Axes* axes);
  ~LineObject() override;
  static LineObject* of(QObject* o) { return dynamic_cast<LineObject*>(o); }
  Axes* axes() const { return static_cast<Axes*>(parent()); }

  std::vector<double> x, y, z;
  QColor color{0, 0, 255};
  Qt::PenStyle style = Qt::SolidLine;  // Qt::NoPen: markers only
  double width = 1.0;
  QString marker = "none";
  double markerSize = 6;
  bool visible = true;
  QString displayName;  // its entry in the axes' legend
  QPointer<QCPAbstractPlottable> drawn;

  // Rebuilds the drawn plottable from the data and the style.
  void rebuild();
  // Applies the style (colour, line style and width, marker) to the drawn
  // plottable without touching its data.
  void restyle();
};

// A waterfall surface: matrices X, Y and Z of one size, one curve per row.
class SurfaceObject : public QObject {
 public:
  explicit SurfaceObject(Axes* axes);
  static SurfaceObject* of(QObject* o) { return dynamic_cast<SurfaceObject*>(o); }
  Axes* axes() const { return static_cast<Axes*>(parent()); }

  Value x, y, z;
  bool visible = true;
};

// The waterfall layer that draws an axes' surfaces (waterfall_layer.cpp).
QCPLayerable* newWaterfallLayer(Axes* axes);

// The elements of a real matrix as doubles, without a copy when it holds
// doubles (surfaces of long waveforms have hundreds of thousands).
std::span<const double> realsOf(const Value& v, std::vector<double>& copy);

// Parses a line format ("b-", "c-", "b.", ":", "r--o") into the line.
void applyLineFormat(LineObject& line, std::string_view format);
// The texts of line styles and markers, as the properties read them.
std::string lineStyleName(Qt::PenStyle s);
Qt::PenStyle lineStyleFrom(const std::string& s);

}  // namespace dot11a::gfx
