// The SIGNAL symbol and the DATA field.
#include <array>
#include <cmath>

#include "dot11a/bits.hpp"
#include "dot11a/synthesis.hpp"
#include "phy/adapt.hpp"
#include "phy/frame_engine.hpp"

namespace dot11a {

Bits rateBits(double rate) {
  if (const RateEntry* e = rateByMbps(rate))
    return Bits(e->signalRateBits.begin(), e->signalRateBits.end());
  return Bits(4, 0);  // "Custom" and any rate not in the table
}

Bits signalBits(double rate, double lengthInBytes) {
  Bits bits = rateBits(rate);
  bits.push_back(0);                                 // reserved
  const Bits length = bitVector(lengthInBytes, 12);  // "Integer required" for a fraction
  if (length.size() > 12)
    raise("The SIGNAL field announces at most 4095 octets; the payload has " +
          std::to_string(static_cast<long long>(lengthInBytes)) + ".");
  bits.insert(bits.end(), length.begin(), length.end());
  unsigned parity = 0;
  for (auto b : bits) parity ^= b;
  bits.push_back(static_cast<std::uint8_t>(parity));
  bits.insert(bits.end(), 6, 0);  // tail
  return bits;
}

Samples signalSymbol(double rate, double lengthInBytes, int oversampling, int windowLength,
                     std::span<const cplx> mask64, bool sincComp) {
  const Bits coded = interleave(convolEncode(signalBits(rate, lengthInBytes), kRate1_2));
  const Samples points = convertToIQ(coded, Modulation::BPSK);
  return symbolBuild(points, pilotPolarity(0), oversampling, windowLength, mask64, sincComp);
}

void validate(const DataSettings& s) {
  if (s.modulation < 1 || s.modulation > 4)
    raise("The value \"codedBitsPerSymbol\" is used before it is set: the modulation code " +
          std::to_string(s.modulation) +
          " is not one of 1 (BPSK), 2 (QPSK), 3 (16-QAM), 4 (64-QAM).");
  if (codingRateOf(s.encoderRate) == nullptr)
    raise("The encoder rate must be 1 (uncoded), 0.5, 0.6666666666666666 or 0.75, not " +
          std::to_string(s.encoderRate) + ".");
  if (s.service > kMaxServiceField) raise("The SERVICE field must be 0 to 65535.");
  if (s.scramblerInit > kMaxScramblerInit) raise("The scrambler seed must be 0 to 127.");
  if (s.oversampling < 1) raise("The oversampling rate must be 1 or more.");
  if (s.windowLength < 0) raise("The window length must be 0 or more.");
  if (s.windowLength > 16 * s.oversampling)
    raise("The window of " + std::to_string(s.windowLength) +
          " samples is longer than the cyclic prefix of a symbol (" +
          std::to_string(16 * s.oversampling) + " samples).");
}

std::size_t dataSymbolCount(const DataSettings& s, std::size_t payloadBits) {
  validate(s);
  return dataSymbolsFor(payloadBits, s.framed, static_cast<Modulation>(s.modulation),
                        s.encoderRate);
}

std::size_t dataFieldInto(const DataSettings& s, std::span<const std::uint8_t> payload,
                          std::span<const cplx> mask64, std::span<cplx> out) {
  const std::size_t nsym = dataSymbolCount(s, payload.size());
  if (nsym == 0) return 0;
  const std::size_t step = 80u * static_cast<std::size_t>(s.oversampling);
  if (out.size() < nsym * step + static_cast<std::size_t>(s.windowLength))
    raise("dataField: the output buffer is too short.");
  const auto shape = detail::shapeFor(s.oversampling, s.windowLength, mask64, s.sincComp);
  const detail::Coding& coding = detail::codingFor(s.modulation, s.encoderRate, s.interleaver);
  thread_local std::vector<std::uint8_t> src;
  detail::dataSource(s, coding, payload, src);
  detail::SymbolWriter writer(*shape);
  for (std::size_t i = 0; i < nsym; ++i)
    writer.addInto(
        out, i * step,
        writer.build(coding, src.data() + i * coding.srcPerSymbol, static_cast<long long>(i) + 1));
  return nsym;
}

Samples dataField(const DataSettings& s, std::span<const std::uint8_t> payload,
                  std::span<const cplx> mask64) {
  const std::size_t nsym = dataSymbolCount(s, payload.size());
  if (nsym == 0) return {};
  Samples out(nsym * 80u * static_cast<std::size_t>(s.oversampling) +
              static_cast<std::size_t>(s.windowLength));
  dataFieldInto(s, payload, mask64, out);
  return out;
}

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

unsigned nonNegative(const Value& v, std::string_view name, double hi) {
  const double x = v.toScalar();
  if (!std::isfinite(x) || x != std::floor(x) || x < 0 || x > hi)
    raise("\"" + std::string(name) + "\" must be a whole number from 0 to " +
          std::to_string(static_cast<long long>(hi)) + ", not " + v.describe() + ".");
  return static_cast<unsigned>(x);
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
  s.modulation = (mod >= 1 && mod <= 4 && mod == std::floor(mod)) ? static_cast<int>(mod) : 0;
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
