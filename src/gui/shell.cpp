// The application shell, module rfCommonUI: the menu bar, the window title,
// the Calculate step that records what was calculated, the check that a
// current waveform exists, the memory-option and connection menus, the about
// box and the shut-down. The File menu, the waveform export, the instrument
// buttons and the Plot menu are in shell_files.cpp, shell_instrument.cpp and
// shell_plots.cpp.
#include "gui/shell.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "dot11a/dialogs.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/module.hpp"
#include "dot11a/siggen_settings.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/instrument_task.hpp"

namespace dot11a {

namespace shell {

using namespace gfx;

LocalTable& table() {
  static LocalTable t{"rfCommonUI", {}};
  return t;
}

bool addCommands(std::initializer_list<gfx::LocalOp> rows) {
  for (const OpInfo& info : gfx::localOperations("rfCommonUI", rows).functions)
    table().functions.push_back(info);
  return true;
}

bool addCommand(const OpInfo& info) {
  table().functions.push_back(info);
  return true;
}

void removeCommand(std::string_view name) {
  std::erase_if(table().functions, [&](const OpInfo& f) { return f.name == name; });
}

const LocalTable& commandTable() {
  return table();
}

Value& appInfo() {
  return global("appInfo");
}

std::string appText(std::string_view field) {
  const Value& info = appInfo();
  if (!info.isRecord() || !info.hasField(field) || !info.field(field).isText()) return "";
  return info.field(field).str();
}

bool platformC() {
  return appText("Platform") == "c";
}

double mainWindow(const Value& handles) {
  if (handles.isRecord() && handles.hasField("main")) return handles.field("main").toScalar();
  return gcbf();
}

WatchPointer::WatchPointer(double figure) : figure_(figure) {
  if (figure_ == 0 || !isHandle(figure_)) return;
  previous_ = getString(figure_, "Pointer");
  setString(figure_, "Pointer", "watch");
  active_ = true;
}

WatchPointer::~WatchPointer() {
  try {
    restore();
  } catch (const std::exception&) {
    // The window went away meanwhile; there is no pointer left to restore.
  }
}

void WatchPointer::restore() {
  if (!active_) return;
  active_ = false;
  if (isHandle(figure_)) setString(figure_, "Pointer", previous_);
}

void application(std::string_view operation, std::initializer_list<Value> args) {
  std::vector<Value> in{Value(std::string(operation))};
  in.insert(in.end(), args.begin(), args.end());
  feval(appText("ApplicationFunction"), 0, std::span<const Value>(in));
}

Value clockNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  const double fraction =
      std::chrono::duration<double>(now - std::chrono::system_clock::from_time_t(t)).count();
  return Value::row({double(tm.tm_year + 1900), double(tm.tm_mon + 1), double(tm.tm_mday),
                     double(tm.tm_hour), double(tm.tm_min), tm.tm_sec + fraction});
}

std::string& fileOfThisRun() {
  static std::string path;
  return path;
}

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  return out;
}

bool calculatedSetIsCurrent() {
  const Value& info = appInfo();
  if (!info.isRecord() || !info.hasField("LastCalcTimeStamp") ||
      info.field("LastCalcTimeStamp").isEmpty())
    return false;
  return feval1("compareStruct", {info.field("LastCaluclatedParameterSet"), global("parameters")})
             .truthy() &&
         info.hasField("LastCalculatedSignal") &&
         info.field("LastCalculatedSignal") == signalRecord();
}

bool calculated() {
  const Value& info = appInfo();
  return info.isRecord() && info.hasField("LastCalcTimeStamp") &&
         !info.field("LastCalcTimeStamp").isEmpty();
}

}  // namespace

