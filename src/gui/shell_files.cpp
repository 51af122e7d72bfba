// The shell's File menu (New, Open, Save, Save As), the waveform export of the
// Special menu, and the file operations reached through the shell's dispatcher
// (rfCommonUI('addFileExtention', ...) and the like), which the file layer
// implements.
#include <algorithm>
#include <filesystem>
#include <string>

#include "dot11a/dialogs.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/module.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/siggen_settings.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/shell.hpp"

namespace dot11a {

namespace {

using namespace gfx;
using shell::appText;

// Save As with a file name that starts with this text exports the waveform to
// the rest of the name instead of saving the parameter set.
constexpr std::string_view kWaveformPrefix = "waveout.";

// The file layer's operation of the same name, called with this call's inputs.
void forwardToFileLayer(Call& c) {
  const OpInfo* op = findBuiltin(c.op().name);
  if (op == nullptr) raise("The file operation '" + std::string(c.op().name) + "' is missing.");
  std::vector<Value> outs = invoke(*op, c.nargout(), c.inputs().first(c.nargin()));
  for (std::size_t i = 0; i < outs.size(); ++i) c.out(i) = std::move(outs[i]);
}

std::string extension() {
  const std::string ext = appText("ParameterFileExtension");
  return ext.empty() ? ".mat" : ext;
}

std::vector<FileFilter> parameterFilter() {
  const std::string pattern = "*" + extension();
  return {{pattern, pattern}};
}

Value& configuration() {
  return global("configuration");
}

std::string lastParameterFile() {
  const Value& config = configuration();
  if (config.isRecord() && config.hasField("LastParameterFilename") &&
      config.field("LastParameterFilename").isText())
    return config.field("LastParameterFilename").str();
  return "";
}

// Through the shell's dispatcher: this also runs at start-up, from the main
// window's module, where the shell's own operations are not the local ones.
void redrawTitle(const Value& handles) {
  feval("rfCommonUI", 0, {Value("redrawAppTitle"), handles});
}

// Writes the running parameter set to `path` and makes it the file of this
// run. A failed write is shown and changes nothing else: the title keeps
// naming the file that holds the settings, and they still count as unsaved.
bool saveParametersTo(const std::string& path, const Value& handles) {
  try {
    // The signal record only when it is more than the clean frame: the file
    // of a window that never used the Signal menu stays as it was.
    writeJobFile(path, shell::windowJob(), shell::platformC(), shell::signal().test);
  } catch (const std::exception& e) {
    dialogs().error("Error Saving " + path, e.what());
    return false;
  }
  configuration().setField("LastParameterFilename", Value(path));
  shell::fileOfThisRun() = path;
  shell::markSetupSaved();
  redrawTitle(handles);
  return true;
}

void menuFileNew_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!shell::mayDiscardChanges(h)) return;
  configuration().setField("LastParameterFilename", Value(""));
  shell::application("InitializeParameters", {});
  shell::application("InitializeSigGenSettings", {});
  shell::takeStoredSignalSettings(std::nullopt, h);
  shell::application("redraw", {h});
  shell::markSetupSaved();
}

std::string runningFormatId() {
  return parameterFileFormatIdOf(global("parameters"));
}

// The generator settings stored beside the parameters become the ones in
// force when the panel itself would accept them. A file written before they
// were stored leaves them as they are, with the sample rate following the
// file's frame (its spacing and oversampling), as it does when either is
// chosen, so the next download plays at the rate the waveform was made for.
void takeStoredSigGenSettings(const std::optional<Value>& stored, const Value& h) {
  const double rate = fromRecord(global("parameters")).sampleRate();
  // The panel's bounds take the waveform's clock as a ratio to 20 MHz.
  const double ratio = rate / kBaseSampleRate;
  const SigGenLimits limits =
      limitsInForce(configuration(), platformFromText(shell::appText("Platform")));
  const std::string problem = stored ? sigGenSettingsProblem(*stored, ratio, limits) : "";
  if (stored && problem.empty()) {
    global("SigGenSettings") = toValue(sigGenSettingsFromValue(*stored), shell::platformC());
  } else {
    global("SigGenSettings").setField("SamplingRate", rate);
  }
  if (!h.isRecord() || !h.hasField("main")) return;
  feval("TGXconfig", 0, {Value("redrawSigGenSettings"), h});
  if (!problem.empty())
    gui::tellUser(h.field("main").toScalar(),
                  "The generator settings in the file were not taken: " + problem + ".", false,
                  false);
}

