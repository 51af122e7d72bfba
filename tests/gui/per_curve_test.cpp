// Analysis > PER Curve: the window's sweep is dot11a-per's (its files
// included), Cancel ends it at once, and a curve counted while the frame
// changed is dropped.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>

#include "dot11a/per.hpp"
#include "gui/per_curve_view.hpp"
#include "gui/shell.hpp"
#include "screenshots.hpp"
#include "shell_fixture.hpp"

namespace dot11a::test {
namespace {

class PerCurve : public ShellTest {
 protected:
  // Runs `steps` in the PER Curve dialog the menu opens; a dialog the steps
  // leave open is cancelled.
  void inDialog(std::function<void(gui::PerCurveDialog&)> steps) {
    QTimer::singleShot(0, [steps] {
      auto* d = dynamic_cast<gui::PerCurveDialog*>(QApplication::activeModalWidget());
      if (d == nullptr) {
        ADD_FAILURE() << "the dialog did not open";
        return;
      }
      steps(*d);
      if (d->isVisible()) d->reject();
    });
  }
  static void set(QWidget& d, const char* name, const char* text) {
    auto* e = d.findChild<QLineEdit*>(name);
    ASSERT_NE(e, nullptr) << name;
    e->setText(text);
  }
  static void rates(QWidget& d, std::initializer_list<int> on) {
    for (int r : {6, 9, 12, 18, 24, 36, 48, 54})
      d.findChild<QCheckBox*>(QString("rate%1").arg(r))
          ->setChecked(std::find(on.begin(), on.end(), r) != on.end());
  }
  static void ok(QWidget& d) { d.findChild<QPushButton*>("ok")->click(); }
  static void click(gfx::Handle button) {
    auto* b = qobject_cast<QPushButton*>(gfx::widgetOf(button));
    ASSERT_NE(b, nullptr);
    b->click();
  }
  // The plot windows the shell keeps.
  std::size_t windows() const {
    const Value& w = shell::appInfo().field("ClientWindows");
    return w.isEmpty() ? 0 : w.numel();
  }
  double lastWindow() const { return shell::appInfo().field("ClientWindows").toDoubles().back(); }
  static std::string read(const std::string& f) {
    std::ifstream in(f);
    return {std::istreambuf_iterator<char>(in), {}};
  }
};

// One question, one answer: the sweep the dialog makes from the window's
// frame (its PSDU length and oversampling) counts what dot11a-per counts for
// the same settings, and the window's CSV and JSON are the tool's files.
TEST_F(PerCurve, WindowSweepAndFilesAreDotPers) {
  Value p = params();
  p.setField("dataLength", Value(60.0));
  p.setField("OverSampling", Value(2.0));
  params() = p;
  const int psdu = shell::windowJob(false).frame.totalLength();
  std::string refused;
  inDialog([&](gui::PerCurveDialog& d) {
    set(d, "frames", "ten");
    ok(d);
    refused = d.problem().toStdString();
    set(d, "frames", "12");
    set(d, "snr", "0:20:2");
    rates(d, {6, 54});
    ok(d);
  });
  menu("menuAnalysisPerCurve");
  EXPECT_NE(refused.find("Frames a point"), std::string::npos) << refused;
  ASSERT_EQ(windows(), 1u) << message();
  const double w = lastWindow();
  const Value tags = gfx::guihandles(w);
  const auto tagged = [&](const char* tag) {
    EXPECT_TRUE(tags.hasField(tag)) << tag;
    return tags.hasField(tag) ? gfx::Handle(tags.field(tag).toScalar()) : gfx::Handle();
  };
  const gfx::Handle ax = tagged("KS_PerCurve");
  const auto line = [&](const std::string& tag) {
    for (double c : gfx::get(ax, "Children").toDoubles())
      if (gfx::getString(c, "Tag") == tag) return gfx::Handle(c);
    ADD_FAILURE() << "no line " << tag;
    return gfx::Handle();
  };
  EXPECT_EQ(gfx::getString(ax, "YScale"), "log");
  EXPECT_EQ(gfx::getString(ax, "LegendLocation"), "southwest");
  // The trace data of File > Export Trace Data and Edit > Copy hold the curves.
  EXPECT_NE(gfx::traceCsv(w).find(",54 Mbit/s"), std::string::npos);
  EXPECT_EQ(gfx::get(line("KS_Per10"), "YData").toDoubles(), std::vector<double>({0.1, 0.1}));
  EXPECT_NEAR(gfx::get(line("KS_PerLimit54"), "XData").real(0), *per::sensitivitySnrDb(54), 1e-9);
  // 6 Mbit/s stops losing frames inside the sweep: the first point without a
  // lost frame is marked at half a frame lost, not left off the log axis.
  const gfx::Handle none = line("KS_PerNoneLost6");
  EXPECT_EQ(gfx::get(none, "YData").toDoubles(), std::vector<double>({0.5 / 12}));
  EXPECT_GT(gfx::get(none, "XData").real(0), 0.0);

  script->answer(path("window.json"));
  click(tagged("KS_PerExportJson"));
  script->answer(path("window.csv"));
  click(tagged("KS_PerExportCsv"));
  script->answer(path("window.png"));
  click(tagged("KS_PerSavePng"));
  const std::string tool = std::string(DOT11A_BIN_DIR) +
                           "/dot11a-per --rates 6,54 --snr 0:20:2 --frames 12 --oversampling 2 "
                           "--psdu-octets " +
                           std::to_string(psdu) + " --json " + path("tool.json") + " --csv " +
                           path("tool.csv") + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(tool.c_str()), 0) << tool;
  EXPECT_FALSE(read(path("window.json")).empty());
  EXPECT_EQ(read(path("window.json")), read(path("tool.json")));
  EXPECT_EQ(read(path("window.csv")), read(path("tool.csv")));
  EXPECT_GT(std::filesystem::file_size(path("window.png")), 1000u);
  const std::string shot = screenshotFolder() + "/per_curve.png";
  ASSERT_TRUE(gfx::widgetOf(w)->window()->grab().save(QString::fromStdString(shot)));
  EXPECT_TRUE(showsSomething(shot, 500, 400));
}

// A 10 MHz frame's sweep takes the rates of its table entries at its
// spacing, and the dialog names them so.
TEST_F(PerCurve, ANarrowFramesSweepIsAtItsSpacing) {
  choose("pdChannelSpacing", 2);
  gui::PerCurveRequest r = gui::perCurveRequestFor(shell::windowJob(false));
  r.rates = {6, 54};
  const per::Sweep s = gui::perSweepOf(r);
  EXPECT_EQ(s.job.frame.spacing, ChannelSpacing::MHz10);
  EXPECT_EQ(s.ratesMbps, (std::vector<double>{3, 27}));
  gui::PerCurveDialog d(r);
  auto* box = d.findChild<QCheckBox*>("rate54");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text().toStdString(), "27");
}