// Asks before a stale or missing waveform is used. A calculation run from
// here must have succeeded (the recorded set equals the current one) before
// the caller goes on, so a failed calculation never lets an old waveform, or
// none, pass for the current one. Closing the question asks nothing to be sent
// to the instrument: for "Download" it counts as "Cancel". Closing the stale
// waveform's question (Escape, the close box) is "Cancel" for every action:
// a user who backs out never gets the old waveform shown as if he chose it.
bool busy(double figure) {
  if (!gui::windowTaskRunning()) return false;
  if (figure == 0 || isHandle(figure))
    gui::tellUser(figure,
                  "Busy: wait for the work under way to end, or press Cancel in its progress "
                  "window.",
                  false, false);
  return true;
}

bool waveformReady(const Value& handles, std::string_view action) {
  if (busy(mainWindow(handles))) return false;
  const std::string act(action);
  const bool closingCancels = act == "Download";
  auto calculate = [&] {
    feval("executeCalculation", 0, {handles});
    return calculatedSetIsCurrent();
  };
  if (!calculated()) {
    const std::string answer = dialogs().question(
        "Waveform Not Calculated",
        "The waveform has not yet been calculated. Do you wish to calculate\nthe waveform and "
        "then " +
            lower(act) + " ?",
        {"Calculate & " + act, "Cancel"}, "Calculate & " + act);
    if (answer == "Cancel" || (answer.empty() && closingCancels)) return false;
    return calculate();
  }
  if (calculatedSetIsCurrent()) return true;
  const std::string recalc = "Recalc & " + act;
  const std::string answer = dialogs().question(
      "Waveform Not Recalculated",
      "Settings have changed since last calculating the waveform.\n" + act +
          " will use the last calculated waveform.\nDo you wish to " + lower(act) + " anyway ?",
      {"Yes", recalc, "Cancel"}, recalc);
  if (answer == "Cancel" || answer.empty()) return false;
  if (answer == recalc) return calculate();
  return true;
}

}  // namespace shell

