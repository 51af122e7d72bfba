// Receiver-test waveforms from option texts (see receiver_test.hpp).
#include "dot11a/receiver_test.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "dot11a/error.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/siggen_settings.hpp"

namespace dot11a {

namespace {

// Table 91: receiver performance requirements (PSDU of 1000 octets, PER below
// 10 %): minimum sensitivity, adjacent and alternate adjacent channel rejection.
struct Table91Row {
  double mbps, sensitivityDbm, acrDb, altAcrDb;
};
constexpr std::array<Table91Row, 8> kTable91 = {{{6, -82, 16, 32},
                                                 {9, -81, 15, 31},
                                                 {12, -79, 13, 29},
                                                 {18, -77, 11, 27},
                                                 {24, -74, 8, 24},
                                                 {36, -70, 4, 20},
                                                 {48, -66, 0, 16},
                                                 {54, -65, -1, 15}}};
constexpr double kTestPsduOctets = 1000;
// Enough frames to count a packet error rate of 10 % with about a hundred errors.
constexpr std::size_t kTestFrames = 1000;

// Comma-separated decimal numbers, exactly `count` of them (or count - 1 when
// the last is optional).
std::vector<double> numbers(const std::string& text, std::size_t count, bool lastOptional,
                            const std::string& option, const std::string& form) {
  std::vector<double> v;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = text.find(',', at);
    const auto d =
        parseDecimal(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (!d || !std::isfinite(*d)) raise(option + " takes " + form + ", not \"" + text + "\".");
    v.push_back(*d);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  if (v.size() != count && !(lastOptional && v.size() + 1 == count))
    raise(option + " takes " + form + ", not \"" + text + "\".");
  return v;
}

double one(const std::string& text, const std::string& option, const std::string& form) {
  return numbers(text, 1, false, option, form)[0];
}

// The option `name` as the caller's messages spell it.
std::string opt(const ImpairOptions& o, std::string_view name) {
  return optionName(name, o.spelling);
}

}  // namespace

bool receiverTestWanted(const ImpairOptions& o) {
  return o.frames || o.gap || o.seedStep || !o.sequenceFile.empty() || o.pa || o.iq || o.dc ||
         o.phaseNoise || o.channel || o.cfo || o.cfoPpm || o.clockPpm || o.snr || o.interferer ||
         o.test;
}

std::optional<ReceiverTest> applyTestPreset(const ImpairOptions& o, Value& p,
                                            bool oversamplingGiven) {
  if (!o.test) return std::nullopt;
  if (*o.test != "sensitivity" && *o.test != "acr" && *o.test != "alt-acr")
    raise(opt(o, "test") + " must be sensitivity, acr or alt-acr, not \"" + *o.test + "\".");
  const double mbps =
      dataRateFor(p.field("modulation").toScalar(), p.field("encoderRate").toScalar());
  const Table91Row* row = nullptr;
  for (const Table91Row& r : kTable91)
    if (r.mbps == mbps) row = &r;
  if (row == nullptr)
    raise(opt(o, "test") + " needs one of the standard data rates (" + opt(o, "rate") + ").");
  ReceiverTest t;
  t.name = *o.test;
  t.rateMbps = mbps;
  t.frames = kTestFrames;
  t.wantedDbm = row->sensitivityDbm;
  // The PSDU is 1000 octets whatever the header and FCS take of it.
  const double overhead = totalLength(p) - p.field("dataLength").toScalar();
  p.setField("dataLength", kTestPsduOctets - overhead);
  if (*o.test != "sensitivity") {
    const bool adjacent = *o.test == "acr";
    t.wantedDbm += 3;
    t.interferer =
        impair::Interferer{adjacent ? 20e6 : 40e6, adjacent ? row->acrDb : row->altAcrDb};
    // The interferer's channel must fit in the sample rate: the lowest
    // oversampling that holds it, unless the user chose one (then the
    // impairments say what is missing).
    const double need = 2.0 * (t.interferer->offsetHz + 10e6) / kBaseSampleRate;
    const double most = parameterBound("OverSampling").hi;
    if (need > most)
      raise(opt(o, "test") + " " + t.name + " needs a sample rate of at least " +
            std::to_string(static_cast<int>(need * 20)) + " MHz to hold the interferer " +
            std::to_string(static_cast<int>(t.interferer->offsetHz / 1e6)) +
            " MHz away; the highest oversampling (" + std::to_string(static_cast<int>(most)) +
            ") gives " + std::to_string(static_cast<int>(most * 20)) +
            " MHz: make the interferer with a second generator.");
    if (!oversamplingGiven) {
      const double old = p.field("OverSampling").toScalar();
      const double os = std::max(old, std::ceil(need));
      p.setField("OverSampling", os);
      p.setField("idleSamples", std::round(p.field("idleSamples").toScalar() * os / old));
    }
  }
  updateDerivedFields(p);
  return t;
}

impair::Settings impairSettings(const ImpairOptions& o, const std::optional<double>& frequency,
                                const std::optional<ReceiverTest>& test) {
  impair::Settings s;
  if (o.pa) {
    const std::string& t = *o.pa;
    impair::Amplifier a;
    if (t.rfind("rapp:", 0) == 0) {
      const auto v =
          numbers(t.substr(5), 2, false, opt(o, "pa"), "rapp:P,BACKOFF_DB or clip:BACKOFF_DB");
      a.model = impair::Amplifier::Model::Rapp;
      a.smoothness = v[0];
      a.backoffDb = v[1];
    } else if (t.rfind("clip:", 0) == 0) {
      a.model = impair::Amplifier::Model::Clip;
      a.backoffDb = one(t.substr(5), opt(o, "pa"), "rapp:P,BACKOFF_DB or clip:BACKOFF_DB");
    } else {
      raise(opt(o, "pa") + " takes rapp:P,BACKOFF_DB or clip:BACKOFF_DB, not \"" + t + "\".");
    }
    s.amplifier = a;
  }
  if (o.iq) {
    const auto v = numbers(*o.iq, 2, false, opt(o, "iq-imbalance"), "GAIN_DB,PHASE_DEG");
    s.iq = impair::IqImbalance{v[0], v[1]};
  }
  if (o.dc) s.dcDbc = one(*o.dc, opt(o, "dc"), "a level in dBc");
  if (o.phaseNoise) {
    const auto v = numbers(*o.phaseNoise, 2, true, opt(o, "phase-noise"), "DEG_RMS[,CORNER_HZ]");
    impair::PhaseNoise pn;
    pn.rmsDeg = v[0];
    if (v.size() > 1) pn.cornerHz = v[1];
    s.phaseNoise = pn;
  }
  if (o.channel) {
    const std::string& t = *o.channel;
    const std::string form = "exp:RMS_NS or exp:RMS_NS,rician:K_DB";
    if (t.rfind("exp:", 0) != 0)
      raise(opt(o, "channel") + " takes " + form + ", not \"" + t + "\".");
    impair::Channel c;
    const std::size_t comma = t.find(',');
    c.rmsDelayNs = one(t.substr(4, comma == std::string::npos ? std::string::npos : comma - 4),
                       opt(o, "channel"), form);
    if (comma != std::string::npos) {
      const std::string k = t.substr(comma + 1);
      if (k.rfind("rician:", 0) != 0)
        raise(opt(o, "channel") + " takes " + form + ", not \"" + t + "\".");
      c.ricianKDb = one(k.substr(7), opt(o, "channel"), form);
    }
    s.channel = c;
  }
  if (o.cfo && o.cfoPpm)
    raise(opt(o, "cfo") + " and " + opt(o, "cfo-ppm") +
          " both give the carrier offset: choose one.");
  if (o.cfo) s.cfoHz = one(*o.cfo, opt(o, "cfo"), "a frequency offset in Hz");
  if (o.cfoPpm) {
    if (!frequency)
      raise(opt(o, "cfo-ppm") + " needs the carrier " + opt(o, "frequency") +
            " to turn ppm into Hz.");
    s.cfoHz = one(*o.cfoPpm, opt(o, "cfo-ppm"), "an offset in ppm") * 1e-6 * *frequency;
  }
  if (o.clockPpm) s.clockPpm = one(*o.clockPpm, opt(o, "clock-ppm"), "an offset in ppm");
  if (o.snr) s.snrDb = one(*o.snr, opt(o, "snr"), "an SNR in dB");
  if (test && test->interferer) {
    if (o.interferer)
      raise(opt(o, "test") + " " + test->name + " sets the interferer: leave out " +
            opt(o, "interferer") + ".");
    s.interferer = test->interferer;
  }
  if (o.interferer) {
    const auto v = numbers(*o.interferer, 2, false, opt(o, "interferer"), "OFFSET_MHZ,LEVEL_DB");
    s.interferer = impair::Interferer{v[0] * 1e6, v[1]};
  }
  if (o.seed) {
    const std::string& t = *o.seed;
    if (t.empty() || t.size() > 20 || t.find_first_not_of("0123456789") != std::string::npos)
      raise(opt(o, "seed") + " takes a whole number from 0 to 18446744073709551615, not \"" + t +
            "\".");
    try {
      s.seed = std::stoull(t);
    } catch (const std::exception&) {
      raise(opt(o, "seed") + " takes a whole number from 0 to 18446744073709551615, not \"" + t +
            "\".");
    }
  }
  return s;
}

SequenceRequest sequenceRequest(const ImpairOptions& o, const std::optional<ReceiverTest>& test,
                                std::size_t memorySamples) {
  SequenceRequest r;
  r.memorySamples = memorySamples;
  r.seedStep = o.seedStep;
  r.file = o.sequenceFile;
  r.spelling = o.spelling;
  if (o.gap) r.gapUs = impair::gapMicroseconds(*o.gap);
  if (!r.file.empty()) r.frames = readSequenceFile(r.file, o.spelling).size();
  if (test) {
    r.frames = test->frames;
    if (!o.gap) r.gapUs = impair::gapMicroseconds("SIFS");
  }
  if (o.frames) r.frames = *o.frames;
  return r;
}

ReceiverTestWaveform receiverTestWaveform(const ImpairOptions& o,
                                          const std::optional<ReceiverTest>& test,
                                          const std::optional<double>& frequency, const Value& p,
                                          double sampleRate) {
  const impair::Settings s = impairSettings(o, frequency, test);
  return impairedSequence(p, sequenceRequest(o, test, impair::kMemoryM32Samples), s, sampleRate);
}

ReceiverTestWaveform impairedSequence(const Value& p, const SequenceRequest& request,
                                      const impair::Settings& s, double sampleRate) {
  impair::validate(s, sampleRate);  // before any frame is made
  const SequenceResult r = buildSequence(p, request);
  ReceiverTestWaveform w;
  w.samples = impair::apply(r.sequence.waveform, sampleRate, r.sequence.bursts, s);
  // Marker 1 at every frame start, marker 2 over every burst, where they
  // are after a clock offset.
  const std::size_t n = w.samples.size();
  std::vector<double> m(2 * n, 0.0);
  for (const impair::Burst& b0 : r.sequence.bursts) {
    const impair::Burst b = impair::stretched(b0, s, n);
    if (b.begin < n) m[2 * b.begin] = 1;
    for (std::size_t i = b.begin; i < b.end; ++i) m[2 * i + 1] = 1;
  }
  w.waveform = Value::row(std::span<const std::complex<double>>(w.samples));
  w.markers = Value::matrix(n == 0 ? 0 : 2, n, std::move(m));
  w.settings = impair::describe(s);
  w.impairments = w.settings;
  w.frames = r.psdus.size();
  if (w.frames > 1)
    w.impairments =
        std::to_string(w.frames) + " frames" + (w.settings.empty() ? "" : "; " + w.settings);
  for (const impair::Burst& b0 : r.sequence.bursts)
    w.frameStarts.push_back(std::min(impair::stretched(b0, s, n).begin, n));
  w.psdus = r.psdus;
  return w;
}

}  // namespace dot11a
