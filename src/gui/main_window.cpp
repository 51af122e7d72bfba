// The main window, module dot11a_GUI_b: start-up, the parameter set's controls
// with their validation, the redraw cascade, and the calculation.
#include <QAction>
#include <QComboBox>
#include <QKeySequence>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/module.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/siggen_settings.hpp"
#include "dot11a/size_estimate.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/graphics/local_ops.hpp"
#include "gui/main_window.hpp"
#include "gui/shell.hpp"

namespace dot11a::mainwin {

using namespace gfx;

Value& P() {
  return global("parameters");
}

FrameParameters frame() {
  return fromRecord(P());
}

void editFrame(const std::function<void(FrameParameters&)>& edit) {
  FrameParameters f = frame();
  edit(f);
  P() = toRecord(f);
}

void local(std::string_view name, std::initializer_list<Value> args) {
  feval(name, 0, args);
}

std::string hexText(double x) {
  return hexString(x, 0);
}

double mainFig(const Value& handles) {
  if (handles.isRecord() && handles.hasField("main")) return handles.field("main").toScalar();
  return gcbf() != 0 ? gcbf() : findFigure("main");
}

bool available(std::string_view operation) {
  const OpInfo* op = findOperation(operation);
  return op != nullptr && op->fn != nullptr;
}

namespace {

double ctl(const Value& handles, std::string_view tag) {
  return handleIn(handles, tag);
}
const Value& handlesArg(Call& c, std::size_t i) {
  return c.in(i, "handles");
}

void enable(const Value& h, std::string_view tag, bool on) {
  setString(ctl(h, tag), "Enable", on ? "on" : "off");
}

// The pop-up item of a coding rate (1, 1/2, 2/3, 3/4): the list is in the
// order of kCodingRates.
double encoderItem(const CodingRate& rate) {
  for (std::size_t i = 0; i < kCodingRates.size(); ++i)
    if (kCodingRates[i].num == rate.num && kCodingRates[i].den == rate.den)
      return static_cast<double>(i + 1);
  raise("The coding rate " + std::to_string(rate.num) + "/" + std::to_string(rate.den) +
        " is not one of 1, 1/2, 2/3 and 3/4.");
}

// With a user file as the source the data length is the file's length: the
// header and FCS check boxes and a stored length that no longer matches never
// change what the frame carries.
void syncUserFileLength(FrameParameters& f) {
  if (f.source != PayloadSource::UserFile || f.sourceBits.empty()) return;
  f.dataLength = static_cast<int>(f.sourceBits.size() / 8);
}

// ---- initialisation --------------------------------------------------------------

// The instrument family starts as "b"; the host program's --family option
// (or DOT11A_PLATFORM in the environment) chooses "c", whose connection dialog
// offers TCP/IP. Any other text keeps "b" and says so on the console.
std::string startupPlatform() {
  const char* chosen = std::getenv("DOT11A_PLATFORM");
  if (chosen == nullptr || *chosen == '\0') return "b";
  const std::string text(chosen);
  if (text == "b" || text == "c") return text;
  std::cerr << "DOT11A_PLATFORM \"" << text << "\" is not b or c; platform b is used.\n";
  return "b";
}

void InitializeAppInfo(Call&) {
  // The about box names the instrument family the program drives.
  const std::string platform = startupPlatform();
  const std::string family = platform == "c" ? "TGX-C" : "TGX-B";
  global("appInfo") = Value::record({
      {"Name", Value("IEEE 802.11a-1999 (OFDM)")},
      {"Platform", Value(platform)},
      {"Rev", Value("A.01.04.000")},
      {"Date", Value("December 2026")},
      {"Notes", Value("Release Notes:")},
      {"NotesLine2", Value("802.11a Signal Generation Applet for")},
      {"NotesLine3", Value("Kestrin " + family + " series RF Signal Generators.")},
      {"NotesLine4", Value("This applet supports all modulation formats of")},
      {"NotesLine5", Value("the IEEE 802.11a-1999 (OFDM) W-LAN standard.")},
      {"NotesLine6", Value("Framed and unframed frames, MAC header and FCS,")},
      {"NotesLine7", Value("sub-carrier masks, oversampling up to 4x.")},
      {"Notice", Value("Veltora 802.11a is free software, GPL-3.0-or-later.")},
      {"ApplicationFunction", Value("dot11a_GUI_b")},
      {"ParameterFileExtension", Value(".mat")},
      {"ClientWindows", Value::empty()},
      {"LastCaluclatedParameterSet", Value::empty()},
      {"LastCalcTimeStamp", Value::empty()},
  });
}

void InitializeConfiguration(Call&) {
  global("configuration") = defaultConfiguration();
}

void InitializeParameters(Call&) {
  P() = defaultParameters();
}

void InitializeSigGenSettings(Call&) {
  const Value& info = global("appInfo");
  const bool platformC = info.isRecord() && info.hasField("Platform") &&
                         info.field("Platform").isText() && info.field("Platform").str() == "c";
  global("SigGenSettings") = toValue(defaultSigGenSettings(frame().oversampling), platformC);
}

// Loads a dialog's window once, hidden, centred over the main window, and lets
// the dialog's module set it up. Until a dialog's module is part of the build
// its window is not loaded and its button says so.
Value loadDialog(std::string_view module, std::string_view layout, double mainFig) {
  if (!available(module)) return Value::empty();
  try {
    const Value fig = feval1("loadFigure", {Value(std::string(layout)), mainFig});
    feval(module, 0, {Value("InitializeFigure"), guihandles(fig.toScalar())});
    return fig;
  } catch (const Error& e) {
    std::cerr << e.what() << std::endl;
    return Value::empty();
  }
}

// Calculate from the keyboard: Ctrl+Return (either Return key) and F5. A field
// still being typed in is taken first, so the frame is that of the screen.
void addCalculateShortcuts(double fig) {
  QWidget* window = widgetOf(fig);
  if (!window || window->findChild<QAction*>("actCalculate")) return;
  auto* action = new QAction("Calculate", window);
  action->setObjectName("actCalculate");
  action->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return),
                        QKeySequence(Qt::CTRL | Qt::Key_Enter), QKeySequence(Qt::Key_F5)});
  action->setShortcutContext(Qt::WindowShortcut);
  window->addAction(action);
  QObject::connect(action, &QAction::triggered, window, [fig] {
    gui::commitFocusedEntry(fig);
    const double button = guihandles(fig).field("pbCalculate").toScalar();
    if (getString(button, "Enable") == "on") runCallback(button);
  });
}

