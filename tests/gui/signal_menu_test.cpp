// The Signal menu: the Impairments and Frame Sequence dialogs, what Calculate
// makes of their settings, their record in parameter files and the memory bound.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "dot11a/files.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/job_options.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/waveform.hpp"
#include "gui/shell.hpp"
#include "gui/signal_dialogs.hpp"
#include "screenshots.hpp"
#include "shell_fixture.hpp"

namespace dot11a::test {
namespace {

namespace fs = std::filesystem;

class SignalMenu : public ShellTest {
 protected:
  // Runs `steps` in the dialog the next menu command opens; a dialog the
  // steps leave open is cancelled, so a failed step never hangs the test.
  template <class D>
  void inDialog(std::function<void(D&)> steps) {
    QTimer::singleShot(0, [steps] {
      auto* d = dynamic_cast<D*>(QApplication::activeModalWidget());
      if (d == nullptr) {
        ADD_FAILURE() << "the dialog did not open";
        return;
      }
      steps(*d);
      if (d->isVisible()) d->reject();
    });
  }
  template <class W>
  static W* in(QWidget& d, const char* name) {
    W* w = d.findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  static void set(QWidget& d, const char* name, const char* text) {
    in<QLineEdit>(d, name)->setText(text);
  }
  static void ok(QWidget& d) { in<QPushButton>(d, "ok")->click(); }
  static shell::Signal& signal() { return shell::signal(); }
  std::string title() const { return gfx::getString(fig, "Name"); }
};

TEST_F(SignalMenu, ImpairmentsFromTheDialogMakeTheCalculatedWaveform) {
  // The menu bar's Alt letters stay unique with the new menu.
  auto* window = qobject_cast<QMainWindow*>(gfx::widgetOf(fig));
  ASSERT_NE(window, nullptr);
  std::set<QChar> letters;
  for (QAction* a : window->menuBar()->actions()) {
    const qsizetype at = a->text().indexOf('&');
    ASSERT_GE(at, 0) << a->text().toStdString();
    EXPECT_TRUE(letters.insert(a->text()[at + 1].toLower()).second) << a->text().toStdString();
  }
  EXPECT_EQ(gfx::getString(h("menuSignalImpairments"), "Label"), "&Impairments...");

  // A value out of range is refused in the dialog, which stays open with the
  // settings in force unchanged; a good one is taken with OK.
  std::string refusal;
  bool stillOpen = false, stillClean = false;
  inDialog<gui::ImpairmentsDialog>([&](gui::ImpairmentsDialog& d) {
    EXPECT_FALSE(in<QLineEdit>(d, "cfoHz")->isEnabled());  // off by default
    in<QCheckBox>(d, "cfoOn")->setChecked(true);
    set(d, "cfoHz", "2e6");
    ok(d);
    refusal = d.problem().toStdString();
    stillOpen = d.isVisible();
    stillClean = !signal().active();
    set(d, "cfoHz", "50000");
    in<QCheckBox>(d, "noiseOn")->setChecked(true);
    set(d, "snrDb", "25");
    set(d, "seed", "7");
    ok(d);
  });
  menu("menuSignalImpairments");
  EXPECT_NE(refusal.find("carrier frequency offset"), std::string::npos) << refusal;
  EXPECT_TRUE(stillOpen && stillClean);
  const shell::Signal s = signal();
  ASSERT_TRUE(s.impairments.cfoHz && s.impairments.snrDb);
  EXPECT_EQ(*s.impairments.cfoHz, 50000);
  EXPECT_EQ(s.impairments.seed, 7u);
  EXPECT_NE(title().find("[IMPAIRED]"), std::string::npos) << title();

  // Calculate makes the impaired waveform, sample for sample the library's.
  gfx::runCallback(h("pbCalculate"));
  EXPECT_EQ(global("waveform"), toValues(make(shell::windowJob())).waveform);
  EXPECT_NE(global("waveform"), calculateFrame(params()).waveform);
  EXPECT_EQ(ready("Download"), 1);

  // A change of the impairments alone makes the waveform out of date.
  inDialog<gui::ImpairmentsDialog>([&](gui::ImpairmentsDialog& d) {
    set(d, "snrDb", "30");
    ok(d);
  });
  menu("menuSignalImpairments");
  EXPECT_EQ(calculationState(), "Settings changed since the last calculation");
}

TEST_F(SignalMenu, SequenceFollowsToLengthAndMarkersAndTheMemoryBoundRefuses) {
  std::ofstream(path("bad.json")) << "{\"frames\": [";
  std::ofstream(path("list.json")) << R"({"frames": [{"rate": 6, "length": 20}, {"rate": 24}]})";
  std::string refusal, badFile, framesOfList;
  inDialog<gui::SequenceDialog>([&](gui::SequenceDialog& d) {
    // Browse: a file that does not read says so; a list sets the frame count.
    script->answer(path("bad.json"));
    in<QPushButton>(d, "browse")->click();
    badFile = d.problem().toStdString();
    script->answer(path("list.json"));
    in<QPushButton>(d, "browse")->click();
    framesOfList = in<QLineEdit>(d, "frames")->text().toStdString();
    set(d, "frames", "0");
    ok(d);
    refusal = d.problem().toStdString();
    set(d, "frames", "3");  // the list of two repeats
    in<QComboBox>(d, "gap")->setCurrentText("SIFS");
    ok(d);
  });
  menu("menuSignalSequence");
  EXPECT_NE(refusal.find("frame count"), std::string::npos) << refusal;
  EXPECT_EQ(badFile.rfind("Sequence file: ", 0), 0u) << badFile;
  EXPECT_EQ(framesOfList, "2");
  ASSERT_EQ(signal().sequence.frames, 3u);
  EXPECT_EQ(signal().sequence.file, path("list.json"));
  const std::size_t n = projectedLength(shell::windowJob());
  EXPECT_EQ(str("txtNumberOfSamples"), num2str(static_cast<double>(n)) + " Samples");
  gfx::runCallback(h("pbCalculate"));
  ASSERT_EQ(global("waveform").numel(), n);
  const std::vector<double> markers = global("markers").toDoubles();
  double starts = 0;
  for (std::size_t i = 0; i < n; ++i) starts += markers[2 * i];
  EXPECT_EQ(starts, 3);
  // Export Waveform writes the sequence, each frame annotated.
  script->answer(std::vector<std::string>{path("seq.sigmf-meta"), "*.sigmf-meta"});
  menu("menuFileExportWaveform");
  EXPECT_EQ(fs::file_size(path("seq.sigmf-data")), 8 * n);
  std::ifstream meta(path("seq.sigmf-meta"));
  const std::string text((std::istreambuf_iterator<char>(meta)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\"frame 3: short and long training symbols\""), std::string::npos);

  // Option M08: a sequence beyond 8 Msamples is refused before anything is
  // made, and the last waveform stays.
  global("configuration").setField("BBGtype", Value("M08"));
  signal().sequence.frames = 100000;
  feval("dot11a_GUI_b", 0, {Value("redrawProjectedLength"), handles});
  EXPECT_NE(str("txtNumberOfSamples").find("Over the memory"), std::string::npos);
  gfx::runCallback(h("pbCalculate"));
  EXPECT_EQ(lastShown().title, "Calculation Failed");
  EXPECT_NE(lastShown().text.find("8000000 samples"), std::string::npos) << lastShown().text;
  EXPECT_EQ(global("waveform").numel(), n);
}

// Calculate of a long sequence runs off the GUI thread and serves the
// window's events meanwhile: a second Calculate is refused while the first
// runs, Cancel keeps the last waveform, and a result whose settings changed
// while it was made is dropped, never shown as the waveform of the settings
// in the window.
TEST_F(SignalMenu, LongCalculateServesEventsCancelsAndDropsAStaleResult) {
  menu("pbCalculate");
  const Value oneFrame = global("waveform");
  signal().sequence.frames = 1000;
  auto progress = [this] {
    return gfx::widgetOf(fig)->window()->findChild<QProgressDialog*>("dlgWindowProgress");
  };
  std::string second;
  QTimer::singleShot(30, [&] {
    menu("pbCalculate");
    second = message();
    if (QProgressDialog* d = progress()) Q_EMIT d->canceled();
  });
  menu("pbCalculate");
  EXPECT_EQ(second.rfind("Busy", 0), 0u) << second;
  EXPECT_EQ(progress(), nullptr);
  EXPECT_TRUE(global("waveform") == oneFrame);
  EXPECT_NE(message().find("cancelled"), std::string::npos) << message();

  bool changedDuring = false;
  QTimer::singleShot(30, [&] {
    changedDuring = progress() != nullptr;
    Value p = global("parameters");
    p.setField("dataLength", Value(100.0));
    global("parameters") = p;
  });
  menu("pbCalculate");
  EXPECT_TRUE(changedDuring);
  EXPECT_TRUE(global("waveform") == oneFrame);
  EXPECT_NE(message().find("settings changed"), std::string::npos) << message();
  // The next Calculate makes the waveform of the settings shown.
  signal().sequence.frames = 2;
  menu("pbCalculate");
  EXPECT_EQ(global("waveform").numel(), projectedLength(shell::windowJob()));
  // The levels the generator gives at its set level, for the tester.
  EXPECT_NE(message().find("At the set level -30 dBm: burst "), std::string::npos) << message();
}

TEST_F(SignalMenu, ParameterFilesKeepTheSignalAndOlderFilesLoadWithNone) {
  shell::Signal& s = signal();
  s.sequence.frames = 2;
  s.sequence.gap = Gap::parse("DIFS");
  s.impairments.iq = impair::IqImbalance{0.5, 2};
  s.impairments.seed = 18446744073709551615u;  // more than a double holds
  const std::string file = path("signal.mat");
  script->answer(file);
  menu("menuFileSaveAs");
  ASSERT_TRUE(readParameterFile(file, params().field("ParameterFileFormat_ID").str())
                  .signalSettings.has_value());

  // The signal counts as a change: New asks before dropping it.
  s.impairments.snrDb = 10;
  script->answer("Discard");
  menu("menuFileNew");
  EXPECT_EQ(lastShown().title, "Unsaved Changes");
  EXPECT_FALSE(signal().active());

  script->answer(file);
  menu("menuFileOpen");
  const shell::Signal back = signal();
  EXPECT_EQ(back.sequence.frames, 2u);
  EXPECT_EQ(back.sequence.gap.text(), "DIFS");
  ASSERT_TRUE(back.impairments.iq);
  EXPECT_EQ(back.impairments.iq->phaseDeg, 2);
  EXPECT_FALSE(back.impairments.snrDb);
  EXPECT_EQ(back.impairments.seed, 18446744073709551615u);
  EXPECT_NE(title().find("[2 frames, IMPAIRED]"), std::string::npos) << title();

  // A file without the record (as older builds write them) opens with the
  // clean frame, whatever was set before.
  const std::string old = path("old.mat");
  writeParameterFile(old, params(), global("SigGenSettings"));
  script->answer(old);
  menu("menuFileOpen");
  EXPECT_FALSE(signal().active());
  EXPECT_EQ(title().find('['), std::string::npos) << title();
}

// Signal > Receiver Test applies dot11a-gen's preset: the window's job after
// the dialog is the tool's for the same preset and rate; a refused choice
// says why in the dialog; the parameter file keeps the preset, which the
// dialog offers again; a change made in another Signal dialog ends it.
TEST_F(SignalMenu, ReceiverTestIsDotGensPresetAndItsFileKeepsIt) {
  // Its Alt letters are unique in the Signal menu and in the dialog.
  std::set<QChar> items;
  for (const char* tag :
       {"menuSignalImpairments", "menuSignalSequence", "menuSignalReceiverTest"}) {
    const QString label = QString::fromStdString(gfx::getString(h(tag), "Label"));
    EXPECT_TRUE(items.insert(label[label.indexOf('&') + 1].toLower()).second) << tag;
  }
  std::string refused, summary;
  const std::string shot = screenshotFolder() + "/signal-receiver-test.png";
  inDialog<gui::ReceiverTestDialog>([&](gui::ReceiverTestDialog& d) {
    std::set<QChar> keys;
    for (const QLabel* l : d.findChildren<QLabel*>())
      if (const qsizetype at = l->text().indexOf('&'); at >= 0) {
        EXPECT_TRUE(keys.insert(l->text()[at + 1].toLower()).second) << l->text().toStdString();
      }
    for (const QAbstractButton* b : d.findChildren<QAbstractButton*>())
      if (const qsizetype at = b->text().indexOf('&'); at >= 0) {
        EXPECT_TRUE(keys.insert(b->text()[at + 1].toLower()).second) << b->text().toStdString();
      }
    in<QComboBox>(d, "test")->setCurrentText("acr");
    in<QComboBox>(d, "rate")->setCurrentText("24");
    set(d, "frames", "0");
    ok(d);
    refused = d.problem().toStdString();
    set(d, "frames", "");
    summary = d.summary().toStdString();
    QCoreApplication::processEvents();
    d.grab().save(QString::fromStdString(shot));
    ok(d);
  });
  menu("menuSignalReceiverTest");
  EXPECT_NE(refused.find("from 1 to"), std::string::npos) << refused;
  EXPECT_EQ(summary.rfind("acr at 24 Mbit/s: 1000 frames of 1000 octets", 0), 0u) << summary;
  EXPECT_NE(summary.find("-71 dBm"), std::string::npos) << summary;
  EXPECT_TRUE(showsSomething(shot, 200, 100));

  JobOptions o;
  o.test = "acr";
  o.rate = 24;
  const OptionsJob made = jobOf(o, OptionSpelling::CommandLine);
  const FrameJob& gen = made.job;
  EXPECT_EQ(made.choice, signal().test);  // as the files record it
  const FrameJob win = shell::windowJob();
  EXPECT_EQ(toRecord(win.frame), toRecord(gen.frame));
  EXPECT_EQ(toSignalRecord(win.sequence, win.impairments),
            toSignalRecord(gen.sequence, gen.impairments));
  EXPECT_EQ(num2str(params().field("OverSampling").toScalar()), "3");  // holds the interferer
  EXPECT_NE(title().find("[acr test, 1000 frames, IMPAIRED]"), std::string::npos) << title();

  // Saved and opened again: the preset is back and the dialog offers it;
  // applying it again (its own interferer is no user's) changes nothing.
  const std::string file = path("acr.mat");
  script->answer(file);
  menu("menuFileSaveAs");
  signal() = {};
  script->answer("Discard");
  script->answer(file);
  menu("menuFileOpen");
  ASSERT_TRUE(signal().test.has_value());
  EXPECT_EQ(signal().test->name, "acr");
  EXPECT_FALSE(signal().test->frames);
  const Value before = shell::signalRecord();
  std::string offered;
  inDialog<gui::ReceiverTestDialog>([&](gui::ReceiverTestDialog& d) {
    offered = in<QComboBox>(d, "test")->currentText().toStdString() + " " +
              in<QComboBox>(d, "rate")->currentText().toStdString() + " " +
              d.problem().toStdString();
    ok(d);
  });
  menu("menuSignalReceiverTest");
  EXPECT_EQ(offered, "acr 24 ");  // and nothing refused
  EXPECT_EQ(shell::signalRecord(), before);

  // Another sequence is no longer the preset's.
  inDialog<gui::SequenceDialog>([&](gui::SequenceDialog& d) {
    set(d, "frames", "5");
    ok(d);
  });
  menu("menuSignalSequence");
  EXPECT_FALSE(signal().test);
  EXPECT_FALSE(receiverTestOf(shell::signalRecord()));
}

// Pictures of the two dialogs and of the window they leave (into
// DOT11A_SCREENSHOT_DIR when it names a folder): the refusal shows in the
// dialog, and the title tells the sequence and the impairments.
TEST_F(SignalMenu, Screenshots) {
  const std::string dir = screenshotFolder();
  gfx::setString(fig, "Visible", "on");
  const auto save = [dir](QWidget& w, const char* name) {
    QCoreApplication::processEvents();
    w.grab().save(QString::fromStdString(std::string(dir) + "/" + name));
  };
  inDialog<gui::ImpairmentsDialog>([&](gui::ImpairmentsDialog& d) {
    save(d, "signal-impairments.png");
    in<QCheckBox>(d, "cfoOn")->setChecked(true);
    set(d, "cfoHz", "25000");
    in<QCheckBox>(d, "noiseOn")->setChecked(true);
    in<QCheckBox>(d, "iqOn")->setChecked(true);
    set(d, "iqGain", "9");
    ok(d);  // refused: the message shows in the dialog
    save(d, "signal-impairments-refused.png");
    set(d, "iqGain", "0.5");
    ok(d);
  });
  menu("menuSignalImpairments");
  inDialog<gui::SequenceDialog>([&](gui::SequenceDialog& d) {
    set(d, "frames", "100");
    in<QComboBox>(d, "gap")->setCurrentText("SIFS");
    in<QCheckBox>(d, "seedStep")->setChecked(true);
    save(d, "signal-frame-sequence.png");
    ok(d);
  });
  menu("menuSignalSequence");
  save(*gfx::widgetOf(fig), "main-window-impaired-sequence.png");
  const auto at = [&](const char* name) { return dir + "/" + name; };
  for (const char* name :
       {"signal-impairments.png", "signal-frame-sequence.png", "main-window-impaired-sequence.png"})
    EXPECT_TRUE(showsSomething(at(name), 200, 100));
  EXPECT_TRUE(picturesDiffer(at("signal-impairments.png"), at("signal-impairments-refused.png")));
  EXPECT_NE(title().find("[100 frames, IMPAIRED]"), std::string::npos) << title();
}

}  // namespace
}  // namespace dot11a::test
