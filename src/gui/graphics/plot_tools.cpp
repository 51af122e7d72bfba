// The tools every axes offers the user: zoom by wheel and by a dragged
// rectangle, pan, turning a waterfall, reset to the view the program drew, a
// crosshair with the value under the pointer; and for every plot window,
// printing and saving the plots as PNG or PDF.
//
// Without a tool chosen, dragging pans a 2-D axes and the wheel zooms about
// the pointer. With the window's zoom mode on, dragging draws the rectangle
// to zoom into, a click zooms in twice and a Shift-click out twice. With its
// rotate mode on, dragging turns a waterfall. A double-click returns to the
// view the program drew.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLayout>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QRubberBand>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "gui/graphics/plot_objects.hpp"

namespace dot11a::gfx {

bool isQtDialogs(const DialogService& service);  // qt_dialogs.cpp

namespace {

// How near (in pixels) the pointer must come to a data point to read it.
constexpr double kSnapPixels = 12;
// A press and release closer than this is a click, not a rectangle.
constexpr int kClickPixels = 4;

// The unit an axis label names: the text in its last parentheses
// ("Frequency (MHz)"), or a leading unit ("dB above Average").
QString unitOf(const QString& label) {
  const qsizetype open = label.lastIndexOf('('), close = label.lastIndexOf(')');
  if (open >= 0 && close > open) return label.mid(open + 1, close - open - 1).trimmed();
  static const QStringList kUnits{"dB", "dBc", "dBm", "%",  "Hz", "kHz", "MHz", "GHz",
                                  "V",  "mV",  "S",   "mS", "uS", "nS",  "pS",  "s"};
  const QString first = label.section(' ', 0, 0);
  return kUnits.contains(first) ? first : QString();
}

// A coordinate with as many decimals as four significant digits of the
// visible range need (three significant digits on a log axis).
QString formatCoordinate(double v, const QCPAxis* axis) {
  if (!std::isfinite(v)) return "-";
  if (axis->scaleType() == QCPAxis::stLogarithmic) return QString::number(v, 'g', 3);
  const double span = axis->range().size();
  const int decimals = span > 0 ? std::clamp(3 - int(std::floor(std::log10(span))), 0, 12) : 3;
  QString s = QString::number(v, 'f', decimals);
  // No "-0.00": a value that rounds to zero is shown without a sign.
  if (s.startsWith('-') && s.count('0') == s.size() - 1 - s.count('.')) s.remove(0, 1);
  return s;
}

QString withUnit(const QString& number, const QString& unit) {
  return unit.isEmpty() ? number : number + (unit == "%" ? " %" : " " + unit);
}

}  // namespace

// ---- the readout ----------------------------------------------------------------------

// A crosshair through the point under the pointer and a label with its x and
// y. Near a line the readout snaps to its nearest data point and marks it.
// Everything sits on the overlay layer, so moving the pointer redraws only
// that layer, never the (possibly long) lines.
class Readout : public QObject {
 public:
  explicit Readout(Axes* a) : QObject(a), a_(a) {
    auto line = [&] {
      auto* l = new QCPItemStraightLine(a);
      l->setLayer("overlay");
      l->setPen(QPen(QColor(110, 110, 110), 1, Qt::DashLine));
      l->setSelectable(false);
      return l;
    };
    vLine_ = line();
    hLine_ = line();
    dot_ = new QCPItemTracer(a);
    dot_->setLayer("overlay");
    dot_->setStyle(QCPItemTracer::tsCircle);
    dot_->setSize(8);
    dot_->setPen(QPen(QColor(200, 0, 0), 1.5));
    dot_->setSelectable(false);
    label_ = new QCPItemText(a);
    label_->setLayer("overlay");
    label_->setClipToAxisRect(false);
    label_->position->setType(QCPItemPosition::ptAbsolute);
    label_->setPadding(QMargins(4, 2, 4, 2));
    label_->setBrush(QColor(255, 255, 240, 230));
    label_->setPen(QPen(QColor(120, 120, 120)));
    label_->setFont(a->xAxis->tickLabelFont());
    label_->setSelectable(false);
    setVisible(false);
  }

