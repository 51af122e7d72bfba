// The cost of a frame in a sequence against the cost of one frame alone, for
// the application's default frame (1024 octets at 54 Mbit/s, oversampling 2,
// window 2, idle 4000): Job/OneFrame makes it alone, Job/SequencePerFrame
// makes a sequence of 200 of them as dot11a-gen --frames 200 does and reports
// the time per frame. The two should lie within 20 % of each other.
#include <benchmark/benchmark.h>

#include "dot11a/waveform.hpp"

namespace {

using namespace dot11a;

constexpr std::size_t kFrames = 200;

void OneFrame(benchmark::State& state) {
  const FrameJob job;
  for (auto _ : state) benchmark::DoNotOptimize(make(job));
  state.SetItemsProcessed(static_cast<long long>(state.iterations()));
}
BENCHMARK(OneFrame)->Name("Job/OneFrame")->Unit(benchmark::kMicrosecond);

void SequencePerFrame(benchmark::State& state) {
  FrameJob job;
  job.sequence.frames = kFrames;
  for (auto _ : state) benchmark::DoNotOptimize(make(job));
  state.SetItemsProcessed(static_cast<long long>(state.iterations() * kFrames));
}
BENCHMARK(SequencePerFrame)->Name("Job/SequencePerFrame")->Unit(benchmark::kMillisecond);

}  // namespace
