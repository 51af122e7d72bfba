// dot11a-gen's receiver-test options (see impair_cli.hpp).
#include "impair_cli.hpp"

#include <array>
#include <cmath>
#include <cstdio>

#include "dot11a/error.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/siggen_settings.hpp"

namespace dot11a::cli {

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

}  // namespace

void addImpairOptions(CLI::App& app, ImpairOptions& o) {
  const std::string s = "Frame sequence";
  app.add_option("--frames", o.frames, "Number of frames, 1 .. 100000")
      ->check(CLI::Range(1, 100000))
      ->group(s);
  app.add_option("--gap-us", o.gap, "Gap between frames: microseconds 0 .. 10000, SIFS or DIFS")
      ->group(s);
  app.add_flag("--seed-step", o.seedStep, "Step the scrambler seed 1 .. 127 from frame to frame")
      ->group(s);
  app.add_option("--sequence", o.sequenceFile,
                 "JSON file of per-frame rate, length and source: {\"frames\": [{...}, ...]}")
      ->group(s);
  const std::string g = "Impairments (applied in this order)";
  app.add_option("--pa", o.pa, "Amplifier: rapp:P,BACKOFF_DB or clip:BACKOFF_DB")->group(g);
  app.add_option("--iq-imbalance", o.iq, "IQ imbalance GAIN_DB,PHASE_DEG")->group(g);
  app.add_option("--dc", o.dc, "Carrier leakage in dBc, -80 .. 0")->group(g);
  app.add_option("--phase-noise", o.phaseNoise, "Phase noise DEG_RMS[,CORNER_HZ]")->group(g);
  app.add_option("--channel", o.channel, "Multipath exp:RMS_NS[,rician:K_DB]")->group(g);
  app.add_option("--cfo", o.cfo, "Carrier frequency offset in Hz")->group(g);
  app.add_option("--cfo-ppm", o.cfoPpm, "Carrier frequency offset in ppm of --frequency")->group(g);
  app.add_option("--clock-ppm", o.clockPpm, "Sampling clock offset in ppm, -1000 .. 1000")
      ->group(g);
  app.add_option("--snr", o.snr, "White noise for this SNR in dB in the occupied band")->group(g);
  app.add_option("--interferer", o.interferer,
                 "Unsynchronised 802.11a signal at OFFSET_MHZ,LEVEL_DB from the wanted one")
      ->group(g);
  app.add_option("--seed", o.seed, "Seed of every random draw above (0 .. 2^64-1, default 1)")
      ->group(g);
  app.add_option("--test", o.test,
                 "Receiver test preset: sensitivity | acr | alt-acr (1000-octet PSDUs)")
      ->group(g);
}

bool receiverTestWanted(const ImpairOptions& o) {
  return o.frames || o.gap || o.seedStep || !o.sequenceFile.empty() || o.pa || o.iq || o.dc ||
         o.phaseNoise || o.channel || o.cfo || o.cfoPpm || o.clockPpm || o.snr || o.interferer ||
         o.test;
}

