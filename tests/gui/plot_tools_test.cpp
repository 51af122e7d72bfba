// The tools every axes offers: the value under the pointer, zoom by wheel, by
// rectangle and by click, pan, turning a waterfall, reset; printing and saving
// the plots of a window as PNG and PDF, and the errors when that fails.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QMimeData>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "gui/graphics/plot_objects.hpp"
#include "gui/plots/plot_data.hpp"
#include "plot_fixture.hpp"

namespace dot11a::test {
namespace {

namespace fs = std::filesystem;

class PlotTools : public FigureTest {
 protected:
  PlotTools() : FigureTest("plot-tools") {}
  void SetUp() override {
    FigureTest::SetUp();
    gfx::set(fig, "Position", row({50, 80, 640, 480}));
    gfx::setString(fig, "Name", "Magnitude Spectrum tools");
    ax = gfx::newAxes(fig);
    // A spectrum-like line: -10 to 10 MHz, -12.4 dB at 3 MHz.
    std::vector<double> x(21), y(21);
    for (std::size_t i = 0; i < x.size(); ++i) {
      x[i] = -10 + double(i);
      y[i] = -60 + 47.6 * std::exp(-(x[i] - 3) * (x[i] - 3) / 4);
    }
    line = gfx::plotLine(ax, x, y);
    gfx::setString(ax, "XLabel", "Frequency (MHz)");
    gfx::setString(ax, "YLabel", "LogMag (dB)");
    gfx::set(ax, "XLim", row({-10, 10}));
    gfx::set(ax, "YLim", row({-100, 0}));
    gfx::setString(fig, "Visible", "on");
    QCoreApplication::processEvents();
    axes()->replot(QCustomPlot::rpImmediateRefresh);
  }
  gfx::Axes* axes() const { return gfx::Axes::of(gfx::widgetOf(ax)); }
  QPoint pixel(double x, double y) const {
    return QPointF(axes()->xAxis->coordToPixel(x), axes()->yAxis->coordToPixel(y)).toPoint();
  }
  void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::NoButton,
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || button == Qt::NoButton
                                      ? Qt::MouseButtons()
                                      : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(at), QPointF(axes()->mapToGlobal(at)), button, held, mods);
    QApplication::sendEvent(axes(), &e);
  }
  void drag(QPoint from, QPoint to, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, mods);
    mouse(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton, mods);
    mouse(QEvent::MouseMove, to, Qt::LeftButton, mods);
    mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, mods);
  }
  void wheel(QPoint at, int steps) {
    QWheelEvent e(QPointF(at), QPointF(axes()->mapToGlobal(at)), QPoint(), QPoint(0, 120 * steps),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(axes(), &e);
  }
  double lim(const char* which, int i) const { return gfx::get(ax, which).real(i); }
  void expectDrawnLimits() const {
    EXPECT_EQ(gfx::get(ax, "XLim"), row({-10, 10}));
    EXPECT_EQ(gfx::get(ax, "YLim"), row({-100, 0}));
  }
  // The size of the window's plot area, which pictures of it have.
  QSize plotAreaSize() const {
    return qobject_cast<QMainWindow*>(gfx::widgetOf(fig))->centralWidget()->size();
  }

  ScopedScriptedDialogs script;
  gfx::Handle ax, line;
};

