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
#include "receiver_test_cli.hpp"

#include "dot11a/bits.hpp"
#include "dot11a/error.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_export.hpp"
#include "dot11a/generator_options.hpp"
#include "dot11a/library.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/parameters.hpp"
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

// The options as the library's named frame settings; texts stay texts, so
// the library reads them with the command line's rules and messages.
Value applyOptions(const Options& o) {
  std::vector<NamedOption> named;
  auto add = [&](const char* name, Value v) { named.push_back({name, std::move(v)}); };
  if (!o.params.empty()) add("params", o.params);
  if (o.rate) add("rate", *o.rate);
  if (o.modulation) add("modulation", *o.modulation);
  if (o.coding) add("coding", *o.coding);
  if (o.unframed) add("unframed", 1.0);
  if (o.length) add("length", *o.length);
  if (o.source) add("source", *o.source);
  if (o.macHeader) add("mac-header", *o.macHeader);
  if (o.fcs) add("fcs", *o.fcs);
  if (o.scramblerInit) add("scrambler-init", *o.scramblerInit);
  if (o.noScrambler) add("scrambler", 0.0);
  if (o.noInterleaver) add("interleaver", 0.0);
  if (o.service) add("service", *o.service);
  if (o.oversampling) add("oversampling", *o.oversampling);
  if (o.window) add("window", *o.window);
  if (o.idleUs) add("idle-us", *o.idleUs);
  if (o.mirror) add("mirror", 1.0);
  if (o.mask) add("mask", *o.mask);
  return generatorParameters(named, OptionSpelling::CommandLine);
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
  const rx::Options o = rx::optionsFor(
      {f.sampleRate, f.dacPrecompensated, p.field("MACfcs").field("Active").toScalar() == 1,
       p.field("WindowingLength").toScalar(),
       static_cast<int>(std::max(1.0, p.field("OverSampling").toScalar()))});
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
  ImpairOptions impairOptions;
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
    const auto test = applyTestPreset(impairOptions, p, options.oversampling.has_value());
    // The parameter file needs no calculation; it is written first.
    // The file records where it was written as a full path, as the window does.
    if (!options.saveParams.empty())
      writeParameterFile(std::filesystem::absolute(options.saveParams).lexically_normal().string(),
                         p);
    gen::Frame frame = gen::generate(p);
    if (receiverTestWanted(impairOptions)) {
      ReceiverTestWaveform w =
          receiverTestWaveform(impairOptions, test, options.frequency, p, frame.sampleRate);
      cli::printReceiverTest(w, test);
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
