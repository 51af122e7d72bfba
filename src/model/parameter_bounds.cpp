// The bounds table of the parameter set.
#include "dot11a/parameter_bounds.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "dot11a/error.hpp"
#include "dot11a/frame_job.hpp"

namespace dot11a {

namespace {

constexpr double kMaxIdleSamples =
    kMaxIdleMicroseconds * kSamplesPerMicrosecond * kMaxParameterOversampling;

using F = const FrameParameters&;

// field, lo, hi, whole, notation, storedLo, the typed field
constexpr std::array<ParameterBound, 13> kBounds = {{
    {"generationMode", 0, 1, true, Notation::Decimal, 0, [](F f) { return f.framed ? 1.0 : 0.0; }},
    {"modulation", 1, 4, true, Notation::Decimal, 1,
     [](F f) { return static_cast<double>(f.modulation); }},
    {"encoderRate", 0.5, 1, false, Notation::Decimal, 0.5, [](F f) { return f.coding.value(); }},
    {"scramblerActive", 0, 1, true, Notation::Decimal, 0,
     [](F f) { return f.scrambler ? 1.0 : 0.0; }},
    {"scramblerInit", 0, kMaxScramblerInit, true, Notation::Hex, 0,
     [](F f) { return static_cast<double>(f.scramblerInit); }},
    {"interleaverActive", 0, 1, true, Notation::Decimal, 0,
     [](F f) { return f.interleaver ? 1.0 : 0.0; }},
    {"idleSamples", 0, kMaxIdleSamples, true, Notation::Decimal, 0,
     [](F f) { return static_cast<double>(f.idleSamples); }},
    {"MirrorSpectrum", 0, 1, true, Notation::Decimal, 0, [](F f) { return f.mirror ? 1.0 : 0.0; }},
    {"OverSampling", 1, kMaxParameterOversampling, true, Notation::Decimal, 1,
     [](F f) { return static_cast<double>(f.oversampling); }},
    {"WindowingLength", 0, kMaxParameterWindow, true, Notation::Decimal, 0,
     [](F f) { return static_cast<double>(f.windowLength); }},
    {"serviceField", 0, kMaxServiceField, true, Notation::Hex, 0,
     [](F f) { return static_cast<double>(f.service); }},
    {"dataSourceType", 1, 7, true, Notation::Decimal, 1,
     [](F f) { return static_cast<double>(f.source); }},
    {"dataLength", 1, kMaxPsduOctets, true, Notation::Decimal, 0,
     [](F f) { return static_cast<double>(f.dataLength); }},
}};

constexpr ParameterBound kIdleInterval{"idleInterval",    0, kMaxIdleMicroseconds, false,
                                       Notation::Decimal, 0};

std::string boundText(double x, Notation n) {
  char text[32];
  if (n == Notation::Hex)
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(x));
  else
    std::snprintf(text, sizeof text, "%.15g", x);
  return text;
}

}  // namespace

std::span<const ParameterBound> parameterBounds() {
  return kBounds;
}

const ParameterBound& parameterBound(std::string_view field) {
  for (const ParameterBound& b : kBounds)
    if (b.field == field) return b;
  if (field == kIdleInterval.field) return kIdleInterval;
  raise("The parameter set has no bounded field \"" + std::string(field) + "\".");
}

const ParameterBound& idleIntervalBound() {
  return kIdleInterval;
}

bool withinBounds(const ParameterBound& b, double x) {
  return x >= b.lo && x <= b.hi && (!b.whole || x == std::floor(x));
}

bool withinStoredBounds(const ParameterBound& b, double x) {
  return x >= b.storedLo && x <= b.hi && (!b.whole || x == std::floor(x));
}

std::string rangeText(const ParameterBound& b) {
  return boundText(b.lo, b.notation) + " to " + boundText(b.hi, b.notation);
}

double clampEntry(const ParameterBound& b, std::optional<double> value) {
  if (!value) return b.hi;
  return std::max(std::min(*value, b.hi), b.lo);
}

}  // namespace dot11a
