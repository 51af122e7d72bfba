// Whole frames: (a) the largest frame, 4095 octets at 6 Mbit/s with
// oversampling 4 and a window of 16, also at a quarter and half its length;
// (b) 1500 octets at 54 Mbit/s without oversampling; (c) the application's
// defaults, 1024 octets at 54 Mbit/s, oversampling 2, window 2, idle 4000.
#include <benchmark/benchmark.h>

#include "dot11a/synthesis.hpp"

namespace {

dot11a::Bits payload(std::size_t octets) {
  dot11a::Bits b(8 * octets);
  std::uint32_t x = 1;
  for (auto& bit : b) {
    x = x * 1664525u + 1013904223u;
    bit = (x >> 24) & 1u;
  }
  return b;
}

void run(benchmark::State& state, const dot11a::FrameSettings& s, std::size_t octets) {
  const auto bits = payload(octets);
  std::size_t samples = 0;
  for (auto _ : state) {
    const dot11a::Frame f = dot11a::synthesizeFrame(s, bits);
    samples = f.waveform.size();
    benchmark::DoNotOptimize(f.waveform.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(samples));
  state.counters["samples"] = static_cast<double>(samples);
  state.counters["symbols"] = static_cast<double>(dot11a::dataSymbolCount(s.data, bits.size()));
}

void BM_FrameLargest(benchmark::State& state) {
  dot11a::FrameSettings s;
  s.data = {true, 0, 1, 0.5, true, 93, true, 4, 16, true};
  s.dataRate = 6;
  run(state, s, static_cast<std::size_t>(state.range(0)));
}
BENCHMARK(BM_FrameLargest)->Arg(1024)->Arg(2048)->Arg(4095)->Unit(benchmark::kMillisecond);

void BM_Frame1500At54(benchmark::State& state) {
  dot11a::FrameSettings s;
  s.data = {true, 0, 4, 0.75, true, 93, true, 1, 0, true};
  s.dataRate = 54;
  run(state, s, 1500);
}
BENCHMARK(BM_Frame1500At54)->Unit(benchmark::kMicrosecond);

void BM_FrameDefaults(benchmark::State& state) {
  dot11a::FrameSettings s;
  s.data = {true, 0, 4, 0.75, true, 93, true, 2, 2, true};
  s.dataRate = 54;
  s.idleSamples = 4000;
  run(state, s, 1024);
}
BENCHMARK(BM_FrameDefaults)->Unit(benchmark::kMicrosecond);

}  // namespace