namespace {

using namespace gfx;
using shell::appInfo;
using shell::appText;
using shell::mainWindow;
using shell::platformC;

std::string menuCallback(std::string_view tag) {
  return "rfCommonUI('" + std::string(tag) + "_Callback',gcbo,[],guidata(gcbo))";
}

// One entry of the menu table: parent tag, label, tag, and "on"/"off" texts
// for a separator above it, its visibility and whether it can be chosen.
Value menuItem(std::string_view parent, std::string_view label, std::string_view tag,
               std::string_view command = "", bool separator = false, bool visible = true,
               bool enabled = true) {
  return Value::record(
      {{"Parent", Value(std::string(parent))},
       {"Label", Value(std::string(label))},
       {"Tag", Value(std::string(tag))},
       {"Callback", Value(command.empty() ? std::string() : menuCallback(command))},
       {"Separator", Value(separator ? "on" : "off")},
       {"Visible", Value(visible ? "on" : "off")},
       {"Enable", Value(enabled ? "on" : "off")}});
}

// A menu entry with a keyboard shortcut ("Ctrl+S").
Value withKeys(Value item, std::string_view keys) {
  item.setField("Accelerator", Value(std::string(keys)));
  return item;
}

// The menu bar of the main window.
Value menuTable(double fig) {
  std::vector<Value> items = {
      menuItem("", "&File", "menuFile"),
      withKeys(menuItem("menuFile", "&New", "menuFileNew", "menuFileNew"), "Ctrl+N"),
      withKeys(menuItem("menuFile", "&Open...", "menuFileOpen", "menuFileOpen"), "Ctrl+O"),
      withKeys(menuItem("menuFile", "&Save", "menuFileSave", "menuFileSave"), "Ctrl+S"),
      withKeys(menuItem("menuFile", "Save &As...", "menuFileSaveAs", "menuFileSaveAs"),
               "Ctrl+Shift+S"),
      menuItem("menuFile", "Open &Capture...", "menuFileOpenCapture", "menuFileOpenCapture"),
      menuItem("menuFile", "Export &Waveform...", "menuFileExportWaveform",
               "menuFileExportWaveform", true),
      withKeys(menuItem("menuFile", "E&xit", "menuFileExit", "menuFileExit", true), "Ctrl+Q"),
      menuItem("", "&Plot", "menuPlot"),
      menuItem("menuPlot", "&Spectrum", "menuPlotSpectrum", "menuPlotSpectrum"),
      menuItem("menuPlot", "&Waterfall", "menuPlotWaterfall", "menuPlotWaterfall", false, false),
      menuItem("menuPlot", "I(t) Q(t)", "menuPlotIQTime", "menuPlotIQTime", true),
      menuItem("menuPlot", "I(t) Q(t) Overlayed", "menuPlotIQTimeSameAxes",
               "menuPlotIQTimeSameAxes"),
      menuItem("menuPlot", "&Eye Diagram", "menuPlotEyeDiagram", "menuPlotEyeDiagram", false,
               false),
      menuItem("menuPlot", "S&catter Diagram", "menuPlotScatterDiagram", "menuPlotScatterDiagram",
               false, false),
      menuItem("menuPlot", "&CCDF", "menuPlotCCDF", "menuPlotCCDF", true),
      // Every view the program has, the ones the Plot menu keeps hidden
      // included: the same commands, with their questions.
      // The receiver-test signal Calculate makes instead of one clean frame.
      menuItem("", "Si&gnal", "menuSignal"),
      menuItem("menuSignal", "&Impairments...", "menuSignalImpairments", "menuSignalImpairments"),
      menuItem("menuSignal", "&Frame Sequence...", "menuSignalSequence", "menuSignalSequence"),
      menuItem("menuSignal", "&Receiver Test...", "menuSignalReceiverTest",
               "menuSignalReceiverTest"),
      menuItem("", "&Analysis", "menuAnalysis"),
      menuItem("menuAnalysis", "&Spectrum", "menuAnalysisSpectrum", "menuPlotSpectrum"),
      menuItem("menuAnalysis", "&Waterfall", "menuAnalysisWaterfall", "menuPlotWaterfall"),
      menuItem("menuAnalysis", "&I(t) Q(t)", "menuAnalysisIQTime", "menuPlotIQTime", true),
      menuItem("menuAnalysis", "I(t) Q(t) &Overlayed", "menuAnalysisIQTimeSameAxes",
               "menuPlotIQTimeSameAxes"),
      menuItem("menuAnalysis", "&Eye Diagram", "menuAnalysisEyeDiagram", "menuPlotEyeDiagram"),
      menuItem("menuAnalysis", "S&catter Diagram", "menuAnalysisScatterDiagram",
               "menuPlotScatterDiagram"),
      menuItem("menuAnalysis", "CC&DF", "menuAnalysisCCDF", "menuPlotCCDF", true),
      menuItem("menuAnalysis", "&Averaged Spectrum", "menuAnalysisAveragedSpectrum",
               "menuAnalysisAveragedSpectrum", true),
      menuItem("menuAnalysis", "&Gated CCDF", "menuAnalysisGatedCCDF", "menuAnalysisGatedCCDF"),
      menuItem("menuAnalysis", "De&modulate", "menuAnalysisDemodulate", "menuAnalysisDemodulate"),
      menuItem("menuAnalysis", "&PER Curve...", "menuAnalysisPerCurve", "menuAnalysisPerCurve",
               true),
      menuItem("menuAnalysis", "&Level Sweep...", "menuAnalysisLevelSweep",
               "menuAnalysisLevelSweep"),
      menuItem("", "&Configuration", "menuConfig"),
      menuItem("menuConfig", "&Sig Gen I/O", "menuConfigSigGenIO", "menuConfigSigGenIO"),
      menuItem("menuConfig", "Spec &An I/O", "menuConfigSpecAnIO", "menuConfigSpecAnIO", false,
               false),
  };
  // The instrument family can be chosen in the window; the memory options
  // are there for the family that has them (applyFamily shows or hides them).
  items.push_back(menuItem("menuConfig", "Instrument &Family", "menuConfigFamily", "", true));
  items.push_back(menuItem("menuConfigFamily", "TGX-&B series (RS-232, GPIB)", "menuConfigFamilyB",
                           "menuConfigFamilyB"));
  items.push_back(menuItem("menuConfigFamily", "TGX-&C series (GPIB, TCP/IP LAN)",
                           "menuConfigFamilyC", "menuConfigFamilyC"));
  items.push_back(
      menuItem("menuConfig", "&Baseband Generator", "menuConfigBBG1", "", true, platformC()));
  items.push_back(menuItem("menuConfigBBG1", "Option M0&8 (8 Msamples)", "menuConfigBBG1Opt1",
                           "menuConfigBBG1Opt1"));
  items.push_back(menuItem("menuConfigBBG1", "Option M3&2 (32 Msamples)", "menuConfigBBG1Opt2",
                           "menuConfigBBG1Opt2"));
  items.push_back(menuItem("", "&Special", "menuSpecial", "", false, false));
  items.push_back(
      menuItem("menuSpecial", "Save &Wave...", "menuSpecialSaveWave", "menuSpecialSaveWave"));
  items.push_back(menuItem("menuSpecial", "&Impairments", "menuSpecialImpairments",
                           "menuSpecialSaveWave", false, false, false));
  items.push_back(menuItem("", "&Help", "menuHelp"));
  items.push_back(menuItem("menuHelp", "&About", "menuHelpAbout", "menuHelpAbout"));
  return Value::record({{"Figure", fig}, {"Items", Value::cellRow(std::move(items))}});
}

std::string bbgType() {
  const Value& config = global("configuration");
  if (config.isRecord() && config.hasField("BBGtype") && config.field("BBGtype").isText())
    return config.field("BBGtype").str();
  return "";
}

// Check-marks the memory option that is in force and clears the other.
void markMemoryOption(const Value& h, std::string_view current) {
  for (const char* tag : {"menuConfigBBG1Opt1", "menuConfigBBG1Opt2"})
    if (h.isRecord() && h.hasField(tag))
      setString(handleIn(h, tag), "Checked", tag == current ? "on" : "off");
}

void AddMenuBar(Call& c) {
  feval("KS_AddMenu", 1, {menuTable(handleFrom(c.in(0, "fig"), "AddMenuBar"))});
}

// Everything of the window that depends on the instrument family: the
// family's check mark, the memory options (family c only), the tooltips
// that name the instrument's memory and Event connectors, and the C
// family's playback fields in the settings record.
void applyFamily(const Value& h) {
  const bool c7 = platformC();
  const auto mark = [&h](const char* tag, bool on) {
    if (h.isRecord() && h.hasField(tag)) setString(handleIn(h, tag), "Checked", on ? "on" : "off");
  };
  mark("menuConfigFamilyB", !c7);
  mark("menuConfigFamilyC", c7);
  if (h.isRecord() && h.hasField("menuConfigBBG1"))
    setString(handleIn(h, "menuConfigBBG1"), "Visible", c7 ? "on" : "off");
  if (c7) {
    global("SigGenSettings") = withPlatformCFields(global("SigGenSettings"));
    markMemoryOption(h, bbgType() == "M08" ? "menuConfigBBG1Opt1" : "menuConfigBBG1Opt2");
  }
  std::vector<std::pair<std::string, std::string>> tips = {
      {"pbCalculate", "Calculates the waveform based\non current settings."},
      {"pbDownload", "Downloads the current waveform and\nsettings to the TGX."},
      {"pbRefresh", "Downloads just the current settings\nto the TGX."},
      {"txtNumberOfSamples",
       c7 ? "The number of samples generated \nby the current settings.\n(The T7710C can hold up "
            "to 8 or 32 M samples.)"
          : "The number of samples generated \nby the current settings.\n(An TGX can hold up to 1 "
            "M samples.)"},
  };
  const int events = c7 ? 4 : 2;
  for (int i = 1; i <= events; ++i)
    tips.emplace_back("txtEvent" + std::to_string(i),
                      "Description of the signal available on\nthe Event " + std::to_string(i) +
                          " Connector of the rear panel.");
  for (const auto& [tag, tip] : tips)
    if (h.hasField(tag)) setString(handleIn(h, tag), "TooltipString", tip);
}

// The family the window serves: one chosen on the command line (--family,
// or DOT11A_PLATFORM) wins; otherwise the one the stored configuration
// names; otherwise the one set before (the default, b). A configuration stored before the family
// was kept there opens with that default. The choice is written into the
// configuration, which is stored at exit.
void takeFamily(const Value& h, const Value& stored) {
  const char* chosen = std::getenv("DOT11A_PLATFORM");
  const bool explicitChoice =
      chosen != nullptr && (std::string_view(chosen) == "b" || std::string_view(chosen) == "c");
  if (!explicitChoice && stored.isRecord() && stored.hasField("family") &&
      stored.field("family").isText()) {
    const std::string family = stored.field("family").str();
    if (family == "b" || family == "c") appInfo().setField("Platform", Value(family));
  }
  Value& config = global("configuration");
  if (config.isRecord()) config.setField("family", Value(platformC() ? "c" : "b"));
  applyFamily(h);
}

void InitializeFigure(Call& c) {
  const Value& h = c.in(0, "handles");
  shell::fileOfThisRun().clear();
  shell::takeStoredSignalSettings(std::nullopt, h);  // one clean frame until set or opened
  shell::forgetCalculation();
  const Value stored = feval1("loadConfig", {});
  if (stored.isRecord()) global("configuration") = stored;
  takeFamily(h, stored);
}

void redrawAppTitle(Call& c) {
  const Value& h = c.in(0, "handles");
  std::string title = "Kestrin Veltora - " + appText("Name");
  const Value& config = global("configuration");
  if (config.isRecord() && config.hasField("LastParameterFilename")) {
    const Value& file = config.field("LastParameterFilename");
    if (file.isText() && !file.str().empty()) title += " : " + file.str();
  }
  title += shell::signalTitleNote();
  setString(handleIn(h, "main"), "Name", title);
}

// Runs the application module's Calculate. Only a calculation that succeeded
// is recorded (time stamp and parameter copy); a failure is shown to the user
// and leaves the previous record, so the last good waveform is not taken for
// a waveform of the current settings.
void executeCalculation(Call& c) {
  const Value& h = c.in(0, "handles");
  if (shell::busy(mainWindow(h))) return;
  shell::WatchPointer watch(mainWindow(h));
  clearModuleError();
  shell::calculationDropped() = false;
  shell::calculatingWindow() = mainWindow(h);
  std::string failure;
  try {
    shell::application("Calculate", {});
    failure = lastModuleError();
  } catch (const std::exception& e) {
    failure = e.what();
  }
  // Cancelled, or made for settings changed meanwhile: nothing is recorded,
  // and the status line has said why.
  if (shell::calculationDropped()) return;
  if (failure.empty()) {
    appInfo().setField("LastCalcTimeStamp", shell::clockNow());
    appInfo().setField("LastCaluclatedParameterSet", global("parameters"));
    appInfo().setField("LastCalculatedSignal", shell::signalRecord());
  }
  watch.restore();
  if (!failure.empty()) dialogs().error("Calculation Failed", failure);
}

void checkWaveformReady(Call& c) {
  c.outputNames({"status"});
  const Value& action = c.in(1, "actionString");
  if (!action.isText()) raise("checkWaveformReady needs the action as a text.");
  c.out(0) = shell::waveformReady(c.in(0, "handles"), action.str()) ? 1.0 : 0.0;
}

void pbCalculate_Callback(Call& c) {
  feval("executeCalculation", 0, {c.in(2, "handles")});
}

// Memory option M08 holds 8 Msamples: a frame that does not fit is reset to
// the defaults, after the user agreed. Closing the question keeps everything.
void menuConfigBBG1Opt1_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  const Value& p = global("parameters");
  if (p.isRecord() && p.hasField("ProjectedLength") &&
      p.field("ProjectedLength").toScalar() > static_cast<double>(impair::kMemoryM08Samples)) {
    const std::string answer = dialogs().question(
        "Waveform too large",
        "The waveform based on the current settings \nis too large to for Option M08. Changing "
        "to\nOption M08 will reset all settings to the defaults.\nDo you wish to change anyway ?",
        {"Yes", "Cancel"}, "Cancel");
    if (answer != "Yes") return;
    shell::application("InitializeParameters", {});
    // The defaults may bring another sample rate: the generator's follows
    // it, as it does when the ratio or the spacing is chosen.
    global("SigGenSettings")
        .setField("SamplingRate", fromRecord(global("parameters")).sampleRate());
    shell::application("redraw", {h});
  }
  global("configuration").setField("BBGtype", Value("M08"));
  markMemoryOption(h, "menuConfigBBG1Opt1");
  shell::application("redrawProjectedLength", {h});  // a sequence may no longer fit
}

