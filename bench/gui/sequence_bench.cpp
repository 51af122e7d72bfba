// A sequence of 1000 default frames in the main window on Qt's offscreen
// platform: Calculate (from the button's callback to the window's events
// processed), then Plot > Spectrum of it (from the menu command to the plot's
// first frame drawn). The sequence is set as the Signal menu's Frame Sequence
// dialog sets it.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "first_frame.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/shell.hpp"

namespace {

using dot11a::Value;
namespace gfx = dot11a::gfx;

constexpr std::size_t kFrames = 1000;

double lastPlotWindow() {
  const Value& info = dot11a::global("appInfo");
  if (!info.hasField("ClientWindows") || info.field("ClientWindows").isEmpty()) return 0;
  return info.field("ClientWindows").toDoubles().back();
}

void BM_GuiSequenceCalculateAndSpectrum(benchmark::State& state) {
  dot11a::ScopedScriptedDialogs script;
  gfx::setSplashMinimumMs(0);
  const double fig = dot11a::feval1("dot11a_GUI_b", {}).toScalar();
  const Value handles = gfx::guihandles(fig);
  auto h = [&](const char* tag) { return handles.field(tag).toScalar(); };
  dot11a::shell::signal().sequence.frames = kFrames;
  QCoreApplication::processEvents();
  double calculateMs = 0, spectrumMs = 0;
  for (auto _ : state) {
    QElapsedTimer clock;
    clock.start();
    gfx::runCallback(h("pbCalculate"));
    QCoreApplication::processEvents();
    const qint64 calculated = clock.nsecsElapsed();
    gfx::runCallback(h("menuPlotSpectrum"));
    const double plot = lastPlotWindow();
    if (plot == 0) {
      state.SkipWithError("no spectrum window");
      break;
    }
    dot11a::bench::FirstFrame watch(plot);
    while (!watch.done() && clock.elapsed() < 120000) QCoreApplication::processEvents();
    state.PauseTiming();
    calculateMs += double(calculated) / 1e6;
    spectrumMs += double(clock.nsecsElapsed() - calculated) / 1e6;
    if (!watch.done()) state.SkipWithError("no frame drawn within 120 s");
    gfx::deleteFigure(plot);
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
  if (!script->shown.empty())
    state.SkipWithError(("the window showed: " + script->shown[0].text).c_str());
  const double n = std::max<double>(1, static_cast<double>(state.iterations()));
  state.counters["samples"] = static_cast<double>(dot11a::global("waveform").numel());
  state.counters["calculate_ms"] = calculateMs / n;
  state.counters["spectrum_ms"] = spectrumMs / n;
  dot11a::shell::signal() = {};
  gfx::deleteFigure(fig);
  QCoreApplication::processEvents();
}
BENCHMARK(BM_GuiSequenceCalculateAndSpectrum)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
