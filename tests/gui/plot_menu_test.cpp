// The main window's Plot menu: what each command hands its plot, the waveform
// questions before it, the eye and scatter configuration dialogs, and the list
// of plot windows that Exit closes.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>

#include "gui/plots/plot_data.hpp"
#include "gui/shell.hpp"
#include "gui_fixture.hpp"
#include "screenshots.hpp"

namespace dot11a::test {
namespace {

// One call that reached a plot operation.
struct PlotCall {
  std::string op;
  std::vector<Value> in;
  double window = 0;
};

std::vector<PlotCall>& plotCalls() {
  static std::vector<PlotCall> calls;
  return calls;
}

// Stands in for a plot operation: records its inputs and opens an empty
// window, as a plot does.
void recordPlot(Call& c) {
  c.outputNames({"fig"});
  const double window = gfx::newFigure();
  plotCalls().push_back(
      {std::string(c.op().name), std::vector<Value>(c.inputs().begin(), c.inputs().end()), window});
  c.out(0) = window;
}

void failingPlot(Call&) {
  raise("no room for the axes");
}

constexpr const char* kPlots[] = {"KS_PlotSpectrum",   "KS_PlotWaterfall",      "KS_PlotIQTime",
                                  "KS_PlotEyeDiagram", "KS_PlotScatterDiagram", "KS_PlotCCDF"};

class PlotMenuTest : public MainWindowTest {
 protected:
  void SetUp() override {
    plotCalls().clear();
    MainWindowTest::SetUp();
  }
  void TearDown() override {
    for (std::string_view name : standIns_) shell::removeCommand(name);
    for (double w : windows())
      if (gfx::isHandle(w)) gfx::deleteFigure(w);
    for (const PlotCall& call : plotCalls())
      if (gfx::isHandle(call.window)) gfx::deleteFigure(call.window);
    plotCalls().clear();
    if (gfx::isHandle(fig)) MainWindowTest::TearDown();
    std::filesystem::remove("defaults.mat");  // stored by Exit
  }

  // The shell finds its own commands before the library's operations, so a
  // command of the same name stands in for the plot while the test runs.
  void standIn(std::string_view name, OpFn fn = recordPlot) {
    shell::addCommand(OpInfo{name, kAny, 1, 1, name, fn});
    standIns_.push_back(name);
  }
  void standInForAll() {
    for (const char* name : kPlots) standIn(name);
  }
  void menu(const std::string& tag) { gfx::runCallback(h(tag)); }
  std::vector<double> windows() const {
    const Value& info = global("appInfo");
    if (!info.hasField("ClientWindows")) return {};
    return info.field("ClientWindows").toDoubles();
  }
  bool calculated() const { return !global("appInfo").field("LastCalcTimeStamp").isEmpty(); }
  Value quantised() const { return feval1("applyDacRes", {global("waveform"), 14.0}); }
  static double rate() { return global("SigGenSettings").field("SamplingRate").toScalar(); }
  const PlotCall& lastCall() const {
    static const PlotCall none{};
    return plotCalls().empty() ? none : plotCalls().back();
  }
  std::string pointer() const { return gfx::getString(fig, "Pointer"); }

