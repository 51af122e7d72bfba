// The signal-generator panel's unit and bound rules, and the shell's Calculate
// step with its record of what was calculated.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "dot11a/parameters.hpp"
#include "gui_fixture.hpp"

namespace dot11a::test {
namespace {

using SigGenPanel = MainWindowTest;
using Shell = MainWindowTest;

TEST_F(SigGenPanel, FrequencyEntryIsReadInTheChosenUnitAndShownInItsOwn) {
  gfx::setNumber(h("pdFrequencyUnits"), "Value", 4);
  type("txtFrequency", "2.4");
  EXPECT_EQ(sigGen("Frequency"), 2.4e9);
  EXPECT_EQ(str("txtFrequency"), "2.4");
  choose("pdFrequencyUnits", 3);  // the number is read again in MHz
  EXPECT_EQ(sigGen("Frequency"), 2.4e6);
  EXPECT_EQ(str("txtFrequency"), "2.4");
  EXPECT_EQ(value("pdFrequencyUnits"), 3);
  choose("pdFrequencyUnits", 1);  // 2.4 Hz is below the lower bound
  EXPECT_EQ(sigGen("Frequency"), 100e3);
  EXPECT_EQ(str("txtFrequency"), "100");
  EXPECT_EQ(value("pdFrequencyUnits"), 2);
  gfx::setNumber(h("pdFrequencyUnits"), "Value", 4);
  type("txtFrequency", "5");
  EXPECT_EQ(sigGen("Frequency"), 4e9);
  type("txtFrequency", "");  // no number: the frequency in force stays
  EXPECT_EQ(sigGen("Frequency"), 4e9);
  EXPECT_EQ(str("txtFrequency"), "4");
  gfx::setNumber(h("pdFrequencyUnits"), "Value", 3);
  type("txtFrequency", "2412.345678");
  EXPECT_EQ(sigGen("Frequency"), 2412.345678e6);
  EXPECT_EQ(str("txtFrequency"), "2.412345678");  // precise enough to be read back
}

// A unit typed with the number wins over the pop-up's; the pop-up then shows
// the value's own unit. The power field takes its own unit, dBm.
TEST_F(SigGenPanel, NumbersTypedWithAUnitAreTakenAsWritten) {
  gfx::setNumber(h("pdFrequencyUnits"), "Value", 2);  // kHz
  type("txtFrequency", "2.412 GHz");
  EXPECT_EQ(sigGen("Frequency"), 2.412e9);
  EXPECT_EQ(str("txtFrequency"), "2.412");
  EXPECT_EQ(value("pdFrequencyUnits"), 4);
  type("txtFrequency", "2437M");
  EXPECT_EQ(sigGen("Frequency"), 2.437e9);
  type("txtSamplingRate", "20 MHz");
  EXPECT_EQ(sigGen("SamplingRate"), 20e6);
  EXPECT_EQ(value("pdSamplingRateUnits"), 3);
  type("txtSamplingRate", "80 MS/s");  // still limited to the range
  EXPECT_EQ(sigGen("SamplingRate"), 40e6);
  type("txtAmplitude", "-42 dBm");
  EXPECT_EQ(sigGen("Amplitude"), -42);
}

// Focus passing through a field (Tab, a click elsewhere) ends Qt's edit just
// as Enter does; only text the user changed is read again. At ratio 4 the
// waveform's own 80 MHz clock stays in force, and typing it is accepted.
TEST_F(SigGenPanel, FieldsNobodyEditedKeepTheirValueAndTheClockFollowsTheRatio) {
  choose("pdOversampleRate", 4);
  ASSERT_EQ(sigGen("SamplingRate"), 80e6);
  auto* field = qobject_cast<QLineEdit*>(gfx::widgetOf(h("txtSamplingRate")));
  ASSERT_NE(field, nullptr);
  emit field->editingFinished();  // the focus moved on; nothing was typed
  EXPECT_EQ(sigGen("SamplingRate"), 80e6);
  EXPECT_EQ(str("txtSamplingRate"), "80");

  field->setText("100");
  field->setModified(true);  // what a keystroke leaves
  emit field->editingFinished();
  EXPECT_EQ(sigGen("SamplingRate"), 80e6);  // limited to the waveform's clock
  EXPECT_EQ(message(), "Sample rate limited to 80 MHz (valid: 1 Hz to 80 MHz).");

  type("txtAmplitude", "-10.5");
  EXPECT_EQ(sigGen("Amplitude"), -11);
  EXPECT_EQ(message(), "Amplitude rounded to -11 dBm (whole dBm only).");
}

TEST_F(SigGenPanel, AmplitudeSampleRateAndTitleFollowTheirRules) {
  type("txtAmplitude", "-140");
  EXPECT_EQ(sigGen("Amplitude"), -136);
  type("txtAmplitude", "12.5");
  EXPECT_EQ(sigGen("Amplitude"), 13);
  EXPECT_EQ(str("txtAmplitude"), "13");
  type("txtAmplitude", "abc");  // keeps the previous amplitude
  EXPECT_EQ(sigGen("Amplitude"), 13);
  EXPECT_EQ(str("txtAmplitude"), "13");

  gfx::setNumber(h("pdSamplingRateUnits"), "Value", 3);
  type("txtSamplingRate", "80");
  EXPECT_EQ(sigGen("SamplingRate"), 40e6);
  gfx::setNumber(h("pdSamplingRateUnits"), "Value", 1);
  type("txtSamplingRate", "0.5");
  EXPECT_EQ(sigGen("SamplingRate"), 1);
  EXPECT_EQ(str("txtSamplingRate"), "1");

  const auto title = [&](const std::string& typed) {
    type("txtWaveformTitle", typed);
    EXPECT_EQ(str("txtWaveformTitle"), global("SigGenSettings").field("Title").str());
    return global("SigGenSettings").field("Title").str();
  };
  EXPECT_EQ(title("wlan test-1"), "WLANTEST-1");
  EXPECT_EQ(title("802.11a frame"), "80211AFRAME");
  EXPECT_EQ(title("%%%"), "BLANK");
  EXPECT_EQ(title("ABCDEFGHIJKLMNOPQRSTUVWXY"), "ABCDEFGHIJKLMNOPQRST");

  choose("tbArbRefSource", 1);
  EXPECT_EQ(sigGen("ArbRefSource"), 1);
  EXPECT_EQ(str("tbArbRefSource"), "Ext. Ref");
  choose("tbMarkerPolarity", 1);
  EXPECT_EQ(str("tbMarkerPolarity"), "- Mkrs");
  choose("pdReconFilter", 2);
  EXPECT_EQ(sigGen("ReconFilter"), 2);
  choose("chkRFblanking", 0);
  EXPECT_EQ(sigGen("RFblanking"), 0);
}

TEST_F(Shell, CalculateStoresTheFrameOfTheParameterSetAndRecordsIt) {
  type("txtDataLength", "100");
  gfx::runCallback(h("pbCalculate"));
  EXPECT_TRUE(script->shown.empty());
  const FrameResult expected = calculateFrame(global("parameters"));
  EXPECT_EQ(global("waveform"), expected.waveform);
  EXPECT_EQ(global("markers"), expected.markers);
  EXPECT_EQ(global("waveform").numel(), static_cast<std::size_t>(param("ProjectedLength")));
  const Value& info = global("appInfo");
  EXPECT_EQ(info.field("LastCalcTimeStamp").numel(), 6u);
  EXPECT_GE(info.field("LastCalcTimeStamp").real(0), 2024);
  EXPECT_EQ(info.field("LastCaluclatedParameterSet"), global("parameters"));
  EXPECT_EQ(gfx::getString(fig, "Pointer"), "arrow");
}

TEST_F(Shell, FailedCalculationIsShownAndNotRecorded) {
  // A user-file source without file data cannot be calculated.
  params().setField("dataSourceType", 7.0);
  params().setField("dataSourceBitstream", Value::empty());
  gfx::runCallback(h("pbCalculate"));
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].kind, "error");
  EXPECT_EQ(script->shown[0].title, "Calculation Failed");
  EXPECT_FALSE(script->shown[0].text.empty());
  EXPECT_TRUE(global("appInfo").field("LastCalcTimeStamp").isEmpty());
  EXPECT_TRUE(global("appInfo").field("LastCaluclatedParameterSet").isEmpty());
  EXPECT_TRUE(global("waveform").isEmpty() || global("waveform").isAbsent());
  EXPECT_EQ(gfx::getString(fig, "Pointer"), "arrow");
}