void InitializeFigures(Call& c) {
  c.outputNames({"fig"});
  const double fig = feval1("loadFigure", {Value("dot11a_GUI_b.fig"), 0.0}).toScalar();
  feval("rfCommonUI", 0, {Value("AddMenuBar"), fig});
  gui::installStatusBar(fig);
  gui::makeContentScrollable(fig);
  gui::applyWindowIcon(fig);
  addCalculateShortcuts(fig);
  const Value handles = guihandles(fig);
  setGuidata(fig, handles);
  feval("rfCommonUI", 0, {Value("InitializeFigure"), handles});
  global("figureList") =
      Value::record({{"MACheader", loadDialog("dot11_MACconfig", "dot11_MACconfig.fig", fig)},
                     {"SubCarriersMask", loadDialog("dot11a_GUI_SubCarrierMask",
                                                    "dot11a_GUI_SubCarrierMask.fig", fig)}});
  c.out(0) = fig;
}

void InitializeFigure(Call& c) {
  const Value& h = handlesArg(c, 0);
  feval("resizeAllFonts", 0, {h});
  // The ranges in the tooltips come from the bounds table the clamps use.
  const std::pair<const char*, std::string> tips[] = {
      {"tbGenerationMode", "Toggles between framed and unframed mode."},
      {"pdDataRate",
       "Selects the data rate.\n(Note: \"Custom\" enables the arbitrary selection\nof encoding "
       "rates and modulation schemes.)"},
      {"pdModulation", "Selects the modulation used on all sub-carriers."},
      {"pdEncoder", "Selects the encoder rate."},
      {"chkScramblerActive", "Toggles the activity state of the scrambler."},
      {"txtScramblerInit",
       "Sets the intial value of the scrambler.\nValid Range: Any 7 bit value\nHexadecimal "
       "representation."},
      {"chkInterleaverActive", "Toggles the activity state of the interleaver."},
      {"txtIdleInterval",
       "Sets the length (in usec) of the\nidle period between frames.\n(Note: Only relevant in "
       "framed mode.)\nValid Range: " +
           rangeText(idleIntervalBound()) + " us"},
      {"pbSubCarriers", "Configures the individual sub-carriers."},
      {"pdOversampleRate", "Selects the oversampling ratio."},
      {"chkMirrorSpectrum", "Enables/disables spectrum mirroring."},
      {"txtWindowLength", "Sets the number of samples for\nthe windowing function.\nValid Range: " +
                              rangeText(parameterBound("WindowingLength")) + " "},
      {"chkMACheader", "Enables/disables the prepending of a\nMAC Header to the data payload."},
      {"chkMACfcs",
       "Enables/disables the appending of a\nMAC FCS check sequence to the data payload."},
      {"pbMACheaderSetup", "Configures the MAC Header."},
      {"txtServiceField",
       "Sets the value of the SERVICE field.\nValid Range: 16 bit value\nHexadecimal "
       "representation.\nNote: The 7 LSBs will be masked to zero."},
      {"pdDATAsourceType",
       "Selects the payload data stream.\n(The actual \"user data\" of the frame.)"},
      {"txtDataLength", "Sets the number of data bytes in a frame.\nValid Range: " +
                            rangeText(parameterBound("dataLength")) +
                            " (max)\nNote: The upper limit depends on whether\nthe MAC Header or "
                            "MAC FCS are activated."},
      {"txtTotalLength",
       "Indicates the total number of\nbytes are in the physical frame.\n(This includes the MAC "
       "Header.)"},
  };
  for (const auto& [tag, tip] : tips) setString(ctl(h, tag), "TooltipString", tip);
  feval("TGXconfig", 0, {Value("InitializeSigGenScreenObjects"), h});
}