 private:
  std::vector<std::string_view> standIns_;
};

// ---- what each command passes ------------------------------------------------------

TEST_F(PlotMenuTest, EveryPlotGetsTheMainWindowATimedTitleAndTheQuantisedWaveform) {
  standInForAll();
  menu("pbCalculate");
  const Value wave = quantised();
  ASSERT_FALSE(wave.isEmpty());
  EXPECT_NE(wave, global("waveform"));  // 14-bit steps, not the exact samples
  const double n = static_cast<double>(global("waveform").numel());

  for (const char* tag : {"menuPlotSpectrum", "menuPlotWaterfall", "menuPlotIQTime",
                          "menuPlotIQTimeSameAxes", "menuPlotCCDF"})
    menu(tag);
  EXPECT_TRUE(script->shown.empty());  // the waveform is current: nothing asked
  ASSERT_EQ(plotCalls().size(), 5u);

  const std::regex title(R"(IEEE 802\.11a-1999 \(OFDM\) \(\d\d[A-Z]{3}\d{4} \d{1,2}:\d\d:\d\d\))");
  for (const PlotCall& call : plotCalls()) {
    SCOPED_TRACE(call.op);
    ASSERT_GE(call.in.size(), 3u);
    EXPECT_EQ(call.in[0].toScalar(), fig);
    EXPECT_TRUE(std::regex_match(call.in[1].str(), title)) << call.in[1].str();
    EXPECT_EQ(call.in.back(), wave);
  }
  const auto& calls = plotCalls();
  EXPECT_EQ(calls[0].op, "KS_PlotSpectrum");
  EXPECT_EQ(calls[0].in.size(), 4u);
  EXPECT_EQ(calls[0].in[2].toScalar(), rate());

  EXPECT_EQ(calls[1].op, "KS_PlotWaterfall");
  ASSERT_EQ(calls[1].in.size(), 5u);
  EXPECT_EQ(calls[1].in[2].toScalar(), rate());
  EXPECT_DOUBLE_EQ(calls[1].in[3].toScalar(), n / rate() / 200);  // 200 slices

  EXPECT_EQ(calls[2].op, "KS_PlotIQTime");
  ASSERT_EQ(calls[2].in.size(), 5u);
  EXPECT_EQ(calls[2].in[2].toScalar(), rate());
  EXPECT_EQ(calls[2].in[3].toScalar(), 0);  // two axes
  EXPECT_EQ(calls[3].op, "KS_PlotIQTime");
  EXPECT_EQ(calls[3].in[3].toScalar(), 1);  // overlaid

  EXPECT_EQ(calls[4].op, "KS_PlotCCDF");
  EXPECT_EQ(calls[4].in.size(), 3u);

  // Every window is kept, in the order opened.
  std::vector<double> opened;
  for (const PlotCall& call : calls) opened.push_back(call.window);
  EXPECT_EQ(windows(), opened);
  EXPECT_EQ(pointer(), "arrow");
}

// Without a stand-in the spectrum window draws the calculated waveform as
// the converter makes it, at the generator's rate: a sequence of frames too.
TEST_F(PlotMenuTest, SpectrumShowsTheCalculatedWaveformAsTheConverterMakesIt) {
  shell::signal().sequence.frames = 3;
  type("txtDataLength", "60");
  menu("pbCalculate");
  menu("menuPlotSpectrum");
  ASSERT_EQ(windows().size(), 1u);
  const gfx::Handle ax = gfx::figureAxes(windows()[0]).at(0);
  const gfx::Handle line = gfx::get(ax, "Children").toScalar();
  const plots::Spectrum want = plots::spectrum(quantised().toComplex(), rate());
  EXPECT_EQ(gfx::get(line, "YData").toDoubles(), want.level);
  EXPECT_EQ(gfx::get(line, "XData").toDoubles(), want.frequency);
}

TEST_F(PlotMenuTest, WaterfallSliceFollowsTheGeneratorRate) {
  standInForAll();
  menu("pbCalculate");
  global("SigGenSettings").setField("SamplingRate", 40e6);
  global("waveform") = Value::row(std::vector<double>(20000, 0.5));
  menu("menuPlotWaterfall");
  ASSERT_EQ(plotCalls().size(), 1u);
  EXPECT_DOUBLE_EQ(lastCall().in[3].toScalar(), 2.5e-6);
  EXPECT_EQ(lastCall().in[2].toScalar(), 40e6);
}

// ---- the waveform questions --------------------------------------------------------

TEST_F(PlotMenuTest, PlotsAskForAMissingOrStaleWaveformFirst) {
  standInForAll();
  script->answer("Cancel");
  menu("menuPlotSpectrum");
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].title, "Waveform Not Calculated");
  EXPECT_EQ(script->shown[0].options[0], "Calculate & Plot");
  EXPECT_TRUE(plotCalls().empty());
  EXPECT_TRUE(windows().empty());
  EXPECT_FALSE(calculated());

