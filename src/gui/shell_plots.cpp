// The shell's Plot menu: each command opens an analysis plot of the last
// calculated waveform in a window of its own and keeps that window in
// appInfo.ClientWindows, which the shut-down closes. Every plot shows the
// waveform as the instrument's 14-bit converter will make it.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/capture.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/receiver.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/instrument_task.hpp"
#include "gui/plots/plot_frame.hpp"
#include "gui/shell.hpp"

namespace dot11a {

namespace {

constexpr double kDisplayBits = 14;

// appInfo.Name followed by the time of the plot to the second, so that plots
// of successive calculations can be told apart.
Value plotTitle() {
  Value clk = shell::clockNow();
  std::vector<double> parts = clk.toDoubles();
  parts[5] = std::floor(parts[5]);
  const Value stamp = feval1("clock2str", {Value::row(parts)});
  return Value(shell::appText("Name") + " (" + stamp.str() + ")");
}

double sampleRate() {
  const Value& s = global("SigGenSettings");
  if (s.isRecord() && s.hasField("SamplingRate") && s.field("SamplingRate").isNumeric() &&
      !s.field("SamplingRate").isEmpty())
    return s.field("SamplingRate").toScalar();
  return 1;
}

// The oversampling ratio of the waveform on show: that of the calculated
// parameter set. After "Yes" to a stale waveform the current set may already
// name another ratio, which would cut the old waveform's symbols wrongly.
double overSampling() {
  const Value& info = shell::appInfo();
  const Value* calculated = info.isRecord() && info.hasField("LastCaluclatedParameterSet")
                                ? &info.field("LastCaluclatedParameterSet")
                                : nullptr;
  const Value* current = &global("parameters");
  for (const Value* set : {calculated, current})
    if (set != nullptr && set->isRecord() && set->hasField("OverSampling") &&
        set->field("OverSampling").isNumeric() && !set->field("OverSampling").isEmpty())
      return std::max(1.0, std::round(set->field("OverSampling").toScalar()));
  return 1;
}

double sampleCount() {
  return static_cast<double>(global("waveform").numel());
}

// Appends a plot window to appInfo.ClientWindows. Entries of windows the user
// closed meanwhile are dropped, so the list holds only open windows.
void keepWindow(const Value& window) {
  std::vector<double> kept;
  const Value& info = shell::appInfo();
  if (info.isRecord() && info.hasField("ClientWindows") && info.field("ClientWindows").isNumeric())
    for (double h : info.field("ClientWindows").toDoubles())
      if (h != 0 && gfx::isHandle(h)) kept.push_back(h);
  // A plot that failed shows its own error and gives no window.
  if (window.isNumeric() && window.isScalar()) {
    const double h = window.toScalar();
    if (h != 0 && gfx::isHandle(h)) kept.push_back(h);
  }
  shell::appInfo().setField("ClientWindows",
                            kept.empty() ? Value::empty() : Value::row(std::move(kept)));
}

// Opens a plot window made by `open` (after the waveform check and any
// dialog) and keeps it. The pointer shows "watch" while the plot is drawn. A
// plot that cannot be drawn is reported to the user, who would otherwise see
// nothing happen.
void openWindow(const Value& handles, std::string_view what,
                const std::function<Value(double parent)>& open) {
  const double parent = shell::mainWindow(handles);
  Value window;
  {
    shell::WatchPointer watch(parent);
    try {
      window = open(parent);
    } catch (const std::exception& e) {
      watch.restore();
      dialogs().error("Plot Error", "Unable to Plot " + std::string(what) + "\n" + e.what());
      return;
    }
  }
  keepWindow(window);
}

// Runs one plot by name with the inputs `make` builds from the waveform as
// the converter makes it.
template <typename Inputs>
void openPlot(const Value& handles, std::string_view plot, std::string_view what, Inputs make) {
  openWindow(handles, what, [&](double parent) {
    const Value wave = feval1("applyDacRes", {global("waveform"), kDisplayBits});
    const std::vector<Value> in = make(Value(parent), plotTitle(), wave);
    std::vector<Value> out = feval(plot, 1, std::span<const Value>(in));
    return out.empty() ? Value() : std::move(out[0]);
  });
}

// A view of the calculated waveform in two steps: `compute` runs off the GUI
// thread on the samples as the converter makes them (with progress and
// Cancel, the window usable meanwhile), then `draw` makes the window of its
// result. A result that arrives after Cancel, after the main window closed
// or after another waveform came in is dropped.
template <typename R>
void openComputed(const Value& handles, const std::string& what,
                  std::function<R(const Waveform&, std::vector<cplx>&&)> compute,
                  std::function<gfx::Handle(gfx::Handle parent, const R&)> draw) {
  const double parent = shell::mainWindow(handles);
  const std::shared_ptr<const Waveform> w = shell::waveformOnShow();
  struct Out {
    std::optional<R> result;
    std::string error;
  };
  auto out = std::make_shared<Out>();
  const bool ended = gui::runWindowTask(parent, what, [w, out, compute](gui::TaskProgress& p) {
    p.stage("Computing the " + std::string(w->samples.size() > 1000000 ? "long " : "") +
            "waveform's view...");
    try {
      out->result = compute(*w, shell::dacResolution(w->samples, kDisplayBits));
    } catch (const std::exception& e) {
      out->error = e.what();
    }
  });
  if (parent != 0 && !gfx::isHandle(parent)) return;
  if (!ended) return gui::tellUser(parent, what + " cancelled.", false, false);
  if (shell::waveformOnShow() != w)
    return gui::tellUser(
        parent, "The waveform changed while " + what + " was computed: that view was dropped.",
        false, false);
  if (!out->error.empty()) {
    dialogs().error("Plot Error", "Unable to Plot " + what + "\n" + out->error);
    return;
  }
  openWindow(handles, what, [&](double p) { return draw(gfx::Handle(p), *out->result).toValue(); });
}

// The typed waveform on show when no command of the shell stands in for the
// view `plot` (a test's stand-ins are called by name as ever).
std::shared_ptr<const Waveform> typedFor(std::string_view plot) {
  if (shell::commandTable().find(plot) != nullptr) return nullptr;
  return shell::waveformOnShow();
}

// The bursts the second marker row marks.
plots::Ranges burstsOf(const Waveform& w) {
  std::vector<double> row(w.marker2.begin(), w.marker2.end());
  return plots::burstRanges(row, w.samples.size());
}

// An answer of the configuration dialogs as a number: one decimal number
// with a point (whatever the user's locale), blanks around it allowed.
// Anything else (empty, words, NaN, two numbers) is no answer.
std::optional<double> numberIn(std::string_view text) {
  const auto blank = [](char ch) { return ch == ' ' || ch == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double x = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), x);
  if (text.empty() || end != text.data() + text.size() || std::isnan(x)) return std::nullopt;
  // Beyond the range of a double: a negative exponent makes it 0, otherwise the
  // sign tells which end it clamps to.
  if (error == std::errc::result_out_of_range) {
    const auto e = text.find_first_of("eE");
    if (e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-') return 0.0;
    return text.front() == '-' ? -HUGE_VAL : HUGE_VAL;
  }
  if (error != std::errc()) return std::nullopt;
  return x;
}

// Asks the two fields of an eye or scatter configuration. Nothing comes back
// when the user cancelled, or when an answer is not a number (then he is told
// which one).
std::optional<std::pair<double, double>> askConfiguration(const std::string& title,
                                                          const std::string& first,
                                                          const std::string& firstDefault,
                                                          const std::string& firstName) {
  const std::vector<std::string> prompts = {first, "Enter symbol delay (0-1):"};
  const auto answers = dialogs().input(title, prompts, {firstDefault, "0"});
  if (!answers) return std::nullopt;
  const std::vector<std::string> names = {firstName, "symbol delay"};
  double values[2] = {0, 0};
  for (std::size_t i = 0; i < 2; ++i) {
    const std::string text = i < answers->size() ? (*answers)[i] : std::string();
    const std::optional<double> x = numberIn(text);
    if (!x) {
      dialogs().error(title, "The " + names[i] + " must be a number; \"" + text +
                                 "\" is not one.\nNothing was plotted.");
      return std::nullopt;
    }
    values[i] = *x;
  }
  return std::make_pair(values[0], values[1]);
}

// A symbol delay of 0 to 1 symbols, in samples.
double delaySamples(double symbols) {
  return std::round(std::clamp(symbols, 0.0, 1.0) * overSampling());
}

bool ready(const Value& handles) {
  return shell::waveformReady(handles, "Plot");
}

void menuPlotSpectrum_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!ready(h)) return;
  // The calculated waveform, typed: a sequence of millions of samples is
  // shown without being made into values twice. A command of the shell that
  // stands in for the plot (a test's) is called by name as ever.
  if (typedFor("KS_PlotSpectrum")) {
    const double rate = sampleRate();
    const std::string label = plotTitle().str();
    return openComputed<plots::Spectrum>(
        h, "Spectrum",
        [rate](const Waveform&, std::vector<cplx>&& x) {
          return plotframe::spectrumOf(std::move(x), rate);
        },
        [label](gfx::Handle parent, const plots::Spectrum& s) {
          return plotframe::spectrumWindow(parent, label, s);
        });
  }
  openPlot(h, "KS_PlotSpectrum", "Spectrum", [](Value parent, Value title, Value wave) {
    return std::vector<Value>{parent, title, sampleRate(), wave};
  });
}