  // Shows the readout for the pointer at `pixel` (widget coordinates).
  void showAt(QPointF pixel) {
    double x = a_->xAxis->pixelToCoord(pixel.x()), y = a_->yAxis->pixelToCoord(pixel.y());
    const bool snapped = nearestPoint(pixel, x, y);
    text_ = a_->readoutText(x, y);
    const QPointF at(a_->xAxis->coordToPixel(x), a_->yAxis->coordToPixel(y));
    vLine_->point1->setCoords(x, a_->yAxis->range().lower);
    vLine_->point2->setCoords(x, a_->yAxis->range().upper);
    hLine_->point1->setCoords(a_->xAxis->range().lower, y);
    hLine_->point2->setCoords(a_->xAxis->range().upper, y);
    dot_->position->setCoords(x, y);
    label_->setText(text_);
    // The label beside the point, turned inward near the right and top edges.
    const QRect box = a_->axisRect()->rect();
    const bool left = at.x() > box.center().x(), below = at.y() < box.top() + 30;
    label_->setPositionAlignment((left ? Qt::AlignRight : Qt::AlignLeft) |
                                 (below ? Qt::AlignTop : Qt::AlignBottom));
    label_->position->setCoords(at + QPointF(left ? -10 : 10, below ? 10 : -10));
    setVisible(true);
    dot_->setVisible(snapped);
    redraw();
  }
  void hide() {
    if (!label_->visible()) return;
    setVisible(false);
    text_.clear();
    redraw();
  }
  QString text() const { return text_; }

 private:
  void setVisible(bool on) {
    for (QCPAbstractItem* i :
         {static_cast<QCPAbstractItem*>(vLine_), static_cast<QCPAbstractItem*>(hLine_),
          static_cast<QCPAbstractItem*>(dot_), static_cast<QCPAbstractItem*>(label_)})
      i->setVisible(on);
  }
  void redraw() {
    if (QCPLayer* overlay = a_->layer("overlay")) overlay->replot();
  }
  // The data point of a visible line nearest to the pointer, if one lies
  // within kSnapPixels; the search looks only at the points whose x falls
  // near the pointer when the line's x rises.
  bool nearestPoint(QPointF pixel, double& x, double& y) const {
    double best = kSnapPixels * kSnapPixels;
    bool found = false;
    auto consider = [&](double px, double py) {
      if (!std::isfinite(px) || !std::isfinite(py)) return;
      const double dx = a_->xAxis->coordToPixel(px) - pixel.x();
      const double dy = a_->yAxis->coordToPixel(py) - pixel.y();
      if (dx * dx + dy * dy < best) {
        best = dx * dx + dy * dy;
        x = px;
        y = py;
        found = true;
      }
    };
    for (QObject* child : a_->children()) {
      const LineObject* l = LineObject::of(child);
      if (!l || !l->visible || !l->drawn) continue;
      if (auto* g = qobject_cast<QCPGraph*>(l->drawn.data())) {
        double k0 = a_->xAxis->pixelToCoord(pixel.x() - kSnapPixels);
        double k1 = a_->xAxis->pixelToCoord(pixel.x() + kSnapPixels);
        if (k0 > k1) std::swap(k0, k1);
        const auto data = g->data();
        for (auto it = data->findBegin(k0, false), end = data->findEnd(k1, false); it != end; ++it)
          consider(it->key, it->value);
      } else {
        const std::size_t n = std::min(l->x.size(), l->y.size());
        for (std::size_t i = 0; i < n; ++i) consider(l->x[i], l->y[i]);
      }
    }
    return found;
  }

