// The main window tells the truth and forgives typing: lengths of a user-file
// frame, entries that are no number or beyond the double range, refused
// hexadecimal text, the status bar, the keyboard, the screen fit and the
// splash time.
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "dot11a/size_estimate.hpp"
#include "gui/feedback.hpp"
#include "gui_fixture.hpp"

namespace dot11a::test {
namespace {

using WindowFeedback = MainWindowTest;

std::string writeFile(const std::string& name, std::size_t bytes) {
  // Each test runs in a fresh folder of its own (main.cpp), removed at the end.
  const std::string path = (std::filesystem::current_path() / name).string();
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  for (std::size_t i = 0; i < bytes; ++i) std::fputc(static_cast<int>(i * 7 % 251), f);
  std::fclose(f);
  return path;
}

bool markedOverLimit(double handle) {
  QWidget* w = gfx::widgetOf(handle);
  return w->styleSheet().contains("color") && w->toolTip().contains("Over the limit");
}

TEST(EntryNumber, ReadsNumbersAndTakesOverflowAsInfinity) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(gui::readEntryNumber("12.5"), 12.5);
  EXPECT_EQ(gui::readEntryNumber("  +3e2 "), 300.0);
  EXPECT_EQ(gui::readEntryNumber("-30"), -30.0);
  EXPECT_EQ(gui::readEntryNumber("1e400"), inf);
  EXPECT_EQ(gui::readEntryNumber("-1e400"), -inf);
  EXPECT_EQ(gui::readEntryNumber(std::string(400, '9')), inf);
  EXPECT_DOUBLE_EQ(*gui::readEntryNumber("0." + std::string(400, '0') + "1e100"), 1e-301);
  EXPECT_EQ(gui::readEntryNumber("0.0001e-400"), 0.0);
  EXPECT_EQ(gui::readEntryNumber("1e-400"), 0.0);
  EXPECT_TRUE(std::signbit(*gui::readEntryNumber("-1e-400")));
  EXPECT_EQ(gui::readEntryNumber("0.001e310"), 1e307);
  EXPECT_EQ(gui::readEntryNumber("100000e-99999999999999999999"), 0.0);
  for (const char* text : {"", "  ", "abc", "-3O", "-30 dBm", "1,5", "nan", "++1", "0x10", "1e"})
    EXPECT_FALSE(gui::readEntryNumber(text).has_value()) << text;
}

TEST(StatusTexts, CountWithThousandsAndGiveTheDuration) {
  EXPECT_EQ(gui::withThousands(999), "999");
  EXPECT_EQ(gui::withThousands(11040), "11,040");
  EXPECT_EQ(gui::withThousands(1234567), "1,234,567");
  const Value clock = Value::row({2026, 12, 9, 14, 3, 12.7});
  EXPECT_EQ(gui::calculatedText(clock, 11040, 40e6), "Calculated 14:03:12, 11,040 samples, 276 µs");
  EXPECT_EQ(gui::calculatedText(clock, 400000, 80e6), "Calculated 14:03:12, 400,000 samples, 5 ms");
}

TEST(ScreenFit, RectanglesMoveInsideAndShrinkToTheArea) {
  const QRect area(0, 0, 1366, 728);
  EXPECT_EQ(gui::fitRectInto(QRect(100, 100, 400, 300), area), QRect(100, 100, 400, 300));
  EXPECT_EQ(gui::fitRectInto(QRect(113, -38, 1140, 840), area), QRect(113, 0, 1140, 728));
  EXPECT_EQ(gui::fitRectInto(QRect(1200, 600, 400, 300), area), QRect(966, 428, 400, 300));
  EXPECT_EQ(gui::fitRectInto(QRect(-50, 10, 2000, 100), area), QRect(0, 10, 1366, 100));
}

// Mend: with a user file the numbers shown are those of the frame.
TEST_F(WindowFeedback, UserFileLengthsAreTheFramesAndTheLimitIsMarkedAtOnce) {
  script->answer(writeFile("full.bin", 4095));
  choose("pdDATAsourceType", 7);
  ASSERT_EQ(param("dataSourceType"), 7);
  EXPECT_EQ(str("txtDataLength"), "4095");
  EXPECT_FALSE(markedOverLimit(h("txtTotalLength")));

  choose("chkMACheader", 1);
  EXPECT_EQ(str("txtDataLength"), "4095");
  EXPECT_EQ(str("txtTotalLength"), "4125");
  EXPECT_TRUE(markedOverLimit(h("txtTotalLength")));
  EXPECT_NE(message().find("4125"), std::string::npos) << message();
  choose("chkMACfcs", 1);
  EXPECT_EQ(str("txtTotalLength"), "4129");
  EXPECT_EQ(param("ProjectedLength"), static_cast<double>(sizeEstimate(params())));

  choose("chkMACheader", 0);
  choose("chkMACfcs", 0);
  EXPECT_EQ(str("txtDataLength"), "4095");
  EXPECT_EQ(str("txtTotalLength"), "4095");
  EXPECT_FALSE(markedOverLimit(h("txtTotalLength")));
  EXPECT_EQ(message(), "");
  EXPECT_EQ(gfx::getString(h("txtTotalLength"), "TooltipString"),
            "Indicates the total number of\nbytes are in the physical frame.\n(This includes the "
            "MAC Header.)");
  const std::size_t asked = script->shown.size();  // the file dialog
  gfx::runCallback(h("pbCalculate"));
  EXPECT_EQ(script->shown.size(), asked);  // no error box
  EXPECT_EQ(global("waveform").numel(), static_cast<std::size_t>(param("ProjectedLength")));
  EXPECT_EQ(param("totalLength"), 4095);
}

// Mend: a typo never becomes the highest power or frequency.
TEST_F(WindowFeedback, TextThatIsNoNumberKeepsTheValueInForceAndSaysWhy) {
  for (const char* typo : {"-3O", "-30 dB", "", "abc"}) {
    EXPECT_EQ(enterSigGen("txtAmplitude", typo, "Amplitude"), (Entry{-30, "-30"})) << typo;
    EXPECT_NE(message().find("is not a number"), std::string::npos) << message();
  }
  gfx::setNumber(h("pdFrequencyUnits"), "Value", 3);
  EXPECT_EQ(enterSigGen("txtFrequency", "2.4 GHz x", "Frequency"), (Entry{1e9, "1"}));
  EXPECT_EQ(value("pdFrequencyUnits"), 4);
  EXPECT_NE(message().find("stays 1 GHz"), std::string::npos) << message();
  EXPECT_EQ(enterSigGen("txtSamplingRate", "", "SamplingRate"), (Entry{40e6, "40"}));

  EXPECT_EQ(enterParam("txtIdleInterval", "1OO", "idleSamples"), (Entry{4000, "100"}));
  EXPECT_EQ(enterParam("txtWindowLength", "two", "WindowingLength"), (Entry{2, "2"}));
  EXPECT_EQ(enterParam("txtDataLength", "", "dataLength"), (Entry{1024, "1024"}));
  EXPECT_NE(message().find("Data length"), std::string::npos) << message();

  // A good entry afterwards clears the complaint; a clamped one says so.
  type("txtAmplitude", "-20");
  EXPECT_EQ(sigGen("Amplitude"), -20);
  EXPECT_EQ(message(), "");
  type("txtAmplitude", "99");
  EXPECT_EQ(sigGen("Amplitude"), 20);
  EXPECT_NE(message().find("limited to 20 dBm"), std::string::npos) << message();
}

// Mend: refused hexadecimal text does not stay on the screen.
TEST_F(WindowFeedback, RefusedHexadecimalTextShowsTheValueInForce) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(enterParam("txtScramblerInit", "zz", "scramblerInit"), (Entry{93, "5D"}));
  EXPECT_NE(message().find("\"zz\""), std::string::npos) << message();
  EXPECT_EQ(enterParam("txtServiceField", "12G4", "serviceField"), (Entry{0, "0"}));
  type("txtServiceField", "");
  EXPECT_EQ(param("serviceField"), 0);
  const std::string console = testing::internal::GetCapturedStderr();
  EXPECT_NE(console.find("\"12G4\""), std::string::npos) << console;  // the console keeps a copy
}

