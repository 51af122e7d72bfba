// dot11a-gen: makes an 802.11a frame (or a sequence of frames with
// impairments) from the application's parameter set (the defaults, or a saved
// parameter file) changed by options, prints a short summary and writes it in
// the format the output file's extension names.
//
// The options bind into the typed JobOptions (CLI11 converts the numbers; the
// texts of the compound forms are read right after), jobOf() makes the frame
// job, make() the waveform, and the library's writers write it.
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
#include "dot11a/frame_record.hpp"
#include "dot11a/job_options.hpp"
#include "dot11a/levels.hpp"
#include "dot11a/library.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/verify_report.hpp"
#include "dot11a/waveform.hpp"

namespace dot11a::gen {

// What the command line gives as text: read into JobOptions after parsing.
struct Texts {
  std::optional<std::string> scramblerInit;  // hexadecimal, or decimal with a d suffix
  std::optional<std::string> service;        // hexadecimal
  std::optional<std::string> mask;           // 53 characters of 0 and 1
  bool noScrambler = false;
  bool noInterleaver = false;
  std::string output;
  std::string saveParams;
  std::string mat = "samples";  // the MAT container of -o NAME.mat
  bool verify = false;
};

void defineOptions(CLI::App& app, JobOptions& o, Texts& t) {
  const std::map<std::string, bool> onOff = {
      {"on", true}, {"off", false}, {"1", true}, {"0", false}};
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
  app.add_option("--mac-header", o.macHeader, "on | off: the MAC header in front of the payload")
      ->transform(CLI::CheckedTransformer(onOff));
  app.add_option("--fcs", o.fcs, "on | off: the frame check sequence behind the payload")
      ->transform(CLI::CheckedTransformer(onOff));
  app.add_option("--scrambler-init", t.scramblerInit,
                 "Scrambler seed 0 .. 7F: hexadecimal (5A, 0x5D) or decimal with a d suffix "
                 "(93d); a trailing d always means decimal; 0 leaves the frame unscrambled");
  app.add_flag("--no-scrambler", t.noScrambler, "Switch the scrambler off");
  app.add_flag("--no-interleaver", t.noInterleaver, "Switch the interleaver off");
  app.add_option("--service", t.service, "SERVICE field 0 .. FFFF (hex)");
  app.add_option("--channel-spacing", o.channelSpacingMHz,
                 "Channel spacing in MHz: 20, 10 or 5 (the same samples at a half or a quarter "
                 "of the clock)")
      ->check(cli::number("20, 10 or 5"));
  app.add_option("--oversampling", o.oversampling,
                 "Oversampling ratio 1 .. 4 (the channel spacing times the ratio)")
      ->check(cli::number("a whole number from 1 to 4"));
  app.add_option("--window", o.window, "Windowing length in samples 0 .. 16")
      ->check(cli::number("a whole number from 0 to 16"));
  app.add_option("--idle-us", o.idleUs,
                 "Idle interval after the frame in microseconds 0 .. 1000 (or with a unit: 0.1ms)")
      ->transform(cli::measure(dot11a::Quantity::Time, 1e-6))
      ->check(cli::number("a number from 0 to 1000"));
  app.add_flag("--mirror", o.mirror, "Mirror the spectrum (swap I and Q)");
  app.add_option("--mask", t.mask,
                 "Sub-carriers -26 .. 26 as 53 characters of 0 and 1 (the centre one stays 0)");
  app.add_option("-o,--output", t.output,
                 "Write the waveform: .mat (see --mat), .bin (16-bit), .sigmf-meta/.sigmf-data, "
                 ".pcap (the PSDU of every frame)");
  app.add_option("--mat", t.mat,
                 "The MAT container of -o NAME.mat: samples (the complex column \"samples\") or "
                 "wave (\"samplePoints\", \"sampleRate\" and the I and Q rows \"wave\", as the "
                 "application's export writes it)")
      ->check(CLI::IsMember({"samples", "wave"}));
  app.add_option("--save-params", t.saveParams,
                 "Write the parameter file: the frame, the generator settings (--frequency, "
                 "--power, ...) and the sequence and impairments");
  app.add_flag("--verify", t.verify,
               "Decode and measure the frame with the built-in receiver (as dot11a-verify)");
}

// A file option given with an empty name is a mistake, not "no file".
void refuseEmptyFileNames(const CLI::App& app, const JobOptions& o, const Texts& t) {
  const std::pair<const char*, const std::string*> named[] = {{"--params", &o.params},
                                                              {"-o", &t.output},
                                                              {"--save-params", &t.saveParams},
                                                              {"--sequence", &o.sequenceFile}};
  for (const auto& [name, value] : named)
    if (app.get_option(name)->count() > 0 && value->empty())
      raise(std::string(name) + ": the file name is empty.");
}

std::string hexDigits(std::string s) {
  if (s.rfind("0x", 0) == 0 || s.rfind("0X", 0) == 0) s = s.substr(2);
  return s;
}

// The scrambler seed: hexadecimal (with or without 0x), or decimal with a d
// suffix ("93d"); the seed 0 leaves the frame unscrambled.
double seedOf(const std::string& text) {
  const double hi = parameterBound("scramblerInit").hi;
  char hiText[16];
  std::snprintf(hiText, sizeof hiText, "%X", static_cast<unsigned>(hi));
  char hiDecimal[16];
  std::snprintf(hiDecimal, sizeof hiDecimal, "%.0f", hi);
  const std::string what = "--scrambler-init must be 0 to " + std::string(hiText) +
                           " in hexadecimal or 0d to " + hiDecimal + "d in decimal, not \"" + text +
                           "\".";
  const bool hexPrefix = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
  double v = 0;
  if (!hexPrefix && text.size() >= 2 && (text.back() == 'd' || text.back() == 'D')) {
    const std::string digits = text.substr(0, text.size() - 1);
    if (digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos)
      raise(what);
    v = std::stod(digits);
  } else {
    const std::string digits = hexDigits(text);
    if (digits.empty() || digits.size() > 2 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      raise(what);
    v = static_cast<double>(std::stoul(digits, nullptr, 16));
  }
  if (v > hi) raise(what);
  return v;
}

// The SERVICE field in hexadecimal, as the main window takes it.
double serviceOf(const std::string& text) {
  const ParameterBound& b = parameterBound("serviceField");
  const std::string s = hexDigits(text);
  const std::string what =
      "--service must be hexadecimal from " + rangeText(b) + ", not \"" + s + "\".";
  if (s.empty() || s.size() > 8 ||
      s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    raise(what);
  const double v = static_cast<double>(std::stoul(s, nullptr, 16));
  if (!withinBounds(b, v)) raise(what);
  return v;
}

// Sub-carriers -26 .. 26 as 53 characters of 0 and 1.
std::vector<double> maskOf(const std::string& s) {
  if (s.size() != 53 || s.find_first_not_of("01") != std::string::npos)
    raise("--mask must be 53 characters of 0 and 1, sub-carriers -26 to 26.");
  std::vector<double> m;
  for (char ch : s) m.push_back(ch == '1' ? 1.0 : 0.0);
  return m;
}

void readTexts(const Texts& t, JobOptions& o) {
  if (t.scramblerInit) o.scramblerInit = seedOf(*t.scramblerInit);
  if (t.noScrambler) o.scrambler = false;
  if (t.noInterleaver) o.interleaver = false;
  if (t.service) o.service = serviceOf(*t.service);
  if (t.mask) o.mask = maskOf(*t.mask);
}

void writeOutputs(const Texts& t, const FrameJob& job, const Waveform& w) {
  if (t.output.empty()) return;
  const std::optional<WaveformFormat> format = waveformFormatOf(t.output, *matContainerOf(t.mat));
  if (!format) raise("-o: the file name must end in " + std::string(kWaveformExtensions) + ".");
  WaveformFileOptions options;
  if (job.carrierKnown) options.carrier = job.generator.frequency;
  writeWaveform(t.output, *format, w, options);
}

void printSummary(const Waveform& w) {
  double peak = 0, power = 0;
  for (const auto& s : w.samples) {
    peak = std::max(peak, std::abs(s));
    power += std::norm(s);
  }
  const double rms =
      w.samples.empty() ? 0 : std::sqrt(power / static_cast<double>(w.samples.size()));
  const WaveformFrame& f = w.frames.front();
  std::printf("frame:         %s, PSDU %zu octets%s\n", f.rateText.c_str(), f.psdu.size(),
              w.framed ? "" : " (unframed)");
  std::printf("scrambler:     %s\n", w.scrambler.c_str());
  if (w.spacing != ChannelSpacing::MHz20)
    std::printf("channel:       %d MHz spacing\n", spacingMHz(w.spacing));
  std::printf("samples:       %zu at %.0f MHz\n", w.samples.size(), w.sampleRate / 1e6);
  std::printf("duration:      %.3f us\n",
              static_cast<double>(w.samples.size()) / w.sampleRate * 1e6);
  std::printf("DATA symbols:  %zu\n", f.layout.dataSymbols);
  std::printf("peak level:    %.6f\n", peak);
  std::printf("RMS level:     %.6f\n", rms);
  if (rms > 0)
    std::printf("crest factor:  %.2f dB\n", 20 * std::log10(peak / rms));
  else
    std::printf("crest factor:  - (no signal)\n");
}

// Decodes the waveform just made and prints the receiver's verdict; 0 when it passes.
int verifyFrame(const Waveform& w) {
  if (!w.framed)
    raise("--verify needs a framed waveform: the receiver synchronises on the preamble.");
  const rx::Result r = rx::receive(w.samples, rx::optionsFor(madeWith(w)));
  // The frames of a sequence differ from the first: each is judged on its own.
  const rx::Verdict v =
      rx::verdictOf(r, w.frames.size() > 1 ? std::nullopt : std::optional(w.frames.front().psdu));
  std::printf("verify:\n");
  std::fflush(stdout);
  rx::printReport(std::cout, r, v);
  return v.pass ? 0 : 1;
}

}  // namespace dot11a::gen

int main(int argc, char** argv) {
  using namespace dot11a;
  CLI::App app{"dot11a-gen: writes an IEEE 802.11a OFDM test frame", "dot11a-gen"};
  JobOptions options;
  gen::Texts texts;
  gen::defineOptions(app, options, texts);
  cli::ImpairTexts impairTexts;
  cli::addImpairOptions(app, options, impairTexts);
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
    gen::refuseEmptyFileNames(app, options, texts);
    gen::readTexts(texts, options);
    cli::readImpairTexts(impairTexts, options);
    LibrarySession library;
    OptionsJob made = jobOf(options, OptionSpelling::CommandLine);
    FrameJob& job = made.job;
    // The generator's clock is the frame's sample rate: at 10 and 5 MHz
    // spacing a half or a quarter of the 20 MHz clock of the same ratio.
    const double clockRatio = job.frame.sampleRate() / kBaseSampleRate;
    job.generator = cli::settingsFrom(download, clockRatio);
    // The parameter file needs no calculation; it is written first. The file
    // records where it was written as a full path, as the window does.
    if (!texts.saveParams.empty())
      writeJobFile(std::filesystem::absolute(texts.saveParams).lexically_normal().string(), job,
                   download.platform == "c" || download.platform == "C", made.choice);
    const Waveform w = make(job);
    if (job.receiverTest()) cli::printReceiverTest(job, w, made.test);
    gen::writeOutputs(texts, job, w);
    gen::printSummary(w);
    // What a receiver under test sees at the set level, as the window's
    // status line gives it.
    if (app.get_option("--power")->count() > 0) {
      const Levels l = levelsOf(w, job.generator.amplitude);
      if (l.valid)
        std::printf("levels:        %s at the set level %g dBm\n", levelsText(l).c_str(),
                    job.generator.amplitude);
    }
    if (texts.verify && gen::verifyFrame(w) != 0) return 1;
    if (download.address.empty()) return 0;
    const WaveformValues v = toValues(w);
    return cli::runDownload(download, v.waveform, v.markers, clockRatio);
  } catch (const std::exception& e) {
    std::cerr << "dot11a-gen: " << e.what() << "\n";
    return 1;
  }
}