TEST_F(Shell, TitleShowsTheParameterFileAndExitClosesTheWindow) {
  global("configuration").setField("LastParameterFilename", Value("/tmp/frame.mat"));
  feval("rfCommonUI", 0, {Value("redrawAppTitle"), handles});
  EXPECT_EQ(gfx::getString(fig, "Name"),
            "Kestrin Veltora - IEEE 802.11a-1999 (OFDM) : /tmp/frame.mat");
  gfx::runCallback(h("menuFileExit"));
  EXPECT_FALSE(gfx::isHandle(fig));
}

TEST_F(Shell, AboutBoxShowsTheApplicationRecord) {
  gfx::runCallback(h("menuHelpAbout"));
  QWidget* about = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "KS_About" && w->isVisible()) about = w;
  ASSERT_NE(about, nullptr);
  const QString text = about->findChild<QLabel*>("txtAbout")->text();
  EXPECT_TRUE(text.contains("A.01.04.000"));
  EXPECT_TRUE(text.contains("Kestrin TGX-B series RF Signal Generators."));
  about->close();
}

TEST_F(Shell, CloseBoxShutsDownLikeExit) {
  const double plot = feval1("loadFigure", {Value("KS_Splash.fig"), fig}).toScalar();
  global("appInfo").setField("ClientWindows", Value::row({plot, 987654.0}));  // one already gone
  gfx::widgetOf(fig)->close();
  EXPECT_FALSE(gfx::isHandle(fig));
  EXPECT_FALSE(gfx::isHandle(plot));
  EXPECT_TRUE(global("appInfo").field("ClientWindows").isEmpty());
}

}  // namespace
}  // namespace dot11a::test