void menuFileOpen_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!shell::mayDiscardChanges(h)) return;
  const std::optional<std::string> chosen =
      dialogs().openFile("Open Parameter File", parameterFilter(), "");
  if (!chosen) return;
  const std::string path = addFileExtention(*chosen, ".mat");
  if (!feval1("loadParameters", {Value(path), h}).truthy()) return;
  configuration().setField("LastParameterFilename", Value(path));
  shell::fileOfThisRun() = path;
  // The by-name load keeps its interface; the settings beside the parameters
  // are read here.
  std::optional<Value> stored, signal;
  try {
    const ParameterFileRead read = readParameterFile(path, runningFormatId());
    stored = read.sigGenSettings;
    signal = read.signalSettings;
  } catch (const std::exception&) {
    stored.reset();  // the parameters were read; the settings stay as they are
  }
  takeStoredSigGenSettings(stored, h);
  shell::takeStoredSignalSettings(signal, h);
  shell::application("redrawProjectedLength", {h});
  redrawTitle(h);
  shell::markSetupSaved();
}

std::optional<std::string> askParameterFileName(std::string_view title) {
  const std::optional<std::string> chosen = dialogs().saveFile(title, parameterFilter(), "");
  if (!chosen) return std::nullopt;
  return addFileExtention(*chosen, extension());
}

// The stored configuration names the last file across restarts, but the
// parameters are not restored with it: Save asks before it writes over a file
// that was neither opened nor saved in this run.
// True when the settings were written.
bool saveSetup(const Value& h) {
  const std::string last = lastParameterFile();
  if (!last.empty()) {
    if (last != shell::fileOfThisRun()) {
      const std::string answer = dialogs().question(
          "Overwrite Parameter File",
          "The parameter file\n" + last +
              "\nwas neither opened nor saved since the application started.\nOverwrite it with "
              "the current settings ?",
          {"Overwrite", "Cancel"}, "Cancel");
      if (answer != "Overwrite") return false;
    }
    return saveParametersTo(last, h);
  }
  const std::optional<std::string> path = askParameterFileName("Save Parameter File");
  return path && saveParametersTo(*path, h);
}

void menuFileSave_Callback(Call& c) {
  saveSetup(c.in(2, "handles"));
}

// Asks before an existing file is replaced by an export whose name differs
// from the one the file dialog confirmed.
bool mayReplace(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return true;
  return dialogs().question("Confirm Save As",
                            path + " already exists.\nDo you want to replace it ?", {"Yes", "No"},
                            "No") == "Yes";
}

void menuFileSaveAs_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  const std::optional<std::string> chosen =
      dialogs().saveFile("Save Parameter File As", parameterFilter(), "");
  if (!chosen) return;
  const std::filesystem::path full(*chosen);
  const std::string name = full.filename().string();
  if (name.size() > kWaveformPrefix.size() && name.starts_with(kWaveformPrefix)) {
    if (!shell::waveformReady(h, "Save")) return;
    const std::string target = (full.parent_path() / name.substr(kWaveformPrefix.size())).string();
    if (!mayReplace(target)) return;
    feval("saveWaveform", 0, {Value(target)});
    return;
  }
  saveParametersTo(addFileExtention(*chosen, extension()), h);
}

// The file dialog's filters, in the order of WaveformFormat.
std::vector<FileFilter> waveformFileFilters() {
  return {{"*.sigmf-meta", "SigMF recording (*.sigmf-meta)"},
          {"*.mat", "MAT container with the sample rate, \"wave\" (*.mat)"},
          {"*.bin", "16-bit I/Q samples (*.bin)"},
          {"*.pcap", "PCAP of the PSDUs (*.pcap)"},
          {"*.mat", "MAT container of the complex samples, \"samples\" (*.mat)"}};
}

// File > Export Waveform: the calculated waveform in the format of the filter
// chosen, the extension added; SigMF with the rate, the centre frequency and
// every frame's fields annotated, the MAT containers, the 16-bit file, or
// the PSDU of every frame as a capture.
void menuFileExportWaveform_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!shell::waveformReady(h, "Export")) return;
  const std::vector<FileFilter> filters = waveformFileFilters();
  const auto chosen = dialogs().saveFileWithFilter("Export Waveform", filters, "");
  if (!chosen) return;
  const auto format = static_cast<WaveformFormat>(std::min(chosen->filter, filters.size() - 1));
  const std::string path = withWaveformExtension(chosen->path, format);
  if (path != chosen->path && !mayReplace(path)) return;
  const std::string name = std::filesystem::path(path).filename().string();
  shell::WatchPointer watch(shell::mainWindow(h));
  try {
    const std::shared_ptr<const Waveform> w = shell::waveformOnShow();
    if (!w)
      raise(
          "The waveform in memory was not made by Calculate in this window: calculate it "
          "first.");
    WaveformFileOptions options;
    options.carrier = global("SigGenSettings").field("Frequency").toScalar();
    writeWaveform(path, format, *w, options);
  } catch (const std::exception& e) {
    watch.restore();
    dialogs().error("Error Saving " + name, e.what());
    return;
  }
  gui::tellUser(shell::mainWindow(h), "Exported the waveform to " + name + ".", false, false);
}

