// The parameter set and signal records of a frame job (see frame_record.hpp).
#include "dot11a/frame_record.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "dot11a/files.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/receiver_test.hpp"
#include "dot11a/waveform.hpp"
#include "model/large_buffer.hpp"

namespace dot11a {

namespace {

double num(const Value& rec, std::string_view name) {
  return rec.field(name).toScalar();
}

Value onOff(bool on) {
  return Value(on ? 1.0 : 0.0);
}

// The optional "ChannelSpacing" field (MHz): a record without it is a 20 MHz
// frame, so files of older builds read as they always did.
ChannelSpacing spacingOf(const Value& p) {
  if (!p.hasField(kChannelSpacingField)) return ChannelSpacing::MHz20;
  const Value& v = p.field(kChannelSpacingField);
  const bool number = v.isNumeric() && !v.isComplex() && v.isScalar();
  ChannelSpacing s{};
  if (number && channelSpacingOfMHz(v.toScalar(), s)) return s;
  char shown[32];
  if (number) std::snprintf(shown, sizeof shown, "%.15g", v.toScalar());
  raise("The parameter set cannot be used: fileParameters." + std::string(kChannelSpacingField) +
        " is " + (number ? std::string(shown) : v.describe()) + ", not 20, 10 or 5 (MHz).");
}

}  // namespace

Value toRecord(const FrameParameters& f) {
  Value contents = Value::record({{"BitStream", Value::bits(f.macHeader.bits())}});
  for (std::string_view name : kMacFieldsRecordOrder) {
    const MacField& m = f.macHeader[name];
    contents.setField(name, Value::record({{"Contents", static_cast<double>(m.value)},
                                           {"Size", static_cast<double>(macFieldSize(name))},
                                           {"Active", onOff(m.sent)}}));
  }
  std::vector<double> carriers(f.subCarriers.begin(), f.subCarriers.end());
  Value p = Value::record();
  p.setField("ParameterFileFormat_ID", Value(std::string(kParameterFileFormatId)));
  p.setField("generationMode", onOff(f.framed));
  p.setField("dataRate", f.dataRate());
  p.setField("modulation", static_cast<double>(f.modulation));
  p.setField("encoderRate", f.coding.value());
  p.setField("scramblerActive", onOff(f.scrambler));
  p.setField("scramblerInit", static_cast<double>(f.scramblerInit));
  p.setField("interleaverActive", onOff(f.interleaver));
  p.setField("SubCarriers", Value::row(std::move(carriers)));
  p.setField("idleSamples", static_cast<double>(f.idleSamples));
  p.setField("MirrorSpectrum", onOff(f.mirror));
  p.setField("OverSampling", static_cast<double>(f.oversampling));
  // Written for 10 and 5 MHz frames only: a 20 MHz file stays as it was.
  if (f.spacing != ChannelSpacing::MHz20)
    p.setField(kChannelSpacingField, static_cast<double>(spacingMHz(f.spacing)));
  p.setField("WindowingLength", static_cast<double>(f.windowLength));
  p.setField("MACheader", Value::record({{"Active", onOff(f.macHeaderActive)},
                                         {"Length", static_cast<double>(f.headerOctets())},
                                         {"Contents", std::move(contents)}}));
  p.setField("MACfcs", Value::record({{"Active", onOff(f.fcs)},
                                      {"Length", static_cast<double>(kFcsOctets)},
                                      {"Contents", Value::empty()}}));
  p.setField("serviceField", static_cast<double>(f.service));
  p.setField("dataSourceType", static_cast<double>(f.source));
  p.setField("dataLength", static_cast<double>(f.dataLength));
  p.setField("dataSourceName", f.sourceName.empty() ? Value::empty() : Value(f.sourceName));
  p.setField("dataSourceBitstream",
             f.sourceBits.empty() ? Value::empty() : Value::bits(f.sourceBits));
  p.setField("totalLength", static_cast<double>(f.totalLength()));
  p.setField("ProjectedLength", static_cast<double>(frameLayout(f.shape()).total));
  return p;
}

MacHeaderFields macHeaderOf(const Value& contents) {
  MacHeaderFields h;
  for (std::string_view name : kMacFieldsRecordOrder) {
    const Value& field = contents.field(name);
    const double value = num(field, "Contents");
    const double most = std::ldexp(1.0, 8 * macFieldSize(name)) - 1;
    if (!(value >= 0 && value <= most) || value != std::floor(value))
      raise("The MAC header field " + std::string(name) + " holds " +
            field.field("Contents").describe() + ", not a whole number from 0 to " +
            std::to_string(static_cast<std::uint64_t>(most)) + ".");
    h[name] = {static_cast<std::uint64_t>(value), num(field, "Active") != 0};
  }
  return h;
}

FrameParameters fromRecord(const Value& p) {
  static const Value reference = defaultParameters();
  const std::string problem = parameterSetProblem(p, reference);
  if (!problem.empty()) raise("The parameter set cannot be used: " + problem + ".");
  FrameParameters f;
  f.framed = num(p, "generationMode") != 0;
  f.modulation = static_cast<Modulation>(static_cast<int>(num(p, "modulation")));
  f.coding = *codingRateOf(num(p, "encoderRate"));
  f.scrambler = num(p, "scramblerActive") != 0;
  f.scramblerInit = static_cast<unsigned>(num(p, "scramblerInit"));
  f.interleaver = num(p, "interleaverActive") != 0;
  const std::span<const double> carriers = p.field("SubCarriers").re();
  for (std::size_t i = 0; i < f.subCarriers.size(); ++i)
    f.subCarriers[i] = carriers[i] != 0 ? 1 : 0;
  f.idleSamples = static_cast<long long>(num(p, "idleSamples"));
  f.mirror = num(p, "MirrorSpectrum") != 0;
  f.oversampling = static_cast<int>(num(p, "OverSampling"));
  f.spacing = spacingOf(p);
  f.windowLength = static_cast<int>(num(p, "WindowingLength"));
  const Value& header = p.field("MACheader");
  f.macHeaderActive = num(header, "Active") != 0;
  f.macHeader = macHeaderOf(header.field("Contents"));
  f.fcs = num(p.field("MACfcs"), "Active") != 0;
  f.service = static_cast<unsigned>(num(p, "serviceField"));
  f.source = static_cast<PayloadSource>(static_cast<int>(num(p, "dataSourceType")));
  f.dataLength = static_cast<int>(num(p, "dataLength"));
  const Value& name = p.field("dataSourceName");
  if (name.isText()) f.sourceName = name.str();
  const Value& bits = p.field("dataSourceBitstream");
  if (!bits.isEmpty()) f.sourceBits = bits.toBits();
  return f;
}

// ---- the signal record ---------------------------------------------------------------

namespace {

constexpr const char* kAt = "SignalSettings";

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

}  // namespace

Value toSignalRecord(const SequenceSettings& q, const impair::Settings& m) {
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
      {"Frames", static_cast<double>(q.frames)},
      {"Gap", Value(q.gap.text())},
      {"SeedStep", Value::logical(q.seedStep)},
      {"SequenceFile", Value(q.file)},
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

void fromSignalRecord(const Value& rec, SequenceSettings& sequence, impair::Settings& impairments) {
  const std::string at = kAt;
  SequenceSettings q;
  const double frames = number(rec, "Frames", at);
  if (frames < 1 || frames > static_cast<double>(kMaxSequenceFrames) ||
      frames != std::floor(frames))
    raise(at + ".Frames must be a whole number from 1 to " + std::to_string(kMaxSequenceFrames) +
          ", not " + Gap{frames, ""}.text() + ".");
  q.frames = static_cast<std::size_t>(frames);
  q.gap = Gap::parse(text(rec, "Gap", at));
  q.seedStep = number(rec, "SeedStep", at) != 0;
  q.file = text(rec, "SequenceFile", at);
  impair::Settings m;
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
  m.seed = parseSeed(text(rec, "Seed", at), at + ".Seed must be");
  sequence = std::move(q);
  impairments = m;
}

Value withReceiverTest(Value rec, const ReceiverTestChoice& choice) {
  rec.setField("ReceiverTest",
               Value::record({{"Name", Value(choice.name)},
                              {"Frames", choice.frames ? Value(static_cast<double>(*choice.frames))
                                                       : Value::empty()}}));
  return rec;
}

std::optional<ReceiverTestChoice> receiverTestOf(const Value& rec) {
  if (!rec.isRecord() || !rec.hasField("ReceiverTest")) return std::nullopt;
  const std::string at = std::string(kAt) + ".ReceiverTest";
  const Value* v = present(rec, "ReceiverTest", kAt);
  if (v == nullptr) return std::nullopt;
  ReceiverTestChoice c;
  c.name = text(*v, "Name", at);
  if (std::find(kReceiverTestNames.begin(), kReceiverTestNames.end(), c.name) ==
      kReceiverTestNames.end())
    raise(at + ".Name must be sensitivity, acr or alt-acr, not \"" + c.name + "\".");
  if (present(*v, "Frames", at)) {
    const double n = number(*v, "Frames", at);
    if (n < 1 || n > static_cast<double>(kMaxSequenceFrames) || n != std::floor(n))
      raise(at + ".Frames must be a whole number from 1 to " + std::to_string(kMaxSequenceFrames) +
            ".");
    c.frames = static_cast<std::size_t>(n);
  }
  return c;
}

// ---- the parameter set record where it is read as a record ----------------------------

Value defaultParameters() {
  Value p = toRecord(FrameParameters{});
  p.setField("ProjectedLength", 0.0);
  return p;
}

std::string parameterFileFormatIdOf(const Value& p) {
  if (p.isRecord() && p.hasField("ParameterFileFormat_ID") &&
      p.field("ParameterFileFormat_ID").isText())
    return p.field("ParameterFileFormat_ID").str();
  return std::string(kParameterFileFormatId);
}

void updateDerivedFields(Value& p) {
  const FrameParameters f = fromRecord(p);
  p.setField("dataRate", f.dataRate());
  p.setField("totalLength", static_cast<double>(f.totalLength()));
  p.setField("ProjectedLength", static_cast<double>(frameLayout(f.shape()).total));
}

WaveformValues toValues(const Waveform& w) {
  const std::size_t n = w.samples.size();
  std::vector<double> re = reservedBuffer<double>(n), im = reservedBuffer<double>(n),
                      m = reservedBuffer<double>(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    re.push_back(w.samples[i].real());
    im.push_back(w.samples[i].imag());
    m.push_back(w.marker1[i]);  // 2 x n, column-major
    m.push_back(w.marker2[i]);
  }
  const std::size_t rows = n == 0 ? 0 : 1;
  return {Value::matrix(rows, n, std::move(re), std::move(im)),
          Value::matrix(2 * rows, n, std::move(m))};
}

rx::MadeWith madeWith(const Waveform& w) {
  rx::MadeWith made;
  made.sampleRate = w.sampleRate;
  made.dacPrecompensated = w.dacPrecompensated;
  made.fcs = w.fcs;
  made.windowSamples = w.windowLength;
  made.oversampling = w.oversampling;
  made.spacing = w.spacing;
  return made;
}

FrameResult calculateFrame(const Value& p) {
  FrameJob job;
  job.frame = fromRecord(p);
  WaveformValues v = toValues(make(job));
  return {std::move(v.waveform), std::move(v.markers)};
}

bool loadUserFile(FrameParameters& f) {
  const std::vector<Value> out = feval("loadUserDataFile", 2, {Value(8.0 * kMaxPsduOctets)});
  if (out.size() < 2 || out[0].isEmpty() || !(out[0].toScalar() > 0)) return false;
  f.sourceBits = out[1].toBits();
  f.dataLength = static_cast<int>(f.sourceBits.size() / 8);
  f.source = PayloadSource::UserFile;
  return true;
}

void writeJobFile(const std::string& path, const FrameJob& job, bool platformC,
                  const std::optional<ReceiverTestChoice>& test) {
  Value signal = Value::empty();
  if (job.receiverTest()) {
    signal = toSignalRecord(job.sequence, job.impairments);
    if (test) signal = withReceiverTest(std::move(signal), *test);
  }
  writeParameterFile(path, toRecord(job.frame), toValue(job.generator, platformC), signal);
}

}  // namespace dot11a
