// The file operations: saveZenfoldWaveform, and the shell's parameter-file,
// configuration and waveform-export functions (reachable by name).
#include <cmath>
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/parameters.hpp"

namespace dot11a {

namespace {

std::string& lastZenfoldError() {
  static std::string text;
  return text;
}

std::string textOf(const Value& v, std::string_view what) {
  if (!v.isText()) raise(std::string(what) + " must be a text.");
  return v.str();
}

void addFileExtentionFn(Call& c) {
  c.outputNames({"fullName"});
  c.out(0) = Value(addFileExtention(textOf(c.in(0, "filename"), "The file name"),
                                    textOf(c.in(1, "extension"), "The extension")));
}

void saveParametersFn(Call& c) {
  const Value& name = c.in(0, "filename");
  const std::string path = name.isText() ? name.str() : "";
  try {
    writeParameterFile(textOf(name, "The file name"), c.in(1, "fileParameters"));
  } catch (const std::exception& e) {
    dialogs().error("Error Saving " + path, e.what());
  }
}

// The format identifier files must carry: the running parameter set's.
std::string runningFormatId() {
  return parameterFileFormatIdOf(global("parameters"));
}

void loadParametersFn(Call& c) {
  c.outputNames({"success"});
  c.out(0) = 0.0;
  const Value& name = c.in(0, "fullfilename");
  if (!name.isText()) {
    dialogs().error("Error Loading File", "The file name must be a text.");
    return;
  }
  const std::string path = name.str();
  ParameterFileRead read = readParameterFile(path, runningFormatId());
  if (read.readError) {
    dialogs().error("Error Loading File", read.problem);
    return;
  }
  if (!read.parameters) {
    dialogs().error("Error Loading File", path + "\n" + read.problem);
    return;
  }
  // A record that passed the identifier check but lacks what the calculation
  // needs would break the next calculation; it is refused like a file of the
  // wrong structure.
  const std::string problem = parameterSetProblem(*read.parameters, defaultParameters());
  if (!problem.empty()) {
    dialogs().error("Error Loading File",
                    path + "\nhas an Invalid File Structure.\n(" + problem + ".)");
    return;
  }
  const Value handles = c.inOr(1, Value::empty());
  // A spacing the record cannot hold is refused here, before it becomes the
  // set in force.
  try {
    (void)fromRecord(*read.parameters);
  } catch (const std::exception& e) {
    dialogs().error("Error Loading File",
                    path + "\nhas an Invalid File Structure.\n(" + e.what() + ")");
    return;
  }
  global("parameters") = *read.parameters;
  if (handles.isRecord() && handles.hasField("main") && isCallable("dot11a_GUI_b")) {
    feval("dot11a_GUI_b", 0, {Value("redraw"), handles});
  } else {
    updateDerivedFields(global("parameters"));
  }
  c.out(0) = 1.0;
}

void saveConfigFn(Call& c) {
  try {
    const NamedValue vars[] = {{"fileParameters", c.inOr(0, Value::empty())}};
    writeMatFile(std::string(kConfigFileName), vars);
  } catch (const std::exception&) {
    // The stored configuration is a convenience; a failure is not reported.
  }
}

void loadConfigFn(Call& c) {
  c.outputNames({"output"});
  c.out(0) = Value::empty();
  try {
    // Only a record can be a configuration: anything else is ignored like an
    // unreadable file, so it is neither installed nor saved back at exit.
    for (auto& [n, v] : readMatFile(std::string(kConfigFileName), kSmallMatFile))
      if (n == "fileParameters" && v.isRecord()) c.out(0) = v;
  } catch (const std::exception&) {
    // A missing, oversized or damaged file leaves the built-in configuration in force.
  }
}

void saveWaveformFn(Call& c) {
  const std::string path = textOf(c.in(0, "filename"), "The file name");
  const std::string answer = dialogs().question("Special Save", "Select file format.",
                                                {"ASCII", "Zenfold", "MAT"}, "ASCII");
  if (answer != "ASCII" && answer != "Zenfold" && answer != "MAT") return;
  try {
    const std::vector<cplx> samples = global("waveform").toComplex();
    if (answer == "Zenfold") {
      const std::vector<Value> out =
          feval("saveZenfoldWaveform", 1, {global("waveform"), Value(path)});
      if (out.empty() || !out[0].truthy())
        dialogs().error("Error Saving " + path, lastZenfoldError());
    } else {
      writeSamplesContainer(path, samples, answer == "ASCII");
    }
  } catch (const std::exception& e) {
    dialogs().error("Error Saving " + path, e.what());
  }
}

const bool kRegistered = [] {
  registerBuiltin({"addFileExtention", 2, 1, 1, "rfCommonUI/addFileExtention", addFileExtentionFn});
  registerBuiltin({"saveParameters", 2, 0, 1, "rfCommonUI/saveParameters", saveParametersFn});
  registerBuiltin({"loadParameters", 2, 1, 1, "rfCommonUI/loadParameters", loadParametersFn});
  registerBuiltin({"saveConfig", 1, 0, 1, "rfCommonUI/saveConfig", saveConfigFn});
  registerBuiltin({"loadConfig", 0, 1, 1, "rfCommonUI/loadConfig", loadConfigFn});
  registerBuiltin({"saveWaveform", 1, 0, 1, "rfCommonUI/saveWaveform", saveWaveformFn});
  return true;
}();

}  // namespace

namespace op {

void saveZenfoldWaveform(Call& c) {
  c.outputNames({"success"});
  c.out(0) = 0.0;
  if (c.nargin() == 0 || c.nargin() > 3) return;
  try {
    const Value& v = c.in(0, "v");
    if (!v.isNumeric()) raise("The waveform must be numeric.");
    const std::string path = c.has(1) ? textOf(c.in(1, "filename"), "The file name") : "TGX-C";
    const double scale = c.has(2) ? c.in(2, "scale").toScalar() : 1.0;
    const std::vector<cplx> samples = v.toComplex();
    // An empty waveform writes nothing; Inf or NaN has no 16-bit value, so such
    // a waveform is refused rather than written as garbage.
    if (samples.empty()) raise("The waveform is empty; nothing was written to " + path + ".");
    checkWaveformToWrite(path, samples);
    writeFileAtomically(path, zenfoldBytes(samples, scale));
    c.out(0) = 1.0;
  } catch (const std::exception& e) {
    lastZenfoldError() = e.what();
  }
}

}  // namespace op
}  // namespace dot11a