// Another instrument family: its connections (RS-232 and GPIB, or GPIB and
// TCP/IP), playback commands, memory options and stored ranges from now on.
void chooseFamily(const Value& h, const char* letter) {
  const std::string family = std::string("TGX-") + static_cast<char>(std::toupper(*letter));
  appInfo().setField("Platform", Value(letter));
  appInfo().setField("NotesLine3", Value("Kestrin " + family + " series RF Signal Generators."));
  Value& config = global("configuration");
  if (config.isRecord()) config.setField("family", Value(letter));
  applyFamily(h);
  // The fields follow the ranges this family's instrument reported, if any.
  feval("TGXconfig", 0, {Value("fitToInstrumentRanges"), h});
  shell::application("redrawProjectedLength", {h});
  gui::tellUser(mainWindow(h),
                "Instrument family " + family + ": Sig Gen I/O offers " +
                    (platformC() ? "GPIB and TCP/IP (LAN)." : "RS-232 and GPIB."),
                false, false);
}

void menuConfigFamilyB_Callback(Call& c) {
  chooseFamily(c.in(2, "handles"), "b");
}
void menuConfigFamilyC_Callback(Call& c) {
  chooseFamily(c.in(2, "handles"), "c");
}

void menuConfigBBG1Opt2_Callback(Call& c) {
  global("configuration").setField("BBGtype", Value("M32"));
  markMemoryOption(c.in(2, "handles"), "menuConfigBBG1Opt2");
  shell::application("redrawProjectedLength", {c.in(2, "handles")});
}

