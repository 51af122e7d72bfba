// The frame job of dot11a-gen's options and the Python keywords (see
// job_options.hpp).
#include "dot11a/job_options.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/payload.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/siggen_settings.hpp"

namespace dot11a {

std::string optionName(std::string_view name, OptionSpelling spelling) {
  std::string out(name);
  if (spelling == OptionSpelling::CommandLine) return "--" + out;
  std::replace(out.begin(), out.end(), '-', '_');
  return out;
}

namespace {

std::string shown(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// A whole number from lo to hi, or the error naming the option and the range.
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

FrameParameters startingFrame(const JobOptions& o, const std::string& option) {
  if (o.params.empty()) return {};
  const std::string& path = o.params;
  if (!std::filesystem::exists(path)) raise(option + ": " + path + " not found.");
  const ParameterFileRead read = readParameterFile(path, kParameterFileFormatId);
  if (!read.parameters) raise(read.readError ? read.problem : path + " " + read.problem);
  const std::string problem = parameterSetProblem(*read.parameters, defaultParameters());
  if (!problem.empty()) raise(path + " has an Invalid File Structure. (" + problem + ".)");
  return fromRecord(*read.parameters);
}

void applySource(FrameParameters& f, const std::string& source, const std::string& option) {
  if (payloadSourceFromName(source, f.source)) return;
  const FileBits bits = readPayloadFile(source, kMaxPsduBits, false);
  if (!bits.ok) raise(option + ": " + bits.error);
  if (bits.bits.empty()) raise(option + ": " + source + " is empty.");
  f.source = PayloadSource::UserFile;
  f.sourceName = source;
  f.sourceBits = bits.bits;
  f.dataLength = static_cast<int>(bits.bits.size() / 8);
}

// Sub-carriers -26 .. 26: 53 values of 0 and 1; the centre one stays off.
std::array<std::uint8_t, 53> maskOf(const std::vector<double>& m, const std::string& name) {
  if (m.size() != 53 || std::any_of(m.begin(), m.end(), [](double x) { return x != 0 && x != 1; }))
    raise(name + " must be 53 values of 0 and 1, sub-carriers -26 to 26, not " +
          std::to_string(m.size()) + " values.");
  std::array<std::uint8_t, 53> out{};
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = m[i] != 0 ? 1 : 0;
  out[26] = 0;  // the centre sub-carrier carries nothing
  return out;
}

FrameParameters frameOf(const JobOptions& o, OptionSpelling spelling) {
  const auto name = [&](std::string_view n) { return optionName(n, spelling); };
  FrameParameters f = startingFrame(o, name("params"));
  if (o.channelSpacingMHz) {
    // The keyword takes Hz (10e6), the command line MHz (10).
    const bool hz = spelling == OptionSpelling::Keyword;
    if (!channelSpacingOfMHz(*o.channelSpacingMHz, f.spacing))
      raise(name("channel-spacing") +
            (hz ? " must be 20e6, 10e6 or 5e6 (Hz), not " : " must be 20, 10 or 5 (MHz), not ") +
            shown(*o.channelSpacingMHz * (hz ? 1e6 : 1)) + ".");
  }
  if (o.rate) {
    // The rate at the frame's spacing: 27 Mbit/s at 10 MHz is the 54 Mbit/s entry.
    const double factor = clockFactor(f.spacing);
    const RateEntry* r = rateByMbps(*o.rate / factor);
    if (r == nullptr) {
      std::string rates;
      for (const RateEntry& e : kRateTable)
        rates += (rates.empty() ? "" : ", ") + shown(e.mbps * factor);
      const std::string at =
          f.spacing == ChannelSpacing::MHz20
              ? ""
              : " at " + std::to_string(spacingMHz(f.spacing)) + " MHz channel spacing";
      raise(name("rate") + " must be one of " + rates + at + ", not " + shown(*o.rate) + ".");
    }
    f.modulation = r->modulation;
    f.coding = r->coding;
  }
  if (o.modulation) {
    static constexpr std::array<std::string_view, 4> kMods = {"bpsk", "qpsk", "16qam", "64qam"};
    const auto it = std::find(kMods.begin(), kMods.end(), *o.modulation);
    if (it == kMods.end()) raise(name("modulation") + " must be bpsk, qpsk, 16qam or 64qam.");
    f.modulation = static_cast<Modulation>(it - kMods.begin() + 1);
  }
  if (o.coding) {
    const auto it =
        std::find_if(kCodingRates.begin(), kCodingRates.end(), [&](const CodingRate& r) {
          return (r.den == 1 ? std::string_view("1") : codingRateText(r.value())) == *o.coding;
        });
    if (it == kCodingRates.end()) raise(name("coding") + " must be 1/2, 2/3, 3/4 or 1.");
    f.coding = *it;
  }
  if (o.unframed) f.framed = false;
  if (o.macHeader) f.macHeaderActive = *o.macHeader;
  if (o.fcs) f.fcs = *o.fcs;
  if (o.source) applySource(f, *o.source, name("source"));
  const bool userFile = f.source == PayloadSource::UserFile;
  if (o.length) {
    if (userFile)
      raise(name("length") + " cannot be combined with a payload file; its size sets the length.");
    f.dataLength = static_cast<int>(
        inRange(*o.length, parameterBound("dataLength").lo, f.dataLengthLimit(), name("length")));
  }
  if (userFile && f.dataLength > f.dataLengthLimit())
    raise("The payload file is longer than " + std::to_string(f.dataLengthLimit()) +
          " octets, the most the frame can carry with this header and FCS.");
  // Seed 0 leaves the frame unscrambled, as a parameter file may ask too.
  if (o.scramblerInit)
    f.scramblerInit =
        static_cast<unsigned>(inBounds(*o.scramblerInit, "scramblerInit", name("scrambler-init")));
  if (o.scrambler) f.scrambler = *o.scrambler;
  if (o.interleaver) f.interleaver = *o.interleaver;
  if (o.service)
    f.service = static_cast<unsigned>(inBounds(*o.service, "serviceField", name("service")));
  if (o.oversampling) {
    // The idle interval keeps its duration unless it is given too.
    const int old = f.oversampling;
    f.oversampling =
        static_cast<int>(inBounds(*o.oversampling, "OverSampling", name("oversampling")));
    if (!o.idleUs)
      f.idleSamples = std::llround(static_cast<double>(f.idleSamples) * f.oversampling / old);
  }
  if (o.window)
    f.windowLength = static_cast<int>(inBounds(*o.window, "WindowingLength", name("window")));
  if (o.idleUs) {
    const ParameterBound& idle = idleIntervalBound();
    if (!std::isfinite(*o.idleUs) || !withinBounds(idle, *o.idleUs))
      raise(name("idle-us") + " must be from " + rangeText(idle) + ", not " + shown(*o.idleUs) +
            ".");
    f.idleSamples = std::llround(*o.idleUs * samplesPerMicrosecondOf(f.spacing) * f.oversampling);
  }
  if (o.mirror) f.mirror = true;
  if (o.mask) f.subCarriers = maskOf(*o.mask, name("mask"));
  return f;
}

// ---- the impairment options' forms ----------------------------------------------------

struct NumberForm {
  std::string_view name;
  std::string_view form;  // what the message says the option takes
  std::size_t count;
  bool lastOptional;
  void (*set)(JobOptions&, std::span<const double>);
};

constexpr std::array<NumberForm, 8> kNumberForms = {{
    {"iq-imbalance", "GAIN_DB,PHASE_DEG", 2, false,
     [](JobOptions& o, std::span<const double> v) {
       o.impairments.iq = impair::IqImbalance{v[0], v[1]};
     }},
    {"dc", "a level in dBc", 1, false,
     [](JobOptions& o, std::span<const double> v) { o.impairments.dcDbc = v[0]; }},
    {"phase-noise", "DEG_RMS[,CORNER_HZ]", 2, true,
     [](JobOptions& o, std::span<const double> v) {
       impair::PhaseNoise pn;
       pn.rmsDeg = v[0];
       if (v.size() > 1) pn.cornerHz = v[1];
       o.impairments.phaseNoise = pn;
     }},
    {"cfo", "a frequency offset in Hz", 1, false,
     [](JobOptions& o, std::span<const double> v) { o.impairments.cfoHz = v[0]; }},
    {"cfo-ppm", "an offset in ppm", 1, false,
     [](JobOptions& o, std::span<const double> v) { o.cfoPpm = v[0]; }},
    {"clock-ppm", "an offset in ppm", 1, false,
     [](JobOptions& o, std::span<const double> v) { o.impairments.clockPpm = v[0]; }},
    {"snr", "an SNR in dB", 1, false,
     [](JobOptions& o, std::span<const double> v) { o.impairments.snrDb = v[0]; }},
    {"interferer", "OFFSET_MHZ,LEVEL_DB", 2, false,
     [](JobOptions& o, std::span<const double> v) {
       o.impairments.interferer = impair::Interferer{v[0] * 1e6, v[1]};
     }},
}};

const NumberForm& numberForm(std::string_view name) {
  for (const NumberForm& f : kNumberForms)
    if (f.name == name) return f;
  raise("There is no impairment option \"" + std::string(name) + "\".");
}

[[noreturn]] void formError(std::string_view option, std::string_view form,
                            std::string_view given) {
  raise(std::string(option) + " takes " + std::string(form) + ", not \"" + std::string(given) +
        "\".");
}

// Comma-separated decimal numbers; any other text is refused with the form.
std::vector<double> numbersIn(std::string_view text, std::string_view option,
                              std::string_view form) {
  std::vector<double> v;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = text.find(',', at);
    const auto d = parseDecimal(
        text.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
    if (!d || !std::isfinite(*d)) formError(option, form, text);
    v.push_back(*d);
    if (comma == std::string_view::npos) break;
    at = comma + 1;
  }
  return v;
}

double one(std::string_view text, std::string_view option, std::string_view form) {
  const std::vector<double> v = numbersIn(text, option, form);
  if (v.size() != 1) formError(option, form, text);
  return v[0];
}

}  // namespace

void setImpairmentNumbers(JobOptions& o, std::string_view name, std::span<const double> values,
                          std::string_view given, OptionSpelling spelling) {
  const NumberForm& f = numberForm(name);
  const std::string option = optionName(name, spelling);
  const bool countOk = values.size() == f.count || (f.lastOptional && values.size() + 1 == f.count);
  if (!countOk ||
      std::any_of(values.begin(), values.end(), [](double x) { return !std::isfinite(x); }))
    formError(option, f.form, given);
  f.set(o, values);
}

void setImpairmentText(JobOptions& o, std::string_view name, std::string_view text,
                       OptionSpelling spelling) {
  const NumberForm& f = numberForm(name);
  setImpairmentNumbers(o, name, numbersIn(text, optionName(name, spelling), f.form), text,
                       spelling);
}

impair::Amplifier amplifierOf(std::string_view t, OptionSpelling spelling) {
  const std::string option = optionName("pa", spelling);
  constexpr std::string_view form = "rapp:P,BACKOFF_DB or clip:BACKOFF_DB";
  impair::Amplifier a;
  if (t.starts_with("rapp:")) {
    const std::vector<double> v = numbersIn(t.substr(5), option, form);
    if (v.size() != 2) formError(option, form, t.substr(5));
    a.model = impair::Amplifier::Model::Rapp;
    a.smoothness = v[0];
    a.backoffDb = v[1];
  } else if (t.starts_with("clip:")) {
    a.model = impair::Amplifier::Model::Clip;
    a.backoffDb = one(t.substr(5), option, form);
  } else {
    formError(option, form, t);
  }
  return a;
}

impair::Channel channelOf(std::string_view t, OptionSpelling spelling) {
  const std::string option = optionName("channel", spelling);
  constexpr std::string_view form = "exp:RMS_NS or exp:RMS_NS,rician:K_DB";
  if (!t.starts_with("exp:")) formError(option, form, t);
  impair::Channel c;
  const std::size_t comma = t.find(',');
  c.rmsDelayNs =
      one(t.substr(4, comma == std::string_view::npos ? std::string_view::npos : comma - 4), option,
          form);
  if (comma != std::string_view::npos) {
    const std::string_view k = t.substr(comma + 1);
    if (!k.starts_with("rician:")) formError(option, form, t);
    c.ricianKDb = one(k.substr(7), option, form);
  }
  return c;
}

OptionsJob jobOf(const JobOptions& o, OptionSpelling spelling) {
  const auto name = [&](std::string_view n) { return optionName(n, spelling); };
  OptionsJob out;
  FrameJob& job = out.job;
  job.frame = frameOf(o, spelling);

  impair::Settings& s = job.impairments;
  s = o.impairments;
  if (s.cfoHz && o.cfoPpm)
    raise(name("cfo") + " and " + name("cfo-ppm") + " both give the carrier offset: choose one.");
  if (o.cfoPpm) {
    if (!o.frequency)
      raise(name("cfo-ppm") + " needs the carrier " + name("frequency") + " to turn ppm into Hz.");
    s.cfoHz = *o.cfoPpm * 1e-6 * *o.frequency;
  }

  SequenceSettings& q = job.sequence;
  q.seedStep = o.seedStep;
  q.file = o.sequenceFile;
  if (o.gap) q.gap = *o.gap;
  if (!q.file.empty()) q.frames = readSequenceFile(q.file, name("sequence")).size();
  std::optional<std::size_t> frames;
  if (o.frames)
    frames = checkedInteger<std::size_t>(*o.frames, name("frames"), 1, kMaxSequenceFrames);
  if (o.test) {
    // A preset's frames are countable: header, FCS and a PN payload.
    const bool pn = o.source && (*o.source == "pn9" || *o.source == "pn15");
    if ((o.source && !pn) || o.macHeader == false || o.fcs == false)
      raise(name("test") +
            " makes countable frames (MAC header, PN9 or PN15 payload, FCS): leave "
            "out " +
            name("source") + ", " + name("mac-header") + " and " + name("fcs") + ".");
    ReceiverTestRequest r;
    r.name = *o.test;
    r.frames = frames;
    r.oversamplingGiven = o.oversampling.has_value();
    r.gapGiven = o.gap.has_value();
    r.testOption = name("test");
    r.rateOption = name("rate");
    r.interfererOption = name("interferer");
    out.test = applyReceiverTest(job, r);
    out.choice = ReceiverTestChoice{r.name, r.frames};
  } else if (frames) {
    q.frames = *frames;
  }

  job.generator = defaultSigGenSettings(job.frame.oversampling);
  job.generator.samplingRate = job.frame.sampleRate();
  if (o.frequency) {
    job.generator.frequency = *o.frequency;
    job.carrierKnown = true;
  }
  return out;
}

}  // namespace dot11a
