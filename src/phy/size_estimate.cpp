// The size estimate: samples of the waveform a parameter set produces.
#include "dot11a/size_estimate.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/error.hpp"

namespace dot11a {

namespace {

// Far beyond any waveform an instrument holds, and small enough that every
// count below it is exact in a double and fits a std::size_t.
constexpr double kMostBits = 1099511627776.0;  // 2^40

std::string formatted(double x) {
  std::ostringstream text;
  text << x;
  return text.str();
}

double number(const Value& record, std::string_view name) {
  const Value& v = record.field(name);
  if (!v.isNumeric() || v.isEmpty())
    raise("The parameter \"" + std::string(name) + "\" must be a number, it is " + v.describe() +
          ".");
  return v.toScalar();
}

// A count from a field of `record`: negative taken as none; above `most`, or
// not a number, refused by name, since it cannot be converted to a count.
double countOf(const Value& record, std::string_view label, std::string_view name, double most) {
  const double value = number(record, name);
  if (std::isnan(value) || value > most)
    raise("The parameter \"" + std::string(label) + "\" is out of range: " + formatted(value) +
          ".");
  return std::max(0.0, value);
}

double activeBytes(const Value& p, std::string_view name) {
  const Value& sub = p.field(name);
  return sub.field("Active").truthy()
             ? countOf(sub, std::string(name) + ".Length", "Length", kMostBits / 8)
             : 0;
}

}  // namespace

double dataBitsPerSymbol(double modulation, double encoderRate) {
  double bitsPerCarrier = 0;
  if (modulation == 1)
    bitsPerCarrier = 1;
  else if (modulation == 2)
    bitsPerCarrier = 2;
  else if (modulation == 3)
    bitsPerCarrier = 4;
  else if (modulation == 4)
    bitsPerCarrier = 6;
  else
    raise("The modulation code must be 1 to 4, it is " + std::to_string(modulation) + ".");
  if (!(encoderRate > 0) || encoderRate > 1)
    raise("The coding rate must lie in (0, 1], it is " + std::to_string(encoderRate) + ".");
  return 48 * bitsPerCarrier * encoderRate;
}

std::size_t dataSymbolCount(std::size_t payloadBits, bool framed, double modulation,
                            double encoderRate) {
  const double bits = static_cast<double>(payloadBits) + (framed ? 16 + 6 : 0);
  return static_cast<std::size_t>(std::ceil(bits / dataBitsPerSymbol(modulation, encoderRate)));
}

std::size_t sizeEstimate(const Value& p) {
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
    payloadBits = std::floor(8 * countOf(p, "dataLength", "dataLength", kMostBits / 8));
  payloadBits += 8 * (activeBytes(p, "MACheader") + activeBytes(p, "MACfcs"));

  const bool framed = p.field("generationMode").truthy();
  const double os = countOf(p, "OverSampling", "OverSampling", 1 << 20);
  const std::size_t symbols = dataSymbolCount(static_cast<std::size_t>(payloadBits), framed,
                                              number(p, "modulation"), number(p, "encoderRate"));
  double count = 80.0 * static_cast<double>(symbols) * os;
  if (framed) {
    // The last symbol's window tail stays in the waveform and the idle interval
    // starts under it.
    const double window = countOf(p, "WindowingLength", "WindowingLength", kMostBits);
    const double idle = countOf(p, "idleSamples", "idleSamples", kMostBits);
    count += 400.0 * os + std::max(idle, window);
  }
  if (!(count <= kMostBits * (1 << 20)))
    raise(
        "The parameters \"dataLength\" and \"OverSampling\" describe more samples than can be "
        "counted.");
  auto n = static_cast<std::size_t>(std::max(0.0, std::ceil(count)));
  if (n % 2 == 1) ++n;
  return n;
}

namespace op {

void dot11a_SizeEst(Call& c) {
  c.outputNames({"count"});
  const Value& p = c.in(0, "parameters");
  if (!p.isRecord()) raise("dot11a_SizeEst: parameters must be a parameter set record.");
  c.out(0) = static_cast<double>(sizeEstimate(p));
}

}  // namespace op
}  // namespace dot11a