// The waterfall cuts the waveform into 200 slices.
void menuPlotWaterfall_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!ready(h)) return;
  openPlot(h, "KS_PlotWaterfall", "Waterfall", [](Value parent, Value title, Value wave) {
    const double rate = sampleRate();
    return std::vector<Value>{parent, title, rate, (sampleCount() / rate) / 200, wave};
  });
}

void plotIQTime(const Value& h, double overlay) {
  if (!ready(h)) return;
  openPlot(h, "KS_PlotIQTime", "I(t) Q(t)", [overlay](Value parent, Value title, Value wave) {
    return std::vector<Value>{parent, title, sampleRate(), overlay, wave};
  });
}

void menuPlotIQTime_Callback(Call& c) {
  plotIQTime(c.in(2, "handles"), 0);
}

void menuPlotIQTimeSameAxes_Callback(Call& c) {
  plotIQTime(c.in(2, "handles"), 1);
}

// The eye diagram spans a whole number of symbols, 1 up to the symbols in the
// waveform, and starts the given part of a symbol late.
void menuPlotEyeDiagram_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!ready(h)) return;
  const auto answers = askConfiguration("Eye Diagram Configuration",
                                        "Enter number of symbols:", "1", "number of symbols");
  if (!answers) return;
  const double os = overSampling();
  // Whole symbols only: a trace of a fractional symbol count is no whole
  // number of samples, which the eye plot refuses.
  const double symbols = std::max(
      1.0, std::min(std::round(std::max(answers->first, 1.0)), std::floor(sampleCount() / os)));
  const double delay = delaySamples(answers->second);
  openPlot(h, "KS_PlotEyeDiagram", "Eye Diagram", [=](Value parent, Value title, Value wave) {
    return std::vector<Value>{parent, title, wave, symbols * os, symbols * os / sampleRate(),
                              delay};
  });
}

