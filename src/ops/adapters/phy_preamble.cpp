// The operations of preamble (phy): Value adapters over the typed functions.
#include <array>
#include <cmath>
#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "dot11a/synthesis.hpp"
#include "ops/adapt.hpp"

namespace dot11a {

namespace op {

namespace {
template <Samples (*Build)(int, int, std::span<const cplx>, bool)>
void training(Call& c, std::string_view out, std::string_view window, std::string_view sinc) {
  c.outputNames({out});
  const int os = adapt::oversampling(c.in(0, "oversamplingRate"));
  const int w = adapt::windowLength(c.in(1, window), window);
  const auto mask = adapt::complexRow(c.in(2, "subCarrierMask"), 64, "subCarrierMask");
  const bool comp = c.in(3, sinc).truthy();
  c.out(0) = adapt::row(Build(os, w, mask, comp));
}
}  // namespace

void dot11a_ShortSeq(Call& c) {
  training<&shortSequence>(c, "shortSeq", "windowLength", "sincComp");
}
void dot11a_LongSeq(Call& c) {
  training<&longSequence>(c, "longSeq", "windowLength", "sincComp");
}
void dot11a_SYNC(Call& c) {
  training<&syncSequence>(c, "sync", "windowingLength", "sincCompensation");
}

}  // namespace op

}  // namespace dot11a