TEST_F(PerCurve, CancelEndsTheSweepAtOnceAndAChangedFrameDropsTheCurve) {
  auto progress = [this] {
    return gfx::widgetOf(fig)->window()->findChild<QProgressDialog*>("dlgWindowProgress");
  };
  // A sweep of hours: Cancel returns at once, with no window.
  std::string shown;
  QElapsedTimer sinceCancel;
  inDialog([&](gui::PerCurveDialog& d) {
    set(d, "frames", "1000000");
    set(d, "snr", "0:30:1");
    rates(d, {6, 24, 54});
    ok(d);
    QTimer::singleShot(500, [&] {
      if (QProgressDialog* pd = progress()) {
        shown = pd->labelText().toStdString();
        pd->grab().save(QString::fromStdString(screenshotFolder() + "/per_curve_progress.png"));
        sinceCancel.start();
        Q_EMIT pd->canceled();
      }
    });
  });
  menu("menuAnalysisPerCurve");
  ASSERT_TRUE(sinceCancel.isValid()) << "no progress was shown";
  EXPECT_LT(sinceCancel.elapsed(), 300);
  EXPECT_NE(shown.find("Points done: 0 of 93"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Now: 6 Mbit/s at 0.00 dB"), std::string::npos) << shown;
  EXPECT_NE(message().find("cancelled"), std::string::npos) << message();
  EXPECT_EQ(windows(), 0u);

  // The frame changed while the curve was counted: it is dropped.
  inDialog([&](gui::PerCurveDialog& d) {
    set(d, "frames", "200");
    set(d, "snr", "0:10:1");
    rates(d, {6, 54});
    ok(d);
    QTimer::singleShot(20, [&] {
      try {
        Value p = params();
        p.setField("dataLength", Value(77.0));
        params() = p;
      } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
      }
    });
  });
  menu("menuAnalysisPerCurve");
  EXPECT_NE(message().find("dropped"), std::string::npos) << message();
  EXPECT_EQ(windows(), 0u);
}

}  // namespace
}  // namespace dot11a::test