// ---- redraw cascade ------------------------------------------------------------------

void redrawProjectedLength(Call& c) {
  const Value& h = handlesArg(c, 0);
  const FrameJob job = shell::windowJob(false);
  P().setField("ProjectedLength", static_cast<double>(frameLayout(job.frame.shape()).total));
  setString(ctl(h, "txtNumberOfSamples"), "String", shell::projectedText(job));
  local("redrawCalculationStatus", {h});
}

// The right end of the status bar: whether the waveform in memory belongs to
// the settings on the screen.
void redrawCalculationStatus(Call& c) {
  const double fig = mainFig(handlesArg(c, 0));
  const Value& info = global("appInfo");
  const bool recorded = info.isRecord() && info.hasField("LastCalcTimeStamp") &&
                        !info.field("LastCalcTimeStamp").isEmpty();
  if (!recorded) return gui::showCalculationStatus(fig, "Not calculated yet", false);
  const Value& last = info.field("LastCaluclatedParameterSet");
  bool same = false;
  try {
    same = feval1("compareStruct", {last, P()}).truthy();
  } catch (const Error&) {
    same = last == P();
  }
  if (!same || !info.hasField("LastCalculatedSignal") ||
      info.field("LastCalculatedSignal") != shell::signalRecord())
    return gui::showCalculationStatus(fig, "Settings changed since the last calculation", false);
  const double samples = static_cast<double>(global("waveform").numel());
  double rate = 0;
  try {
    rate = fromRecord(last).sampleRate();
  } catch (const std::exception&) {
    // A set that no longer reads has no rate to show.
  }
  gui::showCalculationStatus(
      fig, gui::calculatedText(info.field("LastCalcTimeStamp"), samples, rate), true);
}

void redrawDataRate(Call& c) {
  const Value& h = handlesArg(c, 0);
  const FrameParameters f = frame();
  P().setField("dataRate", f.dataRate());
  setNumber(ctl(h, "pdDataRate"), "Value",
            dataRateItem(static_cast<double>(f.modulation), f.coding.value()));
}

