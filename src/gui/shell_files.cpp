// The shell's File menu (New, Open, Save, Save As), the waveform export of the
// Special menu, and the file operations reached through the shell's dispatcher
// (rfCommonUI('addFileExtention', ...) and the like), which the file layer
// implements.
#include <filesystem>
#include <string>

#include "dot11a/dialogs.hpp"
#include "dot11a/files.hpp"
#include "dot11a/module.hpp"
#include "dot11a/siggen_settings.hpp"
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

void redrawTitle(const Value& handles) {
  feval("redrawAppTitle", 0, {handles});
}

// Writes the running parameter set to `path` and makes it the file of this run.
void saveParametersTo(const std::string& path, const Value& handles) {
  configuration().setField("LastParameterFilename", Value(path));
  feval("saveParameters", 0, {Value(path), global("parameters")});
  shell::fileOfThisRun() = path;
  redrawTitle(handles);
}

void menuFileNew_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  configuration().setField("LastParameterFilename", Value(""));
  shell::application("InitializeParameters", {});
  shell::application("InitializeSigGenSettings", {});
  shell::application("redraw", {h});
}

// A parameter file does not hold the generator's sample rate; after Open it
// follows the file's oversampling ratio, as it does when the ratio is chosen,
// so the next download plays at the rate the waveform was made for.
void menuFileOpen_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  const std::optional<std::string> chosen =
      dialogs().openFile("Open Parameter File", parameterFilter(), "");
  if (!chosen) return;
  const std::string path = addFileExtention(*chosen, ".mat");
  if (!feval1("loadParameters", {Value(path), h}).truthy()) return;
  configuration().setField("LastParameterFilename", Value(path));
  shell::fileOfThisRun() = path;
  global("SigGenSettings")
      .setField("SamplingRate",
                kBaseSampleRate * global("parameters").field("OverSampling").toScalar());
  if (h.isRecord() && h.hasField("main")) feval("TGXconfig", 0, {Value("redrawSigGenSettings"), h});
  redrawTitle(h);
}

std::optional<std::string> askParameterFileName(std::string_view title) {
  const std::optional<std::string> chosen = dialogs().saveFile(title, parameterFilter(), "");
  if (!chosen) return std::nullopt;
  return addFileExtention(*chosen, extension());
}

// The stored configuration names the last file across restarts, but the
// parameters are not restored with it: Save asks before it writes over a file
// that was neither opened nor saved in this run.
void menuFileSave_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  const std::string last = lastParameterFile();
  if (!last.empty()) {
    if (last != shell::fileOfThisRun()) {
      const std::string answer = dialogs().question(
          "Overwrite Parameter File",
          "The parameter file\n" + last +
              "\nwas neither opened nor saved since the application started.\nOverwrite it with "
              "the current settings ?",
          {"Overwrite", "Cancel"}, "Cancel");
      if (answer != "Overwrite") return;
    }
    saveParametersTo(last, h);
    return;
  }
  const std::optional<std::string> path = askParameterFileName("Save Parameter File");
  if (path) saveParametersTo(*path, h);
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
});

}  // namespace
}  // namespace dot11a
