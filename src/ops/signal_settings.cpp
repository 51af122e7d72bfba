// The window's receiver-test signal (see dot11a/signal_settings.hpp): its
// checks, its record in parameter files and the waveform it gives.
#include "dot11a/signal_settings.hpp"

#include <cmath>
#include <cstdio>

#include "dot11a/error.hpp"
#include "dot11a/frame_sequence.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/receiver_test.hpp"

namespace dot11a {

namespace {

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

double sampleRateOf(const Value& parameters) {
  return kBaseSampleRate * parameters.field("OverSampling").toScalar();
}

SequenceRequest requestOf(const SignalSettings& s, std::size_t memorySamples) {
  SequenceRequest r;
  r.frames = s.frames;
  r.gapUs = impair::gapMicroseconds(s.gap);
  r.seedStep = s.seedStep;
  r.file = s.sequenceFile;
  r.memorySamples = memorySamples;
  return r;
}

// ---- the record ----------------------------------------------------------------

const Value& member(const Value& rec, std::string_view name, const std::string& at) {
  if (!rec.isRecord()) raise(at + " is " + rec.describe() + ", not a record.");
  if (!rec.hasField(name)) raise(at + "." + std::string(name) + " is missing.");
  return rec.field(name);
}

double number(const Value& rec, std::string_view name, const std::string& at) {
  const Value& v = member(rec, name, at);
  if (!v.isNumeric() || v.isComplex() || !v.isScalar() || !std::isfinite(v.toScalar()))
    raise(at + "." + std::string(name) + " must be a number, not " + v.describe() + ".");
  return v.toScalar();
}

std::string text(const Value& rec, std::string_view name, const std::string& at) {
  const Value& v = member(rec, name, at);
  if (!v.isText())
    raise(at + "." + std::string(name) + " must be a text, not " + v.describe() + ".");
  return v.str();
}

// An impairment that is off is stored as an empty value.
const Value* present(const Value& rec, std::string_view name, const std::string& at) {
  const Value& v = member(rec, name, at);
  return v.isEmpty() ? nullptr : &v;
}

constexpr const char* kAt = "SignalSettings";

}  // namespace

void validate(const SignalSettings& s, double sampleRate) {
  if (s.frames < 1 || s.frames > kMaxSequenceFrames)
    raise("The frame count must be from 1 to " + std::to_string(kMaxSequenceFrames) + ".");
  impair::gapMicroseconds(s.gap);
  if (!s.sequenceFile.empty()) readSequenceFile(s.sequenceFile);
  impair::validate(s.impairments, sampleRate);
}

Value toValue(const SignalSettings& s) {
  const impair::Settings& m = s.impairments;
  const auto opt = [](const std::optional<double>& v) { return v ? Value(*v) : Value::empty(); };
  Value amplifier = Value::empty(), iq = Value::empty(), phaseNoise = Value::empty(),
        channel = Value::empty(), interferer = Value::empty();
  if (m.amplifier)
    amplifier = Value::record(
        {{"Model", Value(m.amplifier->model == impair::Amplifier::Model::Clip ? "clip" : "rapp")},
         {"Smoothness", m.amplifier->smoothness},
         {"BackoffDb", m.amplifier->backoffDb}});
  if (m.iq) iq = Value::record({{"GainDb", m.iq->gainDb}, {"PhaseDeg", m.iq->phaseDeg}});
  if (m.phaseNoise)
    phaseNoise =
        Value::record({{"RmsDeg", m.phaseNoise->rmsDeg}, {"CornerHz", m.phaseNoise->cornerHz}});
  if (m.channel)
    channel = Value::record(
        {{"RmsDelayNs", m.channel->rmsDelayNs}, {"RicianKDb", opt(m.channel->ricianKDb)}});
  if (m.interferer)
    interferer =
        Value::record({{"OffsetHz", m.interferer->offsetHz}, {"LevelDb", m.interferer->levelDb}});
  return Value::record({
      {"Frames", static_cast<double>(s.frames)},
      {"Gap", Value(s.gap)},
      {"SeedStep", Value::logical(s.seedStep)},
      {"SequenceFile", Value(s.sequenceFile)},
      {"Amplifier", amplifier},
      {"IqImbalance", iq},
      {"DcDbc", opt(m.dcDbc)},
      {"PhaseNoise", phaseNoise},
      {"Channel", channel},
      {"CfoHz", opt(m.cfoHz)},
      {"ClockPpm", opt(m.clockPpm)},
      {"SnrDb", opt(m.snrDb)},
      {"Interferer", interferer},
      // A text: a seed above 2^53 does not survive a double.
      {"Seed", Value(std::to_string(m.seed))},
  });
}

SignalSettings signalSettingsFromValue(const Value& rec) {
  const std::string at = kAt;
  SignalSettings s;
  const double frames = number(rec, "Frames", at);
  if (frames < 1 || frames > static_cast<double>(kMaxSequenceFrames) ||
      frames != std::floor(frames))
    raise(at + ".Frames must be a whole number from 1 to " + std::to_string(kMaxSequenceFrames) +
          ", not " + num(frames) + ".");
  s.frames = static_cast<std::size_t>(frames);
  s.gap = text(rec, "Gap", at);
  s.seedStep = number(rec, "SeedStep", at) != 0;
  s.sequenceFile = text(rec, "SequenceFile", at);
  impair::Settings& m = s.impairments;
  if (const Value* v = present(rec, "Amplifier", at)) {
    const std::string where = at + ".Amplifier";
    const std::string model = text(*v, "Model", where);
    if (model != "rapp" && model != "clip")
      raise(where + ".Model must be \"rapp\" or \"clip\", not \"" + model + "\".");
    impair::Amplifier a;
    a.model = model == "clip" ? impair::Amplifier::Model::Clip : impair::Amplifier::Model::Rapp;
    a.smoothness = number(*v, "Smoothness", where);
    a.backoffDb = number(*v, "BackoffDb", where);
    m.amplifier = a;
  }
  if (const Value* v = present(rec, "IqImbalance", at))
    m.iq = impair::IqImbalance{number(*v, "GainDb", at + ".IqImbalance"),
                               number(*v, "PhaseDeg", at + ".IqImbalance")};
  if (present(rec, "DcDbc", at)) m.dcDbc = number(rec, "DcDbc", at);
  if (const Value* v = present(rec, "PhaseNoise", at))
    m.phaseNoise = impair::PhaseNoise{number(*v, "RmsDeg", at + ".PhaseNoise"),
                                      number(*v, "CornerHz", at + ".PhaseNoise")};
  if (const Value* v = present(rec, "Channel", at)) {
    impair::Channel c;
    c.rmsDelayNs = number(*v, "RmsDelayNs", at + ".Channel");
    if (present(*v, "RicianKDb", at + ".Channel"))
      c.ricianKDb = number(*v, "RicianKDb", at + ".Channel");
    m.channel = c;
  }
  if (present(rec, "CfoHz", at)) m.cfoHz = number(rec, "CfoHz", at);
  if (present(rec, "ClockPpm", at)) m.clockPpm = number(rec, "ClockPpm", at);
  if (present(rec, "SnrDb", at)) m.snrDb = number(rec, "SnrDb", at);
  if (const Value* v = present(rec, "Interferer", at))
    m.interferer = impair::Interferer{number(*v, "OffsetHz", at + ".Interferer"),
                                      number(*v, "LevelDb", at + ".Interferer")};
  const std::string seed = text(rec, "Seed", at);
  if (seed.empty() || seed.size() > 20 || seed.find_first_not_of("0123456789") != std::string::npos)
    raise(at + ".Seed must be a whole number from 0 to 18446744073709551615, not \"" + seed +
          "\".");
  try {
    m.seed = std::stoull(seed);
  } catch (const std::exception&) {
    raise(at + ".Seed must be a whole number from 0 to 18446744073709551615, not \"" + seed +
          "\".");
  }
  return s;
}

std::string describe(const SignalSettings& s) {
  std::string text;
  if (s.sequence()) {
    text = std::to_string(s.frames) + (s.frames == 1 ? " frame" : " frames") + ", gap " + s.gap +
           (s.gap == "SIFS" || s.gap == "DIFS" ? "" : " us");
    if (s.seedStep) text += ", scrambler seed stepping";
    if (!s.sequenceFile.empty()) text += ", sequence file " + s.sequenceFile;
  }
  const std::string impairments = impair::describe(s.impairments);
  if (!impairments.empty()) text += (text.empty() ? "" : "; ") + impairments;
  return text;
}

std::size_t signalLength(const Value& parameters, const SignalSettings& s,
                         std::size_t memorySamples) {
  const std::size_t joined = sequenceLength(parameters, requestOf(s, memorySamples));
  if (!s.impairments.clockPpm) return joined;
  // A clock offset stretches the waveform by its ppm (and the resampler's
  // rounding by a sample).
  const double stretched =
      std::ceil(static_cast<double>(joined) * (1.0 + *s.impairments.clockPpm * 1e-6)) + 1;
  if (stretched > static_cast<double>(memorySamples))
    raise("The waveform of " + num(stretched) +
          " samples, after the sampling clock offset, does not fit the instrument's memory of " +
          std::to_string(memorySamples) +
          " samples: fewer frames, a shorter gap or a lower oversampling.");
  return static_cast<std::size_t>(stretched);
}

SignalWaveform signalWaveform(const Value& parameters, const SignalSettings& s,
                              std::size_t memorySamples) {
  const double rate = sampleRateOf(parameters);
  // Everything is checked, the memory bound included, before a frame is made.
  validate(s, rate);
  signalLength(parameters, s, memorySamples);
  ReceiverTestWaveform r =
      impairedSequence(parameters, requestOf(s, memorySamples), s.impairments, rate);
  SignalWaveform w;
  w.samples = std::move(r.samples);
  w.waveform = std::move(r.waveform);
  w.markers = std::move(r.markers);
  w.frames = r.frames;
  w.description = describe(s);
  return w;
}

}  // namespace dot11a
