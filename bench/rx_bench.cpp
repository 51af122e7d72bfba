// Decoding the largest frame (4095 octets at 6 Mbit/s) next to synthesising
// it, without oversampling and at oversampling 4 with a window of 16, with
// and without the spectrum mask; and the Viterbi decoder alone. On a shared
// machine compare the ratio of decoding to synthesis taken in one run:
//   dot11a-bench --benchmark_filter='(Synthesize|Decode|Viterbi)Largest'
//     --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true
//     --benchmark_report_aggregates_only=true
// and read the CPU-time medians.
#include <benchmark/benchmark.h>

#include "dot11a/receiver.hpp"
#include "dot11a/synthesis.hpp"

namespace {

dot11a::Bits payload(std::size_t octets) {
  dot11a::Bits b(8 * octets);
  std::uint32_t x = 7;
  for (auto& bit : b) {
    x = x * 1664525u + 1013904223u;
    bit = (x >> 24) & 1u;
  }
  return b;
}

dot11a::FrameSettings largest(int os) {
  dot11a::FrameSettings s;
  s.data = {true, 0, 1, 0.5, true, 93, true, os, os == 1 ? 0 : 16, true};
  s.dataRate = 6;
  return s;
}

void BM_SynthesizeLargest(benchmark::State& state) {
  const auto s = largest(static_cast<int>(state.range(0)));
  const auto bits = payload(4095);
  for (auto _ : state) {
    const dot11a::Frame f = dot11a::synthesizeFrame(s, bits);
    benchmark::DoNotOptimize(f.waveform.data());
  }
}
BENCHMARK(BM_SynthesizeLargest)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_DecodeLargest(benchmark::State& state) {
  const int os = static_cast<int>(state.range(0));
  const auto bits = payload(4095);
  const dot11a::Frame f = dot11a::synthesizeFrame(largest(os), bits);
  dot11a::rx::Options o;
  o.sampleRate = 20e6 * os;
  o.measureMask = state.range(1) != 0;
  for (auto _ : state) {
    const auto r = dot11a::rx::receive(f.waveform, o);
    if (r.frames.size() != 1 || r.frames[0].psduBits != bits) state.SkipWithError("not decoded");
    benchmark::DoNotOptimize(r.frames.data());
  }
  state.counters["samples"] = static_cast<double>(f.waveform.size());
}
BENCHMARK(BM_DecodeLargest)
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({4, 1})
    ->Args({4, 0})
    ->Unit(benchmark::kMillisecond);

void BM_ViterbiLargest(benchmark::State& state) {
  const auto bits = payload(4095);
  const dot11a::Bits coded = dot11a::convolEncode(bits, dot11a::kRate1_2);
  std::vector<float> soft(coded.size());
  for (std::size_t i = 0; i < coded.size(); ++i) soft[i] = coded[i] ? 1.0f : -1.0f;
  for (auto _ : state) {
    auto out = dot11a::rx::viterbiDecode(soft, dot11a::kRate1_2, bits.size(), false);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(bits.size()));
}
BENCHMARK(BM_ViterbiLargest)->Unit(benchmark::kMillisecond);

}  // namespace
