// The settings panel's bounds come from the instrument a download reached:
// a generator that reports 6 GHz makes the 5 GHz band settable, one that
// reports 4 GHz keeps it out, and one that answers nonsense changes nothing.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QToolTip>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "instrument/sim_process.hpp"
#include "shell_fixture.hpp"

namespace dot11a::test {
namespace {

class InstrumentRangesTest : public ShellTest {
 protected:
  std::string tip(const std::string& tag) const { return gfx::getString(h(tag), "TooltipString"); }
  // Types a frequency in GHz as a user does.
  double setGHz(const std::string& text) {
    gfx::setNumber(h("pdFrequencyUnits"), "Value", 4);
    type("txtFrequency", text);
    return sigGen("Frequency");
  }
};

TEST_F(InstrumentRangesTest, TheBoundsAreThoseOfTheInstrumentLastReached) {
  EXPECT_NE(tip("txtFrequency").find("TGX model determines"), std::string::npos);
  EXPECT_NE(tip("txtSamplingRate").find("TGX model determines"), std::string::npos);
  EXPECT_EQ(setGHz("5.18"), 4e9);

  SimProcess familyC({"--family", "c"});
  downloadTo(familyC.address());
  ASSERT_EQ(lastShown().title, "Download Completed") << lastShown().text;
  EXPECT_NE(message().find("6 GHz"), std::string::npos) << message();
  EXPECT_EQ(setGHz("5.18"), 5.18e9);
  EXPECT_NE(tip("txtFrequency").find("Valid Range: 100 kHz - 6 GHz"), std::string::npos)
      << tip("txtFrequency");
  EXPECT_NE(tip("txtFrequency").find(familyC.address()), std::string::npos);
  EXPECT_NE(tip("txtAmplitude").find("+25 dBm"), std::string::npos) << tip("txtAmplitude");
  EXPECT_NE(tip("txtSamplingRate").find("100 MHz"), std::string::npos);

  if (const char* dir = std::getenv("DOT11A_SCREENSHOT_DIR")) {  // scripts/screenshots.sh
    QWidget* field = gfx::widgetOf(h("txtFrequency"));
    QToolTip::showText(field->mapToGlobal(field->rect().bottomLeft()),
                       QString::fromStdString(tip("txtFrequency")), field);
    QApplication::processEvents();
    // The window with the tooltip painted where it shows (a tooltip is a
    // window of its own, which a grab of the main window leaves out).
    QWidget* window = field->window();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->inherits("QTipLabel") && w->isVisible()) {
        QPixmap picture = window->grab();
        QPainter painter(&picture);
        painter.drawPixmap(window->mapFromGlobal(w->pos()), w->grab());
        painter.end();
        std::filesystem::create_directories(dir);
        picture.save(QString::fromStdString(std::string(dir) + "/panel-range-tooltip.png"));
      }
    QToolTip::hideText();
  }

  // A parameter file brings back what this instrument takes.
  const std::string file = path("band5");
  script->answer(file);
  menu("menuFileSaveAs");
  menu("menuFileNew");
  EXPECT_EQ(sigGen("Frequency"), 1e9);
  script->answer(file);
  menu("menuFileOpen");
  EXPECT_EQ(sigGen("Frequency"), 5.18e9) << message();

  // A 4 GHz, 40 MHz generator cannot take the 5.18 GHz carrier nor the
  // 80 MHz clock: it is asked for its ranges before a byte of the waveform
  // travels, the error names both settings, and the fields are brought
  // within its ranges, which bound the panel from then on.
  SimProcess familyB({"--family", "b"});
  script->shown.clear();
  choose("pdOversampleRate", 4);
  ASSERT_EQ(sigGen("SamplingRate"), 80e6);
  downloadTo(familyB.address());
  ASSERT_EQ(script->shown.size(), 1u);
  const std::string refusal = lastShown().text;
  EXPECT_NE(refusal.find("nothing was sent"), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("Frequency 5.18 GHz (the instrument: 100 kHz to 4 GHz)"),
            std::string::npos)
      << refusal;
  EXPECT_NE(refusal.find("Sample rate 80 MHz (the instrument: 1 Hz to 40 MHz)"), std::string::npos)
      << refusal;
  EXPECT_EQ(familyB.commands().size(), 6u);  // the range queries alone
  EXPECT_EQ(sigGen("Frequency"), 4e9);
  EXPECT_EQ(sigGen("SamplingRate"), 40e6);
  EXPECT_NE(message().find("frequency 5.18 GHz to 4 GHz, sample rate 80 MHz to 40 MHz"),
            std::string::npos)
      << message();
  EXPECT_EQ(setGHz("5.18"), 4e9);
  EXPECT_NE(message().find("limited to 4 GHz"), std::string::npos) << message();
  choose("pdOversampleRate", 2);
  ASSERT_EQ(sigGen("SamplingRate"), 40e6);

  // Nonsense from a third instrument: the defaults, and the tooltip says the
  // instrument decides.
  SimProcess confused({"--range-answer", "+9.91E+37"});
  script->shown.clear();
  downloadTo(confused.address());
  EXPECT_EQ(lastShown().title, "Download Completed") << lastShown().text;
  EXPECT_NE(message().find("keeps its own bounds"), std::string::npos) << message();
  EXPECT_NE(tip("txtFrequency").find("TGX model determines"), std::string::npos);
  EXPECT_EQ(setGHz("4.5"), 4e9);
}

// The toggles say what their state means and what pressing them does; the
// first lines stay as they were.
TEST_F(InstrumentRangesTest, TogglesSayWhatTheyDo) {
  EXPECT_EQ(tip("tbArbRefSource").rfind("Toggles the source of the ARB reference", 0), 0u);
  EXPECT_NE(tip("tbArbRefSource").find("Now \"Int. Ref\""), std::string::npos);
  EXPECT_NE(tip("tbMarkerPolarity").find("Now \"+ Mkrs\""), std::string::npos);
  gfx::setNumber(h("tbArbRefSource"), "Value", 1);
  gfx::runCallback(h("tbArbRefSource"));
  gfx::setNumber(h("tbMarkerPolarity"), "Value", 1);
  gfx::runCallback(h("tbMarkerPolarity"));
  EXPECT_NE(tip("tbArbRefSource").find("Now \"Ext. Ref\""), std::string::npos);
  EXPECT_NE(tip("tbMarkerPolarity").find("Now \"- Mkrs\""), std::string::npos);
}

}  // namespace
}  // namespace dot11a::test
