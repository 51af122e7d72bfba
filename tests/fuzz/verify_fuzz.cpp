// Fuzz target of the verification path: the first byte picks a reader (cf32,
// 16-bit samples, SigMF metadata, MAT container) and a sample rate; the rest is
// the file. Whatever the bytes, the readers give samples or a refusal and the
// receiver gives a report, never a crash, a hang, a leak or undefined
// behaviour.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dot11a/capture.hpp"
#include "dot11a/error.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/stream_receiver.hpp"

namespace {

const std::string& scratchFile() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp ? tmp : "/tmp") + "/dot11a-verify-fuzz-" + std::to_string(::getpid()) +
           ".mat";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1u << 17)) return 0;
  static constexpr double kRates[] = {20e6, 40e6, 60e6, 80e6, 25e6, 30e6};
  const int mode = data[0] % 4;
  const double rate = kRates[(data[0] / 4) % 6];
  const std::span<const std::uint8_t> body(data + 1, size - 1);
  dot11a::Capture cap;
  try {
    switch (mode) {
      case 0:
        cap.samples = dot11a::parseCf32(body);
        break;
      case 1:
        cap.samples = dot11a::parseSample16(body);
        break;
      case 2:
        (void)dot11a::parseSigmfMeta(
            std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
        return 0;
      default: {
        std::FILE* f = std::fopen(scratchFile().c_str(), "wb");
        if (f == nullptr) return 0;
        if (!body.empty()) std::fwrite(body.data(), 1, body.size(), f);
        std::fclose(f);
        try {
          cap = dot11a::readCapture(scratchFile(), dot11a::CaptureFormat::Mat);
        } catch (...) {
          std::remove(scratchFile().c_str());
          throw;
        }
        std::remove(scratchFile().c_str());
      }
    }
  } catch (const dot11a::Error&) {
    return 0;  // a refusal with a message
  }
  dot11a::rx::Options o;
  o.sampleRate = cap.sampleRate.value_or(rate);
  o.maxFrames = 8;
  const dot11a::rx::Result r = dot11a::rx::receive(cap.samples, o);
  (void)r.passed();
  // The streaming receiver over the same samples, in pieces whose size the
  // first byte picks, at the rates it works at.
  if (o.sampleRate == 20e6 || o.sampleRate == 40e6 || o.sampleRate == 60e6 ||
      o.sampleRate == 80e6) {
    const std::size_t piece = 1 + static_cast<std::size_t>(data[0]) * 97;
    dot11a::rx::StreamReceiver s(o, [](dot11a::rx::FrameReport&& f) { (void)f.passed(); });
    for (std::size_t at = 0; at < cap.samples.size(); at += piece)
      s.push(std::span(cap.samples).subspan(at, std::min(piece, cap.samples.size() - at)));
    s.finish();
  }
  return 0;
}
