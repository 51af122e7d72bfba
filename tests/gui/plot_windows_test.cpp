// The spectrum, waterfall and CCDF windows: names, menus, axes and data read
// back through the graphics layer; pictures for a look by eye.
#include <QCoreApplication>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>

#include "plot_fixture.hpp"

namespace dot11a::test {
namespace {

Value tone(std::size_t n, double freq, double rate) {
  std::vector<cplx> s(n);
  for (std::size_t i = 0; i < n; ++i)
    s[i] = std::polar(1.0, 2 * std::numbers::pi * freq * double(i) / rate);
  return Value::row(std::span<const cplx>(s));
}

using PlotWindows = PlotWindowTest;

TEST_F(PlotWindows, SpectrumOfAToneIsLabelledAndPeaksAtItsFrequency) {
  const gfx::Handle fig =
      keep(feval1("KS_PlotSpectrum", {0.0, Value("(test)"), 20e6, tone(1600, 3e6, 20e6)}));
  EXPECT_TRUE(hasTexts(fig, {{"Name", "Magnitude Spectrum (test)"},
                             {"NumberTitle", "off"},
                             {"MenuBar", "none"},
                             {"Visible", "on"}}));
  EXPECT_EQ(gfx::get(fig, "Position"), Value::row({50, 480, 300, 300}));
  const Value menus = gfx::guihandles(fig);
  for (const char* tag : {"KS_Zoom", "KS_Rotate", "KS_ZoomReset", "menuPlotPrint", "menuPlotClose"})
    EXPECT_TRUE(menus.hasField(tag)) << tag;
  EXPECT_EQ(gfx::getString(menus.field("KS_Rotate").toScalar(), "Enable"), "off");
  const gfx::Handle ax = onlyAxes(fig);
  EXPECT_TRUE(hasTexts(ax, {{"XLabel", "Frequency (MHz)"},
                            {"YLabel", "LogMag (dB)"},
                            {"Title", "Spectrum"},
                            {"XGrid", "on"}}));
  EXPECT_EQ(gfx::get(ax, "XLim"), Value::row({-10, 10}));
  EXPECT_EQ(gfx::get(ax, "YLim").real(1), 0);
  const gfx::Handle line = gfx::get(ax, "Children").toScalar();
  const Value x = gfx::get(line, "XData"), y = gfx::get(line, "YData");
  std::size_t peak = 0;
  for (std::size_t i = 0; i < y.numel(); ++i)
    if (y.real(i) > y.real(peak)) peak = i;
  EXPECT_NEAR(x.real(peak), 3.0, 1e-9);
  picture(fig, "spectrum-tone.png");
}

TEST_F(PlotWindows, SpectrumIsPlacedOverItsParent) {
  const gfx::Handle parent = parentFigure();
  const gfx::Handle fig =
      keep(feval1("KS_PlotSpectrum", {parent.toValue(), Value(""), 0.0, Value::empty()}));
  EXPECT_EQ(gfx::get(fig, "Position"), Value::row({150, 172, 400, 320}));
  const gfx::Handle ax = onlyAxes(fig);
  EXPECT_EQ(gfx::getString(ax, "XLabel"), "Frequency (Hz)");  // a rate of 0 counts as 1 Hz
  EXPECT_EQ(gfx::get(ax, "XLim"), Value::row({-0.5, 0.5}));
}

TEST_F(PlotWindows, WaterfallShowsFiniteSlicesOverFrequencyAndTime) {
  std::vector<cplx> burst(5600, 0.0);
  for (std::size_t i = 0; i < 2000; ++i) burst[i] = std::polar(1.0, 0.7 * double(i));
  const gfx::Handle fig =
      keep(feval1("KS_PlotWaterfall", {0.0, Value("(test)"), 40e6, 5600 / 40e6 / 100,
                                       Value::row(std::span<const cplx>(burst))}));
  EXPECT_EQ(gfx::getString(fig, "Name"), "Spectrum Waterfall (test)");
  const gfx::Handle ax = onlyAxes(fig);
  EXPECT_EQ(gfx::getString(ax, "ZLabel"), "LogMag (dB)");
  EXPECT_EQ(gfx::getString(ax, "YLabel"), "Time (uS)");
  EXPECT_EQ(gfx::get(ax, "XLim"), Value::row({-20, 20}));
  const gfx::Handle surface = gfx::get(ax, "Children").toScalar();
  const Value z = gfx::get(surface, "ZData");
  EXPECT_EQ(z.rows(), 56u);
  EXPECT_EQ(z.cols(), 100u);
  for (std::size_t i = 0; i < z.numel(); ++i) ASSERT_TRUE(std::isfinite(z.real(i)));
  EXPECT_EQ(gfx::getString(gfx::guihandles(fig).field("KS_Rotate").toScalar(), "Enable"), "on");
  picture(fig, "waterfall-burst.png");
}

TEST_F(PlotWindows, CcdfOfTheTestSignalOnALogAxisWithItsReference) {
  const gfx::Handle fig = keep(feval1("KS_PlotCCDF", {}));
  EXPECT_EQ(gfx::getString(fig, "Name"), "CCDF Test Data");
  EXPECT_EQ(gfx::get(fig, "Position"), Value::row({150, 150, 340, 340}));
  const gfx::Handle ax = onlyAxes(fig);
  EXPECT_EQ(gfx::getString(ax, "Tag"), "KS_CCDF");
  EXPECT_EQ(gfx::getString(ax, "YScale"), "log");
  EXPECT_EQ(gfx::get(ax, "YLim").real(1), 100);
  EXPECT_EQ(gfx::get(ax, "XLim"), Value::row({0, 20}));
  EXPECT_EQ(gfx::get(ax, "XTick").numel(), 11u);
  const Value lines = gfx::get(ax, "Children");
  ASSERT_EQ(lines.numel(), 2u);
  // The newest first: the grey reference, then the measured curve.
  EXPECT_NEAR(gfx::get(lines.real(0), "Color").real(1), 0.7, 0.01);
  EXPECT_NEAR(gfx::get(lines.real(0), "YData").real(0), 100 * std::exp(-1.0), 1e-9);
  picture(fig, "ccdf-test-data.png");
}

TEST_F(PlotWindows, PlotMenusCloseTheWindowAndResetTheZoom) {
  const gfx::Handle fig =
      keep(feval1("KS_PlotSpectrum", {0.0, Value(""), 20e6, tone(64, 1e6, 20e6)}));
  const Value menus = gfx::guihandles(fig);
  const gfx::Handle ax = onlyAxes(fig);
  // Limits the program set are the view a reset returns to (the user's zoom
  // and its reset are in plot_tools_test.cpp).
  gfx::set(ax, "XLim", Value::row({-1, 1}));
  gfx::runCallback(menus.field("KS_ZoomReset").toScalar());
  EXPECT_EQ(gfx::get(ax, "XLim"), Value::row({-1, 1}));
  gfx::runCallback(menus.field("KS_Zoom").toScalar());
  EXPECT_EQ(gfx::getString(fig, "ZoomMode"), "on");
  gfx::runCallback(menus.field("menuPlotClose").toScalar());
  QCoreApplication::processEvents();
  EXPECT_FALSE(gfx::isHandle(fig));
}

}  // namespace
}  // namespace dot11a::test
