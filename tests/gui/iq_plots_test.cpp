// The I/Q time, eye diagram and scatter diagram: their numbers, and the
// windows read back through the graphics layer (names, tags, labels, limits,
// line data and colours, NaN breaks); pictures for a look by eye.
#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QWidget>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <numbers>

#include "gui/graphics/plot_objects.hpp"
#include "gui/plots/iq_data.hpp"
#include "plot_fixture.hpp"

namespace dot11a::test {
namespace {

using plots::Columns;

// 0, 1, 2, ... with -0, -0.5, -1, ... as the imaginary part, or real.
Value ramp(std::size_t n, bool complex = true) {
  std::vector<cplx> s(n);
  std::vector<double> re(n);
  for (std::size_t i = 0; i < n; ++i) {
    s[i] = cplx(double(i), -double(i) / 2);
    re[i] = double(i);
  }
  return complex ? Value::row(std::span<const cplx>(s)) : Value::row(re);
}

// A unit circle walked in steps of `step` radians.
Value circle(std::size_t n, double step) {
  std::vector<cplx> s(n);
  for (std::size_t i = 0; i < n; ++i) s[i] = std::polar(1.0, step * double(i));
  return Value::row(std::span<const cplx>(s));
}

std::vector<double> dataOf(gfx::Handle line, const char* which) {
  return gfx::get(line, which).toDoubles();
}

// ---- numbers ---------------------------------------------------------------------------

TEST(IqTimeData, TimeAxisInTheUnitOfTheWholeDuration) {
  std::vector<cplx> s(1600, cplx(0.5, -0.25));
  const plots::IqTime a = plots::iqTime(s, 20e6);  // 80 us
  EXPECT_EQ(a.units.name, "uS");
  EXPECT_EQ(a.tMax, 80);
  ASSERT_EQ(a.t.size(), 1600u);
  EXPECT_EQ(a.t.front(), 0);
  EXPECT_EQ(a.t.back(), 80);
  EXPECT_NEAR(a.t[1], 80.0 / 1599, 1e-12);
  EXPECT_EQ(a.amplitude, 0.5);
  EXPECT_EQ(a.q[7], -0.25);

  s.resize(16);
  const plots::IqTime b = plots::iqTime(s, 40e6);  // 400 ns
  EXPECT_EQ(b.units.name, "nS");
  EXPECT_EQ(b.tMax, 400);
  // A rate of 0 or below counts as one sample per second: 16 s.
  for (double rate : {0.0, -5.0}) {
    const plots::IqTime c = plots::iqTime(s, rate);
    EXPECT_EQ(c.units.name, "S");
    EXPECT_EQ(c.tMax, 16);
  }
  // One sample still has a time axis of one sample period.
  const plots::IqTime one = plots::iqTime(std::vector<cplx>{cplx(1, 1)}, 1e6);
  EXPECT_EQ(one.t, std::vector<double>{0});
  EXPECT_EQ(one.units.name, "uS");
  EXPECT_EQ(one.tMax, 1);
}

TEST(IqTimeData, EmptyGivesThePlaceholderAndSilenceAVisibleRange) {
  const plots::IqTime p = plots::iqTime({}, 20e6);
  EXPECT_TRUE(p.placeholder);
  ASSERT_EQ(p.i.size(), 100u);
  EXPECT_NEAR(p.i.front(), 1, 1e-12);  // cos(-2 pi)
  EXPECT_NEAR(p.q.back(), 0, 1e-12);   // sin(2 pi)
  EXPECT_NEAR(p.amplitude, 1, 1e-3);
  // All zero: the amplitude range would be [0, 0]; it is [-1, 1] instead.
  const plots::IqTime z = plots::iqTime(std::vector<cplx>(64), 20e6);
  EXPECT_FALSE(z.placeholder);
  EXPECT_EQ(z.amplitude, 1);
  // Only finite values set the range.
  const plots::IqTime f =
      plots::iqTime(std::vector<cplx>{cplx(0.5, 0), cplx(INFINITY, NAN), cplx(0, -2)}, 1);
  EXPECT_EQ(f.amplitude, 2);
}

TEST(PlotColumnsData, RowsColumnsAndComplexParts) {
  const std::vector<double> re{1, 2, 3, 4}, im{5, 6, 7, 8};
  EXPECT_EQ(plots::plotColumns(1, 4, re, {}), (Columns{{1, 2, 3, 4}}));
  EXPECT_EQ(plots::plotColumns(4, 1, re, im), (Columns{{1, 2, 3, 4}, {5, 6, 7, 8}}));
  EXPECT_EQ(plots::plotColumns(2, 2, re, {}), (Columns{{1, 2}, {3, 4}}));
  EXPECT_EQ(plots::plotColumns(2, 2, re, im).size(), 4u);
}

TEST(EyeDiagramData, TracesOfNSamplesCentredWithBreaks) {
  // n 8, offset 0: times -0.375 .. 0.5 of the period in steps of 1/8, a break
  // after samples 5, 13, 21 (1-based), each new trace starting at -0.5 with
  // the repeated previous sample.
  std::vector<double> x(24);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = double(i + 1);
  const double period = 2e-6;
  const plots::EyeDiagram e = plots::eyeDiagram({x}, 8, period, 0);
  ASSERT_EQ(e.t.size(), 24u + 2 * 3);
  const std::vector<double> head{0, .125, .25, .375, .5, NAN, -.5, -.375, -.25, -.125, 0};
  const std::vector<double> headY{1, 2, 3, 4, 5, NAN, 5, 6, 7, 8, 9};
  for (std::size_t k = 0; k < head.size(); ++k) {
    if (std::isnan(head[k])) {
      EXPECT_TRUE(std::isnan(e.t[k]) && std::isnan(e.y[0][k])) << k;
      continue;
    }
    EXPECT_NEAR(e.t[k], head[k] * period, 1e-18) << k;
    EXPECT_EQ(e.y[0][k], headY[k]) << k;
  }
  // Breaks after samples 5, 13 and 21 (sample 24 ends the data).
  std::vector<double> beforeBreak;
  for (std::size_t k = 1; k < e.t.size(); ++k)
    if (std::isnan(e.t[k])) beforeBreak.push_back(e.y[0][k - 1]);
  EXPECT_EQ(beforeBreak, (std::vector<double>{5, 13, 21}));
  EXPECT_NEAR(e.tMin, -0.5 * period, 1e-18);
  EXPECT_NEAR(e.tMax, 0.5 * period, 1e-18);
  EXPECT_NEAR(e.yLimit, 24 * 1.05, 1e-12);
}

TEST(EyeDiagramData, OffsetPutsItsSampleAtTimeZero) {
  std::vector<double> x(40);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = double(i);
  for (double offset : {0.0, 3.0, 7.0}) {
    const plots::EyeDiagram e = plots::eyeDiagram({x}, 8, 1, offset);
    for (std::size_t k = 0; k < e.t.size(); ++k) {
      if (std::isnan(e.t[k]) || (k > 0 && std::isnan(e.t[k - 1]))) continue;  // breaks, copies
      const double sample = e.y[0][k];
      // Sample offset + j n sits at 0; the rest at their distance from it, in
      // (-1/2, 1/2] of the trace.
      double expected = std::remainder(sample - offset, 8) / 8;
      if (expected == -0.5) expected = 0.5;
      EXPECT_NEAR(e.t[k], expected, 1e-12) << "offset " << offset << " sample " << sample;
    }
  }
}

TEST(EyeDiagramData, ChecksInOrderAndDegenerateInputs) {
  const std::vector<double> x{1, 2, 3, 4};
  EXPECT_EQ(errorOf([] { plots::eyeDiagram({}, 4, 1, 0); }), "Input variable X is empty.");
  EXPECT_EQ(errorOf([&] { plots::eyeDiagram({x}, 4, 0, 0); }), "PERIOD must be a positive number.");
  EXPECT_EQ(errorOf([&] { plots::eyeDiagram({x}, 1, -1, 0); }),
            "PERIOD must be a positive number.");
  for (double n : {1.0, 2.5, std::nan("")})
    EXPECT_EQ(errorOf([&] { plots::eyeDiagram({x}, n, 1, 0); }),
              "N must be an integer greater than 1.");
  for (double offset : {4.0, -1.0, 0.5})
    EXPECT_EQ(errorOf([&] { plots::eyeDiagram({x}, 4, 1, offset); }),
              "OFFSET must be a integer in the range 0 <= OFFSET < N.");
  EXPECT_EQ(errorOf([&] {
              plots::eyeDiagram({x, x, x}, 4, 1, 0);
            }),
            "Number of columns in the input data, X, cannot exceed 2.");
  // All zero: a visible range; one sample: half a period either side.
  const plots::EyeDiagram zero = plots::eyeDiagram({{0, 0, 0, 0}}, 2, 1, 0);
  EXPECT_EQ(zero.yLimit, 1);
  const plots::EyeDiagram one = plots::eyeDiagram({{3}}, 2, 4, 0);
  EXPECT_LT(one.tMin, one.tMax);
  EXPECT_EQ(one.tMax - one.tMin, 4);
  // An n far beyond the data is one partial trace, not an overflow.
  EXPECT_EQ(plots::eyeDiagram({x}, 1e300, 1, 0).t.size(), 4u);
}

TEST(ScatterData, EveryNthSampleAfterTheOffset) {
  std::vector<double> re(10), im(10);
  for (std::size_t i = 0; i < 10; ++i) {
    re[i] = double(i + 1);
    im[i] = -double(i + 1);
  }
  const plots::ScatterPoints s = plots::scatterPoints({re, im}, 2, 1);
  EXPECT_EQ(s.i, (std::vector<double>{2, 4, 6, 8, 10}));
  EXPECT_EQ(s.q, (std::vector<double>{-2, -4, -6, -8, -10}));
  EXPECT_EQ(s.maxAbs, 10);
  // A real waveform lies on the in-phase axis.
  const plots::ScatterPoints r = plots::scatterPoints({re}, 3, 0);
  EXPECT_EQ(r.i, (std::vector<double>{1, 4, 7, 10}));
  EXPECT_EQ(r.q, (std::vector<double>(4, 0.0)));
  // Beyond the data: nothing to show.
  EXPECT_TRUE(plots::scatterPoints({re}, 1, 10).i.empty());
  EXPECT_EQ(plots::scatterPoints({re}, 1e300, 1e300).i.size(), 0u);

  EXPECT_EQ(errorOf([] { plots::scatterPoints({}, 1, 0); }), "Input variable X is empty.");
  for (double n : {0.0, -1.0, 1.5})
    EXPECT_EQ(errorOf([&] { plots::scatterPoints({re}, n, 0); }), "N must be a positive integer.");
  for (double offset : {-1.0, 0.5})
    EXPECT_EQ(errorOf([&] { plots::scatterPoints({re}, 1, offset); }),
              "OFFSET must be a nonnegative integer.");
  EXPECT_EQ(errorOf([&] {
              plots::scatterPoints({re, re, re}, 1, 0);
            }),
            "Number of columns in the input data, X, cannot exceed 2.");
}

// ---- windows ---------------------------------------------------------------------------

class IqWindows : public PlotWindowTest {
 protected:
  static void expectPlotMenus(gfx::Handle fig) {
    const Value menus = gfx::guihandles(fig);
    for (const char* tag :
         {"menuPlotPrint", "menuPlotClose", "menuPlotCopy", "KS_Zoom", "KS_Rotate", "KS_ZoomReset"})
      EXPECT_TRUE(menus.hasField(tag)) << tag;
    EXPECT_TRUE(hasTexts(fig, {{"MenuBar", "none"}, {"NumberTitle", "off"}, {"Visible", "on"}}));
  }
  ScopedScriptedDialogs script;
};

TEST_F(IqWindows, IqTimeStackedAxesWithTheirTagsLabelsAndLimits) {
  const Value wave = ramp(1600);
  const gfx::Handle fig = keep(feval1("KS_PlotIQTime", {0.0, Value("(test)"), 20e6, 0.0, wave}));
  EXPECT_EQ(gfx::getString(fig, "Name"), "I(t) Q(t) (test)");
  EXPECT_EQ(gfx::get(fig, "Position"), Value::row({150, 150, 340, 340}));
  expectPlotMenus(fig);
  EXPECT_EQ(gfx::figureAxes(fig).size(), 2u);
  const gfx::Handle axI = axesTagged(fig, "KS_Iwave"), axQ = axesTagged(fig, "KS_Qwave");
  EXPECT_TRUE(hasTexts(axI, {{"Title", "I(t)"}, {"YLabel", "Amplitude (V)"}, {"XLabel", ""}}));
  EXPECT_TRUE(
      hasTexts(axQ, {{"Title", "Q(t)"}, {"YLabel", "Amplitude (V)"}, {"XLabel", "Time (uS)"}}));
  // One amplitude range for both, from the larger of |I| and |Q|.
  for (gfx::Handle ax : {axI, axQ}) {
    EXPECT_EQ(gfx::get(ax, "XLim"), Value::row({0, 80}));
    EXPECT_EQ(gfx::get(ax, "YLim"), Value::row({-1599, 1599}));
  }
  // The upper axes above the lower, of one size, at every window size.
  for (const Value& where : {Value::row({150, 150, 340, 340}), Value::row({50, 50, 900, 700})}) {
    gfx::set(fig, "Position", where);
    QCoreApplication::processEvents();
    gfx::setString(axI, "Units", "pixels");
    gfx::setString(axQ, "Units", "pixels");
    const Value up = gfx::get(axI, "Position"), low = gfx::get(axQ, "Position");
    EXPECT_GT(up.real(1), low.real(1) + low.real(3) + 40);
    EXPECT_EQ(up.real(3), low.real(3));
    EXPECT_EQ(up.real(0), low.real(0));
    EXPECT_GT(low.real(3), 60);
  }
  const auto li = lines(axI), lq = lines(axQ);
  ASSERT_EQ(li.size(), 1u);
  ASSERT_EQ(lq.size(), 1u);
  const std::vector<double> t = dataOf(li[0], "XData");
  ASSERT_EQ(t.size(), 1600u);
  EXPECT_EQ(t.front(), 0);
  EXPECT_EQ(t.back(), 80);
  EXPECT_EQ(dataOf(li[0], "YData")[10], 10);
  EXPECT_EQ(dataOf(lq[0], "YData")[10], -5);
  EXPECT_EQ(gfx::get(li[0], "Color"), Value::row({0, 0, 1}));
  EXPECT_EQ(gfx::get(lq[0], "Color"), Value::row({0, 0, 1}));
  picture(fig, "iq-time-ramp.png");
}

TEST_F(IqWindows, IqTimeOverlaidInOneAxesWithQInMagenta) {
  const gfx::Handle fig =
      keep(feval1("KS_PlotIQTime", {0.0, Value(""), 40e6, 1.0, circle(16, 0.4)}));
  ASSERT_EQ(gfx::figureAxes(fig).size(), 1u);
  const gfx::Handle ax = axesTagged(fig, "KS_IQwave");
  EXPECT_EQ(gfx::getString(ax, "Title"), "I(t) Q(t)");
  EXPECT_EQ(gfx::getString(ax, "XLabel"), "Time (nS)");
  EXPECT_EQ(gfx::getString(ax, "NextPlot"), "replace");
  EXPECT_EQ(gfx::get(ax, "XLim"), Value::row({0, 400}));
  const Value ylim = gfx::get(ax, "YLim");
  EXPECT_NEAR(ylim.real(1), 1, 0.01);
  EXPECT_EQ(ylim.real(0), -ylim.real(1));
  const auto l = lines(ax);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(gfx::get(l[0], "Color"), Value::row({0, 0, 1}));
  EXPECT_EQ(gfx::get(l[1], "Color"), Value::row({1, 0, 1}));
  EXPECT_NEAR(dataOf(l[1], "YData")[1], std::sin(0.4), 1e-12);
  // A legend tells the two traces apart.
  EXPECT_EQ(gfx::getString(ax, "Legend"), "on");
  QCustomPlot* plot = gfx::Axes::of(gfx::widgetOf(ax));
  ASSERT_EQ(plot->legend->itemCount(), 2);
  EXPECT_EQ(plot->plottable(0)->name(), "I(t)");
  EXPECT_EQ(plot->plottable(1)->name(), "Q(t)");
  picture(fig, "iq-time-overlay.png");
}

// Whatever the window size, no text of a plot (the y label above all) runs
// over the edge of its axes: the outermost pixels of each axes are blank.
TEST_F(IqWindows, LabelsAreNeverCutOffAtAnyWindowSize) {
  std::vector<cplx> s(800);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = std::polar(0.0123, 0.05 * double(i));
  const Value wave = Value::row(std::span<const cplx>(s));
  for (double overlay : {0.0, 1.0}) {
    const gfx::Handle fig =
        keep(feval1("KS_PlotIQTime", {0.0, Value("(test)"), 20e6, overlay, wave}));
    for (const Value& where : {Value::row({50, 50, 260, 200}), Value::row({50, 50, 900, 700})}) {
      gfx::set(fig, "Position", where);
      QCoreApplication::processEvents();
      for (gfx::Handle ax : gfx::figureAxes(fig)) {
        const QImage image = gfx::widgetOf(ax)->grab().toImage();
        const QRgb blank = qRgb(255, 255, 255);
        int marked = 0;
        for (int x = 0; x < image.width(); ++x)
          marked += (image.pixel(x, 0) != blank) + (image.pixel(x, image.height() - 1) != blank);
        for (int y = 0; y < image.height(); ++y)
          marked += (image.pixel(0, y) != blank) + (image.pixel(image.width() - 1, y) != blank);
        EXPECT_EQ(marked, 0) << "overlay " << overlay << ", window " << where.real(2) << " x "
                             << where.real(3);
      }
      picture(fig, "iq-time-" + std::string(overlay != 0 ? "overlay-" : "") +
                       std::to_string(int(where.real(2))) + ".png");
    }
  }
}

TEST_F(IqWindows, IqTimeOfNothingOrSilenceStillHasVisibleRanges) {
  const gfx::Handle parent = parentFigure();
  const gfx::Handle empty =
      keep(feval1("KS_PlotIQTime", {parent.toValue(), Value("(test)"), -1.0, 0.0, Value::empty()}));
  EXPECT_EQ(gfx::getString(empty, "Name"), "I(t) Q(t) No Data");
  // 80 % of the parent, moved right and down by a tenth of the new size.
  EXPECT_EQ(gfx::get(empty, "Position"), Value::row({140, 68, 400, 320}));
  // 100 placeholder points at 1 sample per second.
  EXPECT_EQ(gfx::get(axesTagged(empty, "KS_Qwave"), "XLim"), Value::row({0, 100}));
  picture(empty, "iq-time-no-data.png");

  const gfx::Handle zero =
      keep(feval1("KS_PlotIQTime", {0.0, Value("(zero)"), 20e6, 0.0, Value::zeros(1, 800)}));
  for (const char* tag : {"KS_Iwave", "KS_Qwave"})
    EXPECT_EQ(gfx::get(axesTagged(zero, tag), "YLim"), Value::row({-1, 1}));
  picture(zero, "iq-time-all-zero.png");
}

TEST_F(IqWindows, EyeDiagramOfIAndQInTwoAxes) {
  const double period = 8 / 20e6;
  const gfx::Handle fig =
      keep(feval1("KS_PlotEyeDiagram", {0.0, Value("(test)"), circle(64, 0.3), 8.0, period, 0.0}));
  EXPECT_TRUE(hasTexts(fig, {{"Name", "Eye Diagram (test)"}, {"Tag", "Eye Diagram"}}));
  EXPECT_EQ(gfx::get(fig, "Position"), Value::row({150, 150, 340, 340}));
  expectPlotMenus(fig);
  const auto axes = gfx::figureAxes(fig);
  ASSERT_EQ(axes.size(), 2u);
  EXPECT_EQ(gfx::getString(axes[0], "Title"), "Eye Diagram for In-Phase Signal");
  EXPECT_EQ(gfx::getString(axes[1], "Title"), "Eye Diagram for Quadrature Signal");
  for (std::size_t a = 0; a < 2; ++a) {
    EXPECT_TRUE(hasTexts(axes[a], {{"XLabel", "Time"}, {"YLabel", "Amplitude"}}));
    const Value xlim = gfx::get(axes[a], "XLim"), ylim = gfx::get(axes[a], "YLim");
    EXPECT_NEAR(xlim.real(0), -period / 2, 1e-20);
    EXPECT_NEAR(xlim.real(1), period / 2, 1e-20);
    EXPECT_NEAR(ylim.real(1), 1.05, 1e-3);
    EXPECT_EQ(ylim.real(0), -ylim.real(1));
    const auto l = lines(axes[a]);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(gfx::get(l[0], "Color"), Value::row({0, 0, 1}));
    EXPECT_EQ(gfx::getString(l[0], "LineStyle"), "-");
    const std::vector<double> t = dataOf(l[0], "XData"), y = dataOf(l[0], "YData");
    ASSERT_EQ(t.size(), 64u + 2 * 8);
    EXPECT_TRUE(std::isnan(t[5]) && std::isnan(y[5]));
    EXPECT_NEAR(t[6], -period / 2, 1e-20);
    EXPECT_EQ(y[6], y[4]);  // the repeated last sample of the first trace
    const double expected = a == 0 ? std::cos(0.3 * 4) : std::sin(0.3 * 4);
    EXPECT_NEAR(y[4], expected, 1e-12);
  }
  picture(fig, "eye-diagram-circle.png");
}

TEST_F(IqWindows, EyeDiagramClampsTheOffsetAndReportsWhatItCannotPlot) {
  std::vector<double> x(32);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = double(i);
  // Offset 12 with n 8 is 7: sample 7 (0-based) at time 0.
  const gfx::Handle fig =
      keep(feval1("KS_PlotEyeDiagram", {0.0, Value(""), Value::row(x), 8.0, 0.0, 12.0}));
  const auto axes = gfx::figureAxes(fig);
  ASSERT_EQ(axes.size(), 1u);  // real data: one axes
  const gfx::Handle line = lines(axes[0]).at(0);
  const std::vector<double> t = dataOf(line, "XData"), y = dataOf(line, "YData");
  for (std::size_t k = 0; k < t.size(); ++k)
    if (y[k] == 7 || y[k] == 15) {
      EXPECT_EQ(t[k], 0) << k;  // period 0 counts as 1
    }
  EXPECT_TRUE(script->shown.empty());

  // n 1 (after the clamp) cannot be drawn: a dialog and no window.
  auto eyeWindows = [] {
    std::size_t n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "Eye Diagram") ++n;
    return n;
  };
  const std::size_t before = eyeWindows();
  const Value none = feval1("KS_PlotEyeDiagram", {0.0, Value(""), Value::row(x), 0.0, 1.0, 0.0});
  EXPECT_TRUE(none.isEmpty());
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].kind, "error");
  EXPECT_EQ(script->shown[0].title, "Plot Error");
  EXPECT_EQ(script->shown[0].text,
            "Unable to Plot Eye Diagram\nN must be an integer greater than 1.");
  const Value empty = feval1("KS_PlotEyeDiagram", {0.0, Value(""), Value::empty(), 8.0, 1.0, 0.0});
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_EQ(script->shown.back().text, "Unable to Plot Eye Diagram\nInput variable X is empty.");
  // The failed plots left no window behind.
  EXPECT_EQ(eyeWindows(), before);
}