// Mend: numbers beyond the double range are clamped as the numbers they are.
TEST_F(WindowFeedback, NumbersBeyondTheDoubleRangeTakeTheirClamp) {
  EXPECT_EQ(enterParam("txtIdleInterval", "1e400", "idleSamples"), (Entry{40000, "1000"}));
  type("txtWindowLength", "-1e400");
  EXPECT_EQ(param("WindowingLength"), 0);
  type("txtDataLength", "1e-400");
  EXPECT_EQ(param("dataLength"), 1);
  type("txtDataLength", "1e999");
  EXPECT_EQ(param("dataLength"), 4095);
  type("txtAmplitude", "-1e400");
  EXPECT_EQ(sigGen("Amplitude"), -136);
  gfx::setNumber(h("pdFrequencyUnits"), "Value", 1);
  type("txtFrequency", "1e400");
  EXPECT_EQ(sigGen("Frequency"), 4e9);
  type("txtSamplingRate", "-1e400");
  EXPECT_EQ(sigGen("SamplingRate"), 1);
  type("txtScramblerInit", std::string(300, 'F'));
  EXPECT_EQ(param("scramblerInit"), 127);
}

TEST_F(WindowFeedback, StatusLineSaysWhetherTheWaveformIsCurrent) {
  EXPECT_EQ(calculationState(), "Not calculated yet");
  gfx::runCallback(h("pbCalculate"));
  const QString state = QString::fromStdString(calculationState());
  const QRegularExpression form("^Calculated \\d\\d:\\d\\d:\\d\\d, [\\d,]+ samples, [\\d.]+ µs$");
  EXPECT_TRUE(form.match(state).hasMatch()) << state.toStdString();
  const std::string count = gui::withThousands(double(global("waveform").numel()));
  EXPECT_TRUE(state.contains(QString::fromStdString(count + " samples"))) << state.toStdString();

  choose("chkScramblerActive", 0);
  EXPECT_EQ(calculationState(), "Settings changed since the last calculation");
  choose("chkScramblerActive", 1);
  EXPECT_EQ(calculationState().rfind("Calculated ", 0), 0u);
  type("txtWindowLength", "4");
  EXPECT_EQ(calculationState(), "Settings changed since the last calculation");

  // A failed calculation: a box for the action, the reason in the status line,
  // and the state still says that the waveform is not of these settings.
  params().setField("dataSourceType", 7.0);
  params().setField("dataSourceBitstream", Value::empty());
  gfx::runCallback(h("pbCalculate"));
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].title, "Calculation Failed");
  EXPECT_NE(message().find("dataSourceBitstream has 0 bits"), std::string::npos) << message();
  EXPECT_EQ(calculationState(), "Settings changed since the last calculation");
}

