// The plotting commands of the operation table (subplot, title, xlabel,
// ylabel, clf, waterfall) called by name, as host programs and callbacks call
// them, and read back through the graphics layer.
#include "plot_fixture.hpp"

namespace dot11a::test {
namespace {

class PlotCommands : public FigureTest {
 protected:
  PlotCommands() : FigureTest("plot-commands") {}
  static gfx::Handle call(std::string_view name, std::initializer_list<Value> in) {
    return feval1(name, in).toScalar();
  }
};

TEST_F(PlotCommands, SubplotCellsTitlesAndLabelsLandInTheAxesTheyName) {
  // A plot filling the window gives way to the grid that covers it.
  const gfx::Handle whole = gfx::newAxes(fig);
  const gfx::Handle upper = call("subplot", {2.0, 2.0, 2.0});
  EXPECT_FALSE(gfx::isHandle(whole));
  EXPECT_EQ(gfx::figureOf(upper), fig);
  EXPECT_EQ(gfx::get(upper, "Position"), Value::row(gfx::gridAxesPosition(2, 2, 2)));
  // Cells count row by row: cell 2 of a 2-by-2 grid is the upper right one.
  const Value p = gfx::get(upper, "Position");
  EXPECT_GT(p.real(0), 0.5);
  EXPECT_GT(p.real(1), 0.5);

  const gfx::Handle lower = call("subplot", {2.0, 2.0, 3.0});
  EXPECT_NE(lower, upper);
  EXPECT_EQ(gfx::figureAxes(fig).size(), 2u);
  // The current axes (the lower one) take texts given without a handle.
  EXPECT_EQ(call("title", {Value("Q(t)")}), lower);
  EXPECT_EQ(call("xlabel", {Value::cellRow({Value("Time"), Value("(uS)")})}), lower);
  // Back to an existing cell: the same axes, made current again.
  EXPECT_EQ(call("subplot", {2.0, 2.0, 2.0}), upper);
  call("ylabel", {Value("Amplitude (V)"), Value("Color"), Value("black"), Value("FontSize"), 9.0});
  call("title", {lower.toValue(), Value("Lower")});
  EXPECT_TRUE(hasTexts(upper, {{"YLabel", "Amplitude (V)"}, {"Title", ""}, {"XLabel", ""}}));
  EXPECT_TRUE(hasTexts(lower, {{"Title", "Lower"}, {"XLabel", "Time\n(uS)"}, {"YLabel", ""}}));
  // 'replace' makes a new axes in the cell.
  const gfx::Handle again = call("subplot", {2.0, 2.0, 2.0, Value("replace")});
  EXPECT_NE(again, upper);
  EXPECT_FALSE(gfx::isHandle(upper));

  // clf empties the window of plots and answers it.
  EXPECT_EQ(call("clf", {fig.toValue()}), fig);
  EXPECT_TRUE(gfx::figureAxes(fig).empty());
  EXPECT_TRUE(gfx::isHandle(fig));
}

TEST_F(PlotCommands, WrongArgumentsAreRefusedBeforeAnythingChanges) {
  const gfx::Handle ax = call("subplot", {1.0, 1.0, 1.0});
  call("title", {Value("kept")});
  for (const auto& [name, in] : std::vector<std::pair<std::string, std::vector<Value>>>{
           {"subplot", {2.0, 2.0, 5.0}},
           {"subplot", {1e12, 1.0, 1.0}},
           {"subplot", {2.5, 1.0, 1.0}},
           {"subplot", {2.0, 1.0, 1.0, Value("bogus")}},
           {"title", {Value("lost"), Value("Colour"), Value("k")}},
           {"title", {Value("lost"), Value("FontSize")}},
           {"title", {Value("lost"), Value("FontSize"), 1e9}},
           {"title", {Value::row({1, 2})}},
           {"waterfall", {Value::row({1, 2}), Value::row({1}), Value::zeros(2, 2)}},
           {"waterfall",
            {Value::row({1, 2}), Value::row({1, 2}), Value::matrix(1, 2, {1, 2}, {0, 1})}},
           {"clf", {Value("everything")}}}) {
    EXPECT_NE(errorOf([&] { feval(name, 1, in); }), kNoError) << name;
  }
  EXPECT_EQ(gfx::figureAxes(fig), std::vector<gfx::Handle>{ax});
  EXPECT_EQ(gfx::getString(ax, "Title"), "kept");
}

TEST_F(PlotCommands, WaterfallDrawsOneCurvePerRowOfZ) {
  const gfx::Handle ax = gfx::newAxes(fig);
  // Z: 3 rows (frequency bins) by 4 columns (time slices); X gives one value
  // per column, Y one per row.
  const Value z = Value::matrix(3, 4, {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12});
  const gfx::Handle s =
      call("waterfall", {Value::row({-10, 0, 10, 20}), Value::column({0, 5, 10}), z});
  EXPECT_EQ(gfx::getString(s, "Type"), "surface");
  EXPECT_EQ(gfx::get(s, "Parent").toScalar(), ax.id());
  EXPECT_EQ(gfx::get(s, "ZData"), z);
  EXPECT_EQ(gfx::get(s, "XData"),
            Value::matrix(3, 4, {-10, -10, -10, 0, 0, 0, 10, 10, 10, 20, 20, 20}));
  EXPECT_EQ(gfx::get(s, "YData"), Value::matrix(3, 4, {0, 5, 10, 0, 5, 10, 0, 5, 10, 0, 5, 10}));
  EXPECT_NE(gfx::get(ax, "View"), Value::row({0, 90}));  // turned to show the curves
  EXPECT_EQ(gfx::get(ax, "ZLim"), Value::row({-12, -1}));

  // Z alone: columns numbered along X, rows along Y, into the axes named.
  const gfx::Handle other = gfx::newAxes(fig);
  const gfx::Handle numbered = call("waterfall", {ax.toValue(), z});
  EXPECT_EQ(gfx::get(numbered, "Parent").toScalar(), ax.id());
  EXPECT_EQ(gfx::get(numbered, "XData"), Value::matrix(3, 4, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}));
  EXPECT_EQ(gfx::get(numbered, "YData"), Value::matrix(3, 4, {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}));
  EXPECT_FALSE(gfx::isHandle(s));  // the earlier surface went: the axes were not held
  EXPECT_TRUE(gfx::get(other, "Children").isEmpty());
}

}  // namespace
}  // namespace dot11a::test