TEST_F(PlotTools, ReadoutShowsTheValueUnderThePointerInTheAxisUnits) {
  EXPECT_EQ(gfx::readoutText(ax, 3, -12.4), "3.00 MHz, -12.4 dB");
  EXPECT_EQ(gfx::readoutText(ax, -0.001, -0.01), "0.00 MHz, 0.0 dB");  // no "-0.00"
  EXPECT_EQ(gfx::currentReadout(ax), "");

  // On the line, and a few pixels beside it: the data point is read.
  mouse(QEvent::MouseMove, pixel(3, -12.4));
  EXPECT_EQ(gfx::currentReadout(ax), "3.00 MHz, -12.4 dB");
  mouse(QEvent::MouseMove, pixel(3, -12.4) + QPoint(3, -4));
  EXPECT_EQ(gfx::currentReadout(ax), "3.00 MHz, -12.4 dB");
  // Away from the line: the pointer's own coordinates.
  mouse(QEvent::MouseMove, pixel(-5, -90));
  const std::string away = gfx::currentReadout(ax);
  ASSERT_NE(away.find(" MHz, "), std::string::npos) << away;
  EXPECT_NEAR(std::stod(away), -5, 0.1) << away;
  EXPECT_NEAR(std::stod(away.substr(away.find(", ") + 2)), -90, 0.5) << away;
  EXPECT_EQ(away.substr(away.size() - 3), " dB") << away;
  // Zoomed in, the readout shows more digits.
  gfx::set(ax, "XLim", row({2.9, 3.1}));
  EXPECT_EQ(gfx::readoutText(ax, 3, -12.4), "3.0000 MHz, -12.4 dB");
  // Leaving the plot hides it.
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(axes(), &leave);
  EXPECT_EQ(gfx::currentReadout(ax), "");

  // A log axis reads in significant digits; a label that starts with its
  // unit gives that unit.
  gfx::setString(ax, "XLabel", "dB above Average");
  gfx::setString(ax, "YLabel", "Frequency of occurence (%)");
  gfx::setString(ax, "YScale", "log");
  gfx::set(ax, "XLim", row({0, 20}));
  gfx::set(ax, "YLim", row({0.001, 100}));
  EXPECT_EQ(gfx::readoutText(ax, 4.2, 0.01234), "4.20 dB, 0.0123 %");
  gfx::setString(ax, "XLabel", "Sample");
  gfx::setString(ax, "YLabel", "");
  EXPECT_EQ(gfx::readoutText(ax, 7, 50), "7.00, 50");
}