TEST_F(IqWindows, EyediagramPlotterSizesReusesAndRejectsWindows) {
  const gfx::Handle real = keep(feval1("eyediagram", {ramp(40, false), 4.0}));
  EXPECT_EQ(gfx::getString(real, "Name"), "Eye Diagram");
  EXPECT_EQ(gfx::get(real, "Position").real(2), 460);
  EXPECT_EQ(gfx::get(real, "Position").real(3), 360);
  ASSERT_EQ(gfx::figureAxes(real).size(), 1u);
  EXPECT_EQ(gfx::getString(gfx::figureAxes(real)[0], "Title"), "Eye Diagram ");
  const gfx::Handle both = keep(feval1("eyediagram", {ramp(40), 4.0, 1.0, 1.0, Value("r:")}));
  EXPECT_EQ(gfx::get(both, "Position").real(3), 540);
  const gfx::Handle line = lines(gfx::figureAxes(both)[1]).at(0);
  EXPECT_EQ(gfx::get(line, "Color"), Value::row({1, 0, 0}));
  EXPECT_EQ(gfx::getString(line, "LineStyle"), ":");

  // Drawn again into the same window: the same axes, the new data.
  EXPECT_EQ(feval1("eyediagram", {ramp(24, false), 4.0, 1.0, 0.0, Value("b-"), real.toValue()})
                .toScalar(),
            real.id());
  ASSERT_EQ(gfx::figureAxes(real).size(), 1u);
  EXPECT_EQ(lines(gfx::figureAxes(real)[0]).size(), 1u);
  EXPECT_NEAR(gfx::get(gfx::figureAxes(real)[0], "YLim").real(1), 23 * 1.05, 1e-9);

  std::vector<std::string> warnings;
  const auto previous = setWarningSink([&](std::string_view w) { warnings.emplace_back(w); });
  const gfx::Handle fresh =
      keep(feval1("eyediagram", {ramp(8, false), 2.0, 1.0, 0.0, Value("b-"), 987654.0}));
  setWarningSink(previous);
  EXPECT_NE(fresh.id(), 987654.0);
  EXPECT_EQ(warnings,
            std::vector<std::string>{"Ignoring invalid handle H. Creating a new eye diagram."});

  const gfx::Handle other = gfx::newFigure();
  figs.push_back(other);
  EXPECT_EQ(errorOf([&] {
              feval("eyediagram", 1, {ramp(8), 2.0, 1.0, 0.0, Value("b-"), other.toValue()});
            }),
            "Figure is not an existing eye diagram.\nUse an existing eye diagram or do not use a "
            "figure handle as an input");
  EXPECT_EQ(gfx::figureAxes(other).size(), 0u);
}

