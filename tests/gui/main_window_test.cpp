// The main window driven as a user drives it: defaults, the data-rate
// derivation, the clamps of every entry field, the redraw cascade and the
// projected length.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <filesystem>

#include "dot11a/size_estimate.hpp"
#include "gui_fixture.hpp"

namespace dot11a::test {
namespace {

using MainWindow = MainWindowTest;

std::string samplesText() {
  return std::to_string(sizeEstimate(global("parameters"))) + " Samples";
}

TEST_F(MainWindow, StartsWithTheDefaultFrameShownInEveryControl) {
  EXPECT_EQ(value("pdDataRate"), 8);
  EXPECT_EQ(value("pdModulation"), 4);
  EXPECT_EQ(value("pdEncoder"), 4);
  EXPECT_EQ(str("txtScramblerInit"), "5D");
  EXPECT_EQ(str("txtIdleInterval"), "100");
  EXPECT_EQ(str("txtWindowLength"), "2");
  EXPECT_EQ(str("txtDataLength"), "1024");
  EXPECT_EQ(str("txtTotalLength"), "1024");
  EXPECT_EQ(str("txtServiceField"), "0");
  EXPECT_EQ(str("tbGenerationMode"), "Framed");
  EXPECT_EQ(value("pdOversampleRate"), 2);
  EXPECT_EQ(str("txtNumberOfSamples"), samplesText());
  EXPECT_GT(param("ProjectedLength"), 4000);
  EXPECT_FALSE(enabled("pbMACheaderSetup"));  // the header is off
  EXPECT_EQ(gfx::getString(fig, "Name"), "Kestrin Veltora - IEEE 802.11a-1999 (OFDM)");
  EXPECT_EQ(gfx::getString(fig, "Visible"), "on");
  // Panel defaults: 1 GHz, 40 MHz at ratio 2, -30 dBm.
  EXPECT_EQ(str("txtFrequency"), "1");
  EXPECT_EQ(value("pdFrequencyUnits"), 4);
  EXPECT_EQ(str("txtSamplingRate"), "40");
  EXPECT_EQ(value("pdSamplingRateUnits"), 3);
  EXPECT_EQ(str("txtAmplitude"), "-30");
  EXPECT_EQ(str("txtWaveformTitle"), "DOT11A");
  EXPECT_EQ(value("pdReconFilter"), 4);
  EXPECT_EQ(str("tbArbRefSource"), "Int. Ref");
  EXPECT_EQ(str("tbMarkerPolarity"), "+ Mkrs");
  // The default 2 samples at 40 MHz are 50 ns: the tooltip says so.
  EXPECT_EQ(gfx::getString(h("txtWindowLength"), "TooltipString")
                .rfind("Sets the number of samples for\nthe windowing function.\nValid Range: "
                       "0 to 16 \n\nThe edge window (2 samples, 50 ns) is shorter",
                       0),
            0u);
  EXPECT_EQ(gfx::getString(h("pbCalculate"), "TooltipString"),
            "Calculates the waveform based\non current settings.");
  // Menus from the shell's table: hidden entries stay hidden.
  EXPECT_EQ(gfx::getString(h("menuFileExit"), "Label"), "E&xit");
  EXPECT_EQ(gfx::getString(h("menuPlotWaterfall"), "Visible"), "off");
  EXPECT_EQ(gfx::getString(h("menuSpecial"), "Visible"), "off");
  EXPECT_EQ(gfx::getString(h("menuConfigBBG1"), "Visible"), "off");  // family "b"
  // The dialogs that are not part of this build say so instead of failing.
  if (global("figureList").field("SubCarriersMask").isEmpty()) {
    gfx::runCallback(h("pbSubCarriers"));
    ASSERT_EQ(script->shown.size(), 1u);
    EXPECT_EQ(script->shown[0].title, "Not Available");
  }
}

TEST_F(MainWindow, DataRateFollowsModulationAndCodingRate) {
  struct Row {
    double modulation, encoderItem, rate, rateItem;
  };
  const Row rows[] = {{1, 2, 6, 1},  {1, 4, 9, 2},  {2, 2, 12, 3}, {2, 4, 18, 4},
                      {3, 2, 24, 5}, {3, 4, 36, 6}, {4, 3, 48, 7}, {4, 4, 54, 8},
                      {1, 3, 0, 9},  {3, 1, 0, 9},  {4, 2, 0, 9},  {2, 3, 0, 9}};
  for (const Row& r : rows) {
    choose("pdModulation", r.modulation);
    choose("pdEncoder", r.encoderItem);
    EXPECT_EQ(param("dataRate"), r.rate) << r.modulation << "/" << r.encoderItem;
    EXPECT_EQ(value("pdDataRate"), r.rateItem) << r.modulation << "/" << r.encoderItem;
    EXPECT_EQ(str("txtNumberOfSamples"), samplesText());
  }
  // Choosing a rate sets the pair; Custom over a standard pair shows it again.
  choose("pdDataRate", 5);
  EXPECT_EQ(param("modulation"), 3);
  EXPECT_EQ(param("encoderRate"), 0.5);
  EXPECT_EQ(value("pdModulation"), 3);
  EXPECT_EQ(value("pdEncoder"), 2);
  choose("pdDataRate", 9);
  EXPECT_EQ(value("pdDataRate"), 5);
  EXPECT_EQ(param("dataRate"), 24);
  choose("pdDataRate", 7);
  EXPECT_NEAR(param("encoderRate"), 2.0 / 3.0, 1e-12);
  EXPECT_EQ(value("pdEncoder"), 3);
}

TEST_F(MainWindow, HexadecimalFieldsClampAndRewriteInUpperCase) {
  EXPECT_EQ(enterParam("txtScramblerInit", "FF", "scramblerInit"), (Entry{127, "7F"}));
  EXPECT_EQ(enterParam("txtScramblerInit", "2a", "scramblerInit"), (Entry{42, "2A"}));
  // Not hexadecimal: nothing stored, the field shows the value in force and
  // the status line says why.
  EXPECT_EQ(enterParam("txtScramblerInit", "-1", "scramblerInit"), (Entry{42, "2A"}));
  EXPECT_NE(message().find("\"-1\" is not a hexadecimal number"), std::string::npos) << message();
  EXPECT_EQ(enterParam("txtServiceField", "12345", "serviceField"), (Entry{65535, "FFFF"}));
  // Stored unmasked.
  EXPECT_EQ(enterParam("txtServiceField", "0080", "serviceField"), (Entry{128, "80"}));
}

TEST_F(MainWindow, DecimalFieldsClampRoundAndKeepTheirValueWithoutANumber) {
  EXPECT_EQ(enterParam("txtIdleInterval", "2000", "idleSamples"), (Entry{40000, "1000"}));
  EXPECT_EQ(enterParam("txtIdleInterval", "abc", "idleSamples"), (Entry{40000, "1000"}));
  choose("pdOversampleRate", 1);
  EXPECT_EQ(enterParam("txtIdleInterval", "0.03", "idleSamples"), (Entry{1, "0.05"}));

  type("txtWindowLength", "7.6");
  EXPECT_EQ(param("WindowingLength"), 8);
  EXPECT_EQ(enterParam("txtWindowLength", "40", "WindowingLength"), (Entry{16, "16"}));
  type("txtWindowLength", "-3");
  EXPECT_EQ(param("WindowingLength"), 0);
  EXPECT_EQ(enterParam("txtWindowLength", "", "WindowingLength"), (Entry{0, "0"}));
  EXPECT_EQ(str("txtNumberOfSamples"), samplesText());
}

TEST_F(MainWindow, DataLengthLimitFollowsTheMacHeaderAndFcs) {
  gfx::setNumber(h("chkMACheader"), "Value", 1);
  gfx::runCallback(h("chkMACheader"));
  EXPECT_TRUE(enabled("pbMACheaderSetup"));
  gfx::setNumber(h("chkMACfcs"), "Value", 1);
  gfx::runCallback(h("chkMACfcs"));
  EXPECT_EQ(str("txtTotalLength"), "1058");
  type("txtDataLength", "5000");
  EXPECT_EQ(param("dataLength"), 4061);
  EXPECT_EQ(str("txtTotalLength"), "4095");
  type("txtDataLength", "0");
  EXPECT_EQ(param("dataLength"), 1);
  type("txtDataLength", "4061");
  gfx::setNumber(h("chkMACheader"), "Value", 0);
  gfx::runCallback(h("chkMACheader"));
  EXPECT_EQ(param("dataLength"), 4061);  // the limit only rose
  EXPECT_EQ(str("txtTotalLength"), "4065");
  EXPECT_EQ(enterParam("txtDataLength", "no number", "dataLength"), (Entry{4061, "4061"}));
  EXPECT_EQ(str("txtNumberOfSamples"), samplesText());
}

TEST_F(MainWindow, OversamplingRescalesIdleIntervalAndSampleRate) {
  choose("pdOversampleRate", 4);
  EXPECT_EQ(param("idleSamples"), 8000);
  EXPECT_EQ(sigGen("SamplingRate"), 80e6);
  EXPECT_EQ(str("txtSamplingRate"), "80");
  EXPECT_EQ(value("pdSamplingRateUnits"), 3);
  EXPECT_EQ(str("txtIdleInterval"), "100");
  type("txtIdleInterval", "0.3");  // 24 samples at ratio 4
  choose("pdOversampleRate", 3);
  EXPECT_EQ(param("idleSamples"), 18);
  EXPECT_EQ(sigGen("SamplingRate"), 60e6);
  EXPECT_EQ(str("txtNumberOfSamples"), samplesText());
}

// The edge window keeps its duration as the oversampling changes (2 samples
// at 40 MHz are 4 at 80 MHz), cut to the field's 16 samples at most, and the
// status line says what was kept; a window shorter than the nominal 100 ns
// transition is pointed out. Times typed with a unit read through the one
// unit reader.
TEST_F(MainWindow, OversamplingKeepsTheWindowsDurationAndTimesTakeUnits) {
  choose("pdOversampleRate", 4);
  EXPECT_EQ(param("WindowingLength"), 4);
  EXPECT_EQ(str("txtWindowLength"), "4");
  EXPECT_NE(message().find("edge window keeps 50 ns (4 samples)"), std::string::npos) << message();
  EXPECT_NE(message().find("shorter than the nominal 100 ns"), std::string::npos) << message();
  type("txtWindowLength", "8");  // 100 ns at 80 MHz: no note
  EXPECT_EQ(gfx::getString(h("txtWindowLength"), "TooltipString").find("nominal"),
            std::string::npos);
  choose("pdOversampleRate", 1);
  EXPECT_EQ(param("WindowingLength"), 2);
  type("txtWindowLength", "16");
  choose("pdOversampleRate", 4);
  EXPECT_EQ(param("WindowingLength"), 16);
  EXPECT_NE(message().find("is cut to 200 ns"), std::string::npos) << message();

  type("txtIdleInterval", "0.05 ms");
  EXPECT_EQ(param("idleSamples"), 4000);
  type("txtIdleInterval", "16 µs");
  EXPECT_EQ(param("idleSamples"), 1280);
  type("txtIdleInterval", "16 MHz");
  EXPECT_EQ(param("idleSamples"), 1280);
}

TEST_F(MainWindow, UnframedModeDisablesFrameControlsButKeepsTheirValues) {
  gfx::setNumber(h("chkMACheader"), "Value", 1);
  gfx::runCallback(h("chkMACheader"));
  const double framedSamples = param("ProjectedLength");
  choose("tbGenerationMode", 0);
  EXPECT_EQ(param("generationMode"), 0);
  EXPECT_EQ(str("tbGenerationMode"), "Unframed");
  for (const char* tag :
       {"txtIdleInterval", "txtServiceField", "chkMACheader", "chkMACfcs", "pbMACheaderSetup"})
    EXPECT_FALSE(enabled(tag)) << tag;
  EXPECT_TRUE(enabled("pdModulation"));
  EXPECT_TRUE(enabled("pdEncoder"));
  EXPECT_EQ(param("idleSamples"), 4000);
  EXPECT_EQ(params().field("MACheader").field("Active").toScalar(), 1);
  EXPECT_LT(param("ProjectedLength"), framedSamples);
  EXPECT_EQ(str("txtNumberOfSamples"), samplesText());
  // A full redraw (oversampling change) keeps the header button disabled.
  choose("pdOversampleRate", 1);
  EXPECT_FALSE(enabled("pbMACheaderSetup"));
  choose("tbGenerationMode", 1);
  EXPECT_TRUE(enabled("txtIdleInterval"));
  EXPECT_TRUE(enabled("pbMACheaderSetup"));
}

TEST_F(MainWindow, UserFileSourceTakesTheFileLengthOrKeepsThePreviousSource) {
  // Each test runs in a fresh folder of its own (main.cpp).
  const std::string path = (std::filesystem::current_path() / "payload.bin").string();
  {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite("0123456789", 1, 10, f);
    std::fclose(f);
  }
  choose("pdDATAsourceType", 5);
  script->cancel();
  choose("pdDATAsourceType", 7);
  EXPECT_EQ(param("dataSourceType"), 5);
  EXPECT_EQ(value("pdDATAsourceType"), 5);
  script->answer(path);
  choose("pdDATAsourceType", 7);
  EXPECT_EQ(param("dataSourceType"), 7);
  EXPECT_EQ(param("dataLength"), 10);
  EXPECT_EQ(str("txtDataLength"), "10");
  EXPECT_FALSE(enabled("txtDataLength"));
  choose("pdDATAsourceType", 1);
  EXPECT_TRUE(enabled("txtDataLength"));
}

// The same window driven through Qt: typing and Enter, keyboard on a list,
// clicks on buttons.
TEST_F(MainWindow, RespondsToKeyboardAndMouse) {
  auto* window = qobject_cast<QLineEdit*>(gfx::objectOf(h("txtWindowLength")));
  ASSERT_NE(window, nullptr);
  window->selectAll();
  QTest::keyClicks(window, "11");
  QTest::keyClick(window, Qt::Key_Return);
  EXPECT_EQ(param("WindowingLength"), 11);
  EXPECT_EQ(str("txtNumberOfSamples"), samplesText());

  auto* length = qobject_cast<QLineEdit*>(gfx::objectOf(h("txtDataLength")));
  length->selectAll();
  QTest::keyClicks(length, "100");
  QTest::keyClick(length, Qt::Key_Enter);
  EXPECT_EQ(param("dataLength"), 100);

  auto* mode = qobject_cast<QPushButton*>(gfx::objectOf(h("tbGenerationMode")));
  QTest::mouseClick(mode, Qt::LeftButton);
  EXPECT_EQ(param("generationMode"), 0);
  EXPECT_EQ(mode->text(), "Unframed");

  auto* modulation = qobject_cast<QComboBox*>(gfx::objectOf(h("pdModulation")));
  modulation->setFocus();
  QTest::keyClick(modulation, Qt::Key_Up);  // 64-QAM -> 16-QAM
  EXPECT_EQ(param("modulation"), 3);
  EXPECT_EQ(value("pdDataRate"), 6);
}

TEST_F(MainWindow, PlatformComesFromTheEnvironmentAndOnlyBOrCAreTaken) {
  const auto platformAfterStart = [](const char* chosen) {
    if (chosen == nullptr)
      unsetenv("DOT11A_PLATFORM");
    else
      setenv("DOT11A_PLATFORM", chosen, 1);
    testing::internal::CaptureStderr();
    feval("dot11a_GUI_b", 0, {Value("InitializeAppInfo")});
    const std::string err = testing::internal::GetCapturedStderr();
    unsetenv("DOT11A_PLATFORM");
    return std::make_pair(global("appInfo").field("Platform").str(), err);
  };
  EXPECT_EQ(platformAfterStart("c").first, "c");
  EXPECT_EQ(platformAfterStart(nullptr).first, "b");
  EXPECT_EQ(platformAfterStart("").first, "b");
  const auto [wrong, message] = platformAfterStart("C7710");
  EXPECT_EQ(wrong, "b");
  EXPECT_NE(message.find("\"C7710\" is not b or c"), std::string::npos) << message;
}

TEST_F(MainWindow, ErrorsInCallbacksArePrintedAndLeaveTheWindowWorking) {
  // A callback with too many inputs for a local operation: the dispatcher
  // prints the count error and returns.
  testing::internal::CaptureStderr();
  feval("dot11a_GUI_b", 0, {Value("redraw"), handles, Value(1.0)});
  feval("dot11a_GUI_b", 0, {Value("noSuchOperation")});
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("declared number of inputs (1)"), std::string::npos) << err;
  EXPECT_NE(err.find("noSuchOperation"), std::string::npos) << err;
  type("txtWindowLength", "5");
  EXPECT_EQ(param("WindowingLength"), 5);
}

}  // namespace
}  // namespace dot11a::test