// The signal generator's connection: the dialog edits `configuration`, which
// Download and Refresh use; only OK replaces it.
void menuConfigSigGenIO_Callback(Call& c) {
  const double fig = mainWindow(c.in(2, "handles"));
  Value config = global("configuration");
  if (!config.isRecord()) config = defaultConfiguration();
  const std::vector<Value> out = feval("KS_SigGen", 2, {fig, config, Value(appText("Platform"))});
  if (out.size() == 2 && out[0].isText() && out[0].str() == "OK") {
    global("configuration") = out[1];
    // The panel's fields, bounds and tooltips follow the ranges a check may
    // have brought.
    feval("TGXconfig", 0, {Value("fitToInstrumentRanges"), c.in(2, "handles")});
  }
}

// The connection dialog serves the spectrum analyzer too. Its title is set
// on the dialog's window itself, before it opens and after it closed; the
// layout (built into the library) is never rewritten.
void menuConfigSpecAnIO_Callback(Call& c) {
  const double fig = mainWindow(c.in(2, "handles"));
  auto retitle = [](double dialog, const char* title) {
    if (dialog != 0 && isHandle(dialog)) setString(dialog, "Name", title);
  };
  double dialog = findFigure("KS_SigGen");
  if (dialog == 0) {
    try {
      dialog = openLayout("KS_SigGen", true);
    } catch (const std::exception&) {
      dialog = 0;  // the dialog opens its own window; only the title is missed
    }
  }
  retitle(dialog, "Spectrum Analyzer IO Connection");
  Value config = global("configurationSA");
  if (!config.isRecord()) config = initConfig();
  std::vector<Value> out;
  try {
    out = feval("KS_SigGen", 2, {fig, config, Value(appText("Platform"))});
  } catch (...) {
    retitle(findFigure("KS_SigGen"), "Signal Generator IO Connection");
    throw;
  }
  retitle(findFigure("KS_SigGen"), "Signal Generator IO Connection");
  if (out.size() == 2 && out[0].isText() && out[0].str() == "OK")
    global("configurationSA") = out[1];
}