TEST_F(IqWindows, ScatterDiagramOfDecimatedPointsWithEqualScales) {
  // Samples 2, 4, 6, 8, 10 of ten on the unit circle, a quarter turn apart:
  // the largest |I| or |Q| shown is 1, so the limits are 1.07 each way.
  const double step = std::numbers::pi / 2;
  const Value wave = circle(10, step);
  const gfx::Handle fig =
      keep(feval1("KS_PlotScatterDiagram", {0.0, Value("(test)"), wave, 2.0, 1.0, 0.0}));
  EXPECT_TRUE(hasTexts(fig, {{"Name", "Scatter Diagram (test)"}, {"Tag", "Scatter Plot"}}));
  EXPECT_EQ(gfx::get(fig, "Position"), Value::row({150, 150, 340, 340}));
  expectPlotMenus(fig);
  const auto axes = gfx::figureAxes(fig);
  ASSERT_EQ(axes.size(), 1u);
  const gfx::Handle ax = axes[0];
  EXPECT_TRUE(
      hasTexts(ax, {{"Title", "Scatter plot"}, {"XLabel", "In-Phase"}, {"YLabel", "Quadrature"}}));
  EXPECT_NEAR(gfx::get(ax, "XLim").real(1), 1.07, 1e-12);
  EXPECT_EQ(gfx::get(ax, "XLim"), gfx::get(ax, "YLim"));
  EXPECT_EQ(gfx::get(ax, "XLim").real(0), -gfx::get(ax, "XLim").real(1));
  const auto l = lines(ax);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(gfx::get(l[0], "Color"), Value::row({0, 0, 1}));
  EXPECT_EQ(gfx::getString(l[0], "Marker"), ".");
  EXPECT_EQ(gfx::getString(l[0], "LineStyle"), "none");
  const std::vector<double> i = dataOf(l[0], "XData"), q = dataOf(l[0], "YData");
  ASSERT_EQ(i.size(), 5u);
  for (std::size_t k = 0; k < 5; ++k) {
    EXPECT_NEAR(i[k], std::cos(step * double(2 * k + 1)), 1e-12);
    EXPECT_NEAR(q[k], std::sin(step * double(2 * k + 1)), 1e-12);
  }
  // The plot box is square, in this window and in a wide one.
  QCoreApplication::processEvents();
  for (const Value& where : {Value::row({150, 150, 340, 340}), Value::row({50, 50, 700, 300})}) {
    gfx::set(fig, "Position", where);
    QCoreApplication::processEvents();
    gfx::setString(ax, "Units", "pixels");
    const Value box = gfx::get(ax, "Position");
    EXPECT_EQ(box.real(2), box.real(3));
    EXPECT_GT(box.real(2), 100);
  }
  picture(fig, "scatter-circle.png");
}