// The scatter diagram shows one point per symbol-rate sample, over a trace
// through every sample when the trace is on.
void menuPlotScatterDiagram_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!ready(h)) return;
  const auto answers =
      askConfiguration("Scatter Diagram Configuration", "Trace On (0|1):", "1", "trace setting");
  if (!answers) return;
  const double traceOn = std::min(1.0, std::round(std::max(answers->first, 0.0)));
  const double delay = delaySamples(answers->second);
  openPlot(h, "KS_PlotScatterDiagram", "Scatter Diagram",
           [=](Value parent, Value title, Value wave) {
             return std::vector<Value>{parent, title, wave, overSampling(), delay, traceOn};
           });
}

void menuPlotCCDF_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!ready(h)) return;
  if (typedFor("KS_PlotCCDF")) {
    const std::string label = plotTitle().str();
    return openComputed<plots::Ccdf>(
        h, "CCDF", [](const Waveform&, std::vector<cplx>&& x) { return plots::ccdf(x); },
        [label](gfx::Handle parent, const plots::Ccdf& d) {
          return plotframe::ccdfWindow(parent, label, d);
        });
  }
  openPlot(h, "KS_PlotCCDF", "CCDF", [](Value parent, Value title, Value wave) {
    return std::vector<Value>{parent, title, wave};
  });
}

