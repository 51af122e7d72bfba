// The operations of fields (phy): Value adapters over the typed functions.
#include <array>
#include <cmath>
#include <sstream>
#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/synthesis.hpp"
#include "ops/adapt.hpp"

namespace dot11a {

namespace op {

namespace {
void rateMapping(Call& c) {
  c.outputNames({"bits"});
  c.out(0) = Value::bits(rateBits(c.in(0, "rate").toScalar()));
}
const LocalTable& signalModule() {
  static const LocalTable t{"dot11a_SIGNAL",
                            {{"dot11a_SIGNAL_RateMapping", 1, 1, 47,
                              "dot11a_SIGNAL/dot11a_SIGNAL_RateMapping", &rateMapping}}};
  return t;
}

unsigned nonNegative(const Value& v, std::string_view name, unsigned hi) {
  if (const auto n = integerOf<unsigned>(v.toScalar(), 0, hi)) return *n;
  raise("\"" + std::string(name) + "\" must be a whole number from 0 to " + std::to_string(hi) +
        ", not " + v.describe() + ".");
}
}  // namespace

void dot11a_SIGNAL(Call& c) {
  ModuleScope scope(&signalModule());
  c.outputNames({"samples"});
  const double rate = c.in(0, "rate").toScalar();
  const double length = c.in(1, "lengthInBytes").toScalar();
  const int os = adapt::oversampling(c.in(2, "oversamplingRate"));
  const int w = adapt::windowLength(c.in(3, "windowLength"));
  const auto mask = adapt::complexRow(c.in(4, "subCarrierMask"), 64, "subCarrierMask");
  const bool comp = c.in(5, "sincCompensation").truthy();
  // The RATE bits come from the module's sub-function, reachable by name here.
  const Bits rbits = feval1("dot11a_SIGNAL_RateMapping", {Value(rate)}).toBits();
  Bits bits = signalBits(rate, length);
  std::copy(rbits.begin(), rbits.begin() + 4, bits.begin());
  unsigned parity = 0;
  for (std::size_t i = 0; i < 17; ++i) parity ^= bits[i];
  bits[17] = static_cast<std::uint8_t>(parity);
  const Samples points = convertToIQ(interleave(convolEncode(bits, kRate1_2)), Modulation::BPSK);
  c.out(0) = adapt::row(symbolBuild(points, pilotPolarity(0), os, w, mask, comp));
}

DataSettings dataSettingsFrom(Call& c, std::size_t first) {
  // Inputs from "generationMode" (index first) on, "userData" skipped.
  DataSettings s;
  s.framed = c.in(first, "generationMode").truthy();
  s.service = nonNegative(c.in(first + 2, "serviceField"), "serviceField", kMaxServiceField);
  const double mod = c.in(first + 4, "modulation").toScalar();
  const auto code = integerOf<int>(mod, 1, 4);
  if (!code) {
    // The value as given (5, 2.5, 0, ...), not the code it cannot be converted to.
    std::ostringstream given;
    given << mod;
    raise("The value \"codedBitsPerSymbol\" is used before it is set: the modulation code " +
          given.str() + " is not one of 1 (BPSK), 2 (QPSK), 3 (16-QAM), 4 (64-QAM).");
  }
  s.modulation = *code;
  s.encoderRate = c.in(first + 5, "encoderRate").toScalar();
  s.scrambler = c.in(first + 6, "scramblerActive").truthy();
  s.scramblerInit =
      nonNegative(c.in(first + 7, "scramblerInit"), "scramblerInit", kMaxScramblerInit);
  s.interleaver = c.in(first + 8, "interleaverActive").truthy();
  return s;
}

void dot11a_DATA(Call& c) {
  c.outputNames({"samples"});
  DataSettings s = dataSettingsFrom(c, 0);
  s.oversampling = adapt::oversampling(c.in(9, "oversamplingRate"));
  s.windowLength = adapt::windowLength(c.in(10, "windowLength"));
  const auto mask = adapt::complexRow(c.in(11, "subCarrierMask"), 64, "subCarrierMask");
  s.sincComp = c.in(12, "sincCompensation").truthy();
  const Bits payload = c.in(1, "userData").toBits();
  const Samples out = dataField(s, payload, mask);
  c.out(0) = out.empty() ? Value::empty() : adapt::row(out);
}

}  // namespace op

}  // namespace dot11a