TEST_F(IqWindows, ScatterTraceJoinsEverySampleUnderTheDots) {
  std::vector<cplx> s(12);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = std::polar(0.9, 0.4 * double(i));
  s[6] = cplx(0, -2);
  const Value wave = Value::row(std::span<const cplx>(s));
  // Offset 5 with n 4 is 3: dots at samples 4, 8, 12 (1-based), the trace
  // from sample 4 on, the limits from the largest |I| or |Q| of the trace (2).
  const gfx::Handle fig =
      keep(feval1("KS_PlotScatterDiagram", {0.0, Value(""), wave, 4.0, 5.0, 1.0}));
  const gfx::Handle ax = gfx::figureAxes(fig).at(0);
  const auto l = lines(ax);
  ASSERT_EQ(l.size(), 2u);
  const Value cyan = gfx::get(l[0], "Color");
  EXPECT_EQ(cyan.real(0), 0);
  EXPECT_GT(cyan.real(1), 0.7);
  EXPECT_EQ(cyan.real(1), cyan.real(2));
  EXPECT_EQ(gfx::getString(l[0], "LineStyle"), "-");
  EXPECT_EQ(dataOf(l[0], "XData").size(), 9u);
  EXPECT_EQ(gfx::get(l[1], "Color"), Value::row({0, 0, 1}));
  const std::vector<double> dots = dataOf(l[1], "XData");
  ASSERT_EQ(dots.size(), 3u);
  EXPECT_NEAR(dots[0], 0.9 * std::cos(0.4 * 3), 1e-12);
  EXPECT_NEAR(gfx::get(ax, "YLim").real(1), 2 * 1.07, 1e-12);
  EXPECT_EQ(gfx::getString(ax, "NextPlot"), "replace");

  // n 1: the trace and the dots cover the same samples.
  const gfx::Handle same =
      keep(feval1("KS_PlotScatterDiagram", {0.0, Value(""), wave, 1.0, 0.0, 1.0}));
  const auto l1 = lines(gfx::figureAxes(same).at(0));
  ASSERT_EQ(l1.size(), 2u);
  EXPECT_EQ(dataOf(l1[0], "XData"), dataOf(l1[1], "XData"));
  EXPECT_EQ(dataOf(l1[0], "YData"), dataOf(l1[1], "YData"));
  picture(fig, "scatter-trace.png");
}