void redrawFormatParameters(Call& c) {
  const Value& h = handlesArg(c, 0);
  const FrameParameters f = frame();
  setNumber(ctl(h, "tbGenerationMode"), "Value", f.framed ? 1 : 0);
  setString(ctl(h, "tbGenerationMode"), "String", f.framed ? "Framed" : "Unframed");
  enable(h, "pdEncoder", true);
  enable(h, "pdModulation", true);
  for (const char* tag : {"txtIdleInterval", "txtServiceField", "chkMACheader", "chkMACfcs"})
    enable(h, tag, f.framed);
  // The MAC header set-up needs both framed mode and an active header.
  enable(h, "pbMACheaderSetup", f.framed && f.macHeaderActive);
  setNumber(ctl(h, "pdEncoder"), "Value", encoderItem(f.coding));
  setNumber(ctl(h, "pdModulation"), "Value", static_cast<double>(f.modulation));
  local("redrawDataRate", {h});
  setNumber(ctl(h, "chkScramblerActive"), "Value", f.scrambler ? 1 : 0);
  setNumber(ctl(h, "chkInterleaverActive"), "Value", f.interleaver ? 1 : 0);
  setString(ctl(h, "txtScramblerInit"), "String", hexText(f.scramblerInit));
  setString(ctl(h, "txtIdleInterval"), "String",
            num2str(static_cast<double>(f.idleSamples) /
                    (samplesPerMicrosecondOf(f.spacing) * f.oversampling)));
  local("redrawProjectedLength", {h});
}

}  // namespace

void markWindowLength(const Value& h) {
  QWidget* w = widgetOf(ctl(h, "txtWindowLength"));
  if (!w) return;
  const std::string note = shortTransitionNote(frame());
  const QString own = w->toolTip().section(QStringLiteral("\n\nThe edge window"), 0, 0);
  w->setStyleSheet(note.empty() ? QString() : QStringLiteral("color: #a05a00;"));
  w->setToolTip(note.empty() ? own : own + "\n\n" + QString::fromStdString(note));
}

