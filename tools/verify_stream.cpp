#include "verify_stream.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <future>
#include <ostream>
#include <string_view>
#include <vector>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/stream_receiver.hpp"
#include "dot11a/verify_report.hpp"

namespace dot11a::cli {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 16;        // samples read at a time
constexpr std::uint64_t kStretch = std::uint64_t{1} << 22;  // samples per stretch (x os)

// Samples [first, first + count) of the source through one streaming
// receiver; the frames whose start lies in [acceptFrom, acceptTo) go to
// onFrame. `read` follows the samples read and those counted as 0.
void decodeStretch(const StreamSource& src, const rx::Options& o, std::uint64_t first,
                   std::optional<std::uint64_t> count, std::uint64_t acceptFrom,
                   std::uint64_t acceptTo, const std::function<void(rx::FrameReport&&)>& onFrame,
                   const std::atomic<bool>& stop, SourceRead& read) {
  SampleReader reader(src.path, src.format, first, count);
  rx::StreamReceiver rx(o, [&](rx::FrameReport&& f) {
    f.start += static_cast<std::size_t>(first);
    if (f.start >= acceptFrom && f.start < acceptTo) onFrame(std::move(f));
  });
  auto follow = [&] {
    read.samples = rx.samplesSeen();
    read.nonFinite = rx.nonFiniteSamples();
    read.spikes = rx.spikeSamples();
  };
  // cf32 samples go into the receiver's window from where they lie (a file's
  // mapped pages), widened on the way in; the integer layouts are scaled to
  // doubles first.
  if (src.format == SampleFormat::Cf32) {
    while (!stop.load() && !rx.full())
      if (const auto chunk = reader.readInPlace(kChunk)) {
        rx.push(*chunk);
        follow();
      } else {
        break;
      }
  } else {
    std::vector<rx::cplx> chunk;
    while (!stop.load() && !rx.full() && reader.read(chunk, kChunk)) {
      rx.push(chunk);
      follow();
    }
  }
  // A stretch sized from the file as it was when the decoding began: a
  // file that no longer holds it was cut short meanwhile.
  if (count && !stop.load() && !rx.full() && rx.samplesSeen() < *count)
    raise(src.path + " became shorter while it was read: it ends at sample " +
          std::to_string(first + rx.samplesSeen()) + ", before the " +
          std::to_string(first + *count) + " it held when the decoding began.");
  rx.finish();
  follow();
}

}  // namespace

void JsonReport::start() {
  if (started_) return;
  started_ = true;
  out_ << "{\n  \"file\": " << nlohmann::json(file_).dump()
       << ",\n  \"format\": " << nlohmann::json(format_).dump() << ",\n  \"frames\": [";
}

