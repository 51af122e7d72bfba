// Receiver-test waveforms: a sequence of 100 frames of 1500 octets at
// 54 Mbit/s, oversampling 2, SIFS apart, synthesised and joined alone
// (Sequence/Synthesis) and with white noise, a carrier offset, a sampling
// clock offset, IQ imbalance and a 50 ns exponential channel on top
// (Sequence/SynthesisAndImpairments), the impairments alone on the joined
// waveform (Sequence/Impairments) and the clock offset alone
// (Sequence/ClockOffset). The impairments should cost at most as much as the
// synthesis, and never more than twice as much.
#include <benchmark/benchmark.h>

#include <random>

#include "dot11a/impair.hpp"
#include "dot11a/synthesis.hpp"

namespace {

using namespace dot11a;

constexpr std::size_t kFrames = 100;
constexpr int kOversampling = 2;

std::vector<Bits> payloads() {
  std::mt19937 gen(20240601u);
  std::vector<Bits> p(kFrames, Bits(8 * 1500));
  for (Bits& b : p)
    for (auto& bit : b) bit = static_cast<std::uint8_t>(gen() & 1u);
  return p;
}

impair::Sequence synthesise(const std::vector<Bits>& p) {
  FrameSettings s;
  s.data.oversampling = kOversampling;
  s.data.sincComp = true;
  s.dataRate = 54;
  std::vector<Frame> frames;
  frames.reserve(p.size());
  for (std::size_t i = 0; i < p.size(); ++i) {
    s.data.scramblerInit = static_cast<unsigned>(i % 127 + 1);
    frames.push_back(synthesizeFrame(s, p[i]));
  }
  return impair::joinFrames(frames, 16 * 20 * kOversampling, impair::kMemoryM32Samples);
}

impair::Settings impairments() {
  impair::Settings s;
  s.snrDb = 30;
  s.cfoHz = 40e3;
  s.iq = impair::IqImbalance{0.5, 2.0};
  s.channel = impair::Channel{50.0, std::nullopt};
  s.clockPpm = 40;
  return s;
}

constexpr double kRate = 20e6 * kOversampling;

void Synthesis(benchmark::State& state) {
  const auto p = payloads();
  for (auto _ : state) benchmark::DoNotOptimize(synthesise(p));
}
BENCHMARK(Synthesis)->Name("Sequence/Synthesis")->Unit(benchmark::kMillisecond);

void SynthesisAndImpairments(benchmark::State& state) {
  const auto p = payloads();
  const impair::Settings s = impairments();
  for (auto _ : state) {
    const impair::Sequence q = synthesise(p);
    benchmark::DoNotOptimize(impair::apply(q.waveform, kRate, q.bursts, s));
  }
}
BENCHMARK(SynthesisAndImpairments)
    ->Name("Sequence/SynthesisAndImpairments")
    ->Unit(benchmark::kMillisecond);

void Impairments(benchmark::State& state) {
  const impair::Sequence q = synthesise(payloads());
  const impair::Settings s = impairments();
  for (auto _ : state) benchmark::DoNotOptimize(impair::apply(q.waveform, kRate, q.bursts, s));
  state.SetItemsProcessed(static_cast<long long>(state.iterations() * q.waveform.size()));
}
BENCHMARK(Impairments)->Name("Sequence/Impairments")->Unit(benchmark::kMillisecond);

void ClockOffset(benchmark::State& state) {
  const impair::Sequence q = synthesise(payloads());
  impair::Settings s;
  s.clockPpm = 40;
  for (auto _ : state) benchmark::DoNotOptimize(impair::apply(q.waveform, kRate, q.bursts, s));
  state.SetItemsProcessed(static_cast<long long>(state.iterations() * q.waveform.size()));
}
BENCHMARK(ClockOffset)->Name("Sequence/ClockOffset")->Unit(benchmark::kMillisecond);

}  // namespace
