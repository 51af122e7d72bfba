// dot11a-verify: decodes every 802.11a frame of a capture with the library's
// receiver, measures it against the transmitter limits of the standard and
// prints a table (or JSON) and an overall PASS or FAIL. The exit status is 0
// only when every frame decodes and passes. Raw samples (a file of any length,
// or standard input) are decoded a chunk at a time; standard input prints
// each frame as it is decoded and a summary at its end or on Ctrl+C.
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "dot11a/capture.hpp"
#include "dot11a/error.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/sample_stream.hpp"
#include "dot11a/verify_report.hpp"
#include "verify_stream.hpp"

namespace {

std::vector<std::uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) dot11a::raise(path + " cannot be opened.");
  return {std::istreambuf_iterator<char>(in), {}};
}

// The expected PSDU: the first packet of a .pcap (behind its radio header), or
// the octets of any other file as they are.
std::vector<std::uint8_t> expectedPsdu(const std::string& path) {
  const std::vector<std::uint8_t> b = fileBytes(path);
  if (path.size() < 5 || path.substr(path.size() - 5) != ".pcap") return b;
  auto le = [&](std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
    return v;
  };
  if (b.size() < 24 + 16 || le(0, 4) != 0xA1B2C3D4u)
    dot11a::raise(path + " is not a little-endian pcap file.");
  const std::size_t captured = le(24 + 8, 4);
  if (captured > b.size() - 40) dot11a::raise(path + ": the packet is cut short.");
  std::size_t at = 40, end = 40 + captured;
  if (le(20, 4) == 127) {  // radiotap: its length is in the header
    if (captured < 4) dot11a::raise(path + ": the radio header is cut short.");
    const std::size_t rt = le(at + 2, 2);
    if (rt > captured) dot11a::raise(path + ": the radio header is longer than the packet.");
    at += rt;
  }
  return {b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(end)};
}

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
  interrupted.store(true);
}

// Ctrl+C ends reading (the wait for input returns) rather than the program.
void catchInterrupt() {
  struct sigaction sa {};
  sa.sa_handler = onInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a read in progress returns
  sigaction(SIGINT, &sa, nullptr);
}

// The most samples a raw file is read whole with (1 GiB of cf32).
constexpr std::uint64_t kMaxWhole = std::uint64_t{1} << 26;