  Axes* a_;
  QCPItemStraightLine* vLine_;
  QCPItemStraightLine* hLine_;
  QCPItemTracer* dot_;
  QCPItemText* label_;
  QString text_;
};

QString Axes::readoutText(double x, double y) const {
  return withUnit(formatCoordinate(x, xAxis), unitOf(xAxis->label())) + ", " +
         withUnit(formatCoordinate(y, yAxis), unitOf(yAxis->label()));
}

// ---- zoom, pan, turn and reset ------------------------------------------------------------

void Axes::keepHome() {
  if (!home)
    home = ViewState{xAxis->range(), yAxis->range(), zLim, view, xLimAuto, yLimAuto, zLimAuto};
}

void Axes::resetView() {
  if (readout) readout->hide();
  if (!home) return;
  xAxis->setRange(home->x);
  yAxis->setRange(home->y);
  zLim = home->zLim;
  view = home->view;
  xLimAuto = home->xAuto;
  yLimAuto = home->yAuto;
  zLimAuto = home->zAuto;
  home.reset();
  redraw();
}

void Axes::zoomAbout(double x, double y, double factor) {
  if (!(factor > 0) || is3d()) return;
  keepHome();
  xAxis->scaleRange(factor, x);
  yAxis->scaleRange(factor, y);
  redraw();
}

void Axes::zoomToPixels(const QRect& r) {
  if (is3d() || r.width() < 1 || r.height() < 1) return;
  keepHome();
  const QRect box = r.intersected(axisRect()->rect());
  if (box.isEmpty()) return;
  const QCPRange x(xAxis->pixelToCoord(box.left()), xAxis->pixelToCoord(box.right()));
  const QCPRange y(yAxis->pixelToCoord(box.bottom()), yAxis->pixelToCoord(box.top()));
  xAxis->setRange(x.lower, x.upper);
  yAxis->setRange(y.lower, y.upper);
  redraw();
}

bool Axes::windowMode(const char* mode) const {
  const QWidget* w = window();
  return w != nullptr && w->property(mode).toString() == "on";
}

void Axes::mousePressEvent(QMouseEvent* e) {
  drag_ = Drag::None;
  if (e->button() != Qt::LeftButton || !axisRect()->rect().contains(e->pos())) {
    if (!is3d()) QCustomPlot::mousePressEvent(e);
    return;
  }
  pressAt_ = e->pos();
  if (readout) readout->hide();
  if (is3d()) {
    if (windowMode("dot11a_rotatemode")) {
      keepHome();
      drag_ = Drag::Turn;
      pressView_ = view;
    }
    return;
  }
  keepHome();
  if (windowMode("dot11a_zoommode")) {
    drag_ = Drag::Rectangle;
    if (!band_) band_ = new QRubberBand(QRubberBand::Rectangle, this);
    band_->setGeometry(QRect(pressAt_, QSize()));
    return;
  }
  drag_ = Drag::Pan;
  QCustomPlot::mousePressEvent(e);
}

void Axes::mouseMoveEvent(QMouseEvent* e) {
  switch (drag_) {
    case Drag::Turn: {
      const QPoint d = e->pos() - pressAt_;
      view = {std::remainder(pressView_[0] - 0.5 * d.x(), 360.0),
              std::clamp(pressView_[1] + 0.5 * d.y(), -90.0, 90.0)};
      redraw();
      return;
    }
    case Drag::Rectangle:
      band_->setGeometry(QRect(pressAt_, e->pos()).normalized());
      band_->show();
      return;
    case Drag::Pan:
      QCustomPlot::mouseMoveEvent(e);
      return;
    case Drag::None:
      break;
  }
  if (!is3d()) {
    if (!readout) readout = new Readout(this);
    if (axisRect()->rect().contains(e->pos()))
      readout->showAt(e->position());
    else
      readout->hide();
    QCustomPlot::mouseMoveEvent(e);
  }
}

void Axes::mouseReleaseEvent(QMouseEvent* e) {
  const Drag was = drag_;
  drag_ = Drag::None;
  if (was == Drag::Rectangle) {
    band_->hide();
    const QRect r = QRect(pressAt_, e->pos()).normalized();
    if (r.width() < kClickPixels && r.height() < kClickPixels) {
      const bool out = e->modifiers() & Qt::ShiftModifier;
      zoomAbout(xAxis->pixelToCoord(e->pos().x()), yAxis->pixelToCoord(e->pos().y()),
                out ? 2.0 : 0.5);
    } else {
      zoomToPixels(r);
    }
    return;
  }
  if (was == Drag::Turn || is3d()) return;
  QCustomPlot::mouseReleaseEvent(e);
}

void Axes::mouseDoubleClickEvent(QMouseEvent* e) {
  drag_ = Drag::None;
  if (band_) band_->hide();
  if (e->button() == Qt::LeftButton) resetView();
}

// Over the plot area the wheel zooms both axes about the pointer; over an
// axis (its ticks and label, beside the plot area) that axis only.
void Axes::wheelEvent(QWheelEvent* e) {
  if (is3d()) return;
  const QPoint at = e->position().toPoint();
  const QRect area = axisRect()->rect();
  if (area.contains(at)) {
    keepHome();
    QCustomPlot::wheelEvent(e);
    if (readout) readout->showAt(e->position());
    return;
  }
  const bool underX = at.x() >= area.left() && at.x() <= area.right() && at.y() > area.bottom();
  const bool besideY = at.y() >= area.top() && at.y() <= area.bottom() && at.x() < area.left();
  if (!underX && !besideY) return;
  keepHome();
  const double steps = e->angleDelta().y() / 120.0;
  if (underX)
    xAxis->scaleRange(std::pow(axisRect()->rangeZoomFactor(Qt::Horizontal), steps),
                      xAxis->pixelToCoord(at.x()));
  else
    yAxis->scaleRange(std::pow(axisRect()->rangeZoomFactor(Qt::Vertical), steps),
                      yAxis->pixelToCoord(at.y()));
  redraw();
}

void Axes::leaveEvent(QEvent* e) {
  if (readout) readout->hide();
  QCustomPlot::leaveEvent(e);
}

// ---- pictures and printing ------------------------------------------------------------------

namespace {

// The widget whose axes make the picture: the window's plot area (without
// its menus), or one axes. A window not yet shown is laid out first, so the
// picture has the window's size.
QWidget* plotAreaOf(QWidget* w) {
  if (Axes::of(w)) return w;
  QWidget* area = w;
  if (auto* mw = qobject_cast<QMainWindow*>(w))
    if (mw->centralWidget()) area = mw->centralWidget();
  if (!w->isVisible()) {
    if (QLayout* l = w->layout()) l->activate();
    layoutAxes(area);
  }
  return area;
}

// Paints the axes of `area` (or the one axes `area` is) with their area's
// geometry; the painter's device may be a picture, a PDF or a printer page.
void paintPlots(QCPPainter& painter, QWidget* area) {
  std::vector<Axes*> all;
  if (Axes* a = Axes::of(area))
    all.push_back(a);
  else
    for (Axes* a : area->findChildren<Axes*>())
      if (a->isVisible() || !area->isVisible()) all.push_back(a);
  painter.fillRect(QRect(QPoint(0, 0), area->size()), Qt::white);
  for (Axes* a : all) {
    if (a->readout) a->readout->hide();
    painter.save();
    if (a != area) painter.translate(a->mapTo(area, QPoint(0, 0)));
    a->toPainter(&painter, a->width(), a->height());
    painter.restore();
  }
}

// Why a file cannot be written, in words for the user; `file` is the file
// that failed to open, if it was tried.
std::string unwritable(const QString& name, const QFile* file = nullptr) {
  const QFileInfo info(name);
  if (!info.absoluteDir().exists())
    return "the folder '" + fromQ(info.absolutePath()) + "' does not exist";
  if (file) return fromQ(file->errorString());
  QFile probe(name);
  const bool existed = probe.exists();
  if (!probe.open(QIODevice::Append)) return fromQ(probe.errorString());
  probe.close();
  if (!existed) probe.remove();
  return "it could not be written";
}

// Asks for a printer: the Qt print dialog when the Qt dialog service is
// installed; a scripted service is recorded as a "print" dialog and answered
// with the path of a PDF file to print to (a cancel prints nothing); the
// console service chooses no printer.
bool choosePrinter(QPrinter& printer, QWidget* parent) {
  DialogService& service = dialogs();
  if (isQtDialogs(service)) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
  }
  auto* script = dynamic_cast<ScriptedDialogs*>(&service);
  if (!script) return false;
  script->shown.push_back({"print", "Print", fromQ(printer.docName()), {}});
  if (script->answers.empty()) return false;
  const ScriptedDialogs::Answer a = script->answers.front();
  script->answers.pop_front();
  if (a.cancelled || a.values.empty() || a.values[0].empty()) return false;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(toQ(a.values[0]));
  return true;
}

QWidget* requirePlotWindow(Handle figure, const char* what) {
  QWidget* w = widgetOf(figure);
  if (!w) raise(std::string(what) + " needs an open window or axes.");
  return w;
}

}  // namespace

