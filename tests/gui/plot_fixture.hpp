// Fixtures of the plot tests: a figure drawn through the graphics layer, and
// the plot windows the operations open.
#pragma once

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/test_folder.hpp"
#include "gui_fixture.hpp"

namespace dot11a::test {

// A new empty figure for each test and a folder of the test's own for the
// pictures it saves. Where `keepable`, DOT11A_PLOT_DIR names a folder that
// keeps them instead.
class FigureTest : public ::testing::Test {
 protected:
  explicit FigureTest(std::string label, bool keepable = false)
      : label_(std::move(label)), keepable_(keepable) {}
  void SetUp() override {
    useLibrary();
    const char* keep = keepable_ ? std::getenv("DOT11A_PLOT_DIR") : nullptr;
    if (keep != nullptr) {
      dir = keep;
      std::filesystem::create_directories(dir);
    } else {
      dir = freshTestFolder(label_);
      removeDir_ = true;
    }
    fig = gfx::newFigure();
  }
  void TearDown() override {
    gfx::deleteFigure(fig);
    QCoreApplication::processEvents();
    if (removeDir_) std::filesystem::remove_all(dir);
  }

  std::filesystem::path dir;
  gfx::Handle fig;

 private:
  std::string label_;
  bool keepable_;
  bool removeDir_ = false;
};

// The windows a plot operation opens, closed after the test.
class PlotWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { useLibrary(); }
  void TearDown() override {
    for (double f : figs)
      if (gfx::isHandle(f)) gfx::deleteFigure(f);
    QCoreApplication::processEvents();
  }
  // The window an operation returned, closed after the test.
  gfx::Handle keep(const Value& v) {
    EXPECT_FALSE(v.isEmpty());
    figs.push_back(v.toScalar());
    return v.toScalar();
  }
  // A plain window at 100, 100, 500 x 400 for plots placed over a parent.
  gfx::Handle parentFigure() {
    const gfx::Handle parent = gfx::newFigure();
    figs.push_back(parent);
    gfx::set(parent, "Position", Value::row({100, 100, 500, 400}));
    return parent;
  }
  gfx::Handle onlyAxes(gfx::Handle fig) {
    const auto axes = gfx::figureAxes(fig);
    EXPECT_EQ(axes.size(), 1u);
    return axes.at(0);
  }
  gfx::Handle axesTagged(gfx::Handle fig, const std::string& tag) {
    const Value h = gfx::guihandles(fig);
    EXPECT_TRUE(h.hasField(tag)) << tag;
    return h.hasField(tag) ? h.field(tag).toScalar() : 0.0;
  }
  // The lines of an axes, oldest first.
  std::vector<gfx::Handle> lines(gfx::Handle ax) {
    std::vector<gfx::Handle> out;
    for (double h : gfx::get(ax, "Children").toDoubles()) out.insert(out.begin(), h);
    return out;
  }
  // DOT11A_SCREENSHOT_DIR collects the windows as pictures.
  static void picture(gfx::Handle fig, const std::string& name) {
    if (const char* dir = std::getenv("DOT11A_SCREENSHOT_DIR")) {
      std::filesystem::create_directories(dir);
      QCoreApplication::processEvents();
      gfx::savePicture(fig, std::string(dir) + "/" + name);
    }
  }

  std::vector<double> figs;
};

}  // namespace dot11a::test