// A raw file's samples, whole; raises when it holds more than kMaxWhole
// (`why` says why it is read whole).
std::vector<dot11a::rx::cplx> wholeRawFile(const std::string& file, dot11a::SampleFormat format,
                                           const std::string& why) {
  dot11a::SampleReader reader(file, format);
  const std::string tooLong =
      file + " holds more than " + std::to_string(kMaxWhole) + " samples: " + why + ".";
  if (reader.fileSamples().value_or(0) > kMaxWhole) dot11a::raise(tooLong);
  // Counted as they come: a pipe or a device has no size to check first.
  std::vector<dot11a::rx::cplx> all, chunk;
  while (reader.read(chunk, std::size_t{1} << 20)) {
    if (all.size() + chunk.size() > kMaxWhole) dot11a::raise(tooLong);
    all.insert(all.end(), chunk.begin(), chunk.end());
  }
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace dot11a;
  CLI::App app{"dot11a-verify: decodes and measures the IEEE 802.11a frames of a capture",
               "dot11a-verify"};
  std::string file, format = "auto", fcs = "auto", expect;
  std::optional<double> sampleRate;
  bool json = false, dacDroop = false;
  double backoff = rx::Options{}.fftBackoff;
  std::string channel(rx::channelEstimateName(rx::Options{}.channelEstimate));
  std::optional<std::size_t> maxFrames;
  unsigned threads = 1;
  std::string spacing = "auto";
  std::string mask(rx::emissionMaskName(rx::Options{}.mask));
  app.add_option("FILE", file,
                 "The capture: .mat (samples), .sigmf-meta/.sigmf-data, .bin (16-bit samples), "
                 ".cf32 (raw cf32_le), .ci16 (raw ci16_le), .ci8; - for raw samples on standard "
                 "input (with --format and --sample-rate)")
      ->required();
  app.add_option("--sample-rate", sampleRate,
                 "Samples per second (the file's own rate, else 20e6)");
  app.add_option("--format", format, "auto | mat | sigmf | bin | cf32 | ci16 | ci8")
      ->check(CLI::IsMember({"auto", "mat", "sigmf", "bin", "cf32", "ci16", "ci8"}));
  app.add_option("--fcs", fcs,
                 "on: every PSDU ends in an FCS; off: none does; auto: checked when it matches")
      ->check(CLI::IsMember({"auto", "on", "off"}));
  app.add_option("--expect-psdu", expect,
                 "Compare each decoded PSDU with this file (.pcap packet or raw octets)");
  app.add_flag("--json", json, "Print the report as JSON (standard input: one object per line)");
  app.add_flag("--dac-droop", dacDroop,
               "Measure flatness after a zero-order-hold DAC at the file's rate (for waveforms "
               "made with its compensation; implied by files that record it)");
  app.add_option(
         "--fft-backoff", backoff,
         "Start each FFT this many 20 MHz samples into the cyclic prefix (0 to 16; default 4)")
      ->check(CLI::Range(0.0, 16.0));
  app.add_option("--channel-estimate", channel,
                 "The channel estimate the EVM and flatness are measured with: preamble (the long "
                 "training's, as clause 17.3.9.7 measures; default) | smoothed | data-aided. "
                 "Frames are decoded with the best one either way")
      ->check(CLI::IsMember({"preamble", "smoothed", "data-aided"}));
  app.add_option("--max-frames", maxFrames,
                 "Decode at most this many frames (default 256; no limit on standard input)")
      ->check(CLI::Range(std::size_t{1}, std::size_t{100000000}));
  app.add_option("--channel-spacing", spacing,
                 "20 | 10 | 5 (MHz): the frames' channel spacing; auto (default): the one the "
                 "file records, else 20 MHz frames and, when none decodes, 10 and 5 MHz ones")
      ->check(CLI::IsMember({"auto", "20", "10", "5"}));
  app.add_option("--mask", mask,
                 "The transmit mask: standard (the OFDM PHY's, default) | class-a | class-b | "
                 "class-c | class-d (the emission classes of 10 MHz channels at 5.9 GHz); every "
                 "mask scales with the channel spacing")
      ->check(CLI::IsMember({"standard", "class-a", "class-b", "class-c", "class-d"}));
  app.add_option("--threads", threads, "Decode stretches of a raw sample file on this many threads")
      ->check(CLI::Range(1, 64));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version end well; a wrong option is input that cannot be
    // used, as a file that cannot be read is.
    if (e.get_exit_code() == 0) return app.exit(e);
    std::cerr << "dot11a-verify: " << e.what() << "\nRun with --help for the options.\n";
    return 2;
  }

  // Standard input, and a file that is no regular file (a pipe, a FIFO, a
  // device), may never end: read as a stream, each frame printed as it
  // comes and the summary at the end or on Ctrl+C.
  struct stat st {};
  const bool live = file == "-" || (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode));
  // The JSON report of a raw sample file, written as its frames come.
  std::optional<cli::JsonReport> jsonReport;
  try {
    rx::Options o;
    o.fcs = fcs == "on" ? rx::FcsCheck::On : fcs == "off" ? rx::FcsCheck::Off : rx::FcsCheck::Auto;
    o.dacDroop = dacDroop;
    o.fftBackoff = backoff;
    o.channelEstimate = rx::channelEstimateNamed(channel).value_or(o.channelEstimate);
    o.maxFrames = maxFrames.value_or(live ? SIZE_MAX : 256);
    o.mask = rx::emissionMaskNamed(mask).value_or(o.mask);
    if (spacing != "auto") {
      ChannelSpacing s{};
      channelSpacingOfMHz(std::stod(spacing), s);
      o.spacing = s;
    }
    // The streaming receiver decodes 20 MHz frames: a narrower spacing reads
    // a raw file whole.
    const bool narrow = o.spacing && *o.spacing != ChannelSpacing::MHz20;
    if (narrow && live)
      raise("--channel-spacing " + spacing +
            " is not available on standard input or a device yet: record to a file first.");
    std::optional<std::vector<std::uint8_t>> psdu;
    if (!expect.empty()) psdu = expectedPsdu(expect);

    // Raw samples at 20 MHz times a whole number go through the streaming
    // receiver; the other files are read whole.
    const auto raw = format == "auto" ? sampleFormatOf(file) : sampleFormatFromText(format);
    // Standard input is a stream of one of the three sample formats; "bin"
    // names a file format, not a stream's.
    const bool streamFormat = format == "cf32" || format == "ci16" || format == "ci8";
    if (file == "-" && (!raw || !sampleRate || !streamFormat))
      raise(
          "Standard input needs --format (cf32, ci16 or ci8) and --sample-rate" +
          (format == "auto" || streamFormat ? std::string(".") : ", not --format " + format + "."));
    o.sampleRate = sampleRate.value_or(20e6);
    const double ratio = o.sampleRate / 20e6;
    const bool streamRate =
        std::abs(ratio - std::round(ratio)) <= 1e-9 * ratio && ratio >= 0.5 && ratio < 16.5;
    const bool streamed = raw && (file == "-" || streamRate) && !narrow;

    if (live && streamed) {
      // A log: each frame as it is decoded, the summary at the end.
      catchInterrupt();
      cli::Summary summary;
      bool pass = true;
      if (!json)
        std::cout << (file == "-" ? std::string("standard input") : file) << ": "
                  << sampleFormatName(*raw) << " at " << o.sampleRate / 1e6 << " MHz"
                  << (sampleRate ? "" : " (assumed; give --sample-rate)") << std::endl;
      cli::SourceRead read;
      // What stops the stream still ends it with the summary of the frames
      // so far: with --json a line of its own, then the error as one more.
      std::string problem;
      try {
        cli::decodeSource(
            {file, *raw}, o, 1,
            [&](rx::FrameReport&& f) {
              summary.add(f);
              const bool expected = !psdu || (f.decoded() && f.psdu == *psdu);
              pass = pass && f.passed() && expected;
              if (json) {
                std::cout << rx::frameJson(f, -1, summary.frames()) << std::endl;
              } else {
                cli::printFrameLine(std::cout, summary.frames(), f);
                if (!expected)
                  std::cout << "frame " << summary.frames() << ": not the expected PSDU.\n";
                std::cout << std::flush;
              }
            },
            interrupted, read);
      } catch (const std::exception& e) {
        problem = e.what();
      }
      summary.setCleaned(read.nonFinite, read.spikes);
      pass = pass && summary.frames() > 0 && problem.empty();
      if (json) {
        nlohmann::json j{{"summary", summary.json(read.samples, o.sampleRate)}, {"pass", pass}};
        if (interrupted.load()) j["interrupted"] = true;
        std::cout << j.dump() << std::endl;
        if (!problem.empty())
          std::cout << nlohmann::json{{"pass", false}, {"problem", problem}}.dump() << std::endl;
      } else {
        if (interrupted.load()) std::cout << "(interrupted)\n";
        summary.print(std::cout, read.samples, o.sampleRate);
        std::cout << (pass ? "PASS" : "FAIL") << std::endl;
      }
      if (!problem.empty()) {
        std::cerr << "dot11a-verify: " << problem << "\n";
        return 2;
      }
      return pass ? 0 : 1;
    }

    rx::Result r;
    std::string what;
    std::uint64_t samples = 0;
    cli::Summary summary;
    if (streamed) {
      // Ctrl+C ends a long file's reading too; the frames so far are reported.
      catchInterrupt();
      what = sampleFormatName(*raw);
      r.sampleRate = o.sampleRate;
      if (json) jsonReport.emplace(std::cout, file, what);
      cli::SourceRead read;
      // With the spacing to be found, a file whose 20 MHz frames do not
      // decode is read again whole for 10 and 5 MHz frames: until a frame
      // decodes, the reports are held back, so that the report is of one
      // spacing.
      const bool findSpacing = !o.spacing;
      bool decodedOne = false;
      std::vector<rx::FrameReport> held;
      const auto take = [&](rx::FrameReport&& f) {
        summary.add(f);
        if (jsonReport) jsonReport->add(f);
        // Kept for the verdict and the table at the end: without what
        // they do not use, a long recording's frames take a few hundred
        // bytes each.
        auto release = [](auto& v) { std::decay_t<decltype(v)>().swap(v); };
        release(f.psduBits);
        release(f.evmPerSymbolDb);
        release(f.evmPerSubcarrierDb);
        release(f.flatnessDb);
        release(f.channel);
        release(f.dataPoints);
        release(f.pilotPoints);
        if (!psdu) release(f.psdu);
        r.frames.push_back(std::move(f));
      };
      cli::decodeSource(
          {file, *raw}, o, threads,
          [&](rx::FrameReport&& f) {
            if (findSpacing && !decodedOne) {
              if (!f.decoded()) return held.push_back(std::move(f));
              decodedOne = true;
              for (rx::FrameReport& h : held) take(std::move(h));
              held.clear();
            }
            take(std::move(f));
          },
          interrupted, read);
      samples = read.samples;
      std::optional<rx::Result> narrow;
      if (findSpacing && !decodedOne && !interrupted.load() && samples > 0) {
        rx::Options n = o;
        std::vector<rx::cplx> whole;
        for (const ChannelSpacing s : {ChannelSpacing::MHz10, ChannelSpacing::MHz5}) {
          if (o.sampleRate < baseSampleRateOf(s)) continue;
          if (whole.empty())
            whole = wholeRawFile(file, *raw,
                                 "no 20 MHz frame decodes, and a file is searched for 10 and "
                                 "5 MHz frames whole; give --channel-spacing");
          n.spacing = s;
          rx::Result got = rx::receive(whole, n);
          if (std::any_of(got.frames.begin(), got.frames.end(),
                          [](const rx::FrameReport& f) { return f.decoded(); })) {
            narrow = std::move(got);
            break;
          }
        }
      }
      if (narrow) {
        r.frames.clear();
        for (rx::FrameReport& f : narrow->frames) take(std::move(f));
        summary.setCleaned(narrow->nonFiniteSamples, narrow->spikeSamples);
      } else {
        for (rx::FrameReport& h : held) take(std::move(h));
        summary.setCleaned(read.nonFinite, read.spikes);
      }
      if (r.frames.empty())
        r.problem =
            samples == 0 ? "The waveform is empty." : "No 802.11a frame was found in the waveform.";
    } else {
      Capture cap;
      if (raw) {  // raw samples at another rate: resampled whole
        cap.samples = wholeRawFile(
            file, *raw, "at a rate that is not 20 MHz times a whole number it is read whole");
        cap.format = sampleFormatName(*raw);
      } else {
        CaptureFormat f = CaptureFormat::Auto;
        captureFormatFromText(format, f);
        cap = readCapture(file, f);
      }
      // Our own files record that the synthesis pre-compensated the DAC.
      o.dacDroop = dacDroop || cap.dacPrecompensated;
      o.sampleRate = sampleRate ? *sampleRate : cap.sampleRate.value_or(20e6);
      // A recording that states its frames' spacing is read at it unless told.
      if (!o.spacing && cap.spacing) o.spacing = cap.spacing;
      what = cap.format;
      samples = cap.samples.size();
      r = rx::receive(cap.samples, o);
      for (const rx::FrameReport& f : r.frames) summary.add(f);
      summary.setCleaned(r.nonFiniteSamples, r.spikeSamples);
      if (!sampleRate && cap.sampleRate) sampleRate = cap.sampleRate;
    }
    const rx::Verdict v = rx::verdictOf(r, psdu);
    if (jsonReport) {
      // The frames are out; the rest of the report's keys follow them.
      rx::Result rest;
      rest.sampleRate = r.sampleRate;
      rest.problem = r.problem;
      nlohmann::json j = nlohmann::json::parse(rx::reportJson(rest, v));
      j.erase("frames");
      j["summary"] = summary.json(samples, o.sampleRate);
      if (summary.frames() >= o.maxFrames) j["max_frames_reached"] = true;
      if (interrupted.load()) j["interrupted"] = true;
      jsonReport->finish(j);
    } else if (json) {
      nlohmann::json j = nlohmann::json::parse(rx::reportJson(r, v));
      j["file"] = file;
      j["format"] = what;
      j["summary"] = summary.json(samples, o.sampleRate);
      if (summary.frames() >= o.maxFrames) j["max_frames_reached"] = true;
      std::cout << j.dump(2) << "\n";
    } else {
      std::cout << file << ": " << what << ", " << samples << " samples at " << o.sampleRate / 1e6
                << " MHz" << (sampleRate ? "" : " (assumed; give --sample-rate)") << "\n";
      rx::printReport(std::cout, r, v);
      if (interrupted.load()) std::cout << "(interrupted)\n";
      if (summary.frames() > 1 || summary.cleaned())
        summary.print(std::cout, samples, o.sampleRate);
      if (summary.frames() >= o.maxFrames)
        std::cout << "(decoding stopped after " << o.maxFrames << " frames; see --max-frames)\n";
    }
    return v.pass ? 0 : 1;
  } catch (const std::exception& e) {
    if (jsonReport && jsonReport->started()) {
      // Frames are out already: the document ends with what stopped it.
      jsonReport->finish(nlohmann::json{{"pass", false}, {"problem", e.what()}});
    } else if (json) {
      // A stream's report is JSON lines: the error is one line too.
      std::cout << nlohmann::json{{"pass", false}, {"file", file}, {"problem", e.what()}}.dump(
                       live ? -1 : 2)
                << "\n";
    }
    std::cerr << "dot11a-verify: " << e.what() << "\n";
    std::cout << (json ? "" : "FAIL\n");
    return 2;
  }
}