void savePicture(Handle object, const std::string& fileName) {
  QWidget* area = plotAreaOf(requirePlotWindow(object, "Saving a picture"));
  const QString name = toQ(fileName);
  const QString suffix = QFileInfo(name).suffix().toLower();
  if (!QStringList{"png", "pdf", "jpg", "jpeg", "bmp"}.contains(suffix))
    raise("The picture '" + fileName + "' needs the extension .png or .pdf.");
  QFile file(name);
  if (!file.open(QIODevice::WriteOnly))
    raise("The picture '" + fileName + "' could not be written: " + unwritable(name, &file) + ".");
  bool ok = false;
  const QSize size = area->size().expandedTo(QSize(1, 1));
  if (suffix == "pdf") {
    QPdfWriter pdf(&file);
    pdf.setResolution(72);
    pdf.setPageSize(QPageSize(size, QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(area->window()->windowTitle());
    pdf.setCreator("dot11a");
    QCPPainter painter;
    if (painter.begin(&pdf)) {
      painter.setMode(QCPPainter::pmVectorized);
      painter.setMode(QCPPainter::pmNoCaching);
      paintPlots(painter, area);
      ok = painter.end();
    }
  } else {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
      QCPPainter painter(&image);
      paintPlots(painter, area);
    }
    ok = image.save(&file, suffix.toUpper().toLatin1().constData());
  }
  if (ok) ok = file.flush();
  file.close();
  if (!ok) {
    file.remove();
    raise("The picture '" + fileName + "' could not be written.");
  }
}

void printFigure(Handle figure) {
  QWidget* w = requirePlotWindow(figure, "Printing");
  QWidget* area = plotAreaOf(w);
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(w->window()->windowTitle());
  printer.setPageOrientation(area->width() > area->height() ? QPageLayout::Landscape
                                                            : QPageLayout::Portrait);
  if (!choosePrinter(printer, w->window())) return;
  QCPPainter painter;
  if (!painter.begin(&printer)) {
    const QString out = printer.outputFileName();
    dialogs().error("Print", out.isEmpty() ? "The printer could not be started."
                                           : "The plot could not be printed to '" + fromQ(out) +
                                                 "': " + unwritable(out) + ".");
    return;
  }
  painter.setMode(QCPPainter::pmVectorized);
  painter.setMode(QCPPainter::pmNoCaching);
  // The plots keep their proportions and fill the page.
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  const double scale = std::min(page.width() / std::max(1, area->width()),
                                page.height() / std::max(1, area->height()));
  painter.translate((page.width() - scale * area->width()) / 2,
                    (page.height() - scale * area->height()) / 2);
  painter.scale(scale, scale);
  paintPlots(painter, area);
  painter.end();
}

void savePlotAs(Handle figure) {
  QWidget* w = requirePlotWindow(figure, "Saving a plot");
  QString suggestion = w->window()->windowTitle().simplified();
  suggestion.replace(QRegularExpression("[^A-Za-z0-9._-]+"), "_");
  const auto file = dialogs().saveFile(
      "Save Plot As", {{"*.png", "PNG picture (*.png)"}, {"*.pdf", "PDF document (*.pdf)"}},
      fromQ((suggestion.isEmpty() ? QString("plot") : suggestion) + ".png"));
  if (!file || file->empty()) return;
  std::string name = *file;
  if (QFileInfo(toQ(name)).suffix().isEmpty()) name += ".png";
  try {
    savePicture(figure, name);
  } catch (const Error& e) {
    dialogs().error("Save Plot As", e.what());
  }
}

namespace {

// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& t) {
  if (t.find_first_of(",\"\n\r") == std::string::npos) return t;
  std::string q = "\"";
  for (char ch : t) q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return q + "\"";
}

}  // namespace