namespace {

// The lists that name rates follow the channel spacing: the oversampling
// ratios with their sample rates, the data rates at the spacing.
void labelForSpacing(const Value& h, ChannelSpacing spacing) {
  if (auto* os = qobject_cast<QComboBox*>(widgetOf(ctl(h, "pdOversampleRate"))))
    for (int i = 0; i < os->count(); ++i)
      os->setItemText(i, QString::fromStdString(num2str(i + 1) + "x (" +
                                                num2str((i + 1) * spacingMHz(spacing)) + " MHz)"));
  if (auto* rates = qobject_cast<QComboBox*>(widgetOf(ctl(h, "pdDataRate"))))
    for (int i = 0; i < rates->count() && i < static_cast<int>(kRateTable.size()); ++i)
      rates->setItemText(
          i, QString::fromStdString(
                 num2str(kRateTable[static_cast<std::size_t>(i)].mbps * clockFactor(spacing)) +
                 " Mbit/s"));
}

int spacingItem(ChannelSpacing s) {
  return s == ChannelSpacing::MHz5 ? 3 : s == ChannelSpacing::MHz10 ? 2 : 1;
}

void redrawGenerationParameters(Call& c) {
  const Value& h = handlesArg(c, 0);
  const FrameParameters f = frame();
  setNumber(ctl(h, "pdChannelSpacing"), "Value", spacingItem(f.spacing));
  labelForSpacing(h, f.spacing);
  setNumber(ctl(h, "pdOversampleRate"), "Value", f.oversampling);
  setNumber(ctl(h, "chkMirrorSpectrum"), "Value", f.mirror ? 1 : 0);
  setString(ctl(h, "txtWindowLength"), "String", num2str(f.windowLength));
  markWindowLength(h);
  local("redrawProjectedLength", {h});
}

void redrawPayloadSetup(Call& c) {
  const Value& h = handlesArg(c, 0);
  editFrame(syncUserFileLength);
  const FrameParameters f = frame();
  setString(ctl(h, "txtServiceField"), "String", hexText(f.service));
  setNumber(ctl(h, "chkMACheader"), "Value", f.macHeaderActive ? 1 : 0);
  enable(h, "pbMACheaderSetup", f.macHeaderActive && f.framed);
  setNumber(ctl(h, "chkMACfcs"), "Value", f.fcs ? 1 : 0);
  setNumber(ctl(h, "pdDATAsourceType"), "Value", static_cast<double>(f.source));
  setString(ctl(h, "txtDataLength"), "String", num2str(f.dataLength));
  enable(h, "txtDataLength", f.source != PayloadSource::UserFile);
  const double total = f.totalLength();
  setString(ctl(h, "txtTotalLength"), "String", num2str(total));
  const bool over = total > kMaxPsduOctets;
  const std::string reason = num2str(total) + " octets; the SIGNAL field can announce at most " +
                             num2str(kMaxPsduOctets) +
                             ". Shorten the "
                             "data or switch off the MAC header or FCS.";
  gui::markOverLimit(ctl(h, "txtTotalLength"), over, reason);
  constexpr std::string_view kOverLimit = "The frame is over the limit: ";
  if (over) {
    gui::tellUser(mainFig(h), std::string(kOverLimit) + reason, true, false);
  } else if (h.hasField("txtStatusMessage") &&
             getString(ctl(h, "txtStatusMessage"), "String").rfind(kOverLimit, 0) == 0) {
    gui::clearUserMessage(mainFig(h));
  }
  local("redrawProjectedLength", {h});
}

void redraw(Call& c) {
  const Value& h = handlesArg(c, 0);
  local("redrawFormatParameters", {h});
  local("redrawGenerationParameters", {h});
  local("redrawPaylodSetup", {h});
  feval("rfCommonUI", 0, {Value("redrawAppTitle"), h});
  feval("TGXconfig", 0, {Value("redrawSigGenSettings"), h});
}

void adjustDataLength(Call& c) {
  const Value& in = c.in(0, "newLength");
  const Value& h = handlesArg(c, 1);
  const double requested = in.isNumeric() && !in.isEmpty() ? in.toScalar() : std::nan("");
  editFrame([&](FrameParameters& f) {
    // A user file's length is the file's, whatever the header and FCS leave.
    if (f.source == PayloadSource::UserFile && !f.sourceBits.empty()) return syncUserFileLength(f);
    // The limit first (no number takes it), then at least one octet.
    const double limit = f.dataLengthLimit();
    f.dataLength =
        static_cast<int>(std::max(std::isnan(requested) ? limit : std::min(requested, limit), 1.0));
  });
  local("redrawPaylodSetup", {h});
  local("redrawProjectedLength", {h});
}

// ---- calculation ------------------------------------------------------------------

void Calculate(Call&) {
  shell::calculate();
}

// ---- start-up ----------------------------------------------------------------------

double startApplication() {
  ensureApplication();
  const double splash = feval1("KS_Splash", {}).toScalar();
  // The splash's minimum time counts from when it is on the screen.
  const auto started = std::chrono::steady_clock::now();
  for (const char* step : {"InitializeAppInfo", "InitializeConfiguration", "InitializeParameters",
                           "InitializeSigGenSettings"})
    local(step, {});
  const double fig = feval1("InitializeFigures", {}).toScalar();
  const Value handles = guihandles(fig);
  local("InitializeFigure", {handles});
  local("redraw", {handles});
  shell::reopenLastFile(handles);
  // What the window starts with counts as saved: Exit asks only about changes.
  shell::markSetupSaved();
  // The splash stays up for its minimum time, the events meanwhile served.
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - started)
                           .count();
  if (elapsed < splashMinimumMs()) processEvents(static_cast<int>(splashMinimumMs() - elapsed));
  deleteFigure(splash);
  gui::fitWindowToScreen(fig);
  setString(fig, "Visible", "on");
  // Shown and laid out, the window's size is taken again from what it holds.
  processEvents();
  gui::fitWindowToScreen(fig);
  return fig;
}