// The measurement views average over the bursts the markers mark.
void menuAnalysisAveragedSpectrum_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!ready(h)) return;
  if (typedFor("KS_PlotAveragedSpectrum")) {
    const double rate = sampleRate();
    const double setLevel = shell::windowJob().generator.amplitude;
    const std::string label = plotTitle().str();
    return openComputed<plots::AveragedSpectrum>(
        h, "Averaged Spectrum",
        [rate, setLevel](const Waveform& w, std::vector<cplx>&& x) {
          const plots::Ranges bursts = burstsOf(w);
          plots::AveragedSpectrum s = plots::averagedSpectrum(x, rate, bursts, 100e3);
          if (s.levelDbr.empty()) raise("The waveform has no power to show the spectrum of.");
          s.setLevelDbm = setLevel;
          s.levels = plots::levelsAt(w.samples, bursts, setLevel);
          return s;
        },
        [label, rate, w = shell::waveformOnShow()](gfx::Handle parent,
                                                   const plots::AveragedSpectrum& s) {
          // Another resolution is computed off the GUI thread as the first was.
          auto recompute = [w, rate](double hz) {
            auto out = std::make_shared<plots::AveragedSpectrum>();
            const gfx::Handle fig = gfx::gcbf();
            if (!gui::runWindowTask(fig.toValue().toScalar(), "Averaged Spectrum",
                                    [w, rate, hz, out](gui::TaskProgress&) {
                                      *out = plots::averagedSpectrum(
                                          shell::dacResolution(w->samples, kDisplayBits), rate,
                                          burstsOf(*w), hz);
                                    }))
              raise("The spectrum was not computed again.");
            return *out;
          };
          return plotframe::averagedSpectrumWindow(parent, label, s, recompute);
        });
  }
  openPlot(h, "KS_PlotAveragedSpectrum", "Averaged Spectrum",
           [](Value parent, Value title, Value wave) {
             return std::vector<Value>{parent, title, sampleRate(), wave, global("markers"), 100e3};
           });
}

void menuAnalysisGatedCCDF_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!ready(h)) return;
  if (typedFor("KS_PlotGatedCCDF")) {
    const std::string label = plotTitle().str();
    return openComputed<plotframe::GatedCcdf>(
        h, "Gated CCDF",
        [](const Waveform& w, std::vector<cplx>&& x) {
          return plotframe::gatedCcdfOf(x, burstsOf(w));
        },
        [label](gfx::Handle parent, const plotframe::GatedCcdf& g) {
          return plotframe::gatedCcdfWindow(parent, label, g);
        });
  }
  openPlot(h, "KS_PlotGatedCCDF", "Gated CCDF", [](Value parent, Value title, Value wave) {
    return std::vector<Value>{parent, title, wave, global("markers")};
  });
}

// What the calculated waveform was made with, as far as the receiver needs
// to know, at the generator's rate (the rate the instrument plays it at).
// Before the first Calculate the receiver takes its defaults.
rx::MadeWith calculatedMadeWith() {
  rx::MadeWith made;
  if (const std::shared_ptr<const Waveform> w = shell::calculatedWaveform()) made = madeWith(*w);
  made.sampleRate = sampleRate();
  return made;
}

// KS_Demodulate's settings record for the receiver's options.
Value demodSettings(const rx::Options& o) {
  const char* fcs = o.fcs == rx::FcsCheck::On ? "on" : o.fcs == rx::FcsCheck::Off ? "off" : "auto";
  return Value::record({{"dacDroop", Value::logical(o.dacDroop)},
                        {"fcs", Value(fcs)},
                        {"fftBackoff", o.fftBackoff}});
}

// The receiver runs on the waveform as the instrument will play it, with the
// settings dot11a-gen --verify takes for the frame it made.
void menuAnalysisDemodulate_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!ready(h)) return;
  if (typedFor("KS_Demodulate")) {
    // The samples are made into the receiver's input off the GUI thread; the
    // window then opens at once and fills as the receiver goes.
    const rx::Options o = rx::optionsFor(calculatedMadeWith());
    const std::string label = plotTitle().str();
    return openComputed<Value>(
        h, "Demodulate",
        [](const Waveform&, std::vector<cplx>&& x) { return Value::row(std::span<const cplx>(x)); },
        [label, o](gfx::Handle parent, const Value& wave) {
          return gfx::Handle(feval1("KS_Demodulate", {parent.toValue(), Value(label), o.sampleRate,
                                                      wave, demodSettings(o)})
                                 .toScalar());
        });
  }
  openPlot(h, "KS_Demodulate", "Demodulate", [](Value parent, Value title, Value wave) {
    const rx::Options o = rx::optionsFor(calculatedMadeWith());
    return std::vector<Value>{parent, title, o.sampleRate, wave, demodSettings(o)};
  });
}