std::string traceCsv(Handle figure) {
  std::string xLabel, yLabel, rows;
  int plot = 0;
  char number[64];
  for (Handle ax : figureAxes(figure)) {
    Axes* a = Axes::of(requireObject(ax, "an axes"));
    if (!a) continue;
    ++plot;
    std::string plotName = getString(ax, "Title");
    if (plotName.empty()) plotName = "plot " + std::to_string(plot);
    int trace = 0;
    for (QObject* child : a->children()) {
      const LineObject* line = LineObject::of(child);
      if (!line || !line->visible) continue;
      ++trace;
      if (xLabel.empty()) xLabel = getString(ax, "XLabel");
      if (yLabel.empty()) yLabel = getString(ax, "YLabel");
      const std::string traceName =
          line->displayName.isEmpty() ? "trace " + std::to_string(trace) : fromQ(line->displayName);
      const std::string lead = csvField(plotName) + "," + csvField(traceName) + ",";
      const std::size_t n = std::min(line->x.size(), line->y.size());
      for (std::size_t k = 0; k < n; ++k) {
        std::snprintf(number, sizeof number, "%.10g,%.10g\n", line->x[k], line->y[k]);
        rows += lead + number;
      }
    }
  }
  return "plot,trace," + csvField(xLabel.empty() ? "x" : xLabel) + "," +
         csvField(yLabel.empty() ? "y" : yLabel) + "\n" + rows;
}