std::optional<ReceiverTest> applyTestPreset(const ImpairOptions& o, Value& p,
                                            bool oversamplingGiven) {
  if (!o.test) return std::nullopt;
  if (*o.test != "sensitivity" && *o.test != "acr" && *o.test != "alt-acr")
    raise("--test must be sensitivity, acr or alt-acr, not \"" + *o.test + "\".");
  const double mbps =
      dataRateFor(p.field("modulation").toScalar(), p.field("encoderRate").toScalar());
  const Table91Row* row = nullptr;
  for (const Table91Row& r : kTable91)
    if (r.mbps == mbps) row = &r;
  if (row == nullptr) raise("--test needs one of the standard data rates (--rate).");
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
      raise("--test " + t.name + " needs a sample rate of at least " +
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
      const auto v = numbers(t.substr(5), 2, false, "--pa", "rapp:P,BACKOFF_DB or clip:BACKOFF_DB");
      a.model = impair::Amplifier::Model::Rapp;
      a.smoothness = v[0];
      a.backoffDb = v[1];
    } else if (t.rfind("clip:", 0) == 0) {
      a.model = impair::Amplifier::Model::Clip;
      a.backoffDb = one(t.substr(5), "--pa", "rapp:P,BACKOFF_DB or clip:BACKOFF_DB");
    } else {
      raise("--pa takes rapp:P,BACKOFF_DB or clip:BACKOFF_DB, not \"" + t + "\".");
    }
    s.amplifier = a;
  }
  if (o.iq) {
    const auto v = numbers(*o.iq, 2, false, "--iq-imbalance", "GAIN_DB,PHASE_DEG");
    s.iq = impair::IqImbalance{v[0], v[1]};
  }
  if (o.dc) s.dcDbc = one(*o.dc, "--dc", "a level in dBc");
  if (o.phaseNoise) {
    const auto v = numbers(*o.phaseNoise, 2, true, "--phase-noise", "DEG_RMS[,CORNER_HZ]");
    impair::PhaseNoise pn;
    pn.rmsDeg = v[0];
    if (v.size() > 1) pn.cornerHz = v[1];
    s.phaseNoise = pn;
  }
  if (o.channel) {
    const std::string& t = *o.channel;
    const std::string form = "exp:RMS_NS or exp:RMS_NS,rician:K_DB";
    if (t.rfind("exp:", 0) != 0) raise("--channel takes " + form + ", not \"" + t + "\".");
    impair::Channel c;
    const std::size_t comma = t.find(',');
    c.rmsDelayNs = one(t.substr(4, comma == std::string::npos ? std::string::npos : comma - 4),
                       "--channel", form);
    if (comma != std::string::npos) {
      const std::string k = t.substr(comma + 1);
      if (k.rfind("rician:", 0) != 0) raise("--channel takes " + form + ", not \"" + t + "\".");
      c.ricianKDb = one(k.substr(7), "--channel", form);
    }
    s.channel = c;
  }
  if (o.cfo && o.cfoPpm) raise("--cfo and --cfo-ppm both give the carrier offset: choose one.");
  if (o.cfo) s.cfoHz = one(*o.cfo, "--cfo", "a frequency offset in Hz");
  if (o.cfoPpm) {
    if (!frequency) raise("--cfo-ppm needs the carrier --frequency to turn ppm into Hz.");
    s.cfoHz = one(*o.cfoPpm, "--cfo-ppm", "an offset in ppm") * 1e-6 * *frequency;
  }
  if (o.clockPpm) s.clockPpm = one(*o.clockPpm, "--clock-ppm", "an offset in ppm");
  if (o.snr) s.snrDb = one(*o.snr, "--snr", "an SNR in dB");
  if (test && test->interferer) {
    if (o.interferer)
      raise("--test " + test->name + " sets the interferer: leave out --interferer.");
    s.interferer = test->interferer;
  }
  if (o.interferer) {
    const auto v = numbers(*o.interferer, 2, false, "--interferer", "OFFSET_MHZ,LEVEL_DB");
    s.interferer = impair::Interferer{v[0] * 1e6, v[1]};
  }
  if (o.seed) {
    const std::string& t = *o.seed;
    if (t.empty() || t.size() > 20 || t.find_first_not_of("0123456789") != std::string::npos)
      raise("--seed takes a whole number from 0 to 18446744073709551615, not \"" + t + "\".");
    try {
      s.seed = std::stoull(t);
    } catch (const std::exception&) {
      raise("--seed takes a whole number from 0 to 18446744073709551615, not \"" + t + "\".");
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
  if (o.gap) r.gapUs = impair::gapMicroseconds(*o.gap);
  if (!r.file.empty()) r.frames = readSequenceFile(r.file).size();
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
  impair::validate(s, sampleRate);  // before any frame is made
  const SequenceResult r = buildSequence(p, sequenceRequest(o, test, impair::kMemoryM32Samples));
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
  const std::string text = impair::describe(s);
  w.impairments = text;
  w.frames = r.psdus.size();
  if (r.psdus.size() > 1) {
    w.impairments = std::to_string(r.psdus.size()) + " frames" + (text.empty() ? "" : "; " + text);
    std::printf("sequence:      %zu frames\n", r.psdus.size());
  }
  if (!text.empty()) std::printf("impairments:   %s\n", text.c_str());
  if (test)
    std::printf(
        "receiver test: %s at %g Mbit/s: set the instrument power (--power) to %g dBm at the "
        "receiver input%s\n",
        test->name.c_str(), test->rateMbps, test->wantedDbm,
        test->interferer ? "; the interferer's level is relative to it" : "");
  return w;
}

}  // namespace dot11a::cli