// File > Open Capture...: a capture in any format dot11a-verify reads,
// demodulated in a window of its own. A file that states no sample rate is
// taken at 20 MHz, as dot11a-verify takes it.
void menuFileOpenCapture_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  const auto path = dialogs().openFile(
      "Open Capture",
      {{"*.sigmf-meta;*.sigmf-data;*.mat;*.bin;*.cf32;*.raw", "Captures"}, {"*", "All files"}}, "");
  if (!path) return;
  const double parent = shell::mainWindow(h);
  if (shell::busy(parent)) return;
  // Read and made into the receiver's input off the GUI thread: a long
  // capture takes seconds.
  struct Read {
    Value samples;
    double rate = 20e6;
    std::string name, error;
    bool dacPrecompensated = false;
  };
  auto read = std::make_shared<Read>();
  const std::string file = *path;
  const bool ended = gui::runWindowTask(parent, "Open Capture", [read, file](gui::TaskProgress& p) {
    p.stage("Reading " + std::filesystem::path(file).filename().string() + "...");
    try {
      const Capture cap = readCapture(file);
      read->rate = cap.sampleRate.value_or(20e6);
      read->name = std::filesystem::path(file).filename().string();
      if (!cap.sampleRate) read->name += " (20 MHz assumed)";
      read->dacPrecompensated = cap.dacPrecompensated;
      read->samples = Value::row(std::span<const cplx>(cap.samples));
    } catch (const std::exception& e) {
      read->error = e.what();
    }
  });
  if (parent != 0 && !gfx::isHandle(parent)) return;
  if (!ended) return gui::tellUser(parent, "Open Capture cancelled.", false, false);
  Value window;
  {
    shell::WatchPointer watch(parent);
    try {
      if (!read->error.empty()) raise(read->error);
      // As dot11a-verify reads the file: the FCS checked when it matches,
      // flatness after the DAC's droop when the file records the
      // pre-compensation.
      rx::Options o;
      o.dacDroop = read->dacPrecompensated;
      window = feval1("KS_Demodulate", {Value(parent), Value(read->name), read->rate, read->samples,
                                        demodSettings(o)});
    } catch (const std::exception& e) {
      watch.restore();
      dialogs().error("Open Capture", "Unable to open the capture\n" + std::string(e.what()));
      return;
    }
  }
  keepWindow(window);
}

}  // namespace

namespace shell {
void keepClientWindow(const Value& window) {
  keepWindow(window);
}
}  // namespace shell

namespace {

[[maybe_unused]] const bool kPlotCommands = shell::addCommands({
    gfx::callback("menuPlotSpectrum_Callback", menuPlotSpectrum_Callback),
    gfx::callback("menuPlotWaterfall_Callback", menuPlotWaterfall_Callback),
    gfx::callback("menuPlotIQTime_Callback", menuPlotIQTime_Callback),
    gfx::callback("menuPlotIQTimeSameAxes_Callback", menuPlotIQTimeSameAxes_Callback),
    gfx::callback("menuPlotEyeDiagram_Callback", menuPlotEyeDiagram_Callback),
    gfx::callback("menuPlotScatterDiagram_Callback", menuPlotScatterDiagram_Callback),
    gfx::callback("menuPlotCCDF_Callback", menuPlotCCDF_Callback),
    gfx::callback("menuAnalysisAveragedSpectrum_Callback", menuAnalysisAveragedSpectrum_Callback),
    gfx::callback("menuAnalysisGatedCCDF_Callback", menuAnalysisGatedCCDF_Callback),
    gfx::callback("menuAnalysisDemodulate_Callback", menuAnalysisDemodulate_Callback),
    gfx::callback("menuFileOpenCapture_Callback", menuFileOpenCapture_Callback),
});

}  // namespace
}  // namespace dot11a
