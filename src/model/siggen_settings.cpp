// The signal-generator settings record and the panel's entry rules.
#include "dot11a/siggen_settings.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "dot11a/error.hpp"

namespace dot11a {

namespace {

double numberField(const Value& record, std::string_view name) {
  const Value& v = record.field(name);
  if (!v.isNumeric() || v.isEmpty())
    raise("SigGenSettings." + std::string(name) + " must be a number, not " + v.describe() + ".");
  return v.toScalar();
}

double optionalNumberField(const Value& record, std::string_view name, double fallback) {
  if (!record.hasField(name)) return fallback;
  return numberField(record, name);
}

// 10^(3 (item - 1)) for the unit pop-ups; items outside 1..4 are taken as the
// nearest valid one.
double unitFactor(int unitItem) {
  static constexpr double kFactors[] = {1.0, 1e3, 1e6, 1e9};
  return kFactors[std::clamp(unitItem, 1, 4) - 1];
}

}  // namespace

SigGenSettings defaultSigGenSettings(double overSampling) {
  SigGenSettings s;
  s.samplingRate = kBaseSampleRate * overSampling;
  return s;
}

Value toValue(const SigGenSettings& s, bool withPlatformC) {
  Value r = Value::record({
      {"Title", Value(s.title)},
      {"Frequency", Value(s.frequency)},
      {"Amplitude", Value(s.amplitude)},
      {"SamplingRate", Value(s.samplingRate)},
      {"ReconFilter", Value(s.reconFilter)},
      {"RFblanking", Value(s.rfBlanking)},
      {"ArbRefSource", Value(s.arbRefSource)},
      {"MarkerPolarity", Value(s.markerPolarity)},
  });
  if (withPlatformC) {
    r.setField("BBfilter", s.bbFilter);
    r.setField("Scaling", s.scaling);
    r.setField("ModAtten", s.modAtten);
    r.setField("ALC", s.alc);
  }
  return r;
}

Value withPlatformCFields(Value record) {
  const SigGenSettings d;
  if (!record.hasField("BBfilter")) record.setField("BBfilter", d.bbFilter);
  if (!record.hasField("Scaling")) record.setField("Scaling", d.scaling);
  if (!record.hasField("ModAtten")) record.setField("ModAtten", d.modAtten);
  if (!record.hasField("ALC")) record.setField("ALC", d.alc);
  return record;
}

SigGenSettings sigGenSettingsFromValue(const Value& record) {
  if (!record.isRecord())
    raise("The signal generator settings must be a record, not " + record.describe() + ".");
  SigGenSettings s;
  const Value& title = record.field("Title");
  if (!title.isText() && !title.isEmpty())
    raise("SigGenSettings.Title must be a text, not " + title.describe() + ".");
  s.title = title.isText() ? title.str() : std::string();
  s.frequency = numberField(record, "Frequency");
  s.amplitude = numberField(record, "Amplitude");
  s.samplingRate = numberField(record, "SamplingRate");
  s.reconFilter = numberField(record, "ReconFilter");
  s.rfBlanking = numberField(record, "RFblanking");
  s.arbRefSource = numberField(record, "ArbRefSource");
  s.markerPolarity = numberField(record, "MarkerPolarity");
  s.bbFilter = optionalNumberField(record, "BBfilter", s.bbFilter);
  s.scaling = optionalNumberField(record, "Scaling", s.scaling);
  s.modAtten = optionalNumberField(record, "ModAtten", s.modAtten);
  s.alc = optionalNumberField(record, "ALC", s.alc);
  return s;
}

std::optional<double> parseDecimal(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double value = 0;
  // from_chars never looks at the locale, so a comma locale cannot change it.
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (std::isnan(value)) return std::nullopt;
  return value;
}

double orderedClamp(std::optional<double> value, double first, double second) {
  if (!value) return first;
  const double v = std::min(*value, first);
  return std::max(v, second);
}

std::string sigGenLimitsProblem(const SigGenLimits& l) {
  const auto number = [](double x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", x);
    return std::string(buf);
  };
  const auto range = [&](const char* what, double lo, double hi, double floor, double ceiling,
                         const char* unit) -> std::string {
    if (!std::isfinite(lo) || !std::isfinite(hi)) return std::string(what) + " is not a number";
    if (!(lo < hi)) return std::string(what) + ": the minimum is not below the maximum";
    if (lo < floor || hi > ceiling)
      return std::string(what) + " " + number(lo) + " to " + number(hi) + " " + unit +
             " is outside any sane range (" + number(floor) + " to " + number(ceiling) + " " +
             unit + ")";
    return {};
  };
  // The lowest frequency and sample clock an instrument can have are far
  // above 1 Hz: a smaller minimum is a misread answer, not a range.
  for (const std::string& problem :
       {range("the frequency range", l.frequencyMin, l.frequencyMax, 1, 1e12, "Hz"),
        range("the power range", l.amplitudeMin, l.amplitudeMax, -200, 50, "dBm"),
        range("the sample clock range", l.samplingRateMin, l.samplingRateMax, 1, 10e9, "Hz")})
    if (!problem.empty()) return problem;
  return {};
}

double samplingRateTop(const SigGenLimits& limits, double overSampling) {
  const double own =
      std::isfinite(overSampling) && overSampling > 0 ? kBaseSampleRate * overSampling : 0.0;
  return std::max(limits.samplingRateMax, own);
}

std::vector<RangeViolation> outsideLimits(const SigGenSettings& s, const SigGenLimits& l) {
  std::vector<RangeViolation> out;
  const auto check = [&out](const char* field, double v, double lo, double hi) {
    if (!(v >= lo && v <= hi)) out.push_back({field, v, lo, hi});
  };
  check("Frequency", s.frequency, l.frequencyMin, l.frequencyMax);
  check("Amplitude", s.amplitude, l.amplitudeMin, l.amplitudeMax);
  check("SamplingRate", s.samplingRate, l.samplingRateMin, l.samplingRateMax);
  return out;
}

double frequencyFromEntry(std::string_view text, int unitItem, const SigGenLimits& limits) {
  auto v = parseDecimal(text);
  if (v) *v *= unitFactor(unitItem);
  return orderedClamp(v, limits.frequencyMax, limits.frequencyMin);
}

double samplingRateFromEntry(std::string_view text, int unitItem, double overSampling,
                             const SigGenLimits& limits) {
  auto v = parseDecimal(text);
  if (v) *v *= unitFactor(unitItem);
  return orderedClamp(v, samplingRateTop(limits, overSampling), limits.samplingRateMin);
}

double amplitudeFromEntry(std::string_view text, const SigGenLimits& limits) {
  auto v = parseDecimal(text);
  if (v) *v = std::round(*v);  // std::round rounds halves away from zero
  return orderedClamp(v, limits.amplitudeMax, limits.amplitudeMin);
}

std::string sigGenSettingsProblem(const Value& record, double overSampling,
                                  const SigGenLimits& limits) {
  SigGenSettings s;
  try {
    s = sigGenSettingsFromValue(record);
  } catch (const std::exception& e) {
    return e.what();
  }
  const auto within = [](double v, double lo, double hi) {
    return std::isfinite(v) && v >= lo && v <= hi;
  };
  const auto oneOf = [](double v, int first, int last) {
    return std::isfinite(v) && v == std::floor(v) && v >= first && v <= last;
  };
  if (!within(s.frequency, limits.frequencyMin, limits.frequencyMax))
    return "the frequency is outside the range the panel accepts";
  if (!within(s.amplitude, limits.amplitudeMin, limits.amplitudeMax) ||
      s.amplitude != std::floor(s.amplitude))
    return "the amplitude is not a whole dBm value in the range the panel accepts";
  if (!within(s.samplingRate, limits.samplingRateMin, samplingRateTop(limits, overSampling)))
    return "the sample rate is outside the range the panel accepts";
  if (!oneOf(s.reconFilter, 1, 4) || !oneOf(s.rfBlanking, 0, 1) || !oneOf(s.arbRefSource, 0, 1) ||
      !oneOf(s.markerPolarity, 0, 1) || !oneOf(s.bbFilter, 1, 3) || !oneOf(s.alc, 0, 1))
    return "a filter, blanking, reference, marker or level setting is not one of its choices";
  if (!within(s.scaling, 0, 100) || !std::isfinite(s.modAtten))
    return "the runtime scaling or the I/Q attenuation is out of range";
  if (s.title != cleanTitle(s.title)) return "the waveform title holds characters it may not";
  return "";
}

std::string cleanTitle(std::string_view text) {
  std::string out;
  for (char ch : text) {
    char c = ch;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      std::string_view("_$&#+-[]").find(c) != std::string_view::npos;
    if (keep) out.push_back(c);
  }
  if (out.size() > 20) out.resize(20);
  if (out.empty()) out = "BLANK";
  return out;
}

UnitDisplay displayInUnit(double value) {
  if (value < 1e3) return {1, value};
  if (value < 1e6) return {2, value / 1e3};
  if (value < 1e9) return {3, value / 1e6};
  return {4, value / 1e9};
}

std::string arbRefCaption(double arbRefSource) {
  return arbRefSource == 0 ? "Int. Ref" : "Ext. Ref";
}

std::string markerPolarityCaption(double polarity) {
  return polarity == 0 ? "+ Mkrs" : "- Mkrs";
}

}  // namespace dot11a
