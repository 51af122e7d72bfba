// The application shell, module rfCommonUI: the menu bar, the window title,
// the Calculate step that records what was calculated, the about box and the
// shut-down.
#include <chrono>
#include <ctime>
#include <iostream>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/module.hpp"
#include "gui/graphics/graphics.hpp"

namespace dot11a {

namespace {

using namespace gfx;

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

// The menu bar of the main window.
Value menuTable(double fig) {
  std::vector<Value> items = {
      menuItem("", "&File", "menuFile"),
      menuItem("menuFile", "&New", "menuFileNew", "menuFileNew"),
      menuItem("menuFile", "&Open...", "menuFileOpen", "menuFileOpen"),
      menuItem("menuFile", "&Save", "menuFileSave", "menuFileSave"),
      menuItem("menuFile", "Save &As...", "menuFileSaveAs", "menuFileSaveAs"),
      menuItem("menuFile", "E&xit", "menuFileExit", "menuFileExit", true),
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
      menuItem("", "&Configuration", "menuConfig"),
      menuItem("menuConfig", "&Sig Gen I/O", "menuConfigSigGenIO", "menuConfigSigGenIO"),
      menuItem("menuConfig", "Spec &An I/O", "menuConfigSpecAnIO", "menuConfigSpecAnIO", false,
               false),
  };
  if (platformC()) {
    items.push_back(menuItem("menuConfig", "&Baseband Generator", "menuConfigBBG1", "", true));
    items.push_back(menuItem("menuConfigBBG1", "Option M0&8 (8 Msamples)", "menuConfigBBG1Opt1",
                             "menuConfigBBG1Opt1"));
    items.push_back(menuItem("menuConfigBBG1", "Option M3&2 (32 Msamples)", "menuConfigBBG1Opt2",
                             "menuConfigBBG1Opt2"));
  }
  items.push_back(menuItem("", "&Special", "menuSpecial", "", false, false));
  items.push_back(
      menuItem("menuSpecial", "Save &Wave...", "menuSpecialSaveWave", "menuSpecialSaveWave"));
  items.push_back(menuItem("menuSpecial", "&Impairments", "menuSpecialImpairments",
                           "menuSpecialSaveWave", false, false, false));
  items.push_back(menuItem("", "&Help", "menuHelp"));
  items.push_back(menuItem("menuHelp", "&About", "menuHelpAbout", "menuHelpAbout"));
  return Value::record({{"Figure", fig}, {"Items", Value::cellRow(std::move(items))}});
}

// The clock value [year month day hour minute seconds] of now, local time.
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

double mainWindow(const Value& handles) {
  if (handles.isRecord() && handles.hasField("main")) return handles.field("main").toScalar();
  return gcbf();
}

void AddMenuBar(Call& c) {
  feval("KS_AddMenu", 1, {menuTable(handleFrom(c.in(0, "fig"), "AddMenuBar"))});
}

void InitializeFigure(Call& c) {
  const Value& h = c.in(0, "handles");
  if (isCallable("loadConfig")) {
    const Value stored = feval1("loadConfig", {});
    if (!stored.isEmpty() && !stored.isAbsent()) global("configuration") = stored;
  }
  const bool c7 = platformC();
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
  if (c7 && h.hasField("menuConfigBBG1Opt1") && h.hasField("menuConfigBBG1Opt2")) {
    const Value& config = global("configuration");
    const bool m08 = config.isRecord() && config.hasField("BBGtype") &&
                     config.field("BBGtype").isText() && config.field("BBGtype").str() == "M08";
    setString(handleIn(h, "menuConfigBBG1Opt1"), "Checked", m08 ? "on" : "off");
    setString(handleIn(h, "menuConfigBBG1Opt2"), "Checked", m08 ? "off" : "on");
  }
}

void redrawAppTitle(Call& c) {
  const Value& h = c.in(0, "handles");
  std::string title = "Kestrin Veltora - " + appText("Name");
  const Value& config = global("configuration");
  if (config.isRecord() && config.hasField("LastParameterFilename")) {
    const Value& file = config.field("LastParameterFilename");
    if (file.isText() && !file.str().empty()) title += " : " + file.str();
  }
  setString(handleIn(h, "main"), "Name", title);
}

// Runs the application module's Calculate. Only a calculation that succeeded
// is recorded (time stamp and parameter copy); a failure is shown to the user
// and leaves the previous record, so the last good waveform is not taken for
// a waveform of the current settings.
void executeCalculation(Call& c) {
  const Value& h = c.in(0, "handles");
  const double fig = mainWindow(h);
  const bool haveWindow = isHandle(fig) && fig != 0;
  const std::string pointer = haveWindow ? getString(fig, "Pointer") : "arrow";
  if (haveWindow) setString(fig, "Pointer", "watch");
  clearModuleError();
  std::string failure;
  try {
    feval(appText("ApplicationFunction"), 0, {Value("Calculate")});
    failure = lastModuleError();
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (failure.empty()) {
    appInfo().setField("LastCalcTimeStamp", clockNow());
    appInfo().setField("LastCaluclatedParameterSet", global("parameters"));
  }
  if (haveWindow && isHandle(fig)) setString(fig, "Pointer", pointer);
  if (!failure.empty()) dialogs().error("Calculation Failed", failure);
}

void pbCalculate_Callback(Call& c) {
  feval("executeCalculation", 0, {c.in(2, "handles")});
}

void menuHelpAbout_Callback(Call& c) {
  feval("KS_About", 0, {mainWindow(c.in(2, "handles")), appInfo()});
}

void AppShutDown(Call&) {
  Value& info = appInfo();
  if (info.isRecord() && info.hasField("ClientWindows")) {
    for (double h : info.field("ClientWindows").toDoubles())
      if (h != 0 && isHandle(h)) deleteFigure(h);
    info.setField("ClientWindows", Value::empty());
  }
  if (isCallable("saveConfig")) {
    try {
      feval("saveConfig", 0, {global("configuration")});
    } catch (const std::exception&) {
      // The configuration is stored as a convenience; the shut-down goes on.
    }
  }
  // The window whose Exit ran; called from elsewhere, the main window.
  const double fig = gcbf() != 0 ? gcbf() : findFigure("main");
  if (fig != 0) deleteFigure(fig);
}

void menuFileExit_Callback(Call&) {
  feval("AppShutDown", 0, {});
}

#define LOCAL(name, nin, nout)                     \
  OpInfo {                                         \
#name, nin, nout, 1, "rfCommonUI/" #name, name \
  }
#define CALLBACK(name) LOCAL(name, kAny, 0)

const LocalTable kTable{
    "rfCommonUI",
    {LOCAL(AddMenuBar, 1, 0), LOCAL(InitializeFigure, 1, 0), LOCAL(redrawAppTitle, 1, 0),
     LOCAL(executeCalculation, 1, 0), LOCAL(AppShutDown, 0, 0), CALLBACK(pbCalculate_Callback),
     CALLBACK(menuHelpAbout_Callback), CALLBACK(menuFileExit_Callback)}};

}  // namespace

namespace op {
void rfCommonUI(Call& c) {
  if (c.nargin() > 0 && c.in(0, "action").isText()) dispatchModule(kTable, c);
}
}  // namespace op

}  // namespace dot11a