const LocalTable kTable = gfx::localOperations(
    "dot11a_GUI_b", {{"InitializeFigures", 0, 1, InitializeFigures},
                     {"InitializeAppInfo", 0, 0, InitializeAppInfo},
                     {"InitializeConfiguration", 0, 0, InitializeConfiguration},
                     {"InitializeSigGenSettings", 0, 0, InitializeSigGenSettings},
                     {"InitializeParameters", 0, 0, InitializeParameters},
                     {"InitializeFigure", 1, 0, InitializeFigure},
                     {"redraw", 1, 0, redraw},
                     {"redrawFormatParameters", 1, 0, redrawFormatParameters},
                     {"redrawDataRate", 1, 0, redrawDataRate},
                     {"redrawPaylodSetup", 1, 0, redrawPayloadSetup},
                     {"redrawGenerationParameters", 1, 0, redrawGenerationParameters},
                     {"redrawProjectedLength", 1, 0, redrawProjectedLength},
                     {"redrawCalculationStatus", 1, 0, redrawCalculationStatus},
                     {"adjustDataLength", 2, 0, adjustDataLength},
                     {"Calculate", 0, 0, Calculate},
                     gfx::callback("tbGenerationMode_Callback", tbGenerationMode_Callback),
                     gfx::callback("pdDataRate_Callback", pdDataRate_Callback),
                     gfx::callback("pdModulation_Callback", pdModulation_Callback),
                     gfx::callback("pdEncoder_Callback", pdEncoder_Callback),
                     gfx::callback("chkScramblerActive_Callback", chkScramblerActive_Callback),
                     gfx::callback("txtScramblerInit_Callback", txtScramblerInit_Callback),
                     gfx::callback("chkInterleaverActive_Callback", chkInterleaverActive_Callback),
                     gfx::callback("pbSubCarriers_Callback", pbSubCarriers_Callback),
                     gfx::callback("txtIdleInterval_Callback", txtIdleInterval_Callback),
                     gfx::callback("pdChannelSpacing_Callback", pdChannelSpacing_Callback),
                     gfx::callback("pdOversampleRate_Callback", pdOversampleRate_Callback),
                     gfx::callback("txtWindowLength_Callback", txtWindowLength_Callback),
                     gfx::callback("chkMirrorSpectrum_Callback", chkMirrorSpectrum_Callback),
                     gfx::callback("txtServiceField_Callback", txtServiceField_Callback),
                     gfx::callback("chkMACheader_Callback", chkMACheader_Callback),
                     gfx::callback("chkMACfcs_Callback", chkMACfcs_Callback),
                     gfx::callback("pbMACheaderSetup_Callback", pbMACheaderSetup_Callback),
                     gfx::callback("pdDATAsourceType_Callback", pdDATAsourceType_Callback),
                     gfx::callback("txtDataLength_Callback", txtDataLength_Callback)});

// Once the running callbacks are done (the shell records a calculation after
// Calculate returns), the calculation state is brought up to date.
void scheduleStatusRefresh(double fig) {
  static QPointer<QTimer> timer;
  QWidget* w = widgetOf(fig);
  if (!w || (timer && timer->isActive() && timer->parent() == w)) return;
  delete timer.data();
  timer = new QTimer(w);
  timer->setSingleShot(true);
  QObject::connect(timer, &QTimer::timeout, w, [fig] {
    if (!isHandle(fig)) return;
    const Value handles = guidata(fig);
    if (!handles.isRecord() || !handles.hasField("txtCalculationStatus")) return;
    ModuleScope scope(&kTable);
    try {
      feval("redrawCalculationStatus", 0, {handles});
    } catch (const std::exception& e) {
      std::cerr << e.what() << std::endl;
    }
  });
  timer->start(0);
}

}  // namespace

}  // namespace dot11a::mainwin

namespace dot11a::op {

using gfx::findFigure;
using mainwin::kTable;
using mainwin::scheduleStatusRefresh;
using mainwin::startApplication;

void dot11a_GUI_b(Call& c) {
  if (c.nargin() == 0) {
    ModuleScope scope(&kTable);
    try {
      const double fig = startApplication();
      if (c.nargout() > 0) c.out(0) = fig;
    } catch (const std::exception& e) {
      std::cerr << e.what() << std::endl;
    }
    return;
  }
  if (!c.in(0, "action").isText()) return;
  const bool ok = dispatchModule(kTable, c);
  const double fig = findFigure("main");
  if (fig == 0) return;
  // What went wrong is shown where the user looks; the console has its copy.
  if (!ok && !lastModuleError().empty()) gui::tellUser(fig, lastModuleError(), true, false);
  scheduleStatusRefresh(fig);
}

}  // namespace dot11a::op
