// Axes, lines and surfaces of the graphics layer: drawn through the layer, read
// back through get, saved as pictures.
#include <QImage>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "plot_fixture.hpp"

namespace dot11a::test {
namespace {

namespace fs = std::filesystem;

// Pictures go to a folder of the test's own; DOT11A_PLOT_DIR keeps them.
class Plots : public FigureTest {
 protected:
  Plots() : FigureTest("plots", true) {}
};

TEST_F(Plots, OneLineDrawnReadBackAndSavedAsPng) {
  gfx::setString(fig, "Name", "Magnitude Spectrum test");
  gfx::set(fig, "Position", row({50, 80, 640, 480}));
  const gfx::Handle ax = gfx::newAxes(fig);
  std::vector<double> x(201), y(201);
  for (std::size_t i = 0; i < x.size(); ++i) {
    x[i] = -10 + 0.1 * double(i);
    y[i] = -60 + 60 * std::exp(-x[i] * x[i] / 8);
  }
  y[150] = std::numeric_limits<double>::quiet_NaN();  // a break in the line
  const gfx::Handle line = gfx::plotLine(ax, x, y);
  gfx::set(ax, "XLim", row({-10, 10}));
  gfx::set(ax, "YLim", row({-70, 0}));
  gfx::setString(ax, "XLabel", "Frequency (MHz)");
  gfx::setString(ax, "YLabel", "LogMag (dB)");
  gfx::setString(ax, "Title", "Spectrum");
  gfx::setString(ax, "XGrid", "on");
  gfx::setString(ax, "YGrid", "on");
  gfx::setString(ax, "Tag", "KS_Spectrum");

  EXPECT_EQ(gfx::get(ax, "XLim"), row({-10, 10}));
  EXPECT_EQ(gfx::get(ax, "YLim"), row({-70, 0}));
  EXPECT_TRUE(hasTexts(ax, {{"XLimMode", "manual"},
                            {"XLabel", "Frequency (MHz)"},
                            {"YLabel", "LogMag (dB)"},
                            {"Title", "Spectrum"},
                            {"XGrid", "on"},
                            {"Type", "axes"}}));
  EXPECT_EQ(gfx::getString(line, "Type"), "line");
  EXPECT_EQ(gfx::get(line, "Parent").toScalar(), ax.id());
  EXPECT_EQ(gfx::get(ax, "Parent").toScalar() != 0, true);
  EXPECT_EQ(gfx::get(ax, "Children").toScalar(), line.id());
  EXPECT_EQ(gfx::guihandles(fig).field("KS_Spectrum").toScalar(), ax.id());
  const Value xd = gfx::get(line, "XData"), yd = gfx::get(line, "YData");
  ASSERT_EQ(xd.numel(), 201u);
  EXPECT_DOUBLE_EQ(xd.real(0), -10);
  EXPECT_DOUBLE_EQ(yd.real(100), 0);
  EXPECT_TRUE(std::isnan(yd.real(150)));               // the break is kept as given
  EXPECT_EQ(gfx::get(line, "Color"), row({0, 0, 1}));  // the first colour of the order

  const fs::path png = dir / "one-axes-one-line.png";
  gfx::savePicture(fig, png.string());
  QImage img(QString::fromStdString(png.string()));
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.width(), 640);
  // The line is drawn in blue somewhere inside the plot box.
  int blue = 0;
  for (int yy = 0; yy < img.height(); ++yy)
    for (int xx = 0; xx < img.width(); ++xx) {
      const QColor c = img.pixelColor(xx, yy);
      blue += c.blue() > c.red() + 60 && c.blue() > c.green() + 60;
    }
  EXPECT_GT(blue, 100);
  gfx::savePicture(fig, (dir / "one-axes-one-line.pdf").string());
  EXPECT_GT(fs::file_size(dir / "one-axes-one-line.pdf"), 500u);
  EXPECT_THROW(gfx::savePicture(fig, (dir / "no-such-folder" / "x.png").string()), Error);
}

TEST_F(Plots, AxesPropertiesAreCheckedAndKeptPerKind) {
  const gfx::Handle ax = gfx::newAxes(fig, {0.1, 0.2, 0.8, 0.6});
  EXPECT_EQ(gfx::get(ax, "Position"), row({0.1, 0.2, 0.8, 0.6}));
  EXPECT_EQ(gfx::getString(ax, "Units"), "normalized");
  EXPECT_THROW(gfx::set(ax, "XLim", row({1, 1})), Error);
  EXPECT_THROW(gfx::set(ax, "XLim", row({2, 1})), Error);
  EXPECT_THROW(gfx::set(ax, "YScale", Value("cubic")), Error);
  EXPECT_THROW(gfx::set(ax, "Position", row({0, 0, 1})), Error);
  EXPECT_THROW(gfx::get(ax, "String"), Error);  // a control's property
  EXPECT_THROW(gfx::set(ax, "Children", Value::empty()), Error);
  EXPECT_FALSE(gfx::hasProperty(ax, "FontSize"));
  EXPECT_TRUE(gfx::hasProperty(ax, "ylim"));  // names match whatever their case
  // Log scale: limits must stay above 0.
  gfx::setString(ax, "YScale", "log");
  EXPECT_EQ(gfx::getString(ax, "YScale"), "log");
  EXPECT_THROW(gfx::set(ax, "YLim", row({0, 100})), Error);
  gfx::set(ax, "YLim", row({0.001, 100}));
  EXPECT_EQ(gfx::get(ax, "YLim"), row({0.001, 100}));
  gfx::set(ax, "XTick", row({0, 2, 4, 6}));
  EXPECT_EQ(gfx::get(ax, "XTick"), row({0, 2, 4, 6}));
  gfx::setString(ax, "GridLineStyle", ":");
  EXPECT_THROW(gfx::setString(ax, "GridLineStyle", "~"), Error);
  gfx::set(ax, "XColor", Value("black"));
  EXPECT_EQ(gfx::get(ax, "XColor"), row({0, 0, 0}));
  // The window's own properties are untouched by the axes' rows.
  EXPECT_EQ(gfx::getString(fig, "Units"), "pixels");
  gfx::setString(fig, "MenuBar", "none");
  gfx::setString(fig, "NumberTitle", "off");
  EXPECT_EQ(gfx::getString(fig, "MenuBar"), "none");
  EXPECT_EQ(gfx::getString(fig, "NumberTitle"), "off");
  EXPECT_THROW(gfx::setString(fig, "MenuBar", "some"), Error);
  const auto names = gfx::propertyNames(ax);
  EXPECT_NE(std::find(names.begin(), names.end(), "XScale"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "Callback"), names.end());
}

TEST_F(Plots, HoldKeepsEarlierLinesAndLimitsFollowTheData) {
  const gfx::Handle ax = gfx::currentAxes(fig);
  EXPECT_EQ(gfx::currentAxes(fig), ax);  // made once, then found
  const std::vector<double> x{0, 1, 2, 3}, y{1, 3, 2, 5}, y2{0, 0, 0, 0};
  const gfx::Handle first = gfx::plotLine(ax, x, y);
  EXPECT_EQ(gfx::get(ax, "XLim"), row({0, 3}));
  EXPECT_EQ(gfx::get(ax, "YLim"), row({1, 5}));
  gfx::setString(ax, "NextPlot", "add");
  const gfx::Handle second = gfx::plotLine(ax, x, y2, "c-");
  EXPECT_TRUE(gfx::isHandle(first));
  EXPECT_EQ(gfx::get(second, "Color"), gfx::get(second, "Color"));
  EXPECT_EQ(gfx::get(ax, "YLim"), row({0, 5}));
  EXPECT_EQ(gfx::get(ax, "Children").numel(), 2u);
  gfx::setString(ax, "NextPlot", "replace");
  const gfx::Handle third = gfx::plotLine(ax, x, y2, "b.");
  QCoreApplication::processEvents();
  EXPECT_FALSE(gfx::isHandle(first));
  EXPECT_EQ(gfx::getString(third, "LineStyle"), "none");
  EXPECT_EQ(gfx::getString(third, "Marker"), ".");
  // A flat line still gets a visible range.
  const Value lim = gfx::get(ax, "YLim");
  EXPECT_LT(lim.real(0), 0);
  EXPECT_GT(lim.real(1), 0);
  EXPECT_THROW(gfx::plotLine(ax, x, std::vector<double>{1, 2}), Error);
  EXPECT_THROW(gfx::plotLine(ax, x, y, "q"), Error);
  gfx::set(third, "LineStyle", Value("--"));
  EXPECT_EQ(gfx::getString(third, "LineStyle"), "--");
  gfx::set(third, "Color", row({0.7, 0.7, 0.7}));
  EXPECT_NEAR(gfx::get(third, "Color").real(0), 0.7, 0.01);
}

TEST_F(Plots, LinesThatRunBackInTimeKeepTheirOrder) {
  const gfx::Handle ax = gfx::newAxes(fig);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Two eye traces: the second starts again at the left.
  const std::vector<double> x{-0.5, 0, 0.5, nan, -0.5, 0, 0.5};
  const std::vector<double> y{0, 1, 0, nan, 0, -1, 0};
  const gfx::Handle line = gfx::plotLine(ax, x, y);
  EXPECT_EQ(gfx::get(line, "XData").numel(), 7u);
  EXPECT_DOUBLE_EQ(gfx::get(line, "XData").real(4), -0.5);
  EXPECT_EQ(gfx::get(ax, "XLim"), row({-0.5, 0.5}));
  EXPECT_NO_THROW(gfx::savePicture(ax, (dir / "eye-traces.png").string()));
}

TEST_F(Plots, SurfaceKeepsItsMatricesAndTurnsWithTheView) {
  const gfx::Handle ax = gfx::newAxes(fig);
  const std::size_t rows = 16, cols = 8;
  std::vector<double> x(rows * cols), y(rows * cols), z(rows * cols);
  for (std::size_t c = 0; c < cols; ++c)
    for (std::size_t r = 0; r < rows; ++r) {
      const std::size_t k = c * rows + r;
      x[k] = -8 + double(r);
      y[k] = double(c);
      z[k] = -40 + 30 * std::exp(-double((r - 8) * (r - 8)) / 6) - double(c);
    }
  const Value X = Value::matrix(rows, cols, x), Y = Value::matrix(rows, cols, y),
              Z = Value::matrix(rows, cols, z);
  const gfx::Handle s = gfx::addSurface(ax, X, Y, Z);
  EXPECT_EQ(gfx::getString(s, "Type"), "surface");
  EXPECT_EQ(gfx::get(s, "ZData"), Z);
  EXPECT_EQ(gfx::get(ax, "View"), row({-37.5, 30}));
  gfx::set(ax, "ZLim", row({-50, 0}));
  gfx::setString(ax, "ZLabel", "LogMag (dB)");
  EXPECT_EQ(gfx::get(ax, "ZLim"), row({-50, 0}));
  EXPECT_EQ(gfx::getString(ax, "ZLabel"), "LogMag (dB)");
  EXPECT_THROW(gfx::addSurface(ax, X, Y, Value::matrix(2, 2, {1, 2, 3, 4})), Error);
  EXPECT_THROW(gfx::set(s, "XData", row({1, 2})), Error);
  gfx::set(ax, "View", row({30, 45}));
  EXPECT_EQ(gfx::get(ax, "View"), row({30, 45}));
  gfx::savePicture(fig, (dir / "waterfall.png").string());
  EXPECT_TRUE(fs::exists(dir / "waterfall.png"));
}

}  // namespace
}  // namespace dot11a::test
