// The shell's Signal menu: the receiver-test signal (frame sequence and
// impairments) that Calculate makes in place of the one clean frame, its two
// dialogs, and what the window shows of it (title, projected length).
#include <QWidget>
#include <string>

#include "dot11a/dialogs.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_export.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/module.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/signal_settings.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/shell.hpp"
#include "gui/signal_dialogs.hpp"

namespace dot11a {

namespace shell {

Value& signalRecord() {
  Value& v = global("SignalSettings");
  if (!v.isRecord()) v = toValue(SignalSettings{});
  return v;
}

SignalSettings signalSettings() {
  try {
    return signalSettingsFromValue(signalRecord());
  } catch (const std::exception&) {
    // Only the dialogs and Open write the record, both from checked
    // settings; anything else is taken as the clean frame.
    return {};
  }
}

void takeStoredSignalSettings(const std::optional<Value>& stored, const Value& handles) {
  std::string problem;
  SignalSettings s;
  if (stored) {
    try {
      s = signalSettingsFromValue(*stored);
    } catch (const std::exception& e) {
      problem = e.what();
      s = {};
    }
  }
  global("SignalSettings") = toValue(s);
  if (!problem.empty() && handles.isRecord() && handles.hasField("main"))
    gui::tellUser(
        handles.field("main").toScalar(),
        "The signal settings in the file were not taken (no impairment, one frame): " + problem,
        false, false);
}

std::size_t memorySamples() {
  const Value& config = global("configuration");
  const bool m08 = config.isRecord() && config.hasField("BBGtype") &&
                   config.field("BBGtype").isText() && config.field("BBGtype").str() == "M08";
  return m08 ? impair::kMemoryM08Samples : impair::kMemoryM32Samples;
}

bool calculateSignal(const Value& parameters) {
  const SignalSettings s = signalSettings();
  if (!s.active()) return false;
  SignalWaveform w = signalWaveform(parameters, s, memorySamples());
  global("waveform") = std::move(w.waveform);
  global("markers") = std::move(w.markers);
  return true;
}

std::string projectedText(const Value& parameters, double frameSamples) {
  const SignalSettings s = signalSettings();
  if (!s.sequence() && !s.impairments.clockPpm) return num2str(frameSamples) + " Samples";
  try {
    validate(s, kBaseSampleRate * parameters.field("OverSampling").toScalar());
  } catch (const std::exception&) {
    return "See the Signal menu";  // Calculate says what is wrong
  }
  try {
    // The frame count is in the title; the field has room for the number.
    return num2str(static_cast<double>(signalLength(parameters, s, memorySamples()))) + " Samples";
  } catch (const std::exception&) {
    return "Over the memory";
  }
}

bool exportSignal(const std::string& path, WaveformFile format, CalculatedFrame frame,
                  std::optional<double> frequency) {
  const Value& info = appInfo();
  if (!info.isRecord() || !info.hasField("LastCalculatedSignal")) return false;
  SignalSettings s;
  try {
    s = signalSettingsFromValue(info.field("LastCalculatedSignal"));
  } catch (const std::exception&) {
    return false;
  }
  if (!s.active()) return false;
  frame.samples = global("waveform").toComplex();
  if (format == WaveformFile::PsduCapture && s.sequence())
    raise(
        "A PSDU capture holds one frame, and the frames of a sequence differ: export the "
        "sequence as a recording (SigMF, MAT or 16-bit I/Q).");
  if (format != WaveformFile::Sigmf) {
    writeWaveformFile(path, format, frame, frequency);
    return true;
  }
  SigmfInfo sigmf = sigmfInfoOf(frame, frequency);
  sigmf.impairments = describe(s);
  if (s.sequence() || s.impairments.clockPpm) {
    // The fields of one frame are no longer where its layout says: each
    // frame is annotated where marker 2 marks its burst.
    sigmf.description = std::to_string(s.frames) + " x " + sigmf.description;
    sigmf.annotations.clear();
    const std::vector<double> m = global("markers").toDoubles();
    const std::size_t n = m.size() / 2;
    for (std::size_t i = 0; i < n;) {
      if (m[2 * i + 1] == 0) {
        ++i;
        continue;
      }
      const std::size_t begin = i;
      while (i < n && m[2 * i + 1] != 0) ++i;
      sigmf.annotations.push_back(
          {begin, i - begin, "frame", "frame " + std::to_string(sigmf.annotations.size() + 1)});
    }
  }
  writeSigmf(path, frame.samples, sigmf);
  return true;
}

std::string signalTitleNote() {
  const SignalSettings s = signalSettings();
  std::string note;
  if (s.sequence()) note = std::to_string(s.frames) + " frames";
  if (s.impairments.any()) note += note.empty() ? "IMPAIRED" : ", IMPAIRED";
  return note.empty() ? "" : " [" + note + "]";
}

}  // namespace shell

namespace {

using namespace gfx;

double sampleRateOfParameters() {
  return kBaseSampleRate * global("parameters").field("OverSampling").toScalar();
}

// After a change of the signal settings: the title, the projected length and
// whether the calculated waveform is current follow.
void signalChanged(const Value& handles) {
  shell::application("redrawProjectedLength", {handles});
  feval("rfCommonUI", 0, {Value("redrawAppTitle"), handles});
  const SignalSettings s = shell::signalSettings();
  const std::string text = describe(s);
  gui::tellUser(shell::mainWindow(handles),
                text.empty() ? "Signal: one clean frame." : "Signal: " + text + ".", false, false);
}

void menuSignalImpairments_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  SignalSettings s = shell::signalSettings();
  gui::ImpairmentsDialog dialog(s.impairments, sampleRateOfParameters(),
                                widgetOf(shell::mainWindow(h)));
  if (dialog.exec() != QDialog::Accepted) return;
  s.impairments = dialog.settings();
  global("SignalSettings") = toValue(s);
  signalChanged(h);
}

void menuSignalSequence_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  gui::SequenceDialog dialog(shell::signalSettings(), widgetOf(shell::mainWindow(h)));
  if (dialog.exec() != QDialog::Accepted) return;
  global("SignalSettings") = toValue(dialog.settings());
  signalChanged(h);
}

[[maybe_unused]] const bool kSignalCommands = shell::addCommands({
    gfx::callback("menuSignalImpairments_Callback", menuSignalImpairments_Callback),
    gfx::callback("menuSignalSequence_Callback", menuSignalSequence_Callback),
});

}  // namespace

}  // namespace dot11a
