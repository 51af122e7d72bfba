// The window's frame job and what Calculate makes of it: the receiver-test
// signal of the Signal menu (frame sequence and impairments) with its two
// dialogs, the job the window describes, the calculated waveform, and what the
// window shows of them (title, projected length).
#include <QWidget>
#include <string>

#include "dot11a/dialogs.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/module.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/siggen_settings.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/instrument_task.hpp"
#include "gui/plots/plot_data.hpp"
#include "gui/shell.hpp"
#include "gui/signal_dialogs.hpp"

namespace dot11a {

namespace shell {

namespace {

// The last Calculate: the typed waveform and the values it left in
// `waveform` (to tell whether something else was stored there since).
struct Calculated {
  std::shared_ptr<const Waveform> waveform;
  Value samples;
};

Calculated& calculatedState() {
  static Calculated c;
  return c;
}

}  // namespace

Signal& signal() {
  static Signal s;
  return s;
}

Value signalRecord() {
  const Value record = toSignalRecord(signal().sequence, signal().impairments);
  return signal().test ? withReceiverTest(record, *signal().test) : record;
}

void takeStoredSignalSettings(const std::optional<Value>& stored, const Value& handles) {
  std::string problem;
  Signal s;
  if (stored) {
    try {
      fromSignalRecord(*stored, s.sequence, s.impairments);
      s.test = receiverTestOf(*stored);
    } catch (const std::exception& e) {
      problem = e.what();
      s = {};
    }
  }
  signal() = s;
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

FrameJob windowJob(bool withGenerator) {
  FrameJob job;
  job.frame = fromRecord(global("parameters"));
  job.sequence = signal().sequence;
  job.impairments = signal().impairments;
  if (withGenerator) job.generator = sigGenSettingsFromValue(global("SigGenSettings"));
  job.carrierKnown = true;
  job.memorySamples = memorySamples();
  return job;
}

double& calculatingWindow() {
  static double fig = 0;
  return fig;
}

bool& calculationDropped() {
  static bool dropped = false;
  return dropped;
}

void calculate() {
  calculationDropped() = false;
  const FrameJob job = windowJob();
  // What the result is the waveform of: a change of any of these while the
  // work runs makes it the waveform of settings no longer shown.
  const Value parameters = global("parameters");
  const Value signalSet = signalRecord();
  const Value generator = global("SigGenSettings");
  struct Made {
    std::shared_ptr<const Waveform> waveform;
    WaveformValues values;
    plots::Levels levels;
    std::string error;
  };
  auto made = std::make_shared<Made>();
  const double fig = calculatingWindow() != 0 && gfx::isHandle(calculatingWindow())
                         ? calculatingWindow()
                         : mainWindow(Value());
  const std::size_t frames = job.sequence.frames;
  const bool ended =
      gui::runWindowTask(fig, "Calculate", [job, made, frames](gui::TaskProgress& p) {
        p.stage(frames > 1 ? "Calculating " + std::to_string(frames) + " frames..."
                           : "Calculating the frame...");
        try {
          auto w = std::make_shared<const Waveform>(make(job));
          made->values = toValues(*w);
          made->levels = levelsOf(*w, job.generator.amplitude);
          made->waveform = std::move(w);
        } catch (const std::exception& e) {
          made->error = e.what();
        }
      });
  const bool open = fig == 0 || gfx::isHandle(fig);
  if (!ended) {
    calculationDropped() = true;
    if (open) gui::tellUser(fig, "Calculate cancelled: the last waveform is kept.", false, false);
    return;
  }
  if (!made->error.empty()) raise(made->error);
  if (!(global("parameters") == parameters) || !(signalRecord() == signalSet) ||
      !(global("SigGenSettings") == generator)) {
    calculationDropped() = true;
    if (open)
      gui::tellUser(fig,
                    "The settings changed while calculating: that waveform was dropped. "
                    "Calculate again for the settings shown.",
                    false, false);
    return;
  }
  global("waveform") = std::move(made->values.waveform);
  global("markers") = std::move(made->values.markers);
  calculatedState() = {std::move(made->waveform), global("waveform")};
  // The levels the generator will give at its set level, for the tester.
  if (made->levels.valid && open)
    gui::tellUser(fig,
                  "Calculated. At the set level " + num2str(job.generator.amplitude) +
                      " dBm: " + plots::levelsText(made->levels) + ".",
                  false, false);
}

std::shared_ptr<const Waveform> calculatedWaveform() {
  return calculatedState().waveform;
}

void forgetCalculation() {
  calculatedState() = {};
}

std::shared_ptr<const Waveform> waveformOnShow() {
  const Calculated& c = calculatedState();
  const Value& now = global("waveform");
  // The values share their payload until one of them is written.
  if (!c.waveform || !now.isDouble() || now.numel() != c.samples.numel() ||
      now.re().data() != c.samples.re().data())
    return nullptr;
  return c.waveform;
}

std::string projectedText(const FrameJob& job) {
  if (!job.sequence.active() && !job.impairments.clockPpm)
    return num2str(static_cast<double>(frameLayout(job.frame.shape()).total)) + " Samples";
  try {
    // The frame count is in the title; the field has room for the number.
    return num2str(static_cast<double>(projectedLength(job))) + " Samples";
  } catch (const std::exception& e) {
    const std::string why = e.what();
    return why.find("memory") != std::string::npos ? "Over the memory" : "See the Signal menu";
  }
}

std::string signalTitleNote() {
  const Signal& s = signal();
  std::string note;
  const auto add = [&note](const std::string& part) { note += (note.empty() ? "" : ", ") + part; };
  if (s.test) add(s.test->name + " test");
  if (s.sequence.active()) add(std::to_string(s.sequence.frames) + " frames");
  if (s.impairments.any()) add("IMPAIRED");
  return note.empty() ? "" : " [" + note + "]";
}

}  // namespace shell

namespace {

using namespace gfx;

double sampleRateOfParameters() {
  return fromRecord(global("parameters")).sampleRate();
}

// After a change of the signal settings: the title, the projected length and
// whether the calculated waveform is current follow.
void signalChanged(const Value& handles) {
  shell::application("redrawProjectedLength", {handles});
  feval("rfCommonUI", 0, {Value("redrawAppTitle"), handles});
  FrameJob job;
  job.sequence = shell::signal().sequence;
  job.impairments = shell::signal().impairments;
  const std::string text = describeSignal(job);
  gui::tellUser(shell::mainWindow(handles),
                text.empty() ? "Signal: one clean frame." : "Signal: " + text + ".", false, false);
}

// The window's job as a receiver-test preset starts from: the interferer a
// previous preset set is its own, not the user's.
FrameJob presetBase() {
  FrameJob job = shell::windowJob(false);
  const auto& test = shell::signal().test;
  if (test && test->name != "sensitivity") job.impairments.interferer.reset();
  return job;
}

void menuSignalReceiverTest_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  gui::ReceiverTestDialog dialog(presetBase(), shell::signal().test,
                                 widgetOf(shell::mainWindow(h)));
  if (dialog.exec() != QDialog::Accepted) return;
  const FrameJob& job = dialog.job();
  // The frame's fields into the window's record (which keeps its own
  // fields besides), then the controls redrawn from it.
  Value parameters = global("parameters");
  const Value frame = toRecord(job.frame);
  for (const std::string& name : frame.fieldNames()) parameters.setField(name, frame.field(name));
  global("parameters") = parameters;
  feval("dot11a_GUI_b", 0, {Value("redraw"), h});
  shell::signal().sequence = job.sequence;
  shell::signal().impairments = job.impairments;
  shell::signal().test = dialog.choice();
  signalChanged(h);
  gui::tellUser(shell::mainWindow(h), "Receiver test " + dialog.summary().toStdString(), false,
                false);
}

void menuSignalImpairments_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  gui::ImpairmentsDialog dialog(shell::signal().impairments, sampleRateOfParameters(),
                                widgetOf(shell::mainWindow(h)));
  if (dialog.exec() != QDialog::Accepted) return;
  shell::signal().impairments = dialog.settings();
  shell::signal().test.reset();  // no longer the preset's signal
  signalChanged(h);
}

void menuSignalSequence_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  gui::SequenceDialog dialog(shell::signal().sequence, widgetOf(shell::mainWindow(h)));
  if (dialog.exec() != QDialog::Accepted) return;
  shell::signal().sequence = dialog.settings();
  shell::signal().test.reset();
  signalChanged(h);
}

[[maybe_unused]] const bool kSignalCommands = shell::addCommands({
    gfx::callback("menuSignalImpairments_Callback", menuSignalImpairments_Callback),
    gfx::callback("menuSignalSequence_Callback", menuSignalSequence_Callback),
    gfx::callback("menuSignalReceiverTest_Callback", menuSignalReceiverTest_Callback),
});

}  // namespace

}  // namespace dot11a
