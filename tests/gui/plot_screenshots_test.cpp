// Pictures of the plot windows as a user sees them (menus included): every
// plot of the application's default frame, of its largest frame and of an
// all-zero waveform, and a zoomed spectrum with the pointer's readout. Runs
// only when DOT11A_SCREENSHOT_DIR names a folder (scripts/screenshots.sh sets
// it). Plots whose operation this build does not have are left out.
#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <filesystem>

#include "gui/graphics/plot_objects.hpp"
#include "gui_fixture.hpp"
#include "screenshots.hpp"

namespace dot11a::test {
namespace {

namespace fs = std::filesystem;

class PlotScreenshots : public MainWindowTest {
 protected:
  // The waveform and sample rate the Plot menu passes: the last calculated
  // frame reduced to 14 bits, the generator's sampling rate.
  std::pair<Value, double> calculated() {
    gfx::runCallback(h("pbCalculate"));
    QCoreApplication::processEvents();
    return {feval1("applyDacRes", {global("waveform"), Value(14.0)}),
            global("SigGenSettings").field("SamplingRate").toScalar()};
  }
  // Opens a plot, saves a picture of its window and closes it.
  void shoot(const std::string& file, const std::string& op, std::vector<Value> args) {
    if (!operationExists(op)) return;
    const double plot = feval(op, 1, std::span<const Value>(args)).at(0).toScalar();
    if (!gfx::isHandle(plot) || plot == 0) return;
    QWidget* w = gfx::widgetOf(plot);
    w->show();
    QCoreApplication::processEvents();
    if (after) after(plot);
    for (gfx::Axes* a : w->findChildren<gfx::Axes*>()) a->replot(QCustomPlot::rpImmediateRefresh);
    EXPECT_TRUE(w->grab().save(QString::fromStdString(dir + "/" + file))) << file;
    gfx::deleteFigure(plot);
    QCoreApplication::processEvents();
  }
  static bool operationExists(const std::string& op) {
    const OpInfo* info = findOperation(op);
    return info != nullptr && info->fn != nullptr;
  }
  // Every plot of one waveform.
  void shootAll(const std::string& prefix, const Value& wave, double rate) {
    const Value main = Value(fig), label = Value("(" + prefix + ")");
    shoot(prefix + "-spectrum.png", "KS_PlotSpectrum", {main, label, Value(rate), wave});
    shoot(prefix + "-waterfall.png", "KS_PlotWaterfall",
          {main, label, Value(rate), Value(double(wave.numel()) / rate / 200), wave});
    shoot(prefix + "-ccdf.png", "KS_PlotCCDF", {main, label, wave});
    shoot(prefix + "-iq-time.png", "KS_PlotIQTime", {main, label, Value(rate), Value(0.0), wave});
    shoot(prefix + "-eye.png", "KS_PlotEyeDiagram",
          {main, label, wave, Value(8.0), Value(1.0), Value(0.0)});
    shoot(prefix + "-scatter.png", "KS_PlotScatterDiagram",
          {main, label, wave, Value(4.0), Value(0.0), Value(0.0)});
  }
  std::string dir;
  std::function<void(double)> after;
};

TEST_F(PlotScreenshots, EveryPlotOfTheDefaultLargestAndAllZeroWaveforms) {
  dir = screenshotFolder();
  fs::create_directories(dir);
  gfx::set(fig, "Position", Value::row({60, 60, 900, 700}));

  const auto [defaultWave, defaultRate] = calculated();
  shootAll("plot-default", defaultWave, defaultRate);

  // The spectrum zoomed in by the wheel, the pointer on the trace.
  after = [](double plot) {
    gfx::Axes* a = gfx::Axes::of(gfx::objectOf(gfx::figureAxes(plot).at(0)));
    const QPoint centre = a->axisRect()->rect().center();
    QWheelEvent wheel(QPointF(centre), QPointF(a->mapToGlobal(centre)), QPoint(), QPoint(0, 360),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(a, &wheel);
    a->replot(QCustomPlot::rpImmediateRefresh);
    const QPoint at(int(a->xAxis->coordToPixel(5)), int(a->yAxis->coordToPixel(-30)));
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(a->mapToGlobal(at)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(a, &move);
  };
  shoot("plot-default-spectrum-zoomed-readout.png", "KS_PlotSpectrum",
        {Value(fig), Value("(zoomed)"), Value(defaultRate), defaultWave});
  after = nullptr;

  choose("pdDataRate", 1);  // 6 Mbit/s
  choose("pdOversampleRate", 4);
  type("txtWindowLength", "16");
  type("txtIdleInterval", "0");
  type("txtDataLength", "4095");
  const auto [largeWave, largeRate] = calculated();
  EXPECT_EQ(largeWave.numel(), 438736u);
  shootAll("plot-largest", largeWave, largeRate);

  const Value zeros = Value::row(std::vector<double>(4000, 0.0));
  shootAll("plot-zero", zeros, 20e6);
}

}  // namespace
}  // namespace dot11a::test
