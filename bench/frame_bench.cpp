// Whole frames through the typed synthesis, one core:
//  - the four reference frames (oversampling 1, window 1, no idle interval, no
//    DAC compensation, scrambler and interleaver on, full mask, random payload):
//    6 Mbit/s and 54 Mbit/s with 4095 octets, 24 Mbit/s with 1500, 54 Mbit/s
//    with 100;
//  - the largest frame of the application: 4095 octets at 6 Mbit/s,
//    oversampling 4, window 16, DAC compensation on (438,736 samples);
//  - the application's defaults (1024 octets at 54 Mbit/s, oversampling 2,
//    window 2, idle 4000);
//  - time against the number of DATA symbols at 6 Mbit/s, with the fitted
//    complexity.
#include <benchmark/benchmark.h>

#include <random>

#include "dot11a/synthesis.hpp"

namespace {

dot11a::Bits payload(std::size_t octets) {
  dot11a::Bits b(8 * octets);
  std::mt19937 gen(20240601u);
  for (auto& bit : b) bit = static_cast<std::uint8_t>(gen() & 1u);
  return b;
}

struct RateRow {
  double rate;
  int modulation;
  double coding;
};
constexpr RateRow k6 = {6, 1, 0.5};
constexpr RateRow k24 = {24, 3, 0.5};
constexpr RateRow k54 = {54, 4, 0.75};

dot11a::FrameSettings settings(RateRow r, int os, int w, bool sincComp) {
  dot11a::FrameSettings s;
  s.data = {true, 0, r.modulation, r.coding, true, 93, true, os, w, sincComp};
  s.dataRate = r.rate;
  s.idleSamples = 0;
  return s;
}

std::size_t run(benchmark::State& state, const dot11a::FrameSettings& s, std::size_t octets) {
  const auto bits = payload(octets);
  std::size_t samples = 0;
  for (auto _ : state) {
    const dot11a::Frame f = dot11a::synthesizeFrame(s, bits);
    samples = f.waveform.size();
    benchmark::DoNotOptimize(f.waveform.data());
  }
  const std::size_t symbols = dot11a::dataSymbolCount(s.data, bits.size());
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(samples));
  state.counters["samples"] = static_cast<double>(samples);
  state.counters["symbols"] = static_cast<double>(symbols);
  return symbols;
}

void BM_Frame6Mbps4095(benchmark::State& state) {
  run(state, settings(k6, 1, 1, false), 4095);
}
BENCHMARK(BM_Frame6Mbps4095)->Unit(benchmark::kMicrosecond);

void BM_Frame54Mbps4095(benchmark::State& state) {
  run(state, settings(k54, 1, 1, false), 4095);
}
BENCHMARK(BM_Frame54Mbps4095)->Unit(benchmark::kMicrosecond);

void BM_Frame24Mbps1500(benchmark::State& state) {
  run(state, settings(k24, 1, 1, false), 1500);
}
BENCHMARK(BM_Frame24Mbps1500)->Unit(benchmark::kMicrosecond);

void BM_Frame54Mbps100(benchmark::State& state) {
  run(state, settings(k54, 1, 1, false), 100);
}
BENCHMARK(BM_Frame54Mbps100)->Unit(benchmark::kMicrosecond);

void BM_FrameLargest(benchmark::State& state) {
  run(state, settings(k6, 4, 16, true), 4095);
}
BENCHMARK(BM_FrameLargest)->Unit(benchmark::kMillisecond);

void BM_FrameDefaults(benchmark::State& state) {
  dot11a::FrameSettings s = settings(k54, 2, 2, true);
  s.idleSamples = 4000;
  run(state, s, 1024);
}
BENCHMARK(BM_FrameDefaults)->Unit(benchmark::kMicrosecond);

// n DATA symbols at 6 Mbit/s: 3n - 3 octets plus SERVICE and tail fill them.
void BM_FrameBySymbols(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  run(state, settings(k6, 1, 1, false), 3 * n - 3);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_FrameBySymbols)
    ->Arg(16)
    ->Arg(64)
    ->Arg(256)
    ->Arg(1024)
    ->Arg(1366)
    ->Complexity()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