  script->answer("Calculate & Plot");
  menu("menuPlotCCDF");
  EXPECT_TRUE(calculated());
  ASSERT_EQ(plotCalls().size(), 1u);
  EXPECT_EQ(lastCall().in.back(), quantised());

  const Value old = quantised();
  type("txtDataLength", "300");
  script->answer("Cancel");
  menu("menuPlotIQTime");
  EXPECT_EQ(script->shown.back().title, "Waveform Not Recalculated");
  EXPECT_EQ(plotCalls().size(), 1u);

  script->answer("Yes");  // the old waveform, as it was calculated
  menu("menuPlotIQTime");
  ASSERT_EQ(plotCalls().size(), 2u);
  EXPECT_EQ(lastCall().in.back(), old);

  script->answer("Recalc & Plot");
  menu("menuPlotSpectrum");
  ASSERT_EQ(plotCalls().size(), 3u);
  EXPECT_NE(lastCall().in.back(), old);
  EXPECT_EQ(lastCall().in.back(), quantised());
  EXPECT_EQ(windows().size(), 3u);
}

TEST_F(PlotMenuTest, DeclinedWaveformQuestionOpensNoConfigurationDialog) {
  standInForAll();
  for (const char* tag : {"menuPlotEyeDiagram", "menuPlotScatterDiagram"}) {
    script->answer("Cancel");
    menu(tag);
  }
  ASSERT_EQ(script->shown.size(), 2u);
  for (const auto& shown : script->shown) EXPECT_EQ(shown.kind, "question");
  EXPECT_TRUE(plotCalls().empty());
}

// ---- the eye and scatter configuration dialogs --------------------------------------

TEST_F(PlotMenuTest, EyeDiagramAsksSymbolsAndDelayAndClampsThem) {
  standInForAll();
  menu("pbCalculate");
  ASSERT_EQ(param("OverSampling"), 2);
  const double n = static_cast<double>(global("waveform").numel());

  script->answer(std::vector<std::string>{"0", "2"});
  menu("menuPlotEyeDiagram");
  ASSERT_EQ(script->shown.size(), 1u);
  const auto& asked = script->shown[0];
  EXPECT_EQ(asked.kind, "input");
  EXPECT_EQ(asked.title, "Eye Diagram Configuration");
  EXPECT_EQ(asked.text, "Enter number of symbols:\nEnter symbol delay (0-1):");
  EXPECT_EQ(asked.options, (std::vector<std::string>{"1", "0"}));
  ASSERT_EQ(plotCalls().size(), 1u);
  const PlotCall& first = lastCall();
  EXPECT_EQ(first.op, "KS_PlotEyeDiagram");
  ASSERT_EQ(first.in.size(), 6u);
  EXPECT_EQ(first.in[0].toScalar(), fig);
  EXPECT_EQ(first.in[2], quantised());
  EXPECT_EQ(first.in[3].toScalar(), 2);  // one symbol of two samples
  EXPECT_DOUBLE_EQ(first.in[4].toScalar(), 2 / rate());
  EXPECT_EQ(first.in[5].toScalar(), 2);  // a whole symbol late

  struct Case {
    std::vector<std::string> answers;
    double samplesPerTrace, delay;
  };
  const Case cases[] = {
      {{"5.4", "0.5"}, 10, 1},
      {{" 3 ", "-1"}, 6, 0},
      {{"2.5", "0.2"}, 6, 0},  // halves round away from zero; 0.4 samples rounds to 0
      {{"1e9", "1"}, 2 * std::floor(n / 2), 2},
      {{"inf", "0.75"}, 2 * std::floor(n / 2), 2},
      {{"1e999", "1e-999"}, 2 * std::floor(n / 2), 0},
      {{"+2", "+.5"}, 4, 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.answers[0] + " / " + k.answers[1]);
    script->answer(k.answers);
    menu("menuPlotEyeDiagram");
    EXPECT_EQ(lastCall().in[3].toScalar(), k.samplesPerTrace);
    EXPECT_DOUBLE_EQ(lastCall().in[4].toScalar(), k.samplesPerTrace / rate());
    EXPECT_EQ(lastCall().in[5].toScalar(), k.delay);
  }
  EXPECT_EQ(plotCalls().size(), 1u + std::size(cases));
  EXPECT_EQ(windows().size(), plotCalls().size());
  EXPECT_EQ(pointer(), "arrow");

  // Answers are read with a decimal point whatever the user's locale.
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  if (std::setlocale(LC_NUMERIC, "de_DE.utf8") != nullptr) {
    script->answer(std::vector<std::string>{"5.4", "0.5"});
    menu("menuPlotEyeDiagram");
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(lastCall().in[3].toScalar(), 10);
    EXPECT_EQ(lastCall().in[5].toScalar(), 1);
  }
}

