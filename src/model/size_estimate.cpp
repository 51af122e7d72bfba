// The size estimate: samples of the waveform a parameter set produces.
#include "dot11a/size_estimate.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/frame_layout.hpp"

namespace dot11a {

namespace {

double number(const Value& record, std::string_view name) {
  const Value& v = record.field(name);
  if (!v.isNumeric() || v.isEmpty())
    raise("The parameter \"" + std::string(name) + "\" must be a number, it is " + v.describe() +
          ".");
  return v.toScalar();
}

// A sample count: rounded up, negative taken as none, above `most` refused.
long long samplesOf(const Value& p, std::string_view name, long long most) {
  const double x = std::ceil(std::max(0.0, number(p, name)));
  if (const auto n = integerOf<long long>(x, 0, most)) return *n;
  raise("The parameter \"" + std::string(name) + "\" is out of range: " + p.field(name).describe() +
        ".");
}

// A byte count: negative taken as none; not a number, or above 2^37 bytes
// (2^40 bits), refused under `label`.
double bytesOf(const Value& record, std::string_view name, std::string_view label) {
  const double x = number(record, name);
  if (std::isnan(x) || x > static_cast<double>(1LL << 37))
    raise("The parameter \"" + std::string(label) +
          "\" is out of range: " + record.field(name).describe() + ".");
  return std::max(0.0, x);
}

double activeBytes(const Value& p, std::string_view name) {
  const Value& sub = p.field(name);
  return sub.field("Active").truthy() ? bytesOf(sub, "Length", std::string(name) + ".Length") : 0;
}

}  // namespace

FrameShape frameShapeOf(const Value& p) {
  FrameShape shape;
  // The payload bits as the calculation builds them: a user file contributes
  // its own bit count, the other sources 8 x dataLength. The stored bits count
  // only when the record says the source is a user file; a record without the
  // source type (the documented inputs) uses dataLength.
  const bool userFile = p.hasField("dataSourceType") && p.field("dataSourceType").isNumeric() &&
                        !p.field("dataSourceType").isEmpty() &&
                        p.field("dataSourceType").toScalar() == 7 &&
                        p.hasField("dataSourceBitstream");
  double payloadBits = 0;
  if (userFile)
    payloadBits = static_cast<double>(p.field("dataSourceBitstream").numel());
  else
    payloadBits = std::floor(8 * bytesOf(p, "dataLength", "dataLength"));
  payloadBits += 8 * (activeBytes(p, "MACheader") + activeBytes(p, "MACfcs"));
  const auto bits = integerOf<std::size_t>(payloadBits, 0, std::size_t(1) << 40);
  if (!bits)
    raise("The parameter \"dataLength\" is out of range: " + p.field("dataLength").describe() +
          ".");
  shape.payloadBits = *bits;

  shape.framed = p.field("generationMode").truthy();
  const double modulation = number(p, "modulation");
  if (!isModulationCode(modulation))
    raise("The modulation code must be 1 to 4, it is " + std::to_string(modulation) + ".");
  shape.modulation =
      static_cast<Modulation>(checkedInteger<int>(modulation, "The modulation code"));
  shape.codingRate = number(p, "encoderRate");
  if (!(shape.codingRate > 0) || shape.codingRate > 1)
    raise("The coding rate must lie in (0, 1], it is " + std::to_string(shape.codingRate) + ".");
  const auto os = integerOf<int>(number(p, "OverSampling"), 1, kMaxOversampling);
  if (!os)
    raise("The parameter \"OverSampling\" must be a whole number from 1 to " +
          std::to_string(kMaxOversampling) + ", it is " + p.field("OverSampling").describe() + ".");
  shape.oversampling = *os;
  // The window and the idle interval count in whole samples; negative means none.
  shape.windowLength = static_cast<int>(samplesOf(p, "WindowingLength", 1 << 20));
  shape.idleSamples = samplesOf(p, "idleSamples", 1LL << 40);
  return shape;
}

std::size_t sizeEstimate(const Value& p) {
  return frameLayout(frameShapeOf(p)).total;
}

}  // namespace dot11a