void menuHelpAbout_Callback(Call& c) {
  feval("KS_About", 0, {mainWindow(c.in(2, "handles")), appInfo()});
}

// Exit and the close box: changed settings are saved or discarded first, as
// the user says; Cancel keeps the application running.
void AppShutDown(Call&) {
  const double main = findFigure("main");
  if (main != 0 && !shell::mayDiscardChanges(guihandles(main))) return;
  Value& info = appInfo();
  if (info.isRecord() && info.hasField("ClientWindows")) {
    for (double h : info.field("ClientWindows").toDoubles())
      if (h != 0 && isHandle(h)) deleteFigure(h);
    info.setField("ClientWindows", Value::empty());
  }
  try {
    feval("saveConfig", 0, {global("configuration")});
  } catch (const std::exception&) {
    // The configuration is stored as a convenience; the shut-down goes on.
  }
  // The window whose Exit ran; called from elsewhere, the main window.
  const double fig = gcbf() != 0 ? gcbf() : findFigure("main");
  if (fig != 0) deleteFigure(fig);
}

void menuFileExit_Callback(Call&) {
  feval("AppShutDown", 0, {});
}

[[maybe_unused]] const bool kShellCommands = shell::addCommands({
    {"AddMenuBar", 1, 0, AddMenuBar},
    {"InitializeFigure", 1, 0, InitializeFigure},
    {"redrawAppTitle", 1, 0, redrawAppTitle},
    {"executeCalculation", 1, 0, executeCalculation},
    {"checkWaveformReady", 2, 1, checkWaveformReady},
    {"AppShutDown", 0, 0, AppShutDown},
    gfx::callback("pbCalculate_Callback", pbCalculate_Callback),
    gfx::callback("menuConfigBBG1Opt1_Callback", menuConfigBBG1Opt1_Callback),
    gfx::callback("menuConfigBBG1Opt2_Callback", menuConfigBBG1Opt2_Callback),
    gfx::callback("menuConfigFamilyB_Callback", menuConfigFamilyB_Callback),
    gfx::callback("menuConfigFamilyC_Callback", menuConfigFamilyC_Callback),
    gfx::callback("menuConfigSigGenIO_Callback", menuConfigSigGenIO_Callback),
    gfx::callback("menuConfigSpecAnIO_Callback", menuConfigSpecAnIO_Callback),
    gfx::callback("menuHelpAbout_Callback", menuHelpAbout_Callback),
    gfx::callback("menuFileExit_Callback", menuFileExit_Callback),
});

}  // namespace

namespace op {
void rfCommonUI(Call& c) {
  if (c.nargin() > 0 && c.in(0, "action").isText()) dispatchModule(shell::commandTable(), c);
}
}  // namespace op

}  // namespace dot11a