void menuSpecialSaveWave_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!shell::waveformReady(h, "Save")) return;
  const std::optional<std::string> chosen =
      dialogs().saveFile("Save Waveform", {{"*.txt", "*.txt"}}, "");
  if (!chosen) return;
  shell::WatchPointer watch(shell::mainWindow(h));
  try {
    const double rate = global("SigGenSettings").field("SamplingRate").toScalar();
    writeSaveWaveContainer(*chosen, global("waveform").toComplex(), rate);
  } catch (const std::exception& e) {
    watch.restore();
    dialogs().error("Error Saving " + std::filesystem::path(*chosen).filename().string(), e.what());
  }
}

Value& savedSetup() {
  static Value setup;
  return setup;
}

Value setupInForce() {
  return Value::record({{"parameters", global("parameters")},
                        {"SigGenSettings", global("SigGenSettings")},
                        {"SignalSettings", shell::signalRecord()}});
}

}  // namespace

namespace shell {

void markSetupSaved() {
  savedSetup() = setupInForce();
}

void reopenLastFile(const Value& handles) {
  const std::string last = lastParameterFile();
  if (last.empty()) return;
  ParameterFileRead read;
  try {
    read = readParameterFile(last, runningFormatId());
  } catch (const std::exception& e) {
    read.problem = e.what();
  }
  if (!read.parameters || !parameterSetProblem(*read.parameters, defaultParameters()).empty()) {
    // Moved, deleted or damaged since: the title must not name a file whose
    // settings the window does not hold.
    configuration().setField("LastParameterFilename", Value(""));
    redrawTitle(handles);
    gui::tellUser(shell::mainWindow(handles),
                  "The last parameter file " + last +
                      " could not be opened again; the window "
                      "starts with the defaults.",
                  false, false);
    return;
  }
  if (!feval1("loadParameters", {Value(last), handles}).truthy()) return;
  shell::fileOfThisRun() = last;
  takeStoredSigGenSettings(read.sigGenSettings, handles);
  shell::takeStoredSignalSettings(read.signalSettings, handles);
  shell::application("redrawProjectedLength", {handles});
  redrawTitle(handles);
}

bool mayDiscardChanges(const Value& handles) {
  if (savedSetup().isEmpty() || feval1("compareStruct", {savedSetup(), setupInForce()}).truthy())
    return true;
  const std::string last = lastParameterFile();
  const std::string name =
      last.empty() ? "Untitled" : std::filesystem::path(last).filename().string();
  const std::string answer = dialogs().question("Unsaved Changes", "Save changes to " + name + "?",
                                                {"Save", "Discard", "Cancel"}, "Save");
  if (answer == "Discard") return true;
  if (answer == "Save") return saveSetup(handles);
  return false;  // Cancel, or the question was closed
}

}  // namespace shell

namespace {

// The file operations keep their module name "rfCommonUI" for the layouts and
// modules that call them, and run the file layer's operation of that name.
[[maybe_unused]] const bool kFileCommands = shell::addCommands({
    {"addFileExtention", 2, 1, forwardToFileLayer},
    {"saveParameters", 2, 0, forwardToFileLayer},
    {"loadParameters", 2, 1, forwardToFileLayer},
    {"saveConfig", 1, 0, forwardToFileLayer},
    {"loadConfig", 0, 1, forwardToFileLayer},
    {"saveWaveform", 1, 0, forwardToFileLayer},
    gfx::callback("menuFileNew_Callback", menuFileNew_Callback),
    gfx::callback("menuFileOpen_Callback", menuFileOpen_Callback),
    gfx::callback("menuFileSave_Callback", menuFileSave_Callback),
    gfx::callback("menuFileSaveAs_Callback", menuFileSaveAs_Callback),
    gfx::callback("menuSpecialSaveWave_Callback", menuSpecialSaveWave_Callback),
    gfx::callback("menuFileExportWaveform_Callback", menuFileExportWaveform_Callback),
});

}  // namespace
}  // namespace dot11a
