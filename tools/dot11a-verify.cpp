// dot11a-verify: decodes every 802.11a frame of a capture with the library's
// receiver, measures it against the transmitter limits of the standard and
// prints a table (or JSON) and an overall PASS or FAIL. The exit status is 0
// only when every frame decodes and passes.
#include <CLI/CLI.hpp>
#include <cmath>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "dot11a/capture.hpp"
#include "dot11a/error.hpp"
#include "dot11a/receiver.hpp"
#include "verify_report.hpp"

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

}  // namespace

int main(int argc, char** argv) {
  using namespace dot11a;
  CLI::App app{"dot11a-verify: decodes and measures the IEEE 802.11a frames of a capture",
               "dot11a-verify"};
  std::string file, format = "auto", fcs = "auto", expect;
  std::optional<double> sampleRate;
  bool json = false, dacDroop = false;
  double backoff = 0.0;
  std::size_t maxFrames = 256;
  app.add_option("FILE", file,
                 "The capture: .mat (samples), .sigmf-meta/.sigmf-data, .bin (16-bit samples), "
                 ".cf32 (raw cf32_le)")
      ->required();
  app.add_option("--sample-rate", sampleRate,
                 "Samples per second (the file's own rate, else 20e6)");
  app.add_option("--format", format, "auto | mat | sigmf | bin | cf32")
      ->check(CLI::IsMember({"auto", "mat", "sigmf", "bin", "cf32"}));
  app.add_option("--fcs", fcs,
                 "on: every PSDU ends in an FCS; off: none does; auto: checked when it matches")
      ->check(CLI::IsMember({"auto", "on", "off"}));
  app.add_option("--expect-psdu", expect,
                 "Compare each decoded PSDU with this file (.pcap packet or raw octets)");
  app.add_flag("--json", json, "Print the report as JSON");
  app.add_flag("--dac-droop", dacDroop,
               "Measure flatness after a zero-order-hold DAC at the file's rate (for waveforms "
               "made with its compensation; implied by files that record it)");
  app.add_option("--fft-backoff", backoff,
                 "Start each FFT this many 20 MHz samples into the cyclic prefix (0 to 16)")
      ->check(CLI::Range(0.0, 16.0));
  app.add_option("--max-frames", maxFrames, "Decode at most this many frames")
      ->check(CLI::Range(1, 100000));
  CLI11_PARSE(app, argc, argv);

  try {
    CaptureFormat f = CaptureFormat::Auto;
    captureFormatFromText(format, f);
    const Capture cap = readCapture(file, f);
    rx::Options o;
    o.sampleRate = sampleRate ? *sampleRate : cap.sampleRate.value_or(20e6);
    o.fcs = fcs == "on" ? rx::FcsCheck::On : fcs == "off" ? rx::FcsCheck::Off : rx::FcsCheck::Auto;
    // Our own files record that the synthesis pre-compensated the DAC.
    o.dacDroop = dacDroop || cap.dacPrecompensated;
    o.fftBackoff = backoff;
    o.maxFrames = maxFrames;
    std::optional<std::vector<std::uint8_t>> psdu;
    if (!expect.empty()) psdu = expectedPsdu(expect);
    const rx::Result r = rx::receive(cap.samples, o);
    const cli::Verdict v = cli::verdictOf(r, psdu);
    if (json) {
      nlohmann::json j = cli::reportJson(r, v);
      j["file"] = file;
      j["format"] = cap.format;
      std::cout << j.dump(2) << "\n";
    } else {
      std::cout << file << ": " << cap.format << ", " << cap.samples.size() << " samples at "
                << o.sampleRate / 1e6 << " MHz"
                << (sampleRate || cap.sampleRate ? "" : " (assumed; give --sample-rate)") << "\n";
      cli::printReport(std::cout, r, v);
    }
    return v.pass ? 0 : 1;
  } catch (const std::exception& e) {
    if (json) {
      std::cout << nlohmann::json{{"pass", false}, {"file", file}, {"problem", e.what()}}.dump(2)
                << "\n";
    }
    std::cerr << "dot11a-verify: " << e.what() << "\n";
    std::cout << (json ? "" : "FAIL\n");
    return 2;
  }
}
