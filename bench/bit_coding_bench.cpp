// Scrambler, encoder (every rate) and interleaver on the bits of the largest
// frame: 4095 octets plus SERVICE and tail, 32,782 bits.
#include <benchmark/benchmark.h>

#include "dot11a/bitcoding.hpp"

namespace {

dot11a::Bits frameBits() {
  dot11a::Bits b(16 + 8 * 4095 + 6);
  std::uint32_t x = 12345;
  for (auto& bit : b) {
    x = x * 1103515245u + 12345u;
    bit = (x >> 16) & 1u;
  }
  return b;
}

void BM_Scramble(benchmark::State& state) {
  const auto bits = frameBits();
  const dot11a::Bits seed = {1, 0, 1, 1, 1, 0, 1};
  dot11a::Bits out(bits.size());
  for (auto _ : state) {
    dot11a::scrambleInto(bits, seed, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(bits.size()));
}
BENCHMARK(BM_Scramble);

void BM_ConvolEncode(benchmark::State& state) {
  const double rates[] = {0.5, dot11a::kRate2_3, 0.75};
  const double rate = rates[state.range(0)];
  const auto bits = frameBits();
  dot11a::Bits out(dot11a::encodedLength(bits.size(), rate));
  for (auto _ : state) {
    dot11a::convolEncodeInto(bits, rate, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(bits.size()));
  state.SetLabel(state.range(0) == 0 ? "rate 1/2" : state.range(0) == 1 ? "rate 2/3" : "rate 3/4");
}
BENCHMARK(BM_ConvolEncode)->Arg(0)->Arg(1)->Arg(2);

void BM_Interleave(benchmark::State& state) {
  // 64-QAM symbols: the whole coded frame in 288-bit blocks.
  const auto coded = dot11a::convolEncode(frameBits(), 0.5);
  const std::size_t blocks = coded.size() / 288;
  dot11a::Bits out(288);
  for (auto _ : state) {
    for (std::size_t b = 0; b < blocks; ++b) {
      dot11a::interleaveInto(std::span(coded).subspan(b * 288, 288), out);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(blocks * 288));
}
BENCHMARK(BM_Interleave);

}  // namespace