void exportTraceCsv(Handle figure) {
  QWidget* w = requirePlotWindow(figure, "Exporting the trace data");
  QString suggestion = w->window()->windowTitle().simplified();
  suggestion.replace(QRegularExpression("[^A-Za-z0-9._-]+"), "_");
  const auto file =
      dialogs().saveFile("Export Trace Data", {{"*.csv", "CSV table (*.csv)"}},
                         fromQ((suggestion.isEmpty() ? QString("trace") : suggestion) + ".csv"));
  if (!file || file->empty()) return;
  std::string name = *file;
  if (QFileInfo(toQ(name)).suffix().isEmpty()) name += ".csv";
  QFile out(toQ(name));
  const QByteArray text = QByteArray::fromStdString(traceCsv(figure));
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size() ||
      !out.flush())
    dialogs().error("Export Trace Data", "The trace data could not be written to " + name + ": " +
                                             fromQ(out.errorString()));
}

std::string readoutText(Handle axes, double x, double y) {
  Axes* a = Axes::of(requireObject(axes, "an axes"));
  if (!a) raise("The readout belongs to an axes.");
  return fromQ(a->readoutText(x, y));
}

std::string currentReadout(Handle axes) {
  Axes* a = Axes::of(requireObject(axes, "an axes"));
  if (!a) raise("The readout belongs to an axes.");
  return a->readout ? fromQ(a->readout->text()) : std::string();
}

void resetView(Handle axes) {
  Axes* a = Axes::of(requireObject(axes, "an axes"));
  if (!a) raise("Only an axes has a view to reset.");
  a->resetView();
}

}  // namespace dot11a::gfx
