// Decoding the largest frame (4095 octets at 6 Mbit/s) next to synthesising
// it, without oversampling and at oversampling 4 with a window of 16, with
// and without the spectrum mask; and the Viterbi decoder alone. On a shared
// machine compare the ratio of decoding to synthesis taken in one run:
//   dot11a-bench --benchmark_filter='(Synthesize|Decode|Viterbi)Largest'
//     --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true
//     --benchmark_report_aggregates_only=true
// and read the CPU-time medians.
//
// The frame search and decoding over one second of a 20 Msps capture, busy
// (frames of 6 to 54 Mbit/s, about 47 % air time, noise) and idle (noise
// only), whole and streamed in chunks; the counter realtime is seconds of
// capture per second of CPU:
//   dot11a-bench --benchmark_filter=Capture --benchmark_repetitions=5
//
// The busy second cut into stretches that 1 or 2 threads decode side by
// side, as dot11a-verify --threads does (each stretch a streaming receiver
// that starts a frame's reach early); wall-clock time, realtime counted on
// it:
//   dot11a-bench --benchmark_filter=CaptureThreads --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <time.h>

#include <random>
#include <thread>

#include "dot11a/receiver.hpp"
#include "dot11a/stream_receiver.hpp"
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

// The Viterbi decoder on the bits of the largest frame, at rate 1/2 (6
// Mbit/s) and at the punctured rate 3/4 (54 Mbit/s).
void viterbiLargest(benchmark::State& state, double rate) {
  const auto bits = payload(4095);
  const dot11a::Bits coded = dot11a::convolEncode(bits, rate);
  std::vector<float> soft(coded.size());
  for (std::size_t i = 0; i < coded.size(); ++i) soft[i] = coded[i] ? 1.0f : -1.0f;
  for (auto _ : state) {
    auto out = dot11a::rx::viterbiDecode(soft, rate, bits.size(), false);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(bits.size()));
}
void BM_ViterbiLargest(benchmark::State& state) {
  viterbiLargest(state, dot11a::kRate1_2);
}
void BM_ViterbiLargest54(benchmark::State& state) {
  viterbiLargest(state, dot11a::kRate3_4);
}
BENCHMARK(BM_ViterbiLargest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViterbiLargest54)->Unit(benchmark::kMillisecond);

// One second at 20 Msps: noise about 27 dB below the frames and, when busy,
// frames of 6, 12, 24 and 54 Mbit/s in turn, of about 1 ms each, every 2.13
// frame lengths.
const std::vector<dot11a::cplx>& capture(bool busy) {
  static std::vector<dot11a::cplx> x[2];
  auto& out = x[busy ? 1 : 0];
  if (!out.empty()) return out;
  out.resize(20000000);
  std::mt19937 rng(5);
  std::normal_distribution<double> g(0.0, 0.01);
  for (auto& v : out) v = {g(rng), g(rng)};
  if (!busy) return out;
  struct Rate {
    double mbps;
    int modulation;
    double coding;
  };
  const Rate rates[] = {{6, 1, dot11a::kRate1_2},
                        {12, 2, dot11a::kRate1_2},
                        {24, 3, dot11a::kRate1_2},
                        {54, 4, dot11a::kRate3_4}};
  for (std::size_t at = 2000, i = 0;; ++i) {
    const Rate& r = rates[i % 4];
    dot11a::FrameSettings s;
    s.dataRate = r.mbps;
    s.data.modulation = r.modulation;
    s.data.encoderRate = r.coding;
    const auto octets =
        static_cast<std::size_t>(r.mbps * 940 / 8 * (0.6 + 0.8 * (rng() % 1000) / 1000.0));
    const dot11a::Frame f =
        dot11a::synthesizeFrame(s, payload(std::min<std::size_t>(octets, 4000)));
    if (at + f.waveform.size() >= out.size()) break;
    double p = 0.0;
    for (const auto& v : f.waveform) p += std::norm(v);
    const double a = 0.3 / std::sqrt(p / static_cast<double>(f.waveform.size()));
    for (std::size_t k = 0; k < f.waveform.size(); ++k) out[at + k] += a * f.waveform[k];
    at += static_cast<std::size_t>(static_cast<double>(f.waveform.size()) * 2.13);
  }
  return out;
}

void BM_Capture(benchmark::State& state) {
  const bool busy = state.range(0) != 0, streamed = state.range(1) != 0;
  const auto& x = capture(busy);
  dot11a::rx::Options o;
  o.maxFrames = 100000;
  std::size_t frames = 0;
  for (auto _ : state) {
    frames = 0;
    if (streamed) {
      dot11a::rx::StreamReceiver rx(o, [&](dot11a::rx::FrameReport&&) { ++frames; });
      for (std::size_t at = 0; at < x.size(); at += 65536)
        rx.push(std::span(x).subspan(at, std::min<std::size_t>(65536, x.size() - at)));
      rx.finish();
    } else {
      frames = dot11a::rx::receive(x, o).frames.size();
    }
  }
  state.counters["frames"] = static_cast<double>(frames);
  // Seconds of capture per second of CPU.
  state.counters["realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1.0,
                                                  benchmark::Counter::kIsRate);
}
double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void BM_CaptureThreads(benchmark::State& state) {
  const auto threads = static_cast<std::size_t>(state.range(0));
  const auto& x = capture(true);
  dot11a::rx::Options o;
  o.maxFrames = 100000;
  const std::size_t stretches = 8, length = x.size() / stretches;
  const auto reach = static_cast<std::size_t>(
      dot11a::rx::StreamReceiver(o, [](dot11a::rx::FrameReport&&) {}).frameReach());
  std::size_t frames = 0;
  const double cpuBefore = processCpuSeconds();
  for (auto _ : state) {
    std::vector<std::size_t> found(stretches, 0);
    // Stretch k goes to thread k % threads.
    auto work = [&](std::size_t first) {
      for (std::size_t k = first; k < stretches; k += threads) {
        const std::size_t from = k * length, to = k + 1 == stretches ? x.size() : from + length;
        const std::size_t readFrom = from > reach ? from - reach : 0;
        dot11a::rx::StreamReceiver rx(o, [&](dot11a::rx::FrameReport&& f) {
          const std::size_t at = readFrom + f.start;
          if (at >= from && at < to) ++found[k];
        });
        const std::size_t readTo = std::min(x.size(), to + reach);
        for (std::size_t at = readFrom; at < readTo; at += 65536)
          rx.push(std::span(x).subspan(at, std::min<std::size_t>(65536, readTo - at)));
        rx.finish();
      }
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work, t);
    work(0);
    for (auto& t : pool) t.join();
    frames = 0;
    for (const std::size_t n : found) frames += n;
  }
  state.counters["frames"] = static_cast<double>(frames);
  state.counters["realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1.0,
                                                  benchmark::Counter::kIsRate);
  // CPU seconds of all threads per second of capture: equal for 1 and 2
  // threads when nothing is shared between them, whatever the machine's load.
  state.counters["cpu_all_threads"] =
      (processCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CaptureThreads)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Capture)
    ->ArgNames({"busy", "streamed"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
