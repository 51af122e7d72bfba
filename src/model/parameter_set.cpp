// The parameter set: defaults, derived fields and the frame calculation.
#include "dot11a/parameters.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "dot11a/error.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/payload.hpp"
#include "dot11a/size_estimate.hpp"

namespace dot11a {

namespace {

// The rate-table entry of a modulation code and coding rate; nullptr for a
// custom combination.
const RateEntry* entryOf(double modulation, double encoderRate) {
  if (!isModulationCode(modulation)) return nullptr;
  return rateOf(static_cast<Modulation>(static_cast<int>(modulation)), encoderRate);
}

double activeLength(const Value& p, std::string_view name) {
  if (!p.hasField(name)) return 0;
  const Value& sub = p.field(name);
  if (!sub.isRecord() || !sub.hasField("Active") || !sub.hasField("Length")) return 0;
  return sub.field("Active").truthy() ? sub.field("Length").toScalar() : 0;
}

}  // namespace

Value defaultParameters() {
  std::vector<double> carriers(53, 1.0);
  carriers[26] = 0;  // the DC position stays off
  Value p = Value::record();
  p.setField("ParameterFileFormat_ID", Value::text(std::string(kParameterFileFormatId)));
  p.setField("generationMode", 1.0);
  p.setField("dataRate", 54.0);
  p.setField("modulation", 4.0);
  p.setField("encoderRate", 0.75);
  p.setField("scramblerActive", 1.0);
  p.setField("scramblerInit", 93.0);  // 5D
  p.setField("interleaverActive", 1.0);
  p.setField("SubCarriers", Value::row(std::move(carriers)));
  p.setField("idleSamples", 4000.0);  // 100 us at 20 MHz x 2
  p.setField("MirrorSpectrum", 0.0);
  p.setField("OverSampling", 2.0);
  p.setField("WindowingLength", 2.0);
  p.setField("MACheader",
             Value::record({{"Active", 0.0}, {"Length", 30.0}, {"Contents", defaultMACheader()}}));
  p.setField("MACfcs",
             Value::record({{"Active", 0.0}, {"Length", 4.0}, {"Contents", Value::empty()}}));
  p.setField("serviceField", 0.0);
  p.setField("dataSourceType", 1.0);
  p.setField("dataLength", 1024.0);
  p.setField("dataSourceName", Value::empty());
  p.setField("dataSourceBitstream", Value::empty());
  p.setField("totalLength", 1024.0);
  p.setField("ProjectedLength", 0.0);
  return p;
}

double dataRateFor(double modulation, double encoderRate) {
  const RateEntry* e = entryOf(modulation, encoderRate);
  return e ? e->mbps : 0;
}

int dataRateItem(double modulation, double encoderRate) {
  const RateEntry* e = entryOf(modulation, encoderRate);
  return e ? static_cast<int>(e - kRateTable.data()) + 1 : 9;
}

RatePair ratePairOfItem(int item) {
  if (item < 1 || item > static_cast<int>(kRateTable.size()))
    raise("Data rate item " + std::to_string(item) + " has no standard rate.");
  const RateEntry& e = kRateTable[static_cast<std::size_t>(item - 1)];
  // The coding rate as the settings store it (2/3 as the nearest double).
  return {static_cast<double>(e.mbps), static_cast<double>(e.modulation), e.coding.value()};
}

double totalLength(const Value& p) {
  return p.field("dataLength").toScalar() + activeLength(p, "MACheader") +
         activeLength(p, "MACfcs");
}

double dataLengthLimit(const Value& p) {
  return kMaxPsduOctets - activeLength(p, "MACheader") - activeLength(p, "MACfcs");
}

double clampDataLength(const Value& p, double newLength) {
  const double limit = dataLengthLimit(p);
  const double v = std::isnan(newLength) ? limit : std::min(newLength, limit);
  return std::max(v, 1.0);
}

void updateDerivedFields(Value& p) {
  p.setField("dataRate",
             dataRateFor(p.field("modulation").toScalar(), p.field("encoderRate").toScalar()));
  p.setField("totalLength", totalLength(p));
  p.setField("ProjectedLength", static_cast<double>(sizeEstimate(p)));
}

Bits calculationBits(const Value& p) {
  const Value& type = p.field("dataSourceType");
  const bool userFile = type.isNumeric() && !type.isEmpty() && type.toScalar() == 7;
  if (userFile && p.field("dataSourceBitstream").isEmpty())
    raise("The user data file holds no data: load a file of 1 to 4095 bytes before calculating.");
  Bits data = generatePayload(p);
  const std::size_t bits = data.size();
  if (bits == 0) raise("The frame has no payload: set a data length of at least 1 byte.");
  if (bits > 8u * kMaxPsduOctets) {
    const std::size_t octets = (bits + 7) / 8;
    raise("The frame payload (MAC header, data and FCS) has " + std::to_string(octets) +
          " octets; the SIGNAL field can announce at most 4095. Shorten the data or switch off "
          "the MAC header or FCS.");
  }
  return data;
}

Value calculationPayload(const Value& p) {
  return Value::bits(calculationBits(p));
}

std::string parameterFileFormatIdOf(const Value& p) {
  if (p.isRecord() && p.hasField("ParameterFileFormat_ID") &&
      p.field("ParameterFileFormat_ID").isText())
    return p.field("ParameterFileFormat_ID").str();
  return std::string(kParameterFileFormatId);
}

}  // namespace dot11a