void JsonReport::add(const rx::FrameReport& f) {
  start();
  // The frame at the document's third level: every line four spaces in.
  const std::string text = rx::frameJson(f, 2);
  std::string out(anyFrame_ ? ",\n    " : "\n    ");
  anyFrame_ = true;
  out.reserve(out.size() + text.size() +
              4 * static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
  for (const char c : text) {
    out.push_back(c);
    if (c == '\n') out.append("    ");
  }
  out_ << out;
}

void JsonReport::finish(const nlohmann::json& rest) {
  start();
  out_ << (anyFrame_ ? "\n  ]" : "]");
  // The keys of `rest` as they stand in it at the first level, without its
  // braces.
  const std::string text = rest.dump(2);
  if (text.size() > 4) out_ << ",\n" << std::string_view(text).substr(2, text.size() - 4);
  out_ << "\n}\n";
}

void Summary::add(const rx::FrameReport& f) {
  ++frames_;
  if (f.decoded()) {
    ++decoded_;
    ++rates_[f.rateMbps];
  }
  fcsGood_ += f.fcs == rx::FcsState::Good ? 1 : 0;
  fcsBad_ += f.fcs == rx::FcsState::Bad ? 1 : 0;
  if (f.passed())
    ++passed_;
  else if (f.decoded())
    ++failLimit_;
  else
    ++failDecode_;
  if (f.evmRms > 0.0 && std::isfinite(f.evmDb)) {
    if (evmCount_ == 0 || f.evmDb > evmWorstDb_) {
      evmWorstDb_ = f.evmDb;
      evmWorstFrame_ = frames_;
    }
    ++evmCount_;
    evmSumDb_ += f.evmDb;
  }
  cfoMin_ = frames_ == 1 ? f.cfoHz : std::min(cfoMin_, f.cfoHz);
  cfoMax_ = frames_ == 1 ? f.cfoHz : std::max(cfoMax_, f.cfoHz);
  cfoSum_ += f.cfoHz;
  cfoSumSq_ += f.cfoHz * f.cfoHz;
}

void Summary::print(std::ostream& out, std::uint64_t samples, double sampleRate) const {
  char line[256];
  std::snprintf(line, sizeof line,
                "summary: %.3f s of samples; %llu frames found, %llu decoded, %llu FCS good, "
                "%llu FCS bad\n",
                static_cast<double>(samples) / sampleRate, static_cast<unsigned long long>(frames_),
                static_cast<unsigned long long>(decoded_),
                static_cast<unsigned long long>(fcsGood_),
                static_cast<unsigned long long>(fcsBad_));
  out << line;
  if (!rates_.empty()) {
    out << "summary: rates";
    for (const auto& [mbps, n] : rates_) out << " " << mbps << " Mbit/s x" << n << ";";
    out << "\n";
  }
  if (evmCount_ > 0) {
    std::snprintf(line, sizeof line, "summary: EVM mean %.2f dB, worst %.2f dB (frame %llu)\n",
                  evmSumDb_ / static_cast<double>(evmCount_), evmWorstDb_,
                  static_cast<unsigned long long>(evmWorstFrame_));
    out << line;
  }
  if (frames_ > 0) {
    const double n = static_cast<double>(frames_), mean = cfoSum_ / n;
    const double sd = std::sqrt(std::max(0.0, cfoSumSq_ / n - mean * mean));
    std::snprintf(line, sizeof line,
                  "summary: CFO %.3f to %.3f kHz, mean %.3f kHz, standard deviation %.3f kHz\n",
                  cfoMin_ / 1e3, cfoMax_ / 1e3, mean / 1e3, sd / 1e3);
    out << line;
  }
  if (cleaned()) {
    std::snprintf(line, sizeof line,
                  "summary: %llu samples were not numbers and %llu were spikes, counted as 0\n",
                  static_cast<unsigned long long>(nonFinite_),
                  static_cast<unsigned long long>(spikes_));
    out << line;
  }
  std::snprintf(line, sizeof line, "summary: %llu PASS, %llu FAIL (limit), %llu FAIL (decode)\n",
                static_cast<unsigned long long>(passed_),
                static_cast<unsigned long long>(failLimit_),
                static_cast<unsigned long long>(failDecode_));
  out << line;
}

nlohmann::json Summary::json(std::uint64_t samples, double sampleRate) const {
  nlohmann::json j;
  j["samples"] = samples;
  j["seconds"] = static_cast<double>(samples) / sampleRate;
  j["frames"] = frames_;
  j["decoded"] = decoded_;
  j["fcs_good"] = fcsGood_;
  j["fcs_bad"] = fcsBad_;
  nlohmann::json rates = nlohmann::json::object();
  for (const auto& [mbps, n] : rates_) {
    char key[16];
    std::snprintf(key, sizeof key, "%g", mbps);
    rates[key] = n;
  }
  j["rates_mbps"] = rates;
  if (evmCount_ > 0) {
    j["evm_mean_db"] = evmSumDb_ / static_cast<double>(evmCount_);
    j["evm_worst_db"] = evmWorstDb_;
    j["evm_worst_frame"] = evmWorstFrame_;
  }
  if (frames_ > 0) {
    const double n = static_cast<double>(frames_), mean = cfoSum_ / n;
    j["cfo_min_hz"] = cfoMin_;
    j["cfo_max_hz"] = cfoMax_;
    j["cfo_mean_hz"] = mean;
    j["cfo_std_hz"] = std::sqrt(std::max(0.0, cfoSumSq_ / n - mean * mean));
  }
  j["non_finite_samples"] = nonFinite_;
  j["spike_samples"] = spikes_;
  j["pass"] = passed_;
  j["fail_limit"] = failLimit_;
  j["fail_decode"] = failDecode_;
  return j;
}

void printFrameLine(std::ostream& out, std::uint64_t number, const rx::FrameReport& f) {
  char line[256];
  std::snprintf(line, sizeof line,
                "frame %llu at sample %zu: %s Mbit/s, %u octets, CFO %.3f kHz, EVM %.2f dB, "
                "FCS %s, %s\n",
                static_cast<unsigned long long>(number), f.start,
                f.rateValid ? std::to_string(static_cast<int>(f.rateMbps)).c_str() : "?", f.length,
                f.cfoHz / 1e3, f.evmDb,
                f.fcs == rx::FcsState::Good        ? "good"
                : f.fcs == rx::FcsState::Bad       ? "BAD"
                : f.fcs == rx::FcsState::NoneFound ? "none"
                                                   : "-",
                rx::frameResultText(f));
  out << line;
  for (const auto& p : f.problems) out << "frame " << number << ": " << p << "\n";
  for (const auto& n : f.notes) out << "frame " << number << " (note): " << n << "\n";
}

void decodeSource(const StreamSource& src, const rx::Options& o, unsigned threads,
                  const std::function<void(rx::FrameReport&&)>& onFrame,
                  const std::atomic<bool>& stop, SourceRead& read) {
  const auto total =
      src.path == "-" ? std::nullopt : SampleReader(src.path, src.format).fileSamples();
  // Sizes the stretches only; the receiver refuses a rate that is not 20 MHz
  // times 1 to 16.
  const auto os = integerOf<std::uint64_t>(std::round(o.sampleRate / 20e6), 1, 16).value_or(1);
  const std::uint64_t stretch = kStretch * os;
  if (threads <= 1 || !total || *total <= stretch)
    return decodeStretch(src, o, 0, std::nullopt, 0, UINT64_MAX, onFrame, stop, read);

  // Stretches decoded side by side, at most `threads` at a time, their
  // frames handed on in order: when the oldest is done and handed on, the
  // next stretch starts (no round waits for its slowest stretch). Each reads
  // a frame's reach before and after its own samples and keeps the frames
  // that start in them. The FFT plans are made under one lock, so the
  // stretches can start together.
  const std::uint64_t reach = rx::StreamReceiver(o, [](rx::FrameReport&&) {}).frameReach();
  std::uint64_t handed = 0;
  // A stretch's frames and what it read of its own samples [from, to) (the
  // reach before and after them is read by its neighbours too).
  struct Stretch {
    std::vector<rx::FrameReport> frames;
    SourceRead own;
  };
  std::deque<std::future<Stretch>> running;
  std::uint64_t s = 0;
  read = {};
  auto start = [&] {
    const std::uint64_t from = s, to = std::min(*total, s + stretch);
    const std::uint64_t readFrom = from > reach ? from - reach : 0;
    const std::uint64_t readTo = std::min(*total, to + reach);
    running.push_back(std::async(std::launch::async, [&, from, to, readFrom, readTo] {
      Stretch got;
      SourceRead all;
      decodeStretch(
          src, o, readFrom, readTo - readFrom, from, to,
          [&](rx::FrameReport&& f) { got.frames.push_back(std::move(f)); }, stop, all);
      got.own = all;
      got.own.samples =
          std::min(to - from, all.samples > from - readFrom ? all.samples - (from - readFrom) : 0);
      return got;
    }));
    s = to;
  };
  while (true) {
    while (running.size() < threads && s < *total && !stop.load() && handed < o.maxFrames) start();
    if (running.empty()) break;
    Stretch got = running.front().get();
    running.pop_front();
    read.samples += got.own.samples;
    // Counted by every stretch that read them: an estimate where stretches
    // overlap, exact where the samples lie in one.
    read.nonFinite += got.own.nonFinite;
    read.spikes += got.own.spikes;
    for (rx::FrameReport& f : got.frames)
      if (handed < o.maxFrames) {
        ++handed;
        onFrame(std::move(f));
      }
  }
}

}  // namespace dot11a::cli
