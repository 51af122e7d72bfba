// The size estimate: samples of the waveform a parameter set produces.
#include "dot11a/size_estimate.hpp"

#include <algorithm>
#include <cmath>
#include <string>

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
  if (!(x <= static_cast<double>(most)))
    raise("The parameter \"" + std::string(name) +
          "\" is out of range: " + p.field(name).describe() + ".");
  return static_cast<long long>(x);
}

double activeBytes(const Value& p, std::string_view name) {
  const Value& sub = p.field(name);
  return sub.field("Active").truthy() ? number(sub, "Length") : 0;
}

}  // namespace

FrameShape frameShapeOf(const Value& p) {
  FrameShape shape;
  // The payload bits as the calculation builds them: a user file contributes
  // its own bit count, the other sources 8 x dataLength.
  const Value& type = p.field("dataSourceType");
  double payloadBits = 0;
  if (type.isNumeric() && !type.isEmpty() && type.toScalar() == 7 &&
      p.hasField("dataSourceBitstream"))
    payloadBits = static_cast<double>(p.field("dataSourceBitstream").numel());
  else
    payloadBits = std::max(0.0, std::floor(8 * number(p, "dataLength")));
  payloadBits += 8 * (activeBytes(p, "MACheader") + activeBytes(p, "MACfcs"));
  if (!(payloadBits <= static_cast<double>(1LL << 40)))
    raise("The parameter \"dataLength\" is out of range: " + p.field("dataLength").describe() +
          ".");
  shape.payloadBits = static_cast<std::size_t>(payloadBits);

  shape.framed = p.field("generationMode").truthy();
  const double modulation = number(p, "modulation");
  if (!isModulationCode(modulation))
    raise("The modulation code must be 1 to 4, it is " + std::to_string(modulation) + ".");
  shape.modulation = static_cast<Modulation>(static_cast<int>(modulation));
  shape.codingRate = number(p, "encoderRate");
  if (!(shape.codingRate > 0) || shape.codingRate > 1)
    raise("The coding rate must lie in (0, 1], it is " + std::to_string(shape.codingRate) + ".");
  const double os = number(p, "OverSampling");
  if (!(os >= 1 && os <= kMaxOversampling && os == std::floor(os)))
    raise("The parameter \"OverSampling\" must be a whole number from 1 to " +
          std::to_string(kMaxOversampling) + ", it is " + p.field("OverSampling").describe() + ".");
  shape.oversampling = static_cast<int>(os);
  // The window and the idle interval count in whole samples; negative means none.
  shape.windowLength = static_cast<int>(samplesOf(p, "WindowingLength", 1 << 20));
  shape.idleSamples = samplesOf(p, "idleSamples", 1LL << 40);
  return shape;
}

std::size_t sizeEstimate(const Value& p) {
  return frameLayout(frameShapeOf(p)).total;
}

}  // namespace dot11a
