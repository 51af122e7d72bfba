// synthesize()'s keywords applied to the parameter set with the bounds every
// other entry uses (parameterBound), then the typed synthesis of the frame.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "dot11a/error.hpp"
#include "dot11a/files.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/payload.hpp"
#include "dot11a/size_estimate.hpp"
#include "veltora.hpp"

namespace veltora {

using dot11a::raise;
using dot11a::Value;

namespace {

std::string shown(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// A whole number within [lo, hi], or an error naming the keyword.
double whole(double v, double lo, double hi, const char* name) {
  if (!std::isfinite(v) || v < lo || v > hi || v != std::floor(v))
    raise(std::string(name) + " must be a whole number from " + shown(lo) + " to " + shown(hi) +
          ", not " + shown(v) + ".");
  return v;
}

double inBounds(double v, std::string_view field, const char* name) {
  const dot11a::ParameterBound& b = dot11a::parameterBound(field);
  return whole(v, b.lo, b.hi, name);
}

template <std::size_t N>
double codeOf(const std::string& text, const std::array<std::string_view, N>& names,
              const std::string& what) {
  const auto it = std::find(names.begin(), names.end(), text);
  if (it == names.end()) raise(what + ", not \"" + text + "\".");
  return static_cast<double>(it - names.begin() + 1);
}

Value startingParameters(const std::string& path) {
  if (path.empty()) {
    static const Value defaults = dot11a::defaultParameters();
    return defaults;  // shares the payload until written
  }
  if (!std::filesystem::exists(path)) raise("params: " + path + " not found.");
  const dot11a::ParameterFileRead read =
      dot11a::readParameterFile(path, dot11a::kParameterFileFormatId);
  if (!read.parameters) raise(read.readError ? read.problem : path + " " + read.problem);
  const std::string problem =
      dot11a::parameterSetProblem(*read.parameters, dot11a::defaultParameters());
  if (!problem.empty()) raise(path + " has an Invalid File Structure. (" + problem + ".)");
  return *read.parameters;
}

void applySource(Value& p, const std::string& source) {
  static constexpr std::array<std::string_view, 6> kSources = {"zeros", "ones", "alt01",
                                                               "alt10", "pn9",  "pn15"};
  const auto it = std::find(kSources.begin(), kSources.end(), source);
  if (it != kSources.end()) {
    p.setField("dataSourceType", static_cast<double>(it - kSources.begin() + 1));
    return;
  }
  const dot11a::FileBits bits = dot11a::readPayloadFile(source, 8 * dot11a::kMaxPsduOctets, false);
  if (!bits.ok) raise("source: " + bits.error);
  if (bits.bits.empty()) raise("source: " + source + " is empty.");
  p.setField("dataSourceType", 7.0);
  p.setField("dataSourceName", Value(source));
  p.setField("dataSourceBitstream", Value::bits(bits.bits));
  p.setField("dataLength", static_cast<double>(bits.bits.size() / 8));
}

}  // namespace

Value parameterSet(const FrameRequest& r) {
  Value p = startingParameters(r.params);
  if (r.rate) {
    const dot11a::RateEntry* e = dot11a::rateByMbps(*r.rate);
    if (e == nullptr)
      raise("rate must be one of 6, 9, 12, 18, 24, 36, 48, 54, not " + shown(*r.rate) + ".");
    p.setField("modulation", static_cast<double>(e->modulation));
    p.setField("encoderRate", e->coding.value());
  }
  if (r.modulation)
    p.setField(
        "modulation",
        codeOf(*r.modulation, std::array<std::string_view, 4>{"bpsk", "qpsk", "16qam", "64qam"},
               "modulation must be bpsk, qpsk, 16qam or 64qam"));
  if (r.coding) {
    const auto it = std::find_if(
        dot11a::kCodingRates.begin(), dot11a::kCodingRates.end(), [&](const dot11a::CodingRate& c) {
          return (c.den == 1 ? std::string_view("1") : dot11a::codingRateText(c.value())) ==
                 *r.coding;
        });
    if (it == dot11a::kCodingRates.end())
      raise("coding must be 1/2, 2/3, 3/4 or 1, not \"" + *r.coding + "\".");
    p.setField("encoderRate", it->value());
  }
  if (r.unframed) p.setField("generationMode", 0.0);
  if (r.macHeader) p.field("MACheader").setField("Active", *r.macHeader ? 1.0 : 0.0);
  if (r.fcs) p.field("MACfcs").setField("Active", *r.fcs ? 1.0 : 0.0);
  if (r.source) applySource(p, *r.source);
  const bool userFile = p.field("dataSourceType").toScalar() == 7;
  if (r.length) {
    if (userFile) raise("length cannot be combined with a payload file; its size sets the length.");
    whole(*r.length, dot11a::parameterBound("dataLength").lo, dot11a::dataLengthLimit(p), "length");
    p.setField("dataLength", *r.length);
  }
  if (userFile && p.field("dataLength").toScalar() > dot11a::dataLengthLimit(p))
    raise("The payload file is longer than " + shown(dot11a::dataLengthLimit(p)) +
          " octets, the most the frame can carry with this header and FCS.");
  if (r.scramblerInit) {
    // Seed 0 would scramble nothing.
    const dot11a::ParameterBound& b = dot11a::parameterBound("scramblerInit");
    p.setField("scramblerInit",
               whole(*r.scramblerInit, std::max(b.lo, 1.0), b.hi, "scrambler_init"));
  }
  if (r.scrambler) p.setField("scramblerActive", *r.scrambler ? 1.0 : 0.0);
  if (r.interleaver) p.setField("interleaverActive", *r.interleaver ? 1.0 : 0.0);
  if (r.service) p.setField("serviceField", inBounds(*r.service, "serviceField", "service"));
  if (r.oversampling) {
    // The idle interval keeps its duration unless it is given too.
    const double old = p.field("OverSampling").toScalar();
    const double ratio = inBounds(*r.oversampling, "OverSampling", "oversampling");
    p.setField("OverSampling", ratio);
    if (!r.idleUs)
      p.setField("idleSamples", std::round(p.field("idleSamples").toScalar() * ratio / old));
  }
  if (r.window) p.setField("WindowingLength", inBounds(*r.window, "WindowingLength", "window"));
  if (r.idleUs) {
    const dot11a::ParameterBound& idle = dot11a::idleIntervalBound();
    if (!std::isfinite(*r.idleUs) || !dot11a::withinBounds(idle, *r.idleUs))
      raise("idle_us must be from " + dot11a::rangeText(idle) + ", not " + shown(*r.idleUs) + ".");
    p.setField("idleSamples", std::round(*r.idleUs * dot11a::kSamplesPerMicrosecond *
                                         p.field("OverSampling").toScalar()));
  }
  if (r.mirror) p.setField("MirrorSpectrum", 1.0);
  if (r.mask) {
    std::vector<double> m = *r.mask;
    if (m.size() != 53 ||
        std::any_of(m.begin(), m.end(), [](double x) { return x != 0 && x != 1; }))
      raise("mask must be 53 values of 0 and 1, sub-carriers -26 to 26, not " +
            std::to_string(m.size()) + " values.");
    m[26] = 0;  // the centre sub-carrier carries nothing
    p.setField("SubCarriers", Value::row(std::move(m)));
  }
  return p;
}

namespace {

std::string describeRate(const Value& p) {
  static const char* const kMod[] = {"BPSK", "QPSK", "16-QAM", "64-QAM"};
  const double coding = p.field("encoderRate").toScalar();
  const int mod = static_cast<int>(p.field("modulation").toScalar());
  const std::string_view text = dot11a::codingRateText(coding);
  const double mbps = dot11a::dataRateFor(mod, coding);
  return (mbps > 0 ? shown(mbps) + " Mbit/s, " : std::string("custom rate, ")) +
         kMod[std::clamp(mod, 1, 4) - 1] + ", coding " +
         (text.empty() ? dot11a::num2str(coding) : std::string(text));
}

}  // namespace

Synthesis synthesize(const Value& p) {
  // The settings the main window's calculation hands to the synthesis, with
  // the DAC compensation it always applies. The fields are whole numbers
  // within their bounds (parameterSet() checked them), so they convert as they are.
  dot11a::FrameSettings s;
  s.data.framed = p.field("generationMode").truthy();
  s.data.service = static_cast<unsigned>(p.field("serviceField").toScalar());
  s.data.modulation = static_cast<int>(p.field("modulation").toScalar());
  s.data.encoderRate = p.field("encoderRate").toScalar();
  s.data.scrambler = p.field("scramblerActive").truthy();
  s.data.scramblerInit = static_cast<unsigned>(p.field("scramblerInit").toScalar());
  s.data.interleaver = p.field("interleaverActive").truthy();
  s.data.oversampling = static_cast<int>(p.field("OverSampling").toScalar());
  s.data.windowLength = static_cast<int>(p.field("WindowingLength").toScalar());
  s.data.sincComp = true;
  // The derived data rate, as updateDerivedFields() would store it.
  s.dataRate = dot11a::dataRateFor(s.data.modulation, s.data.encoderRate);
  s.mask53 = p.field("SubCarriers").toComplex();
  s.idleSamples = static_cast<long long>(p.field("idleSamples").toScalar());
  s.mirrorSpectrum = p.field("MirrorSpectrum").truthy();

  const dot11a::Bits bits = dot11a::calculationBits(p);
  Synthesis out;
  out.frame = dot11a::synthesizeFrame(s, bits);
  out.sampleRate = dot11a::kBaseSampleRate * s.data.oversampling;
  out.layout = dot11a::frameLayout(
      {s.data.framed, static_cast<dot11a::Modulation>(s.data.modulation), s.data.encoderRate,
       s.data.oversampling, s.data.windowLength, s.idleSamples, bits.size()});
  // Octets with the first bit in the LSB, eight bits at a time.
  const std::size_t n = bits.size();
  out.psdu.resize((n + 7) / 8);
  for (std::size_t o = 0; o < out.psdu.size(); ++o) {
    unsigned octet = 0;
    for (std::size_t k = 0; k < 8 && 8 * o + k < n; ++k) octet |= (bits[8 * o + k] & 1u) << k;
    out.psdu[o] = static_cast<std::uint8_t>(octet);
  }
  out.description = describeRate(p);
  out.fcs = p.field("MACfcs").field("Active").toScalar() == 1;
  return out;
}

}  // namespace veltora