TEST_F(PlotMenuTest, ScatterDiagramAsksTraceAndDelayAndClampsThem) {
  standInForAll();
  choose("pdOversampleRate", 3);
  menu("pbCalculate");
  const double os = param("OverSampling");
  ASSERT_GT(os, 2);

  script->answer(std::vector<std::string>{"7", "0.5"});
  menu("menuPlotScatterDiagram");
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].title, "Scatter Diagram Configuration");
  EXPECT_EQ(script->shown[0].text, "Trace On (0|1):\nEnter symbol delay (0-1):");
  EXPECT_EQ(script->shown[0].options, (std::vector<std::string>{"1", "0"}));
  const PlotCall& first = lastCall();
  EXPECT_EQ(first.op, "KS_PlotScatterDiagram");
  ASSERT_EQ(first.in.size(), 6u);
  EXPECT_EQ(first.in[0].toScalar(), fig);
  EXPECT_EQ(first.in[2], quantised());
  EXPECT_EQ(first.in[3].toScalar(), os);
  EXPECT_EQ(first.in[4].toScalar(), std::round(0.5 * os));
  EXPECT_EQ(first.in[5].toScalar(), 1);  // 7 means on

  const std::pair<std::string, double> traces[] = {{"-3", 0}, {"0.4", 0}, {"0.5", 1}, {"1", 1}};
  for (const auto& [answer, trace] : traces) {
    script->answer(std::vector<std::string>{answer, "3"});
    menu("menuPlotScatterDiagram");
    EXPECT_EQ(lastCall().in[5].toScalar(), trace) << answer;
    EXPECT_EQ(lastCall().in[4].toScalar(), os) << answer;  // at most one symbol late
  }
  EXPECT_EQ(windows().size(), 5u);
}

TEST_F(PlotMenuTest, CancelledOrUnreadableConfigurationPlotsNothing) {
  standInForAll();
  menu("pbCalculate");
  for (const char* tag : {"menuPlotEyeDiagram", "menuPlotScatterDiagram"}) {
    SCOPED_TRACE(tag);
    script->shown.clear();
    script->cancel();
    menu(tag);
    ASSERT_EQ(script->shown.size(), 1u);  // the dialog alone, no message after Cancel
    EXPECT_EQ(script->shown[0].kind, "input");

    // The answers, and the one the message quotes.
    const std::pair<std::vector<std::string>, std::string> unreadable[] = {
        {{"", "0"}, ""},       {{"two", "0"}, "two"}, {{"1", "half"}, "half"}, {{"1", ""}, ""},
        {{"NaN", "0"}, "NaN"}, {{"1 2", "0"}, "1 2"}, {{"0x", "0"}, "0x"}};
    for (const auto& [answers, bad] : unreadable) {
      script->shown.clear();
      script->answer(answers);
      menu(tag);
      ASSERT_EQ(script->shown.size(), 2u);
      const auto& said = script->shown[1];
      EXPECT_EQ(said.kind, "error");
      EXPECT_EQ(said.title, script->shown[0].title);
      EXPECT_NE(said.text.find("\"" + bad + "\" is not one"), std::string::npos) << said.text;
      EXPECT_NE(said.text.find("Nothing was plotted."), std::string::npos);
    }
  }
  EXPECT_TRUE(plotCalls().empty());
  EXPECT_TRUE(windows().empty());
  EXPECT_EQ(pointer(), "arrow");
}

