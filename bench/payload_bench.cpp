// Payload sources on the largest frame (4095 octets), the full order-24
// pseudo-random period, and the FCS.
#include <benchmark/benchmark.h>

#include "dot11a/bits.hpp"
#include "dot11a/library.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/payload.hpp"

namespace {

void BM_PnSequenceFullPeriod(benchmark::State& state) {
  const int order = static_cast<int>(state.range(0));
  const std::size_t period = (std::size_t{1} << order) - 1;
  for (auto _ : state) {
    auto seq = dot11a::pnSequence(order, period);
    benchmark::DoNotOptimize(seq.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(period));
}
BENCHMARK(BM_PnSequenceFullPeriod)
    ->Arg(9)
    ->Arg(15)
    ->Arg(20)
    ->Arg(24)
    ->Unit(benchmark::kMillisecond);

void BM_Crc32LargestFrame(benchmark::State& state) {
  const dot11a::Bits bits = dot11a::pnSequence(15, 8 * 4091);
  for (auto _ : state) {
    auto fcs = dot11a::calcMACfcs(bits);
    benchmark::DoNotOptimize(fcs.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(bits.size()));
}
BENCHMARK(BM_Crc32LargestFrame);

void BM_GeneratePayloadLargestFrame(benchmark::State& state) {
  dot11a::Value p = dot11a::defaultParameters();
  p.setField("dataSourceType", 6.0);
  p.setField("dataLength", 4061.0);
  p.field("MACheader").setField("Active", 1.0);
  p.field("MACfcs").setField("Active", 1.0);
  for (auto _ : state) {
    auto bits = dot11a::generatePayload(p);
    benchmark::DoNotOptimize(bits.data());
  }
}
BENCHMARK(BM_GeneratePayloadLargestFrame);

}  // namespace
