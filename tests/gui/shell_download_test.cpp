// Download and Refresh from the main window against the simulated signal
// generator: what reaches the instrument, and the one message the user sees
// for each outcome.
#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dot11a/instrument.hpp"
#include "dot11a/siggen_settings.hpp"
#include "instrument/sim_process.hpp"
#include "shell_fixture.hpp"

namespace dot11a::test {
namespace {

std::string trimmed(const std::string& s) {
  const auto a = s.find_first_not_of(' ');
  const auto b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::vector<std::string> playbackSent(const SimProcess& sim, std::size_t from) {
  std::vector<std::string> out;
  const auto all = sim.commands();
  for (std::size_t i = from; i < all.size(); ++i) out.push_back(trimmed(all[i]));
  return out;
}

std::vector<std::string> expectedPlayback() {
  std::vector<std::string> out;
  for (const auto& c :
       playbackCommands("DOT11A", sigGenSettingsFromValue(global("SigGenSettings")), Platform::B))
    out.push_back(trimmed(c));
  return out;
}

// A download asks the instrument for its ranges before anything else, then
// stores the waveform (four commands) and plays it.
const std::vector<std::string> kRangeQueries = {":source:freq:fix? min",
                                                ":source:freq:fix? max",
                                                ":source:power:level:immediate:amplitude? min",
                                                ":source:power:level:immediate:amplitude? max",
                                                ":source:rad:arb:clock:srate? min",
                                                ":source:rad:arb:clock:srate? max"};
constexpr std::size_t kPlaybackStart = 6 + 4;

// Whether the dialogs shown are one error titled `title` whose text holds `part`.
testing::AssertionResult oneError(const std::vector<ScriptedDialogs::Shown>& shown,
                                  const std::string& title, const std::string& part) {
  if (shown.size() != 1) return testing::AssertionFailure() << shown.size() << " dialogs shown";
  const ScriptedDialogs::Shown& d = shown[0];
  if (d.kind != "error" || d.title != title || d.text.find(part) == std::string::npos)
    return testing::AssertionFailure() << d.kind << " \"" << d.title << "\": " << d.text;
  return testing::AssertionSuccess();
}

// A waveform played at another clock than its own decodes nowhere: Download
// asks before anything is sent, and sends nothing unless the rate is set.
TEST_F(ShellTest, DownloadNeverPlaysTheWaveformAtAnotherClock) {
  SimProcess sim;
  gfx::setNumber(h("pdSamplingRateUnits"), "Value", 3);
  type("txtSamplingRate", "20");  // the frame is made at ratio 2: 40 MHz
  ASSERT_EQ(sigGen("SamplingRate"), 20e6);
  script->answer("Cancel");
  downloadTo(sim.address());
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].title, "Sample Rate Mismatch");
  EXPECT_TRUE(sim.commands().empty());
  EXPECT_EQ(sigGen("SamplingRate"), 20e6);

  script->shown.clear();
  script->answer("Set 40 MHz & Download");
  gfx::runCallback(h("pbDownload"));
  EXPECT_EQ(sigGen("SamplingRate"), 40e6);
  EXPECT_EQ(str("txtSamplingRate"), "40");
  ASSERT_EQ(script->shown.size(), 2u);
  EXPECT_EQ(script->shown[1].title, "Download Completed");
  EXPECT_EQ(playbackSent(sim, kPlaybackStart), expectedPlayback());
}

// A stalled instrument: the download waits on a worker, the progress dialog
// says what is happening, and Cancel gives control back at once, long before
// the instrument's time-out, with nothing reported as done.
TEST_F(ShellTest, DownloadToAStalledInstrumentShowsProgressAndCancels) {
  SimProcess sim({"--stall-after", "4000"});
  global("configuration").setField("type", Value("TCPIP"));
  global("configuration").field("TCPIP").setField("address", Value(sim.address()));
  global("configuration").setField("timeout", Value(60.0));
  choose("pdOversampleRate", 4);
  type("txtIdleInterval", "1000");  // about 450 kB: more than the connection holds
  gfx::runCallback(h("pbCalculate"));
  std::string label;
  bool shown = false;
  int shownPermille = 1000;
  QTimer::singleShot(2500, [&] {
    QProgressDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "dlgInstrumentProgress") dialog = qobject_cast<QProgressDialog*>(w);
    if (dialog == nullptr) return;
    EXPECT_EQ(dialog->parentWidget(), gfx::widgetOf(fig));
    shown = dialog->isVisible();
    label = dialog->labelText().toStdString();
    shownPermille = dialog->maximum() == 1000 ? dialog->value() : -1;
    if (const char* dir = std::getenv("DOT11A_SCREENSHOT_DIR"))  // scripts/screenshots.sh
      dialog->grab().save(QString::fromStdString(std::string(dir) + "/download-progress.png"));
    if (auto* cancel = dialog->findChild<QPushButton*>()) cancel->click();  // what a user does
  });
  const auto started = std::chrono::steady_clock::now();
  gfx::runCallback(h("pbDownload"));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_TRUE(shown);
  EXPECT_NE(label.find("Storing the waveform in the instrument"), std::string::npos) << label;
  // The count is what the stalled instrument took, not what was written.
  EXPECT_NE(label.find(" kB of "), std::string::npos) << label;
  EXPECT_NE(label.find("taken by the instrument; waiting for the instrument"), std::string::npos)
      << label;
  EXPECT_LT(shownPermille, 800);
  EXPECT_LT(seconds, 10);  // the time-out is 60 s
  EXPECT_TRUE(script->shown.empty()) << lastShown().title;
  EXPECT_NE(message().find("Download cancelled"), std::string::npos) << message();
  EXPECT_EQ(pointer(), "arrow");
}

