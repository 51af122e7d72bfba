// Each plot window of the largest frame on Qt's offscreen platform: the time
// from the call that opens the window to its first frame drawn with the data
// (the plot replotted and then painted). The frame is the application's
// largest: 4095 octets at 6 Mbit/s, oversampling 4, window 16 (438,736
// samples at 80 MHz), reduced to 14 bits as the Plot menu passes it.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/synthesis.hpp"
#include "first_frame.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/graphics/plot_objects.hpp"

namespace {

using dot11a::Value;
namespace gfx = dot11a::gfx;

constexpr double kRate = 80e6;

const Value& largestWaveform() {
  static const Value wave = [] {
    dot11a::FrameSettings s;
    s.data = {true, 0, 1, 0.5, true, 93, true, 4, 16, true};
    s.dataRate = 6;
    s.idleSamples = 0;
    dot11a::Bits bits(8 * 4095);
    std::mt19937 gen(20240601u);
    for (auto& b : bits) b = static_cast<std::uint8_t>(gen() & 1u);
    const dot11a::Frame f = dot11a::synthesizeFrame(s, bits);
    return dot11a::feval1("applyDacRes",
                          {Value::row(std::span<const dot11a::cplx>(f.waveform)), Value(14.0)});
  }();
  return wave;
}

// Opens a plot window per iteration (inputs: `args`, the waveform, `after`) and waits for its first
// frame; the window is closed outside the timing.
void timeToFirstFrame(benchmark::State& state, const std::string& op, std::vector<Value> args,
                      const std::vector<Value>& after = {}) {
  const dot11a::OpInfo* info = dot11a::findOperation(op);
  if (info == nullptr) info = dot11a::findBuiltin(op);
  if (info == nullptr || info->fn == nullptr) {
    state.SkipWithError((op + " is not in this build").c_str());
    return;
  }
  dot11a::ScopedScriptedDialogs script;
  const Value& wave = largestWaveform();
  args.push_back(wave);
  args.insert(args.end(), after.begin(), after.end());
  double callMs = 0, drawMs = 0;
  for (auto _ : state) {
    QElapsedTimer clock;
    clock.start();
    const double fig = dot11a::feval(op, 1, std::span<const Value>(args)).at(0).toScalar();
    const qint64 called = clock.nsecsElapsed();
    dot11a::bench::FirstFrame watch(fig);
    while (!watch.done() && clock.elapsed() < 20000) QCoreApplication::processEvents();
    state.PauseTiming();
    callMs += double(called) / 1e6;
    drawMs += double(clock.nsecsElapsed() - called) / 1e6;
    if (!watch.done()) state.SkipWithError("no frame drawn within 20 s");
    gfx::deleteFigure(fig);
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
  if (!script->shown.empty())
    state.SkipWithError(("the plot showed: " + script->shown[0].text).c_str());
  state.counters["samples"] = static_cast<double>(wave.numel());
  // Of the time to the first frame: the call (computing and laying out the
  // plot) and the drawing after it (real time, milliseconds per window).
  const double n = std::max<double>(1, static_cast<double>(state.iterations()));
  state.counters["call_ms"] = callMs / n;
  state.counters["draw_ms"] = drawMs / n;
}

void BM_PlotSpectrumFirstFrame(benchmark::State& state) {
  timeToFirstFrame(state, "KS_PlotSpectrum", {Value(0.0), Value("(bench)"), Value(kRate)});
}
void BM_PlotWaterfallFirstFrame(benchmark::State& state) {
  const double period = static_cast<double>(largestWaveform().numel()) / kRate / 200;
  timeToFirstFrame(state, "KS_PlotWaterfall",
                   {Value(0.0), Value("(bench)"), Value(kRate), Value(period)});
}
void BM_PlotCcdfFirstFrame(benchmark::State& state) {
  timeToFirstFrame(state, "KS_PlotCCDF", {Value(0.0), Value("(bench)")});
}
void BM_PlotIQTimeFirstFrame(benchmark::State& state) {
  timeToFirstFrame(state, "KS_PlotIQTime",
                   {Value(0.0), Value("(bench)"), Value(kRate), Value(0.0)});
}
// The eye and scatter diagrams take the waveform third and their trace
// settings after it: 8 samples per trace; every 4th sample, no trace lines.
void BM_PlotEyeDiagramFirstFrame(benchmark::State& state) {
  timeToFirstFrame(state, "KS_PlotEyeDiagram", {Value(0.0), Value("(bench)")},
                   {Value(8.0), Value(1.0), Value(0.0)});
}
void BM_PlotScatterDiagramFirstFrame(benchmark::State& state) {
  timeToFirstFrame(state, "KS_PlotScatterDiagram", {Value(0.0), Value("(bench)")},
                   {Value(4.0), Value(0.0), Value(0.0)});
}
// The measurement views, without markers: the frame has no idle interval,
// so its burst is the whole waveform.
void BM_AveragedSpectrumFirstFrame(benchmark::State& state) {
  timeToFirstFrame(state, "KS_PlotAveragedSpectrum", {Value(0.0), Value("(bench)"), Value(kRate)},
                   {Value::empty(), Value(100e3)});
}
void BM_GatedCcdfFirstFrame(benchmark::State& state) {
  timeToFirstFrame(state, "KS_PlotGatedCCDF", {Value(0.0), Value("(bench)")}, {Value::empty()});
}
BENCHMARK(BM_AveragedSpectrumFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GatedCcdfFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlotSpectrumFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlotWaterfallFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlotCcdfFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlotIQTimeFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlotEyeDiagramFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlotScatterDiagramFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