TEST_F(WindowFeedback, ErrorsOfCallbacksReachTheStatusLine) {
  testing::internal::CaptureStderr();
  feval("dot11a_GUI_b", 0, {Value("redraw"), handles, Value(1.0)});
  const std::string console = testing::internal::GetCapturedStderr();
  EXPECT_NE(message().find("declared number of inputs"), std::string::npos) << message();
  EXPECT_NE(console.find("declared number of inputs"), std::string::npos);
}

TEST_F(WindowFeedback, KeyboardCalculatesAndReachesFieldsByMnemonic) {
  auto* window = qobject_cast<QMainWindow*>(gfx::widgetOf(fig));
  ASSERT_NE(window, nullptr);
  QApplication::setActiveWindow(window);
  window->activateWindow();
  // Every label with a mnemonic leads to its control.
  int mnemonics = 0;
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (!label->text().contains('&')) continue;
    ++mnemonics;
    EXPECT_NE(label->buddy(), nullptr) << label->objectName().toStdString();
  }
  EXPECT_GE(mnemonics, 14);
  auto* amplitude = qobject_cast<QLineEdit*>(gfx::objectOf(h("txtAmplitude")));
  QTest::keyClick(window, Qt::Key_U, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), amplitude);
  // Alt+A is the Analysis menu's alone.
  QTest::keyClick(window, Qt::Key_A, Qt::AltModifier);
  QMenuBar* bar = window->menuBar();
  ASSERT_NE(bar->activeAction(), nullptr);
  EXPECT_EQ(bar->activeAction()->text(), "&Analysis");
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  // The offscreen platform has no window manager to give the activation back
  // once the menu is gone; a calculation serves the events that would leave
  // it with the closed menu.
  QApplication::processEvents();
  QApplication::setActiveWindow(window);

  // Typed but not yet left: Ctrl+Return takes the entry, then calculates.
  amplitude->setFocus();
  amplitude->selectAll();
  QTest::keyClicks(amplitude, "-12");
  auto* action = window->findChild<QAction*>("actCalculate");
  ASSERT_NE(action, nullptr);
  EXPECT_TRUE(action->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Return)));
  EXPECT_TRUE(action->shortcuts().contains(QKeySequence(Qt::Key_F5)));
  QTest::keyClick(amplitude, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(sigGen("Amplitude"), -12);
  EXPECT_FALSE(global("waveform").isEmpty());
  global("waveform") = Value::empty();
  QTest::keyClick(window, Qt::Key_F5);
  EXPECT_FALSE(global("waveform").isEmpty());
}

TEST_F(WindowFeedback, WindowHasItsIconAndTheAboutBoxACloseButton) {
  const QIcon icon = gfx::widgetOf(fig)->windowIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_GE(icon.availableSizes().size(), 3);
  gfx::runCallback(h("menuHelpAbout"));
  QWidget* about = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "KS_About" && w->isVisible()) about = w;
  ASSERT_NE(about, nullptr);
  auto* buttons = about->findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  QPushButton* close = buttons->button(QDialogButtonBox::Close);
  ASSERT_NE(close, nullptr);
  QTest::mouseClick(close, Qt::LeftButton);
  QCoreApplication::processEvents();
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_FALSE(w->objectName() == "KS_About" && w->isVisible());
}