// After "Yes" to a stale waveform, the symbols are cut at the ratio the
// waveform was made with, not at the one the settings now name.
TEST_F(PlotMenuTest, EyeAndScatterUseTheRatioOfTheCalculatedWaveform) {
  standInForAll();
  menu("pbCalculate");
  ASSERT_EQ(param("OverSampling"), 2);
  params().setField("OverSampling", 4.0);
  script->answer("Yes");
  script->answer(std::vector<std::string>{"3", "1"});
  menu("menuPlotEyeDiagram");
  EXPECT_EQ(lastCall().in[3].toScalar(), 6);
  EXPECT_EQ(lastCall().in[5].toScalar(), 2);
  script->answer("Yes");
  script->answer(std::vector<std::string>{"0", "1"});
  menu("menuPlotScatterDiagram");
  EXPECT_EQ(lastCall().in[3].toScalar(), 2);
  EXPECT_EQ(lastCall().in[4].toScalar(), 2);
}

// ---- failures and the real plot windows ------------------------------------------------

TEST_F(PlotMenuTest, PlotThatFailsIsReportedAndKeepsNoWindow) {
  standIn("KS_PlotCCDF", failingPlot);
  menu("pbCalculate");
  menu("menuPlotCCDF");
  ASSERT_EQ(script->shown.size(), 1u);
  EXPECT_EQ(script->shown[0].kind, "error");
  EXPECT_EQ(script->shown[0].title, "Plot Error");
  EXPECT_EQ(script->shown[0].text, "Unable to Plot CCDF\nno room for the axes");
  EXPECT_TRUE(windows().empty());
  EXPECT_EQ(pointer(), "arrow");
}

// The plots as built: each opens its named window over the main window. A plot
// operation that this build does not have yet is reported, not silently lost.
TEST_F(PlotMenuTest, MenuOpensTheRealPlotWindows) {
  menu("pbCalculate");
  script->answer(std::vector<std::string>{"2", "0"});
  script->answer(std::vector<std::string>{"1", "0"});
  const std::pair<const char*, const char*> items[] = {
      {"menuPlotSpectrum", "KS_PlotSpectrum"},
      {"menuPlotWaterfall", "KS_PlotWaterfall"},
      {"menuPlotIQTime", "KS_PlotIQTime"},
      {"menuPlotIQTimeSameAxes", "KS_PlotIQTime"},
      {"menuPlotEyeDiagram", "KS_PlotEyeDiagram"},
      {"menuPlotScatterDiagram", "KS_PlotScatterDiagram"},
      {"menuPlotCCDF", "KS_PlotCCDF"}};
  const std::map<std::string, std::string> names = {{"KS_PlotSpectrum", "Magnitude Spectrum "},
                                                    {"KS_PlotWaterfall", "Spectrum Waterfall "},
                                                    {"KS_PlotIQTime", "I(t) Q(t) "},
                                                    {"KS_PlotEyeDiagram", "Eye Diagram "},
                                                    {"KS_PlotScatterDiagram", "Scatter Diagram "},
                                                    {"KS_PlotCCDF", "CCDF "}};
  std::size_t expected = 0;
  for (const auto& [tag, op] : items) {
    SCOPED_TRACE(tag);
    const std::size_t shownBefore = script->shown.size();
    menu(tag);
    if (findOperation(op)->fn == nullptr) {
      ASSERT_GT(script->shown.size(), shownBefore);
      EXPECT_EQ(script->shown.back().title, "Plot Error");
      EXPECT_EQ(windows().size(), expected);
      continue;
    }
    ASSERT_EQ(windows().size(), ++expected);
    const double w = windows().back();
    const std::string name = gfx::getString(w, "Name");
    EXPECT_EQ(name.rfind(names.at(op) + "IEEE 802.11a-1999 (OFDM) (", 0), 0u) << name;
  }
  EXPECT_GE(expected, 3u);
}

