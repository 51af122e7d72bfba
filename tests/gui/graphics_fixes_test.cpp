// Slider callbacks and the drawing of lines: a slider's callback sees the
// value the user moved it to, once per change; a plot is not drawn again
// when nothing changed; "." markers are single dots.
#include <QMainWindow>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <cmath>

#include "gui/graphics/plot_objects.hpp"
#include "gui_fixture.hpp"

namespace dot11a::test {
namespace {

std::vector<double> seen;  // the slider's Value as each callback read it
void recordSliderValue(Call& c) {
  seen.push_back(gfx::getNumber(gfx::handleFrom(c.in(0, "bar"), "test"), "Value"));
}

class GraphicsFixes : public ::testing::Test {
 protected:
  void SetUp() override {
    useLibrary();
    registerBuiltin(
        {"testRecordSliderValue", kAny, 0, 1, "testRecordSliderValue", recordSliderValue});
    seen.clear();
    fig = gfx::newFigure();
  }
  void TearDown() override {
    gfx::deleteFigure(fig);
    QCoreApplication::processEvents();
  }
  // A vertical scroll bar 0..43 tagged "bar", wired as a layout's control is.
  QScrollBar* addBar() {
    auto* win = qobject_cast<QMainWindow*>(gfx::widgetOf(fig));
    auto* bar = new QScrollBar(Qt::Vertical, win->centralWidget());
    bar->setObjectName("bar");
    bar->setRange(0, 43);
    bar->setPageStep(10);
    const double h = gfx::guihandles(fig).field("bar").toScalar();
    gfx::setString(h, "Callback", "testRecordSliderValue(gcbo)");
    return bar;
  }
  double fig = 0;
};

TEST_F(GraphicsFixes, SliderCallbackReadsTheNewValueOncePerChange) {
  QScrollBar* bar = addBar();
  QTest::keyClick(bar, Qt::Key_Down);
  QTest::keyClick(bar, Qt::Key_PageDown);
  EXPECT_EQ(seen, (std::vector<double>{1, 11}));
  QTest::keyClick(bar, Qt::Key_End);
  QTest::keyClick(bar, Qt::Key_Down);  // already at the end: no change, no callback
  EXPECT_EQ(seen, (std::vector<double>{1, 11, 43}));

  // The wheel, and a drag released at a new position (without tracking the
  // value changes only on release).
  seen.clear();
  QWheelEvent wheel(QPointF(2, 2), bar->mapToGlobal(QPointF(2, 2)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(bar, &wheel);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], bar->value());
  EXPECT_LT(seen[0], 43);
  bar->setTracking(false);
  bar->setSliderDown(true);
  bar->setSliderPosition(7);
  EXPECT_EQ(seen.size(), 1u);  // still dragging
  bar->setSliderDown(false);
  EXPECT_EQ(seen, (std::vector<double>{seen[0], 7}));

  // Values set by the program run no callback, and a later step past the
  // end still runs none.
  seen.clear();
  gfx::setNumber(gfx::handleOf(bar), "Value", 0);
  QTest::keyClick(bar, Qt::Key_Up);
  gfx::setNumber(gfx::handleOf(bar), "Value", 20);
  EXPECT_TRUE(seen.empty());
}

// Numbers set by name past any int: a slider clamps them to its range as it
// does any other value, a position to the largest widget; a waterfall period
// that would size its slices past memory is refused.
TEST_F(GraphicsFixes, NumbersPastAnIntAreClampedOrRefused) {
  QScrollBar* bar = addBar();
  const double h = gfx::handleOf(bar);
  gfx::setNumber(h, "Value", 1e19);
  EXPECT_EQ(bar->value(), 43);
  gfx::setNumber(h, "Value", -1e19);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_NE(errorOf([&] { gfx::setNumber(h, "Value", std::nan("")); }).find("not NaN"),
            std::string::npos);
  gfx::set(h, "Position", Value::row({1e19, 0, 10, 20}));
  EXPECT_EQ(bar->x(), QWIDGETSIZE_MAX);
  const Value wave = Value::row({1, 2, 3, 4});
  EXPECT_NE(
      errorOf([&] {
        feval("KS_PlotWaterfall", 1, {Value::absent(), Value("x"), Value(1.0), Value(1e19), wave});
      }).find("shorter period"),
      std::string::npos);
}

TEST_F(GraphicsFixes, AWindowIsDrawnOnceWhenItAppearsAndAgainAfterAChange) {
  const double axes = gfx::newAxes(fig);
  std::vector<double> x(2000), y(2000);
  for (std::size_t i = 0; i < x.size(); ++i) {
    x[i] = double(i % 50);  // running back in time, as eye traces do
    y[i] = std::sin(0.1 * double(i));
  }
  gfx::plotLine(axes, x, y, "b-");
  auto* a = gfx::Axes::of(gfx::objectOf(axes));
  int replots = 0;
  QObject::connect(a, &QCustomPlot::afterReplot, a, [&replots] { ++replots; });
  gfx::widgetOf(fig)->show();
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(replots, 1);
  EXPECT_TRUE(a->upToDate());
  // A change after the window is up is drawn in the next pass, once.
  gfx::set(axes, "YLim", Value::row(std::vector<double>{-2, 2}));
  gfx::set(axes, "XLim", Value::row(std::vector<double>{0, 10}));
  EXPECT_FALSE(a->upToDate());
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(replots, 2);
  EXPECT_TRUE(a->upToDate());
  EXPECT_EQ(a->yAxis->range().upper, 2);
}

TEST_F(GraphicsFixes, DotMarkersAreDrawnAsDotsOfTheDiscsSize) {
  const double axes = gfx::newAxes(fig);
  const std::vector<double> x{3, 1, 2}, y{1, 2, 3};
  auto* dots = gfx::LineObject::of(gfx::objectOf(gfx::plotLine(axes, x, y, "b.")));
  auto* curve = qobject_cast<QCPCurve*>(dots->drawn.data());
  ASSERT_NE(curve, nullptr);
  EXPECT_EQ(curve->scatterStyle().shape(), QCPScatterStyle::ssDot);
  // The default marker size 6 gave a disc of 2.4 pixels with a 1-pixel
  // outline: the dot covers about the same area.
  EXPECT_NEAR(curve->scatterStyle().pen().widthF(), 3.0, 0.05);
  EXPECT_EQ(curve->scatterStyle().pen().color(), QColor(0, 0, 255));
  gfx::set(axes, "NextPlot", Value("add"));
  auto* circles = gfx::LineObject::of(gfx::objectOf(gfx::plotLine(axes, x, y, "ro")));
  EXPECT_EQ(qobject_cast<QCPCurve*>(circles->drawn.data())->scatterStyle().shape(),
            QCPScatterStyle::ssCircle);
}

}  // namespace
}  // namespace dot11a::test