// Mend: the window stays inside the available screen area and scrolls.
TEST_F(WindowFeedback, WindowStaysInsideASmallScreenAndScrolls) {
  auto* window = qobject_cast<QMainWindow*>(gfx::widgetOf(fig));
  auto* scroll = window->findChild<QScrollArea*>("scrollContent");
  ASSERT_NE(scroll, nullptr);
  const QRect area(0, 27, 911, 485);  // 1366x768 at 150 % with a top panel
  gui::setAvailableScreenAreaOverride(area);
  gui::fitWindowToScreen(fig);
  gui::setAvailableScreenAreaOverride({});
  const QRect g = window->geometry();
  const QRect frame = window->frameGeometry();
  EXPECT_TRUE(area.contains(frame))
      << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
  QCoreApplication::processEvents();
  // The settings scroll; the Calculate row stays below them, on the screen.
  EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
  QWidget* calculate = gfx::widgetOf(h("pbCalculate"));
  EXPECT_FALSE(scroll->isAncestorOf(calculate));
  EXPECT_FALSE(calculate->visibleRegion().isEmpty());
  EXPECT_GE(calculate->mapTo(window, QPoint(0, calculate->height())).y(), 0);
  EXPECT_LE(calculate->mapTo(window, QPoint(0, calculate->height())).y(), g.height());
  // Centring a window over another keeps its size where it fits.
  const double child = feval1("loadFigure", {Value("KS_Splash.fig"), 0.0}).toScalar();
  gfx::set(child, "Position", Value::row({0, 0, 400, 300}));
  gfx::set(fig, "Position", Value::row({100, 100, 800, 600}));
  feval("positionChildWindow", 0, {fig, child});
  EXPECT_EQ(gfx::get(child, "Position"), Value::row({300, 250, 400, 300}));
  gfx::deleteFigure(child);
}

// Every window lands inside the screen as it opens, however large it is or
// wherever it was put: one of the Demodulate window's size (1100 x 700) placed
// right of the middle of a 1366 x 768 screen, title bar included. A long
// status message is whole in its tooltip and on the console.
TEST_F(WindowFeedback, WindowsOpenInsideA1366x768Screen) {
  const QRect area(0, 0, 1366, 768 - 32);  // a panel at the bottom
  gui::setAvailableScreenAreaOverride(area);
  const gfx::Handle big = gfx::newFigure();
  gfx::set(big, "Position", Value::row({531, 0, 1100, 700}));
  gfx::setString(big, "Visible", "on");
  QCoreApplication::processEvents();
  const QRect g = gfx::widgetOf(big)->frameGeometry();
  EXPECT_TRUE(area.contains(g)) << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
  gfx::deleteFigure(big);
  gui::setAvailableScreenAreaOverride({});

  const std::string longText =
      "Frequency limited to 6 GHz (valid: 100 kHz to 6 GHz); the instrument at 127.0.0.1:5025 "
      "reported its ranges and every field was brought within them.";
  testing::internal::CaptureStderr();
  gui::tellUser(fig, longText, false, false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), longText + "\n");
  auto* label = gfx::widgetOf(h("txtStatusMessage"));
  EXPECT_EQ(label->toolTip().toStdString(), longText);
  testing::internal::CaptureStderr();
  gui::tellUser(fig, "Short.", false, false);  // fits: not repeated on the console
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Mend: the splash stays its whole minimum time on the screen.
TEST(Splash, StaysTheMinimumTimeFromWhenItIsShown) {
  useLibrary();
  ScopedScriptedDialogs script;
  struct Watch : QObject {
    QElapsedTimer clock;
    qint64 shown = -1, hidden = -1;
    bool eventFilter(QObject* o, QEvent* e) override {
      if (o->objectName() == "KS_Splash" && o->isWidgetType()) {
        if (e->type() == QEvent::Show && shown < 0) shown = clock.elapsed();
        if (e->type() == QEvent::Hide && shown >= 0 && hidden < 0) hidden = clock.elapsed();
      }
      return false;
    }
  } watch;
  watch.clock.start();
  qApp->installEventFilter(&watch);
  gfx::setSplashMinimumMs(400);
  const double fig = feval1("dot11a_GUI_b", {}).toScalar();
  gfx::setSplashMinimumMs(0);
  qApp->removeEventFilter(&watch);
  ASSERT_GE(watch.shown, 0);
  ASSERT_GE(watch.hidden, 0);
  EXPECT_GE(watch.hidden - watch.shown, 400);
  gfx::deleteFigure(fig);
  QCoreApplication::processEvents();
}

}  // namespace
}  // namespace dot11a::test