// Presses Cancel on the download's progress dialog after `ms`.
void cancelDownloadAfter(int ms) {
  QTimer::singleShot(ms, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "dlgInstrumentProgress" && w->isVisible())
        if (auto* cancel = w->findChild<QPushButton*>()) cancel->click();
  });
}

// A second Download right after a cancelled one waits for the instrument
// behind the first transfer's wind-down, never on the GUI thread: the window
// answers throughout, and Cancel returns at once again.
TEST_F(ShellTest, ASecondDownloadAfterCancelKeepsTheWindowAlive) {
  SimProcess sim({"--stall-after", "4000"});
  global("configuration").setField("type", Value("TCPIP"));
  global("configuration").field("TCPIP").setField("address", Value(sim.address()));
  global("configuration").setField("timeout", Value(6.0));
  gfx::runCallback(h("pbCalculate"));
  cancelDownloadAfter(800);
  gfx::runCallback(h("pbDownload"));
  ASSERT_NE(message().find("Download cancelled"), std::string::npos) << message();

  // The heartbeat of the GUI thread while the second download runs.
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0, longestGap = 0;
  QTimer beat;
  QObject::connect(&beat, &QTimer::timeout, [&] {
    longestGap = std::max(longestGap, clock.elapsed() - last);
    last = clock.elapsed();
  });
  beat.start(20);
  cancelDownloadAfter(1500);
  gfx::runCallback(h("pbDownload"));
  const qint64 took = clock.elapsed();
  beat.stop();
  EXPECT_LT(longestGap, 300);
  EXPECT_LT(took, 2500);
  EXPECT_TRUE(script->shown.empty()) << lastShown().title << ": " << lastShown().text;
}

TEST_F(ShellTest, DownloadStoresTheWaveformAtFullScaleAndPlaysIt) {
  SimProcess sim;
  downloadTo(sim.address());
  ASSERT_EQ(script->shown.size(), 1u) << lastShown().title << ": " << lastShown().text;
  EXPECT_EQ(script->shown[0].kind, "message");
  EXPECT_EQ(script->shown[0].title, "Download Completed");
  EXPECT_EQ(script->shown[0].text, "Waveform has been successfully transferred to the instrument");
  EXPECT_EQ(pointer(), "arrow");

  const std::vector<cplx> wave = global("waveform").toComplex();
  double peak = 0;
  for (const cplx& s : wave) peak = std::max({peak, std::abs(s.real()), std::abs(s.imag())});
  const std::string iq = sim.readFile("DOT11A.iq");
  ASSERT_EQ(iq.size(), wave.size() * 4);
  int mismatches = 0;
  for (std::size_t k = 0; k < 2 * wave.size(); ++k) {
    const double x = k % 2 == 0 ? wave[k / 2].real() : wave[k / 2].imag();
    const auto word = static_cast<std::int16_t>((static_cast<std::uint8_t>(iq[2 * k]) << 8) |
                                                static_cast<std::uint8_t>(iq[2 * k + 1]));
    if (word != std::lround(x / peak * 32767)) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(sim.readFile("DOT11A.mkr").size(), wave.size());

  const auto sent = sim.commands();
  ASSERT_GE(sent.size(), kPlaybackStart);
  EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + 6), kRangeQueries);
  EXPECT_EQ(sent[6], ":SOUR:RAD:ARB:STATe?");
  EXPECT_EQ(sent[7], ":SOUR:RAD:ARB:STATe OFF");
  EXPECT_EQ(playbackSent(sim, kPlaybackStart), expectedPlayback());

  // Refresh sends the playback settings alone, with the new frequency.
  type("txtFrequency", "2.4");
  const std::size_t before = sim.commands().size();
  gfx::runCallback(h("pbRefresh"));
  EXPECT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(playbackSent(sim, before), expectedPlayback());
  EXPECT_NE(expectedPlayback()[2].find("2400000000Hz"), std::string::npos);
}

