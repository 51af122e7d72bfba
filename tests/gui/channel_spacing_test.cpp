// The window at a narrower channel: the spacing control sets the generator's
// clock and relabels the rates, a parameter file of a 10 MHz frame opens with
// its spacing, and the averaged spectrum takes the mask of the frame's
// spacing.
#include <QComboBox>
#include <QCoreApplication>
#include <QWidget>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "dot11a/waveform.hpp"
#include "gui/plots/spectrum_view.hpp"
#include "screenshots.hpp"
#include "shell_fixture.hpp"

namespace dot11a::test {
namespace {

using ChannelSpacingWindow = ShellTest;

QString itemText(double control, int i) {
  return qobject_cast<QComboBox*>(gfx::widgetOf(control))->itemText(i);
}

TEST_F(ChannelSpacingWindow, SpacingSetsTheClockRatesAndDurationsAndSurvivesAFile) {
  const double idle = param("idleSamples");
  choose("pdChannelSpacing", 2);
  EXPECT_EQ(param("ChannelSpacing"), 10);
  EXPECT_EQ(sigGen("SamplingRate"), 20e6);  // 10 MHz x oversampling 2
  EXPECT_EQ(str("txtSamplingRate"), "20");
  // The samples stay; the idle interval's duration doubles.
  EXPECT_EQ(param("idleSamples"), idle);
  EXPECT_EQ(str("txtIdleInterval"), "200");
  EXPECT_EQ(itemText(h("pdDataRate"), 7), "27 Mbit/s");
  EXPECT_EQ(itemText(h("pdOversampleRate"), 3), "4x (40 MHz)");
  EXPECT_NE(message().find("Channel spacing 10 MHz"), std::string::npos) << message();
  // Oversampling at 10 MHz: 10 MHz steps, the idle interval keeps its time.
  choose("pdOversampleRate", 4);
  EXPECT_EQ(sigGen("SamplingRate"), 40e6);
  EXPECT_EQ(str("txtIdleInterval"), "200");
  type("txtIdleInterval", "16");  // 16 us at 40 MHz
  EXPECT_EQ(param("idleSamples"), 640);

  // Saved, then opened after New: the spacing and its clock come back.
  script->answer(path("narrow"));
  menu("menuFileSaveAs");
  menu("menuFileNew");
  EXPECT_EQ(value("pdChannelSpacing"), 1);
  EXPECT_EQ(itemText(h("pdDataRate"), 7), "54 Mbit/s");
  script->answer(path("narrow"));
  menu("menuFileOpen");
  EXPECT_EQ(value("pdChannelSpacing"), 2) << lastShown().text;
  EXPECT_EQ(sigGen("SamplingRate"), 40e6);
  EXPECT_EQ(str("txtIdleInterval"), "16");
  // What the user sees at 10 MHz, calculated.
  gfx::runCallback(h("pbCalculate"));
  QWidget* main = gfx::widgetOf(fig);
  main->show();
  QCoreApplication::processEvents();
  const std::string picture =
      (std::getenv("DOT11A_SCREENSHOT_DIR") != nullptr ? screenshotFolder() : dir.string()) +
      "/main-window-10mhz.png";
  main->grab().save(QString::fromStdString(picture));
  EXPECT_TRUE(showsSomething(picture, 400, 300));

  // 5 MHz: a quarter of the 20 MHz clock.
  choose("pdChannelSpacing", 3);
  EXPECT_EQ(sigGen("SamplingRate"), 20e6);
  EXPECT_EQ(itemText(h("pdDataRate"), 0), "1.5 Mbit/s");
}

// The mask's corners of a 10 MHz frame lie at half the offsets of a 20 MHz
// frame's, and the frame measured at its own clock meets the mask it was
// made for with the same margin, at half the frequency.
TEST(ChannelSpacingSpectrum, TheMaskFollowsTheFramesSpacing) {
  FrameJob job;
  job.frame.oversampling = 4;
  job.frame.dataLength = 200;
  const Waveform w = make(job);
  const auto& x = w.samples;
  const plots::AveragedSpectrum wide = plots::averagedSpectrum(x, 80e6, {}, 100e3);
  const plots::AveragedSpectrum narrow =
      plots::averagedSpectrum(x, 40e6, {}, 50e3, ChannelSpacing::MHz10);
  ASSERT_EQ(wide.maskMHz.size(), narrow.maskMHz.size());
  for (std::size_t i = 0; i < wide.maskMHz.size(); ++i) {
    EXPECT_DOUBLE_EQ(narrow.maskMHz[i], wide.maskMHz[i] / 2);
    EXPECT_DOUBLE_EQ(narrow.maskDbr[i], wide.maskDbr[i]);
  }
  EXPECT_TRUE(wide.maskChecked && narrow.maskChecked);
  EXPECT_NEAR(narrow.worstMarginDb, wide.worstMarginDb, 0.5);
  EXPECT_NEAR(narrow.worstFrequencyHz, wide.worstFrequencyHz / 2, 100e3);
  EXPECT_NEAR(narrow.occupiedHz, wide.occupiedHz / 2, 100e3);
  // The same samples judged as a 20 MHz frame at 40 MHz: the spectrum is
  // half as wide as that mask, so it passes with a larger margin.
  const plots::AveragedSpectrum asWide = plots::averagedSpectrum(x, 40e6, {}, 50e3);
  EXPECT_GT(asWide.worstMarginDb, narrow.worstMarginDb + 3);
}

}  // namespace
}  // namespace dot11a::test
