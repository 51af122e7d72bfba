// Named frame settings into the parameter set (see generator_options.hpp).
#include "dot11a/generator_options.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/files.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/payload.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/size_estimate.hpp"

namespace dot11a {

std::string optionName(std::string_view name, OptionSpelling spelling) {
  std::string out(name);
  if (spelling == OptionSpelling::CommandLine) return "--" + out;
  std::replace(out.begin(), out.end(), '-', '_');
  return out;
}

namespace {

constexpr std::array<std::string_view, 18> kNames = {
    "params",  "rate",         "modulation", "coding",         "unframed",  "length",
    "source",  "mac-header",   "fcs",        "scrambler-init", "scrambler", "interleaver",
    "service", "oversampling", "window",     "idle-us",        "mirror",    "mask"};

std::string shown(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

class Options {
 public:
  Options(const std::vector<NamedOption>& options, OptionSpelling spelling)
      : options_(options), spelling_(spelling) {
    for (const NamedOption& o : options_)
      if (std::find(kNames.begin(), kNames.end(), o.name) == kNames.end())
        raise("There is no frame setting \"" + optionName(o.name, spelling_) + "\".");
  }

  const Value* find(std::string_view name) const {
    const auto it = std::find_if(options_.rbegin(), options_.rend(),
                                 [&](const NamedOption& o) { return o.name == name; });
    return it == options_.rend() ? nullptr : &it->value;
  }
  std::string name(std::string_view n) const { return optionName(n, spelling_); }

  std::optional<double> number(std::string_view n) const {
    const Value* v = find(n);
    if (v == nullptr) return std::nullopt;
    if (!v->isNumeric() || !v->isScalar()) raise(name(n) + " must be a number.");
    return v->toScalar();
  }
  std::optional<std::string> text(std::string_view n) const {
    const Value* v = find(n);
    if (v == nullptr) return std::nullopt;
    if (!v->isText()) raise(name(n) + " must be a text.");
    return v->str();
  }
  // On or off: the command line's words, or a number.
  std::optional<bool> onOff(std::string_view n) const {
    const Value* v = find(n);
    if (v == nullptr) return std::nullopt;
    if (v->isText()) {
      const std::string& s = v->str();
      if (s == "on" || s == "1") return true;
      if (s == "off" || s == "0") return false;
      raise(name(n) + " must be on or off.");
    }
    if (!v->isNumeric() || !v->isScalar()) raise(name(n) + " must be on or off.");
    return v->toScalar() != 0;
  }

 private:
  const std::vector<NamedOption>& options_;
  OptionSpelling spelling_;
};

double inRange(double v, double lo, double hi, const std::string& name) {
  if (!std::isfinite(v) || v < lo || v > hi || v != std::floor(v))
    raise(name + " must be a whole number from " + shown(lo) + " to " + shown(hi) + ", not " +
          shown(v) + ".");
  return v;
}

// A whole number within the parameter set's bounds of `field`.
double inBounds(double v, std::string_view field, const std::string& name) {
  const ParameterBound& b = parameterBound(field);
  return inRange(v, b.lo, b.hi, name);
}

// Hexadecimal as the main window takes it, within the bounds of `field`; "0x"
// prefix accepted too.
double parseHex(std::string s, std::string_view field, const std::string& name) {
  const ParameterBound& b = parameterBound(field);
  if (s.rfind("0x", 0) == 0 || s.rfind("0X", 0) == 0) s = s.substr(2);
  const std::string message = name + " must be hexadecimal from " + rangeText(b) + ".";
  if (s.empty() || s.size() > 8 ||
      s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    raise(message.substr(0, message.size() - 1) + ", not \"" + s + "\".");
  const double v = static_cast<double>(std::stoul(s, nullptr, 16));
  if (!withinBounds(b, v)) raise(message.substr(0, message.size() - 1) + ", not \"" + s + "\".");
  return v;
}

// The scrambler seed: hexadecimal (with or without 0x), or decimal with a d
// suffix ("93d"); the seed 0 would scramble nothing and is refused.
double parseSeed(const std::string& text, const std::string& name) {
  const ParameterBound& b = parameterBound("scramblerInit");
  char hiText[16];
  std::snprintf(hiText, sizeof hiText, "%X", checkedInteger<unsigned>(b.hi, "The seed bound"));
  const std::string what = name + " must be 1 to " + std::string(hiText) +
                           " in hexadecimal or 1d to " + shown(b.hi) + "d in decimal, not \"" +
                           text + "\".";
  const bool hexPrefix = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
  double v = 0;
  if (!hexPrefix && text.size() >= 2 && (text.back() == 'd' || text.back() == 'D')) {
    const std::string digits = text.substr(0, text.size() - 1);
    if (digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos)
      raise(what);
    v = std::stod(digits);
  } else {
    std::string digits = hexPrefix ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 2 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      raise(what);
    v = static_cast<double>(std::stoul(digits, nullptr, 16));
  }
  if (v < 1 || !withinBounds(b, v)) raise(what);
  return v;
}

Value startingParameters(const Options& o) {
  const std::optional<std::string> path = o.text("params");
  if (!path || path->empty()) {
    static const Value defaults = defaultParameters();
    return defaults;  // shares the payload until written
  }
  if (!std::filesystem::exists(*path)) raise(o.name("params") + ": " + *path + " not found.");
  const ParameterFileRead read = readParameterFile(*path, kParameterFileFormatId);
  if (!read.parameters) raise(read.readError ? read.problem : *path + " " + read.problem);
  const std::string problem = parameterSetProblem(*read.parameters, defaultParameters());
  if (!problem.empty()) raise(*path + " has an Invalid File Structure. (" + problem + ".)");
  return *read.parameters;
}

void applySource(Value& p, const std::string& source, const Options& o) {
  static constexpr std::array<std::string_view, 6> kSources = {"zeros", "ones", "alt01",
                                                               "alt10", "pn9",  "pn15"};
  const auto it = std::find(kSources.begin(), kSources.end(), source);
  if (it != kSources.end()) {
    p.setField("dataSourceType", static_cast<double>(it - kSources.begin() + 1));
    return;
  }
  const FileBits bits = readPayloadFile(source, 8 * kMaxPsduOctets, false);
  if (!bits.ok) raise(o.name("source") + ": " + bits.error);
  if (bits.bits.empty()) raise(o.name("source") + ": " + source + " is empty.");
  p.setField("dataSourceType", 7.0);
  p.setField("dataSourceName", Value(source));
  p.setField("dataSourceBitstream", Value::bits(bits.bits));
  p.setField("dataLength", static_cast<double>(bits.bits.size() / 8));
}

// Sub-carriers -26 .. 26: 53 characters of 0 and 1, or 53 numbers of 0 and 1.
std::vector<double> maskOf(const Value& v, const std::string& name) {
  std::vector<double> m;
  if (v.isText()) {
    const std::string& s = v.str();
    if (s.size() != 53 || s.find_first_not_of("01") != std::string::npos)
      raise(name + " must be 53 characters of 0 and 1, sub-carriers -26 to 26.");
    for (char ch : s) m.push_back(ch == '1' ? 1.0 : 0.0);
  } else {
    if (v.isNumeric()) m = v.toDoubles();
    if (!v.isNumeric() || m.size() != 53 ||
        std::any_of(m.begin(), m.end(), [](double x) { return x != 0 && x != 1; }))
      raise(name + " must be 53 values of 0 and 1, sub-carriers -26 to 26, not " +
            std::to_string(v.isNumeric() ? m.size() : v.numel()) + " values.");
  }
  m[26] = 0;  // the centre sub-carrier carries nothing
  return m;
}

}  // namespace

Value generatorParameters(const std::vector<NamedOption>& options, OptionSpelling spelling) {
  const Options o(options, spelling);
  Value p = startingParameters(o);
  if (const auto rate = o.number("rate")) {
    const RateEntry* r = rateByMbps(*rate);
    if (r == nullptr)
      raise(o.name("rate") + " must be one of 6, 9, 12, 18, 24, 36, 48, 54, not " + shown(*rate) +
            ".");
    p.setField("modulation", static_cast<double>(r->modulation));
    p.setField("encoderRate", r->coding.value());
  }
  if (const auto modulation = o.text("modulation")) {
    static constexpr std::array<std::string_view, 4> kMods = {"bpsk", "qpsk", "16qam", "64qam"};
    const auto it = std::find(kMods.begin(), kMods.end(), *modulation);
    if (it == kMods.end()) raise(o.name("modulation") + " must be bpsk, qpsk, 16qam or 64qam.");
    p.setField("modulation", static_cast<double>(it - kMods.begin() + 1));
  }
  if (const auto coding = o.text("coding")) {
    const auto it =
        std::find_if(kCodingRates.begin(), kCodingRates.end(), [&](const CodingRate& r) {
          return (r.den == 1 ? std::string_view("1") : codingRateText(r.value())) == *coding;
        });
    if (it == kCodingRates.end()) raise(o.name("coding") + " must be 1/2, 2/3, 3/4 or 1.");
    p.setField("encoderRate", it->value());
  }
  if (o.onOff("unframed").value_or(false)) p.setField("generationMode", 0.0);
  if (const auto on = o.onOff("mac-header"))
    p.field("MACheader").setField("Active", *on ? 1.0 : 0.0);
  if (const auto on = o.onOff("fcs")) p.field("MACfcs").setField("Active", *on ? 1.0 : 0.0);
  if (const auto source = o.text("source")) applySource(p, *source, o);
  const bool userFile = p.field("dataSourceType").toScalar() == 7;
  if (const auto length = o.number("length")) {
    if (userFile)
      raise(o.name("length") +
            " cannot be combined with a payload file; its size sets the length.");
    inRange(*length, parameterBound("dataLength").lo, dataLengthLimit(p), o.name("length"));
    p.setField("dataLength", *length);
  }
  if (userFile && p.field("dataLength").toScalar() > dataLengthLimit(p))
    raise("The payload file is longer than " + shown(dataLengthLimit(p)) +
          " octets, the most the frame can carry with this header and FCS.");
  if (const Value* seed = o.find("scrambler-init")) {
    const std::string name = o.name("scrambler-init");
    if (seed->isText()) {
      p.setField("scramblerInit", parseSeed(seed->str(), name));
    } else {
      // Seed 0 would scramble nothing.
      const ParameterBound& b = parameterBound("scramblerInit");
      p.setField("scramblerInit",
                 inRange(*o.number("scrambler-init"), std::max(b.lo, 1.0), b.hi, name));
    }
  }
  if (const auto on = o.onOff("scrambler")) p.setField("scramblerActive", *on ? 1.0 : 0.0);
  if (const auto on = o.onOff("interleaver")) p.setField("interleaverActive", *on ? 1.0 : 0.0);
  if (const Value* service = o.find("service")) {
    const std::string name = o.name("service");
    p.setField("serviceField", service->isText()
                                   ? parseHex(service->str(), "serviceField", name)
                                   : inBounds(*o.number("service"), "serviceField", name));
  }
  const auto idleUs = o.number("idle-us");
  if (const auto oversampling = o.number("oversampling")) {
    // The idle interval keeps its duration unless it is given too.
    const double old = p.field("OverSampling").toScalar();
    const double ratio = inBounds(*oversampling, "OverSampling", o.name("oversampling"));
    p.setField("OverSampling", ratio);
    if (!idleUs)
      p.setField("idleSamples", std::round(p.field("idleSamples").toScalar() * ratio / old));
  }
  if (const auto window = o.number("window"))
    p.setField("WindowingLength", inBounds(*window, "WindowingLength", o.name("window")));
  if (idleUs) {
    const ParameterBound& idle = idleIntervalBound();
    if (!std::isfinite(*idleUs) || !withinBounds(idle, *idleUs))
      raise(o.name("idle-us") + " must be from " + rangeText(idle) + ", not " + shown(*idleUs) +
            ".");
    p.setField("idleSamples",
               std::round(*idleUs * kSamplesPerMicrosecond * p.field("OverSampling").toScalar()));
  }
  if (o.onOff("mirror").value_or(false)) p.setField("MirrorSpectrum", 1.0);
  if (const Value* mask = o.find("mask"))
    p.setField("SubCarriers", Value::row(maskOf(*mask, o.name("mask"))));
  updateDerivedFields(p);
  return p;
}

}  // namespace dot11a
