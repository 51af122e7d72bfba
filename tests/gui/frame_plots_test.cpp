// The I/Q time, eye and scatter windows of frames the main window calculates,
// from the default frame to the largest one.
#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "gui/plots/iq_data.hpp"
#include "gui_fixture.hpp"

namespace dot11a::test {
namespace {

// The plots of frames the main window calculates, placed over it, as the Plot
// menu opens them; pictures of them when DOT11A_SCREENSHOT_DIR is set.
class FramePlots : public MainWindowTest {
 protected:
  void TearDown() override {
    for (double f : opened)
      if (gfx::isHandle(f)) gfx::deleteFigure(f);
    MainWindowTest::TearDown();
  }
  Value calculate() {
    gfx::runCallback(h("pbCalculate"));
    return feval1("applyDacRes", {global("waveform"), 14.0});
  }
  gfx::Handle open(const char* op, std::initializer_list<Value> in) {
    const Value f = feval1(op, in);
    EXPECT_FALSE(f.isEmpty()) << op;
    if (f.isEmpty()) return gfx::Handle();
    opened.push_back(f.toScalar());
    return f.toScalar();
  }
  void pictures(std::initializer_list<std::pair<gfx::Handle, const char*>> windows) {
    const char* dir = std::getenv("DOT11A_SCREENSHOT_DIR");
    if (!dir) return;
    std::filesystem::create_directories(dir);
    QCoreApplication::processEvents();
    for (auto [f, name] : windows) gfx::savePicture(f, std::string(dir) + "/" + name);
  }
  std::vector<double> opened;
};

TEST_F(FramePlots, DefaultFrameInEveryTimeDomainWindow) {
  const Value wave = calculate();
  const double rate = sigGen("SamplingRate"), os = param("OverSampling");
  ASSERT_GT(wave.numel(), 0u);
  const gfx::Handle iq = open("KS_PlotIQTime", {fig, Value("default"), rate, 0.0, wave});
  const gfx::Handle overlay = open("KS_PlotIQTime", {fig, Value("default"), rate, 1.0, wave});
  // Placed over the main window: 80 % of its size.
  const Value main = gfx::get(fig, "Position"), pos = gfx::get(iq, "Position");
  EXPECT_NEAR(pos.real(2), 0.8 * main.real(2), 1);
  const plots::IqTime expected = plots::iqTime(wave.toComplex(), rate);
  const gfx::Handle ax = gfx::figureAxes(overlay).at(0);
  EXPECT_EQ(gfx::getString(ax, "XLabel"), "Time (" + expected.units.name + ")");
  EXPECT_EQ(gfx::get(ax, "XLim"), Value::row({0, expected.tMax}));
  const gfx::Handle eye =
      open("KS_PlotEyeDiagram", {fig, Value("default"), wave, 2 * os, 2 * os / rate, 0.0});
  const gfx::Handle scatter =
      open("KS_PlotScatterDiagram", {fig, Value("default"), wave, os, 0.0, 0.0});
  const gfx::Handle trace =
      open("KS_PlotScatterDiagram", {fig, Value("default"), wave, os, 0.0, 1.0});
  EXPECT_EQ(gfx::get(gfx::figureAxes(scatter).at(0), "Children").numel(), 1u);
  EXPECT_EQ(gfx::get(gfx::figureAxes(trace).at(0), "Children").numel(), 2u);
  pictures({{iq, "iq-time-default.png"},
            {overlay, "iq-overlay-default.png"},
            {eye, "eye-default.png"},
            {scatter, "scatter-default.png"},
            {trace, "scatter-trace-default.png"}});
}

// 4095 octets at 6 Mbit/s, oversampling 4, window 16: 438,736 samples in each
// window as one line per axes (two in the scatter trace), not point by point.
TEST_F(FramePlots, LargestFrameInEveryTimeDomainWindow) {
  choose("pdDataRate", 1);
  type("txtDataLength", "4095");
  choose("pdOversampleRate", 4);
  type("txtWindowLength", "16");
  const Value wave = calculate();
  ASSERT_GE(wave.numel(), 438736u);
  const double rate = sigGen("SamplingRate");
  const gfx::Handle iq = open("KS_PlotIQTime", {fig, Value("largest"), rate, 0.0, wave});
  for (gfx::Handle ax : gfx::figureAxes(iq))
    EXPECT_EQ(gfx::get(gfx::get(ax, "Children").toScalar(), "XData").numel(), wave.numel());
  const gfx::Handle eye =
      open("KS_PlotEyeDiagram", {fig, Value("largest"), wave, 8.0, 8 / rate, 0.0});
  EXPECT_EQ(gfx::figureAxes(eye).size(), 2u);
  const gfx::Handle scatter =
      open("KS_PlotScatterDiagram", {fig, Value("largest"), wave, 4.0, 0.0, 1.0});
  EXPECT_EQ(gfx::get(gfx::figureAxes(scatter).at(0), "Children").numel(), 2u);
  pictures(
      {{iq, "iq-time-largest.png"}, {eye, "eye-largest.png"}, {scatter, "scatter-largest.png"}});
}

}  // namespace
}  // namespace dot11a::test
