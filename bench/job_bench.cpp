// The cost of a frame in a sequence against the cost of one frame alone, for
// the application's default frame (1024 octets at 54 Mbit/s, oversampling 2,
// window 2, idle 4000):
//  - Job/OneFrame makes it alone, again and again: its 176 kB stay in the
//    cache and in memory the allocator hands back;
//  - Job/FramesKept makes 200 of them alone and keeps them all, so each is
//    written to memory of its own, as a sequence's frames are;
//  - Job/SequencePerFrame makes a sequence of 200 as dot11a-gen --frames 200
//    does.
// Times are per frame; a frame of a sequence should cost at most 20 % more
// than a frame made alone into memory of its own (Job/FramesKept).
#include <benchmark/benchmark.h>

#include <vector>

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

void FramesKept(benchmark::State& state) {
  const FrameJob job;
  for (auto _ : state) {
    std::vector<Waveform> kept;
    kept.reserve(kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) kept.push_back(make(job));
    benchmark::DoNotOptimize(kept.data());
  }
  state.SetItemsProcessed(static_cast<long long>(state.iterations() * kFrames));
}
BENCHMARK(FramesKept)->Name("Job/FramesKept")->Unit(benchmark::kMillisecond);

void SequencePerFrame(benchmark::State& state) {
  FrameJob job;
  job.sequence.frames = kFrames;
  for (auto _ : state) benchmark::DoNotOptimize(make(job));
  state.SetItemsProcessed(static_cast<long long>(state.iterations() * kFrames));
}
BENCHMARK(SequencePerFrame)->Name("Job/SequencePerFrame")->Unit(benchmark::kMillisecond);

}  // namespace