TEST_F(ShellTest, RefusedConnectionShowsOneDownloadErrorAndPlaysNothing) {
  int port = 0;
  {
    SimProcess gone;  // a port nobody listens on any more
    port = gone.port();
  }
  downloadTo("127.0.0.1:" + std::to_string(port));
  ASSERT_TRUE(oneError(script->shown, "Error Occured During Waveform Download", ""));
  EXPECT_FALSE(script->shown[0].text.empty());
  EXPECT_EQ(pointer(), "arrow");
  gfx::runCallback(h("pbRefresh"));
  ASSERT_EQ(script->shown.size(), 2u);
  EXPECT_EQ(script->shown[1].title, "Error Occured During Instrument Setup");
}

// Every command is still sent, and the one error box names every command
// the instrument refused, not only the first.
TEST_F(ShellTest, InstrumentErrorsDuringSetupShowOneSetupErrorNamingEach) {
  SimProcess sim(
      {"--error-on", ":source:rad:arb:clock:ref", "--error-on", ":source:rad:arb:marker:polarity"});
  downloadTo(sim.address());
  ASSERT_TRUE(oneError(script->shown, "Error Occured During Instrument Setup", "Execution error"));
  EXPECT_NE(script->shown[0].text.find(":source:rad:arb:clock:ref"), std::string::npos);
  EXPECT_NE(script->shown[0].text.find(":source:rad:arb:marker:polarity"), std::string::npos)
      << script->shown[0].text;
  EXPECT_EQ(playbackSent(sim, kPlaybackStart), expectedPlayback());
  EXPECT_EQ(pointer(), "arrow");
}

// Refresh plays the stored waveform: at another clock than its own it asks
// first, as Download does, and sends nothing unless the rate is set.
TEST_F(ShellTest, RefreshNeverPlaysTheWaveformAtAnotherClock) {
  SimProcess sim;
  downloadTo(sim.address());
  ASSERT_EQ(lastShown().title, "Download Completed");
  const std::size_t before = sim.commands().size();
  type("txtSamplingRate", "20 MHz");
  script->answer("Cancel");
  gfx::runCallback(h("pbRefresh"));
  EXPECT_EQ(lastShown().title, "Sample Rate Mismatch");
  EXPECT_EQ(lastShown().options[0], "Set 40 MHz & Refresh");
  EXPECT_EQ(sim.commands().size(), before);
  script->answer("Set 40 MHz & Refresh");
  gfx::runCallback(h("pbRefresh"));
  EXPECT_EQ(sigGen("SamplingRate"), 40e6);
  EXPECT_EQ(playbackSent(sim, before), expectedPlayback());
}

TEST_F(ShellTest, InstrumentErrorDuringTheTransferShowsOneDownloadError) {
  SimProcess sim({"--error-on", ":MEM:DATA"});
  downloadTo(sim.address());
  EXPECT_TRUE(oneError(script->shown, "Error Occured During Waveform Download", "Execution error"));
  for (const std::string& sent : sim.commands())
    EXPECT_EQ(sent.find(":output:state on"), std::string::npos) << "played after a failed transfer";
  EXPECT_EQ(pointer(), "arrow");
}

// Records the pointer of the main window whenever a question is asked.
class PointerWitness : public ScriptedDialogs {
 public:
  explicit PointerWitness(double fig) : fig_(fig) {}
  std::string question(std::string_view title, std::string_view text,
                       const std::vector<std::string>& buttons,
                       std::string_view defaultButton) override {
    pointers.push_back(gfx::getString(fig_, "Pointer"));
    return ScriptedDialogs::question(title, text, buttons, defaultButton);
  }
  std::vector<std::string> pointers;

 private:
  double fig_;
};

TEST_F(ShellTest, DeclinedSerialDownloadIsNoSuccessAndRestoresThePointer) {
  auto witness = std::make_unique<PointerWitness>(fig);
  PointerWitness* w = witness.get();
  auto previous = setDialogService(std::move(witness));
  gfx::runCallback(h("pbCalculate"));
  global("configuration").setField("type", Value("RS232"));
  global("configuration").field("RS232").setField("baudrate", Value(300.0));
  w->answer("Cancel");
  gfx::runCallback(h("pbDownload"));
  ASSERT_EQ(w->shown.size(), 1u);
  EXPECT_EQ(w->shown[0].title, "RS-232 Download");
  EXPECT_EQ(w->pointers, (std::vector<std::string>{"watch"}));  // asked while working
  EXPECT_EQ(pointer(), "arrow");

  // A run-time error of the instrument layer: a serial set-up without a baud rate.
  global("configuration").field("RS232").removeField("baudrate");
  gfx::runCallback(h("pbDownload"));
  ASSERT_EQ(w->shown.size(), 2u);
  EXPECT_EQ(w->shown[1].title, "Error Occured During Waveform Download");
  EXPECT_EQ(pointer(), "arrow");
  setDialogService(std::move(previous));
}

}  // namespace
}  // namespace dot11a::test