TEST_F(PlotTools, WheelRectangleClickAndPanZoomAndAResetRestoresTheLimits) {
  // The wheel zooms in about the pointer; a double-click resets.
  wheel(pixel(3, -50), 2);
  EXPECT_GT(lim("XLim", 0), -10);
  EXPECT_LT(lim("XLim", 1), 10);
  EXPECT_LT(lim("XLim", 1) - lim("XLim", 0), 20);
  mouse(QEvent::MouseButtonDblClick, pixel(0, -50), Qt::LeftButton);
  expectDrawnLimits();

  // Over an axis, the wheel zooms that axis only.
  const QRect area = axes()->axisRect()->rect();
  wheel(QPoint(pixel(3, 0).x(), area.bottom() + 8), 2);
  EXPECT_LT(lim("XLim", 1) - lim("XLim", 0), 20);
  EXPECT_EQ(gfx::get(ax, "YLim"), row({-100, 0}));
  mouse(QEvent::MouseButtonDblClick, pixel(0, -50), Qt::LeftButton);
  wheel(QPoint(area.left() - 8, pixel(0, -50).y()), 2);
  EXPECT_EQ(gfx::get(ax, "XLim"), row({-10, 10}));
  EXPECT_LT(lim("YLim", 1) - lim("YLim", 0), 100);
  mouse(QEvent::MouseButtonDblClick, pixel(0, -50), Qt::LeftButton);
  expectDrawnLimits();

  // Without a tool, dragging pans: the same width, moved.
  drag(pixel(0, -50), pixel(-4, -30));
  EXPECT_NEAR(lim("XLim", 0), -6, 0.1);
  EXPECT_NEAR(lim("XLim", 1), 14, 0.1);
  EXPECT_NEAR(lim("YLim", 0), -120, 0.5);
  gfx::resetView(ax);
  expectDrawnLimits();

  // With the zoom tool, a dragged rectangle becomes the limits...
  gfx::setString(fig, "ZoomMode", "on");
  drag(pixel(-5, -20), pixel(5, -60));
  EXPECT_NEAR(lim("XLim", 0), -5, 0.1);
  EXPECT_NEAR(lim("XLim", 1), 5, 0.1);
  EXPECT_NEAR(lim("YLim", 0), -60, 0.5);
  EXPECT_NEAR(lim("YLim", 1), -20, 0.5);
  // ...a click zooms in twice about the point, a Shift-click out again, and
  // the reset goes back to the view drawn before the first zoom.
  mouse(QEvent::MouseButtonPress, pixel(0, -40), Qt::LeftButton);
  mouse(QEvent::MouseButtonRelease, pixel(0, -40), Qt::LeftButton);
  EXPECT_NEAR(lim("XLim", 1) - lim("XLim", 0), 5, 0.1);
  mouse(QEvent::MouseButtonPress, pixel(0, -40), Qt::LeftButton, Qt::ShiftModifier);
  mouse(QEvent::MouseButtonRelease, pixel(0, -40), Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_NEAR(lim("XLim", 1) - lim("XLim", 0), 10, 0.2);
  gfx::resetView(ax);
  expectDrawnLimits();
  gfx::resetView(ax);  // nothing to undo: nothing changes
  expectDrawnLimits();

  // Limits the program sets after a zoom are the new view a reset returns to.
  wheel(pixel(0, -50), 3);
  gfx::set(ax, "XLim", row({-2, 2}));
  gfx::resetView(ax);
  EXPECT_EQ(gfx::get(ax, "XLim"), row({-2, 2}));
}

TEST_F(PlotTools, RotateToolTurnsAWaterfallAndAResetTurnsItBack) {
  const std::size_t rows = 8, cols = 4;
  std::vector<double> x(rows * cols), y(rows * cols), z(rows * cols);
  for (std::size_t k = 0; k < x.size(); ++k) {
    x[k] = double(k % rows);
    y[k] = double(k / rows);
    z[k] = -double(k % 5);
  }
  gfx::addSurface(ax, Value::matrix(rows, cols, x), Value::matrix(rows, cols, y),
                  Value::matrix(rows, cols, z));
  axes()->replot(QCustomPlot::rpImmediateRefresh);
  const Value drawn = gfx::get(ax, "View");
  const QPoint mid = axes()->axisRect()->rect().center();
  drag(mid, mid + QPoint(40, 20));  // no tool: nothing turns
  EXPECT_EQ(gfx::get(ax, "View"), drawn);
  gfx::setString(fig, "RotateMode", "on");
  drag(mid, mid + QPoint(40, 20));
  EXPECT_NE(gfx::get(ax, "View"), drawn);
  EXPECT_NEAR(gfx::get(ax, "View").real(1), drawn.real(1) + 10, 1e-9);
  mouse(QEvent::MouseButtonDblClick, mid, Qt::LeftButton);
  EXPECT_EQ(gfx::get(ax, "View"), drawn);
}

TEST_F(PlotTools, PlotsAreSavedAsPngAndPdfWhereTheUserSays) {
  const fs::path png = dir / "spectrum.png", pdf = dir / "spectrum.pdf";
  script->answer(png.string());
  gfx::savePlotAs(fig);
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].kind, "save");
  EXPECT_EQ(script->shown[0].title, "Save Plot As");
  EXPECT_EQ(script->shown[0].options, (std::vector<std::string>{"*.png", "*.pdf"}));
  ASSERT_TRUE(fs::exists(png));
  const QImage image(QString::fromStdString(png.string()));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), plotAreaSize());  // the plots, without the menus
  EXPECT_EQ(image.width(), 640);
  // The line is drawn in blue; the readout is not part of the picture.
  mouse(QEvent::MouseMove, pixel(3, -12.4));
  ASSERT_NE(gfx::currentReadout(ax), "");
  script->answer(pdf.string());
  gfx::savePlotAs(fig);
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_GT(fs::file_size(pdf), 1000u);
  QFile f(QString::fromStdString(pdf.string()));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.read(5) == "%PDF-");
  EXPECT_EQ(gfx::currentReadout(ax), "");
  // A name without an extension is saved as PNG; a cancel saves nothing.
  script->answer((dir / "plain").string());
  gfx::savePlotAs(fig);
  EXPECT_TRUE(fs::exists(dir / "plain.png"));
  script->cancel();
  gfx::savePlotAs(fig);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
  for (const auto& shown : script->shown) EXPECT_NE(shown.kind, "error") << shown.text;
}

TEST_F(PlotTools, APlotThatCannotBeWrittenIsReportedWithTheReason) {
  const fs::path missing = dir / "no-such-folder" / "spectrum.png";
  script->answer(missing.string());
  gfx::savePlotAs(fig);
  ASSERT_EQ(script->shown.size(), 2u);
  EXPECT_EQ(script->shown[1].kind, "error");
  EXPECT_EQ(script->shown[1].title, "Save Plot As");
  EXPECT_NE(script->shown[1].text.find(missing.string()), std::string::npos);
  EXPECT_NE(script->shown[1].text.find("does not exist"), std::string::npos);
  EXPECT_FALSE(fs::exists(missing));
  // A folder where the file should be cannot be written either.
  fs::create_directories(dir / "taken.png");
  script->answer((dir / "taken.png").string());
  gfx::savePlotAs(fig);
  ASSERT_EQ(script->shown.size(), 4u);
  EXPECT_EQ(script->shown[3].kind, "error");
  // Only pictures: another extension is refused before anything is written.
  EXPECT_THROW(gfx::savePicture(fig, (dir / "spectrum.txt").string()), Error);
  EXPECT_FALSE(fs::exists(dir / "spectrum.txt"));
}

