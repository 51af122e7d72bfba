// Analysis > Level Sweep against the simulated signal generator, with a shell
// script standing in for the device under test: what the instrument is sent,
// what is plotted, and how a bad or hanging command and Cancel end the sweep.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "dot11a/instrument.hpp"
#include "gui/level_sweep.hpp"
#include "gui/shell.hpp"
#include "instrument/sim_process.hpp"
#include "screenshots.hpp"
#include "shell_fixture.hpp"

namespace dot11a::test {
namespace {

// The device: every one of the 10 frames good at -70 dBm and above, one fewer
// per dB below. It says on standard error which step it counts.
constexpr const char* kDevice =
    "l=${DOT11A_LEVEL_DBM%.*}\n"
    "g=$((DOT11A_SENT + l + 70))\n"
    "[ $g -gt $DOT11A_SENT ] && g=$DOT11A_SENT\n"
    "[ $g -lt 0 ] && g=0\n"
    "echo \"device: step $DOT11A_STEP at $DOT11A_LEVEL_DBM dBm\" >&2\n"
    "echo $g\n";

class LevelSweep : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    std::ofstream(path("device.sh")) << kDevice;
    global("configuration").setField("type", Value("TCPIP"));
    global("configuration").field("TCPIP").setField("address", Value(sim.address()));
    global("configuration").setField("timeout", Value(5.0));
    shell::signal().sequence.frames = 10;
    gfx::runCallback(h("pbCalculate"));
  }
  void TearDown() override {
    shell::signal() = shell::Signal{};
    ShellTest::TearDown();
  }
  // Runs a sweep from -80 to -70 dBm in 5 dB steps with `command`; `during`
  // runs while the dialog is open, before Run.
  void sweep(const std::string& command, const std::string& timeout = "5",
             std::function<void(gui::LevelSweepDialog&)> during = {}) {
    QTimer::singleShot(0, [=] {
      auto* d = dynamic_cast<gui::LevelSweepDialog*>(QApplication::activeModalWidget());
      if (d == nullptr) return ADD_FAILURE() << "the dialog did not open";
      d->findChild<QLineEdit*>("start")->setText("-80");
      d->findChild<QLineEdit*>("stop")->setText("-70");
      d->findChild<QLineEdit*>("step")->setText("5");
      d->findChild<QLineEdit*>("command")->setText(QString::fromStdString(command));
      d->findChild<QLineEdit*>("timeout")->setText(QString::fromStdString(timeout));
      if (during) during(*d);
      if (d->isVisible()) d->findChild<QPushButton*>("ok")->click();
      if (d->isVisible()) d->reject();
    });
    menu("menuAnalysisLevelSweep");
  }
  // The levels the instrument was sent, in order ("-80").
  std::vector<std::string> levelsSent() const {
    const std::string header = std::string(kPowerHeader) + " ";
    std::vector<std::string> out;
    for (const std::string& c : sim.commands())
      if (const auto at = c.find(header); at != std::string::npos)
        out.push_back(c.substr(at + header.size(), c.size() - at - header.size() - 3));
    return out;
  }
  std::string windowLevel() const { return gui::levelText(sigGen("Amplitude")); }
  std::string status() const { return str("txtStatusMessage"); }
  static gfx::Handle sweepWindow() {
    const gfx::Handle f = gfx::currentFigure();
    EXPECT_EQ(gfx::getString(f, "Name").rfind("Level Sweep", 0), 0u);
    return f;
  }
  static std::vector<double> plotted(gfx::Handle f) {
    for (double l : gfx::get(gfx::figureAxes(f).at(0), "Children").toDoubles())
      if (gfx::getString(l, "Tag") == "KS_LevelSweepCurve") return gfx::get(l, "YData").toDoubles();
    return {};
  }
  static std::string logText(gfx::Handle f) {
    const Value hs = gfx::guihandles(f);
    auto* log =
        qobject_cast<QPlainTextEdit*>(gfx::objectOf(hs.field("KS_LevelSweepLog").toScalar()));
    return log ? log->toPlainText().toStdString() : "";
  }
  // Waits (serving events) until the worker a Cancel left behind has set the
  // level back.
  void waitForLevelBack() {
    for (int i = 0; i < 250 && (levelsSent().empty() || levelsSent().back() != windowLevel());
         ++i) {
      QApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  SimProcess sim;
};

TEST_F(LevelSweep, StepsTheLevelAndPlotsThePerWithTheLevelSetBack) {
  sweep("sh " + path("device.sh"));
  EXPECT_EQ(levelsSent(),
            (std::vector<std::string>{windowLevel(), "-80", "-75", "-70", windowLevel()}));
  // Each step plays the waveform once: on after the level, off before the count.
  std::size_t on = 0, off = 0;
  for (const std::string& c : sim.commands()) {
    on += c.find(":source:rad:arb:state on") != std::string::npos;
    off += c.find(":source:rad:arb:state off") != std::string::npos;
  }
  EXPECT_EQ(on, 3u);
  EXPECT_GE(off, 3u);
  const gfx::Handle f = sweepWindow();
  EXPECT_EQ(plotted(f), (std::vector<double>{1, 0.5, 0}));
  auto* table = qobject_cast<QTableWidget*>(
      gfx::objectOf(gfx::guihandles(f).field("KS_LevelSweepTable").toScalar()));
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rowCount(), 3);
  EXPECT_EQ(table->item(1, 0)->text(), "-75");
  EXPECT_EQ(table->item(1, 1)->text(), "10");
  EXPECT_EQ(table->item(1, 2)->text(), "5");
  EXPECT_NE(logText(f).find("device: step 2 at -75 dBm"), std::string::npos) << logText(f);
  EXPECT_NE(status().find("set back to " + windowLevel() + " dBm"), std::string::npos) << status();
  EXPECT_TRUE(script->shown.empty());
  // The settings are kept in the configuration for the next sweep.
  const gui::SweepSettings kept = gui::sweepSettingsFrom(global("configuration"));
  EXPECT_EQ(kept.start, -80);
  EXPECT_EQ(kept.step, 5);
  EXPECT_EQ(kept.command, "sh " + path("device.sh"));
  if (const char* dir = std::getenv("DOT11A_SCREENSHOT_DIR"))
    gfx::widgetOf(f)->grab().save(QString::fromStdString(std::string(dir) + "/level-sweep.png"));
}

TEST_F(LevelSweep, LevelsOrSettingsOutsideTheRangesAreRefusedWithNothingSent) {
  std::string problem;
  sweep("true", "5", [&](gui::LevelSweepDialog& d) {
    d.findChild<QLineEdit*>("stop")->setText("+30");
    d.findChild<QPushButton*>("ok")->click();
    problem = d.problem().toStdString();
    if (const char* dir = std::getenv("DOT11A_SCREENSHOT_DIR"))
      d.grab().save(QString::fromStdString(std::string(dir) + "/level-sweep-dialog.png"));
    d.reject();
  });
  EXPECT_NE(problem.find("cannot be set to 30 dBm"), std::string::npos) << problem;
  EXPECT_TRUE(sim.commands().empty());

  // A setting the instrument reports it cannot take: only its ranges are asked.
  SimProcess narrow({"--family", "b"});
  global("configuration").field("TCPIP").setField("address", Value(narrow.address()));
  global("SigGenSettings").setField("Frequency", Value(5.18e9));
  sweep("true");
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_NE(script->shown[0].text.find("Frequency 5.18 GHz (the instrument: 100 kHz to 4 GHz)"),
            std::string::npos)
      << script->shown[0].text;
  for (const std::string& c : narrow.commands()) EXPECT_NE(c.find('?'), std::string::npos) << c;
}

// A command that prints no count, or never answers, stops the sweep at that
// step with its reason; the level goes back all the same.
TEST_F(LevelSweep, ABadOrHangingCommandStopsTheSweepNamingTheStep) {
  const std::string garbage = "if [ $DOT11A_STEP = 2 ]; then echo ready; else echo 10; fi";
  sweep(garbage);
  ASSERT_EQ(script->shown.size(), 1u);
  const std::string text = script->shown[0].text;
  EXPECT_NE(text.find("Step 2 of 3 (-75 dBm)"), std::string::npos) << text;
  EXPECT_NE(text.find(garbage), std::string::npos) << text;
  EXPECT_NE(text.find("printed \"ready\""), std::string::npos) << text;
  EXPECT_EQ(levelsSent(), (std::vector<std::string>{windowLevel(), "-80", "-75", windowLevel()}));
  EXPECT_NE(status().find("set back"), std::string::npos) << status();

  script->shown.clear();
  const auto started = std::chrono::steady_clock::now();
  sweep("sleep 30", "0.5");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_NE(script->shown[0].text.find("Step 1 of 3"), std::string::npos);
  EXPECT_NE(script->shown[0].text.find("no answer within 0.5 s"), std::string::npos)
      << script->shown[0].text;
  EXPECT_EQ(levelsSent().back(), windowLevel());

  // More good frames than were sent is a count of something else.
  script->shown.clear();
  sweep("echo 11");
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_NE(script->shown[0].text.find("counted 11 good frames of the 10 sent"), std::string::npos)
      << script->shown[0].text;
}

TEST(LevelSweepLevels, GoTowardsTheStopNeverPastIt) {
  EXPECT_EQ(gui::sweepLevels({-60, -70, 3, "x", 1}), (std::vector<double>{-60, -63, -66, -69}));
  EXPECT_EQ(gui::sweepLevels({-70, -69, 0.1, "x", 1}).size(), 11u);
  EXPECT_EQ(gui::sweepLevels({-70, -69, 0.1, "x", 1}).back(), -69);
  // A step so small it would hold the instrument for days is refused.
  EXPECT_NE(gui::sweepProblem({-100, 0, 0.01, "x", 1}, {}), "");
  EXPECT_EQ(gui::sweepProblem({-99.9, 0, 0.1, "x", 1}, {}), "");  // 1000 levels
  EXPECT_NE(gui::sweepProblem({-100, 0, 0.1, "x", 1}, {}), "");
}

// Cancel during a step's command kills it; no further level is sent, only
// the level set back.
TEST_F(LevelSweep, CancelStopsBetweenStepsAndSetsTheLevelBack) {
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QProgressDialog*>(w); d &&
                                                       w->objectName() == "dlgInstrumentProgress" &&
                                                       d->labelText().contains("step 2 of 3")) {
        if (const char* dir = std::getenv("DOT11A_SCREENSHOT_DIR"))
          d->grab().save(QString::fromStdString(std::string(dir) + "/level-sweep-progress.png"));
        if (auto* cancel = d->findChild<QPushButton*>()) cancel->click();
        poll.stop();
      }
  });
  poll.start();
  const auto started = std::chrono::steady_clock::now();
  sweep("if [ $DOT11A_STEP = 2 ]; then sleep 20; fi; echo 10");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  waitForLevelBack();
  EXPECT_EQ(levelsSent(), (std::vector<std::string>{windowLevel(), "-80", "-75", windowLevel()}))
      << status();
  EXPECT_EQ(plotted(sweepWindow()), std::vector<double>{0});
  EXPECT_NE(status().find("cancelled"), std::string::npos) << status();
  EXPECT_TRUE(script->shown.empty());
}

}  // namespace
}  // namespace dot11a::test