// ---- the list of plot windows -----------------------------------------------------------

TEST_F(PlotMenuTest, ExitClosesEveryPlotWindowAndSkipsThoseClosedByHand) {
  menu("pbCalculate");
  menu("menuPlotSpectrum");
  menu("menuPlotCCDF");
  ASSERT_EQ(windows().size(), 2u);
  const double byHand = windows()[0];
  gfx::widgetOf(byHand)->close();  // the user closes the spectrum himself
  QCoreApplication::processEvents();
  ASSERT_FALSE(gfx::isHandle(byHand));

  menu("menuPlotWaterfall");  // the closed one leaves the list
  std::vector<double> open = windows();
  ASSERT_EQ(open.size(), 2u);
  EXPECT_EQ(std::count(open.begin(), open.end(), byHand), 0);

  global("appInfo").setField("ClientWindows", Value::row({open[0], byHand, open[1]}));
  menu("menuFileExit");
  EXPECT_TRUE(script->shown.empty());  // no error about the window already gone
  EXPECT_FALSE(gfx::isHandle(fig));
  for (double w : open) EXPECT_FALSE(gfx::isHandle(w));
  EXPECT_TRUE(windows().empty());
}

TEST_F(PlotMenuTest, ClosingTheMainWindowClosesThePlots) {
  standInForAll();
  menu("pbCalculate");
  menu("menuPlotIQTime");
  script->answer(std::vector<std::string>{"1", "0"});
  menu("menuPlotScatterDiagram");
  menu("menuPlotSpectrum");
  const std::vector<double> open = windows();
  ASSERT_EQ(open.size(), 3u);
  gfx::widgetOf(fig)->close();
  EXPECT_FALSE(gfx::isHandle(fig));
  for (double w : open) EXPECT_FALSE(gfx::isHandle(w));
  EXPECT_TRUE(windows().empty());
}

// ---- pictures -------------------------------------------------------------------------

// Pictures of every plot window the menu opens for the default frame, and of
// the whole screen with them open. Runs only when DOT11A_SCREENSHOT_DIR names
// a folder (scripts/screenshots.sh sets it).
TEST_F(PlotMenuTest, Screenshots) {
  const std::string dir = screenshotFolder();
  std::filesystem::create_directories(dir);
  gfx::widgetOf(fig)->show();
  menu("pbCalculate");
  script->answer(std::vector<std::string>{"2", "0"});
  script->answer(std::vector<std::string>{"1", "0"});
  for (const char* tag :
       {"menuPlotSpectrum", "menuPlotWaterfall", "menuPlotIQTime", "menuPlotIQTimeSameAxes",
        "menuPlotEyeDiagram", "menuPlotScatterDiagram", "menuPlotCCDF"}) {
    const std::size_t before = windows().size();
    menu(tag);
    gfx::processEvents(200);
    if (windows().size() == before) continue;  // reported as a Plot Error
    QWidget* w = gfx::widgetOf(windows().back());
    ASSERT_NE(w, nullptr);
    w->show();
    gfx::processEvents(200);
    EXPECT_TRUE(w->grab().save(QString::fromStdString(dir + "/plot-menu-" + tag + ".png")));
  }
  // The whole screen only where there is one (under Xvfb, not offscreen).
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen != nullptr && QGuiApplication::platformName() != "offscreen")
    screen->grabWindow(0).save(QString::fromStdString(dir + "/plot-menu-screen.png"));
}

}  // namespace
}  // namespace dot11a::test
