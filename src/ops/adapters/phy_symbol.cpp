// The operations of symbol (phy): Value adapters over the typed functions.
#include <array>
#include <cmath>
#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/synthesis.hpp"
#include "ops/adapt.hpp"

namespace dot11a {

namespace op {

void dot11a_ConvertToIQ(Call& c) {
  c.outputNames({"output"});
  const auto bits = adapt::bitRow(c.in(0, "data"), "dot11a_ConvertToIQ", "data");
  const Value& format = c.in(1, "format");
  Modulation m;
  // A format the mapper does not know leaves the output unassigned.
  if (!format.isText() || !modulationFromText(format.str(), m)) return;
  c.out(0) = adapt::row(convertToIQ(bits, m));
}

void dot11a_Pilot(Call& c) {
  c.outputNames({"pilot"});
  const double index = c.in(0, "index").toScalar();
  if (!std::isfinite(index) || index != std::floor(index))
    raise("dot11a_Pilot: \"index\" must be a whole number.");
  // Reduced modulo 127 as a double (fmod is exact), since an index beyond the
  // range of long long cannot be converted.
  double reduced = std::fmod(index, 127.0);
  if (reduced < 0) reduced += 127.0;
  c.out(0) = Value(static_cast<double>(
      pilotPolarity(checkedInteger<long long>(reduced, "dot11a_Pilot: index"))));
}

void dot11a_CarrierMapping(Call& c) {
  c.outputNames({"freqOffsets"});
  const Value& data = c.in(0, "data");
  const double method = c.in(1, "method").toScalar();
  const auto m = integerOf<int>(method, 0, 1);
  if (!m) return;  // unknown methods give no result
  std::array<cplx, 64> out;
  carrierMappingInto(adapt::complexRow(data, 53, "data"), *m, out);
  Value v = Value::row(std::span<const cplx>(out));
  if (!data.isComplex()) v.dropZeroImag();
  c.out(0) = std::move(v);
}

void dot11a_SymbolBuild(Call& c) {
  c.outputNames({"samples"});
  const auto data = adapt::complexRow(c.in(0, "data"), 48, "data");
  const double pilot = c.in(1, "pilot").toScalar();
  const int os = adapt::oversampling(c.in(2, "oversamplingRate"));
  const int w = adapt::windowLength(c.in(3, "windowLength"));
  const auto mask = adapt::complexRow(c.in(4, "subCarrierMask"), 64, "subCarrierMask");
  const bool sincComp = c.in(5, "sincComp").truthy();
  c.out(0) = adapt::row(symbolBuild(data, pilot, os, w, mask, sincComp));
}

void dot11a_CyclicPrefix(Call& c) {
  c.outputNames({"output"});
  const Value& input = c.in(0, "input");
  Value v = adapt::row(cyclicPrefix(input.toComplex(), c.in(1, "cpRatio").toScalar()));
  if (!input.isComplex()) v.dropZeroImag();
  c.out(0) = std::move(v);
}

}  // namespace op

}  // namespace dot11a
