// The Demodulate window on one second of a busy 20 Msps capture (about 500
// frames of 6 to 54 Mbit/s at half the air time, noise 27 dB below): the time
// from the call that opens the window to its first row, and to its last.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTableWidget>
#include <algorithm>
#include <random>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/synthesis.hpp"
#include "gui/graphics/graphics.hpp"

namespace {

using dot11a::Value;
namespace gfx = dot11a::gfx;

const Value& busySecond() {
  static const Value wave = [] {
    std::vector<dot11a::cplx> x(20000000);
    std::mt19937 rng(5);
    std::normal_distribution<double> g(0.0, 0.01);
    for (auto& v : x) v = {g(rng), g(rng)};
    const int rates[] = {6, 12, 24, 54};
    for (std::size_t at = 2000, i = 0;; ++i) {
      const dot11a::RateEntry& r = *dot11a::rateByMbps(rates[i % 4]);
      dot11a::FrameSettings s;
      s.dataRate = r.mbps;
      s.data.modulation = static_cast<int>(r.modulation);
      s.data.encoderRate = r.coding.value();
      s.idleSamples = 0;
      // About 1 ms of DATA, from 0.6 to 1.4 times that, within 4000 octets.
      const auto octets =
          static_cast<std::size_t>(r.mbps * 940 / 8 * (0.6 + 0.8 * (rng() % 1000) / 1000.0));
      dot11a::Bits bits(8 * std::min<std::size_t>(octets, 4000));
      for (auto& b : bits) b = static_cast<std::uint8_t>(rng() & 1u);
      const dot11a::Frame f = dot11a::synthesizeFrame(s, bits);
      if (at + f.waveform.size() >= x.size()) break;
      for (std::size_t k = 0; k < f.waveform.size(); ++k) x[at + k] += 0.3 * f.waveform[k];
      at += f.waveform.size() * 2;
    }
    return Value::row(std::span<const dot11a::cplx>(x));
  }();
  return wave;
}

QTableWidget* tableOf(gfx::Handle fig) {
  return qobject_cast<QTableWidget*>(
      gfx::objectOf(gfx::guihandles(fig).field("KS_DemodFrames").toScalar()));
}

void BM_DemodulateBusySecond(benchmark::State& state) {
  dot11a::ScopedScriptedDialogs script;
  const std::vector<Value> args = {Value(0.0), Value("(bench)"), Value(20e6), busySecond()};
  double callMs = 0, firstMs = 0, allMs = 0, rows = 0;
  for (auto _ : state) {
    QElapsedTimer clock;
    clock.start();
    const double fig =
        dot11a::feval("KS_Demodulate", 1, std::span<const Value>(args)).at(0).toScalar();
    const qint64 called = clock.nsecsElapsed();
    const gfx::Handle status = gfx::guihandles(fig).field("KS_DemodStatus").toScalar();
    QTableWidget* table = tableOf(fig);
    qint64 first = -1;
    while (gfx::getString(status, "String") == "Demodulating..." && clock.elapsed() < 60000) {
      // Waits for the window's next event as its event loop would, leaving
      // the processor to the receiver.
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      if (first < 0 && table->rowCount() > 0) first = clock.nsecsElapsed();
    }
    state.PauseTiming();
    callMs += static_cast<double>(called) / 1e6;
    firstMs += static_cast<double>(first) / 1e6;
    allMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;
    rows = table->rowCount();
    gfx::deleteFigure(fig);
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
  const double n = std::max<double>(1, static_cast<double>(state.iterations()));
  // The call (the samples copied in, the window laid out), the first row
  // and the last, in milliseconds of real time.
  state.counters["call_ms"] = callMs / n;
  state.counters["first_row_ms"] = firstMs / n;
  state.counters["all_rows_ms"] = allMs / n;
  state.counters["frames"] = rows;
}

}  // namespace

BENCHMARK(BM_DemodulateBusySecond)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