TEST_F(IqWindows, ScatterOfRealSilenceAndNothing) {
  const gfx::Handle real =
      keep(feval1("KS_PlotScatterDiagram", {0.0, Value(""), ramp(9, false), 1.0, 0.0, 0.0}));
  const gfx::Handle ax = gfx::figureAxes(real).at(0);
  const gfx::Handle dots = lines(ax).at(0);
  EXPECT_EQ(dataOf(dots, "YData"), std::vector<double>(9, 0.0));
  EXPECT_NEAR(gfx::get(ax, "XLim").real(1), 8 * 1.07, 1e-12);

  // All zero: a visible range rather than +-eps.
  const gfx::Handle zero =
      keep(feval1("KS_PlotScatterDiagram", {0.0, Value(""), Value::zeros(1, 40), 4.0, 0.0, 1.0}));
  const gfx::Handle zax = gfx::figureAxes(zero).at(0);
  EXPECT_EQ(gfx::get(zax, "XLim"), Value::row({-1, 1}));
  EXPECT_EQ(gfx::get(zax, "YLim"), Value::row({-1, 1}));
  picture(zero, "scatter-all-zero.png");

  const Value none =
      feval1("KS_PlotScatterDiagram", {0.0, Value(""), Value::empty(), 4.0, 0.0, 1.0});
  EXPECT_TRUE(none.isEmpty());
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].title, "Plot Error");
  EXPECT_EQ(script->shown[0].text, "Unable to Plot Scatter Diagram\nInput variable X is empty.");
}