TEST_F(PlotTools, PrintGoesThroughTheDialogServiceToTheChosenPrinter) {
  const fs::path printed = dir / "printed.pdf";
  script->answer(printed.string());
  gfx::printFigure(fig);
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].kind, "print");
  ASSERT_TRUE(fs::exists(printed));
  EXPECT_GT(fs::file_size(printed), 1000u);
  script->cancel();  // cancelled: nothing printed
  gfx::printFigure(fig);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  script->answer((dir / "gone" / "printed.pdf").string());
  gfx::printFigure(fig);
  ASSERT_EQ(script->shown.size(), 4u);
  EXPECT_EQ(script->shown[3].kind, "error");
  EXPECT_EQ(script->shown[3].title, "Print");
  EXPECT_NE(script->shown[3].text.find("does not exist"), std::string::npos);
}

TEST_F(PlotTools, PlotWindowMenusPrintSaveAndResetTheZoom) {
  std::vector<cplx> s(1024);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = std::polar(1.0, 0.3 * double(i));
  const gfx::Handle spectrum =
      feval1("KS_PlotSpectrum", {0.0, Value("(menus)"), 20e6, Value::row(std::span<const cplx>(s))})
          .toScalar();
  const Value menus = gfx::guihandles(spectrum);
  const gfx::Handle spectrumAxes = gfx::figureAxes(spectrum).at(0);
  const Value drawnX = gfx::get(spectrumAxes, "XLim"), drawnY = gfx::get(spectrumAxes, "YLim");
  gfx::Axes::of(gfx::widgetOf(spectrumAxes))->zoomAbout(1, -20, 0.25);
  EXPECT_NE(gfx::get(spectrumAxes, "XLim"), drawnX);
  gfx::runCallback(menus.field("KS_ZoomReset").toScalar());
  EXPECT_EQ(gfx::get(spectrumAxes, "XLim"), drawnX);
  EXPECT_EQ(gfx::get(spectrumAxes, "YLim"), drawnY);  // not the data's whole range

  script->answer((dir / "menu.pdf").string());
  gfx::runCallback(menus.field("menuPlotSaveAs").toScalar());
  script->answer((dir / "menu-printed.pdf").string());
  gfx::runCallback(menus.field("menuPlotPrint").toScalar());
  EXPECT_TRUE(fs::exists(dir / "menu.pdf"));
  EXPECT_TRUE(fs::exists(dir / "menu-printed.pdf"));
  gfx::deleteFigure(spectrum);
}

// A plot's trace data leaves as CSV through File > Export Trace Data and
// through Edit > Copy (as text beside the picture), every visible trace's
// points under the axes' labels; a label with a comma is quoted.
TEST_F(PlotTools, TraceDataIsExportedAndCopiedAsCsv) {
  std::vector<cplx> s(4096);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = std::polar(1.0 + 0.5 * std::sin(0.01 * i), 0.3 * double(i));
  const gfx::Handle fig =
      feval1("KS_PlotCCDF", {0.0, Value("(csv)"), Value::row(std::span<const cplx>(s))}).toScalar();
  const plots::Ccdf d = plots::ccdf(s);
  const gfx::Handle ax = gfx::figureAxes(fig).at(0);
  gfx::setString(ax, "XLabel", "Level, dB");
  const Value menus = gfx::guihandles(fig);
  script->answer((dir / "trace").string());
  gfx::runCallback(menus.field("menuPlotExportCsv").toScalar());
  std::ifstream in(dir / "trace.csv");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 1 + 2 * d.level.size());
  EXPECT_EQ(lines[0], "plot,trace,\"Level, dB\",Frequency of occurence (%)");
  char first[96];
  std::snprintf(first, sizeof first, "CCDF,trace 1,%.10g,%.10g", d.level[0], d.percent[0]);
  EXPECT_EQ(lines[1], first);
  std::snprintf(first, sizeof first, "CCDF,trace 2,%.10g,%.10g", d.level.back(),
                d.reference.back());
  EXPECT_EQ(lines.back(), first);

  gfx::runCallback(menus.field("menuPlotCopy").toScalar());
  const QMimeData* copied = QApplication::clipboard()->mimeData();
  ASSERT_NE(copied, nullptr);
  EXPECT_TRUE(copied->hasImage());
  EXPECT_EQ(copied->data("text/csv").toStdString(), gfx::traceCsv(fig));
  EXPECT_EQ(copied->text().toStdString().substr(0, lines[0].size()), lines[0]);
  gfx::deleteFigure(fig);
}

}  // namespace
}  // namespace dot11a::test
