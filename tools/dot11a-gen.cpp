// dot11a-gen: makes one 802.11a frame from the application's parameter set
// (the defaults, or a saved parameter file) changed by options, prints a short
// summary and writes it in the format the output file's extension names.
//
// Layout for later additions: defineOptions() declares every option,
// applyOptions() turns them into the parameter set (with the main window's
// bounds), writeOutputs() writes files. Further output steps (a download to an
// instrument) go after writeOutputs() in main().
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "download_cli.hpp"
#include "impair_cli.hpp"

#include "dot11a/bits.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_export.hpp"
#include "dot11a/library.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/payload.hpp"
#include "dot11a/size_estimate.hpp"
#include "dot11a/verify_report.hpp"

namespace dot11a::gen {

struct Options {
  std::string params;  // parameter file to start from
  std::optional<double> rate;
  std::optional<std::string> modulation;
  std::optional<std::string> coding;
  bool unframed = false;
  std::optional<double> length;
  std::optional<std::string> source;
  std::optional<std::string> macHeader;  // on|off
  std::optional<std::string> fcs;        // on|off
  std::optional<std::string> scramblerInit;
  bool noScrambler = false;
  bool noInterleaver = false;
  std::optional<std::string> service;
  std::optional<double> oversampling;
  std::optional<double> window;
  std::optional<double> idleUs;
  bool mirror = false;
  std::optional<std::string> mask;
  std::optional<double> frequency;  // carrier frequency for SigMF
  std::string output;
  std::string saveParams;
  bool verify = false;
};

void defineOptions(CLI::App& app, Options& o) {
  // Numbers are checked as texts before CLI11 converts them, so a malformed
  // number is reported with the values the option accepts.
  app.add_option("--params", o.params,
                 "Start from this parameter file (.mat) instead of the defaults");
  app.add_option("--rate", o.rate, "Data rate in Mbit/s: 6 9 12 18 24 36 48 54")
      ->check(cli::number("one of 6, 9, 12, 18, 24, 36, 48, 54"));
  app.add_option("--modulation", o.modulation, "bpsk | qpsk | 16qam | 64qam");
  app.add_option("--coding", o.coding, "Coding rate: 1/2 | 2/3 | 3/4 | 1 (uncoded)");
  app.add_flag("--unframed", o.unframed, "DATA symbols only, no preamble and SIGNAL");
  app.add_option("--length", o.length, "Payload length in octets (1 .. 4095 less header and FCS)")
      ->check(cli::number("a whole number from 1 to 4095 less header and FCS"));
  app.add_option("--source", o.source, "zeros | ones | alt01 | alt10 | pn9 | pn15 | FILE");
  app.add_option("--mac-header", o.macHeader, "on | off: the MAC header in front of the payload");
  app.add_option("--fcs", o.fcs, "on | off: the frame check sequence behind the payload");
  app.add_option("--scrambler-init", o.scramblerInit,
                 "Scrambler seed 1 .. 7F: hexadecimal (5A, 0x5D) or decimal with a d suffix "
                 "(93d); a trailing d always means decimal");
  app.add_flag("--no-scrambler", o.noScrambler, "Switch the scrambler off");
  app.add_flag("--no-interleaver", o.noInterleaver, "Switch the interleaver off");
  app.add_option("--service", o.service, "SERVICE field 0 .. FFFF (hex)");
  app.add_option("--oversampling", o.oversampling,
                 "Oversampling ratio 1 .. 4 (20 MHz times the ratio)")
      ->check(cli::number("a whole number from 1 to 4"));
  app.add_option("--window", o.window, "Windowing length in samples 0 .. 16")
      ->check(cli::number("a whole number from 0 to 16"));
  app.add_option("--idle-us", o.idleUs, "Idle interval after the frame in microseconds 0 .. 1000")
      ->check(cli::number("a number from 0 to 1000"));
  app.add_flag("--mirror", o.mirror, "Mirror the spectrum (swap I and Q)");
  app.add_option("--mask", o.mask,
                 "Sub-carriers -26 .. 26 as 53 characters of 0 and 1 (the centre one stays 0)");
  app.add_option(
      "-o,--output", o.output,
      "Write the frame: .mat (samples), .bin (16-bit), .sigmf-meta/.sigmf-data, .pcap (PSDU)");
  app.add_option("--save-params", o.saveParams, "Write the parameter set to this parameter file");
  app.add_flag("--verify", o.verify,
               "Decode and measure the frame with the built-in receiver (as dot11a-verify)");
}

[[noreturn]] void bad(const std::string& what) {
  raise(what);
}

// A file option given with an empty name is a mistake, not "no file".
void refuseEmptyFileNames(const CLI::App& app, const Options& o) {
  const std::pair<const char*, const std::string*> named[] = {
      {"--params", &o.params}, {"-o", &o.output}, {"--save-params", &o.saveParams}};
  for (const auto& [name, value] : named)
    if (app.get_option(name)->count() > 0 && value->empty())
      bad(std::string(name) + ": the file name is empty.");
}

std::string shown(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

double inRange(double v, double lo, double hi, const std::string& name) {
  if (!std::isfinite(v) || v < lo || v > hi || v != std::floor(v))
    bad(name + " must be a whole number from " + shown(lo) + " to " + shown(hi) + ", not " +
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
    bad(message.substr(0, message.size() - 1) + ", not \"" + s + "\".");
  const double v = static_cast<double>(std::stoul(s, nullptr, 16));
  if (!withinBounds(b, v)) bad(message.substr(0, message.size() - 1) + ", not \"" + s + "\".");
  return v;
}

// The scrambler seed: hexadecimal (with or without 0x), or decimal with a d
// suffix ("93d"); the seed 0 would scramble nothing and is refused.
double parseSeed(const std::string& text) {
  const ParameterBound& b = parameterBound("scramblerInit");
  char hiText[16];
  std::snprintf(hiText, sizeof hiText, "%X", checkedInteger<unsigned>(b.hi, "The seed bound"));
  const std::string what = "--scrambler-init must be 1 to " + std::string(hiText) +
                           " in hexadecimal or 1d to " + shown(b.hi) + "d in decimal, not \"" +
                           text + "\".";
  const bool hexPrefix = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
  double v = 0;
  if (!hexPrefix && text.size() >= 2 && (text.back() == 'd' || text.back() == 'D')) {
    const std::string digits = text.substr(0, text.size() - 1);
    if (digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos) bad(what);
    v = std::stod(digits);
  } else {
    std::string digits = hexPrefix ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 2 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      bad(what);
    v = static_cast<double>(std::stoul(digits, nullptr, 16));
  }
  if (v < 1 || !withinBounds(b, v)) bad(what);
  return v;
}

bool onOff(const std::string& s, const std::string& name) {
  if (s == "on" || s == "1") return true;
  if (s == "off" || s == "0") return false;
  bad(name + " must be on or off.");
}

Value startingParameters(const Options& o) {
  if (o.params.empty()) return defaultParameters();
  if (!std::filesystem::exists(o.params)) bad("--params: " + o.params + " not found.");
  const ParameterFileRead read = readParameterFile(o.params, kParameterFileFormatId);
  if (!read.parameters) bad(read.readError ? read.problem : o.params + " " + read.problem);
  const std::string problem = parameterSetProblem(*read.parameters, defaultParameters());
  if (!problem.empty()) bad(o.params + " has an Invalid File Structure. (" + problem + ".)");
  return *read.parameters;
}

// The parameter set the options describe, checked with the main window's bounds.
Value applyOptions(const Options& o) {
  Value p = startingParameters(o);
  if (o.rate) {
    const RateEntry* r = rateByMbps(*o.rate);
    if (r == nullptr)
      bad("--rate must be one of 6, 9, 12, 18, 24, 36, 48, 54, not " + shown(*o.rate) + ".");
    p.setField("modulation", static_cast<double>(r->modulation));
    p.setField("encoderRate", r->coding.value());
  }
  if (o.modulation) {
    const std::vector<std::string> names = {"bpsk", "qpsk", "16qam", "64qam"};
    auto it = std::find(names.begin(), names.end(), *o.modulation);
    if (it == names.end()) bad("--modulation must be bpsk, qpsk, 16qam or 64qam.");
    p.setField("modulation", static_cast<double>(it - names.begin() + 1));
  }
  if (o.coding) {
    auto it = std::find_if(kCodingRates.begin(), kCodingRates.end(), [&](const CodingRate& r) {
      const std::string text = r.den == 1 ? "1" : std::string(codingRateText(r.value()));
      return text == *o.coding;
    });
    if (it == kCodingRates.end()) bad("--coding must be 1/2, 2/3, 3/4 or 1.");
    p.setField("encoderRate", it->value());
  }
  if (o.unframed) p.setField("generationMode", 0.0);
  if (o.macHeader)
    p.field("MACheader").setField("Active", onOff(*o.macHeader, "--mac-header") ? 1.0 : 0.0);
  if (o.fcs) p.field("MACfcs").setField("Active", onOff(*o.fcs, "--fcs") ? 1.0 : 0.0);
  if (o.source) {
    const std::vector<std::string> names = {"zeros", "ones", "alt01", "alt10", "pn9", "pn15"};
    auto it = std::find(names.begin(), names.end(), *o.source);
    if (it != names.end()) {
      p.setField("dataSourceType", static_cast<double>(it - names.begin() + 1));
    } else {
      const FileBits bits = readPayloadFile(*o.source, 8 * kMaxPsduOctets, false);
      if (!bits.ok) bad("--source: " + bits.error);
      if (bits.bits.empty()) bad("--source: " + *o.source + " is empty.");
      p.setField("dataSourceType", 7.0);
      p.setField("dataSourceName", Value(*o.source));
      p.setField("dataSourceBitstream", Value::bits(bits.bits));
      p.setField("dataLength", static_cast<double>(bits.bits.size() / 8));
    }
  }
  if (o.length) {
    if (p.field("dataSourceType").toScalar() == 7)
      bad("--length cannot be combined with a payload file; its size sets the length.");
    const double limit = dataLengthLimit(p);
    inRange(*o.length, parameterBound("dataLength").lo, limit, "--length");
    p.setField("dataLength", *o.length);
  }
  if (p.field("dataSourceType").toScalar() == 7 &&
      p.field("dataLength").toScalar() > dataLengthLimit(p))
    bad("The payload file is longer than " + shown(dataLengthLimit(p)) +
        " octets, the most the frame can carry with this header and FCS.");
  if (o.scramblerInit) p.setField("scramblerInit", parseSeed(*o.scramblerInit));
  if (o.noScrambler) p.setField("scramblerActive", 0.0);
  if (o.noInterleaver) p.setField("interleaverActive", 0.0);
  if (o.service) p.setField("serviceField", parseHex(*o.service, "serviceField", "--service"));
  if (o.oversampling) {
    const double old = p.field("OverSampling").toScalar();
    const double ratio = inBounds(*o.oversampling, "OverSampling", "--oversampling");
    p.setField("OverSampling", ratio);
    if (!o.idleUs)
      p.setField("idleSamples", std::round(p.field("idleSamples").toScalar() * ratio / old));
  }
  if (o.window) p.setField("WindowingLength", inBounds(*o.window, "WindowingLength", "--window"));
  if (o.idleUs) {
    const ParameterBound& idle = idleIntervalBound();
    if (!std::isfinite(*o.idleUs) || !withinBounds(idle, *o.idleUs))
      bad("--idle-us must be from " + rangeText(idle) + ", not " + shown(*o.idleUs) + ".");
    p.setField("idleSamples",
               std::round(*o.idleUs * kSamplesPerMicrosecond * p.field("OverSampling").toScalar()));
  }
  if (o.mirror) p.setField("MirrorSpectrum", 1.0);
  if (o.mask) {
    if (o.mask->size() != 53 || o.mask->find_first_not_of("01") != std::string::npos)
      bad("--mask must be 53 characters of 0 and 1, sub-carriers -26 to 26.");
    std::vector<double> m;
    for (char ch : *o.mask) m.push_back(ch == '1' ? 1.0 : 0.0);
    m[26] = 0;  // the centre sub-carrier carries nothing
    p.setField("SubCarriers", Value::row(std::move(m)));
  }
  updateDerivedFields(p);
  return p;
}

// The calculated frame, and what was done to it after synthesis.
struct Frame : CalculatedFrame {
  std::string impairments;  // for SigMF
  std::size_t frames = 1;   // more in a sequence, each with its own PSDU
};

Frame generate(const Value& p) {
  return Frame{calculatedFrame(p), {}, 1};
}

SigmfInfo sigmfInfo(const Frame& f, const Options& o) {
  SigmfInfo info = sigmfInfoOf(f, o.frequency);
  info.impairments = f.impairments;
  return info;
}

void writeOutputs(const Options& o, const Frame& f) {
  if (o.output.empty()) return;
  const std::string& out = o.output;
  auto ends = [&](std::string_view ext) { return out.size() > ext.size() && out.ends_with(ext); };
  if (ends(".mat")) {
    writeSamplesContainer(out, f.samples, false, f.dacPrecompensated);
  } else if (ends(".bin")) {
    writeFileAtomically(out, zenfoldBytes(f.samples));
  } else if (ends(".sigmf-meta") || ends(".sigmf-data") || ends(".sigmf")) {
    writeSigmf(out, f.samples, sigmfInfo(f, o));
  } else if (ends(".pcap")) {
    writePcap(out, f.psdu, f.fcsActive, f.rateMbps);
  } else {
    bad("-o: the file name must end in .mat, .bin, .sigmf-meta, .sigmf-data or .pcap.");
  }
}

void printSummary(const Value& p, const Frame& f) {
  double peak = 0, power = 0;
  for (const auto& s : f.samples) {
    peak = std::max(peak, std::abs(s));
    power += std::norm(s);
  }
  const double rms =
      f.samples.empty() ? 0 : std::sqrt(power / static_cast<double>(f.samples.size()));
  std::printf("frame:         %s, PSDU %zu octets%s\n", f.rateText.c_str(), f.psdu.size(),
              p.field("generationMode").toScalar() == 1 ? "" : " (unframed)");
  std::printf("samples:       %zu at %.0f MHz\n", f.samples.size(), f.sampleRate / 1e6);
  std::printf("duration:      %.3f us\n",
              static_cast<double>(f.samples.size()) / f.sampleRate * 1e6);
  std::printf("DATA symbols:  %zu\n", f.layout.dataSymbols);
  std::printf("peak level:    %.6f\n", peak);
  std::printf("RMS level:     %.6f\n", rms);
  if (rms > 0)
    std::printf("crest factor:  %.2f dB\n", 20 * std::log10(peak / rms));
  else
    std::printf("crest factor:  - (no signal)\n");
}

// Decodes the frame just made and prints the receiver's verdict; 0 when it passes.
int verifyFrame(const Value& p, const Frame& f) {
  if (p.field("generationMode").toScalar() != 1)
    bad("--verify needs a framed waveform: the receiver synchronises on the preamble.");
  rx::Options o;
  o.sampleRate = f.sampleRate;
  o.dacDroop = f.dacPrecompensated;
  // The symbol window overlaps the start of each cyclic prefix: the FFT
  // starts behind it.
  const double overlap =
      p.field("WindowingLength").toScalar() / std::max(1.0, p.field("OverSampling").toScalar());
  o.fftBackoff = std::clamp(16.0 - overlap, 0.0, o.fftBackoff);
  o.fcs = p.field("MACfcs").field("Active").toScalar() == 1 ? rx::FcsCheck::On : rx::FcsCheck::Off;
  const rx::Result r = rx::receive(f.samples, o);
  // The frames of a sequence differ from the first: each is judged on its own.
  const rx::Verdict v = rx::verdictOf(r, f.frames > 1 ? std::nullopt : std::optional(f.psdu));
  std::printf("verify:\n");
  std::fflush(stdout);
  rx::printReport(std::cout, r, v);
  return v.pass ? 0 : 1;
}

}  // namespace dot11a::gen

int main(int argc, char** argv) {
  using namespace dot11a;
  CLI::App app{"dot11a-gen: writes an IEEE 802.11a OFDM test frame", "dot11a-gen"};
  gen::Options options;
  gen::defineOptions(app, options);
  cli::ImpairOptions impairOptions;
  cli::addImpairOptions(app, impairOptions);
  // --frequency is the instrument's carrier; it is also recorded in SigMF.
  cli::DownloadOptions download;
  cli::addDownloadOptions(app, download);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return cli::parseFailure(app, e, "dot11a-gen");
  }
  if (app.get_option("--frequency")->count() > 0) options.frequency = download.frequency;
  try {
    gen::refuseEmptyFileNames(app, options);
    LibrarySession library;
    Value p = gen::applyOptions(options);
    const auto test = cli::applyTestPreset(impairOptions, p, options.oversampling.has_value());
    // The parameter file needs no calculation; it is written first.
    // The file records where it was written as a full path, as the window does.
    if (!options.saveParams.empty())
      writeParameterFile(std::filesystem::absolute(options.saveParams).lexically_normal().string(),
                         p);
    gen::Frame frame = gen::generate(p);
    if (cli::receiverTestWanted(impairOptions)) {
      cli::ReceiverTestWaveform w =
          cli::receiverTestWaveform(impairOptions, test, options.frequency, p, frame.sampleRate);
      frame.samples = std::move(w.samples);
      frame.waveform = std::move(w.waveform);
      frame.markers = std::move(w.markers);
      frame.impairments = std::move(w.impairments);
      frame.frames = w.frames;
    }
    gen::writeOutputs(options, frame);
    gen::printSummary(p, frame);
    if (options.verify && gen::verifyFrame(p, frame) != 0) return 1;
    return cli::runDownload(download, frame.waveform, frame.markers,
                            p.field("OverSampling").toScalar());
  } catch (const std::exception& e) {
    std::cerr << "dot11a-gen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