TEST_F(IqWindows, ScatterplotPlotterChecksAndWindows) {
  const gfx::Handle fig = keep(feval1("scatterplot", {ramp(6)}));
  EXPECT_EQ(gfx::getString(fig, "Name"), "Scatter Plot");
  const Value pos = gfx::get(fig, "Position");
  EXPECT_EQ(pos.real(2), pos.real(3));  // square
  EXPECT_EQ(errorOf([] {
              feval("scatterplot", 1, {ramp(6), 0.0});
            }),
            "N must be a positive integer.");
  EXPECT_EQ(errorOf([] {
              feval("scatterplot", 1, {ramp(6), 1.0, -1.0});
            }),
            "OFFSET must be a nonnegative integer.");
  const gfx::Handle other = gfx::newFigure();
  figs.push_back(other);
  EXPECT_EQ(errorOf([&] {
              feval("scatterplot", 1, {ramp(6), 1.0, 0.0, Value("b."), other.toValue()});
            }),
            "Figure is not an existing scatter plot.\nUse an existing scatter plot or do not use a "
            "figure handle as an input");
  // Reused without hold: the axes start again from this plot's points.
  feval("scatterplot", 1, {circle(4, 1), 1.0, 0.0, Value("r."), fig.toValue()});
  const gfx::Handle ax = gfx::figureAxes(fig).at(0);
  EXPECT_EQ(lines(ax).size(), 1u);
  EXPECT_NEAR(gfx::get(ax, "XLim").real(1), 1.07, 1e-12);
  std::vector<std::string> warnings;
  const auto previous = setWarningSink([&](std::string_view w) { warnings.emplace_back(w); });
  keep(feval1("scatterplot", {ramp(6), 1.0, 0.0, Value("b."), -3.0}));
  setWarningSink(previous);
  EXPECT_EQ(warnings,
            std::vector<std::string>{"Ignoring invalid handle, H. Creating a new scatter plot."});
}

}  // namespace
}  // namespace dot11a::test
