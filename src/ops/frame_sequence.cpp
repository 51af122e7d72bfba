// Frame sequences from a parameter set (see frame_sequence.hpp).
#include "dot11a/frame_sequence.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/payload.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/size_estimate.hpp"

namespace dot11a {

namespace {

const std::vector<std::string> kSources = {"zeros", "ones", "alt01", "alt10", "pn9", "pn15"};

// The payload bits (without header and FCS) of frame i when the PN source
// continues from frame to frame: the bits after those of frames 0 .. i-1,
// counted per pass of the sequence file's list rather than frame by frame.
Bits continuedPn(const Value& f, const Value& p, std::size_t i,
                 const std::vector<SequenceEntry>& entries) {
  const int order = f.field("dataSourceType").toScalar() == 5 ? 9 : 15;
  const auto octetsOf = [&](std::size_t j) {
    const double set = entries.empty() ? 0 : entries[j % entries.size()].length;
    return checkedInteger<std::size_t>(set > 0 ? set : p.field("dataLength").toScalar(),
                                       "The payload length");
  };
  const std::size_t list = entries.empty() ? 1 : entries.size();
  std::size_t perPass = 0;
  for (std::size_t j = 0; j < list; ++j) perPass += octetsOf(j);
  std::size_t before = 8 * perPass * (i / list);
  for (std::size_t j = i - i % list; j < i; ++j) before += 8 * octetsOf(j);
  const auto bits =
      8 * checkedInteger<std::size_t>(f.field("dataLength").toScalar(), "The payload length");
  // The sequence repeats with its period: only the part needed is made.
  const std::size_t period = (std::size_t{1} << order) - 1;
  const Bits seq = pnSequence(order, before % period + bits);
  return Bits(seq.end() - static_cast<long>(bits), seq.end());
}

}  // namespace

std::vector<SequenceEntry> readSequenceFile(const std::string& path, OptionSpelling spelling) {
  const std::string option = optionName("sequence", spelling) + ": ";
  // A sequence file is a short list: anything larger is refused before it is
  // parsed, so no file can take the memory or the time of a huge document.
  constexpr std::uintmax_t kMaxBytes = 1 << 20;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec))
    raise(option + path + " is not a readable file.");
  if (std::filesystem::file_size(path, ec) > kMaxBytes || ec)
    raise(option + path + " is larger than 1 MiB; a sequence file lists frames only.");
  std::ifstream in(path);
  if (!in) raise(option + path + " cannot be read.");
  nlohmann::json j;
  try {
    j = nlohmann::json::parse(in);
  } catch (const std::exception& e) {
    raise(option + path + " is not JSON (" + e.what() + ").");
  }
  if (!j.is_object() || !j.contains("frames") || !j["frames"].is_array() || j["frames"].empty())
    raise(option + path + " must hold {\"frames\": [ ... ]} with at least one entry.");
  std::vector<SequenceEntry> out;
  for (std::size_t i = 0; i < j["frames"].size(); ++i) {
    const auto& e = j["frames"][i];
    const std::string where = option + "entry " + std::to_string(i + 1) + " ";
    if (!e.is_object()) raise(where + "must be an object.");
    SequenceEntry s;
    for (const auto& [key, v] : e.items()) {
      if (key == "rate") {
        if (!v.is_number() || rateByMbps(v.get<double>()) == nullptr)
          raise(where + "\"rate\" must be one of 6, 9, 12, 18, 24, 36, 48, 54.");
        s.rate = v.get<double>();
      } else if (key == "length") {
        if (!v.is_number() || v.get<double>() < 1 || v.get<double>() > 4095 ||
            v.get<double>() != std::floor(v.get<double>()))
          raise(where + "\"length\" must be a whole number of octets from 1 to 4095.");
        s.length = v.get<double>();
      } else if (key == "source") {
        if (!v.is_string() ||
            std::find(kSources.begin(), kSources.end(), v.get<std::string>()) == kSources.end())
          raise(where + "\"source\" must be zeros, ones, alt01, alt10, pn9 or pn15.");
        s.source = v.get<std::string>();
      } else {
        raise(where + "has an unknown key \"" + key + "\" (rate, length, source).");
      }
    }
    out.push_back(s);
  }
  return out;
}

namespace {

Value frameParameters(const Value& p, const SequenceRequest& r, std::size_t i,
                      const std::vector<SequenceEntry>& entries) {
  Value f = p;
  if (!entries.empty()) {
    const SequenceEntry& e = entries[i % entries.size()];
    if (e.rate > 0) {
      const RateEntry* rate = rateByMbps(e.rate);
      f.setField("modulation", static_cast<double>(rate->modulation));
      f.setField("encoderRate", rate->coding.value());
    }
    if (!e.source.empty()) {
      const auto it = std::find(kSources.begin(), kSources.end(), e.source);
      f.setField("dataSourceType", static_cast<double>(it - kSources.begin() + 1));
    }
    if (e.length > 0) {
      if (e.length > dataLengthLimit(f))
        raise(optionName("sequence", r.spelling) + ": entry " +
              std::to_string(i % entries.size() + 1) +
              " is longer than the frame can carry with this header and FCS.");
      f.setField("dataLength", e.length);
    }
  }
  // Sequence Control: the sequence number (upper 12 bits) counts up from the
  // header's, the fragment number stays.
  Value& header = f.field("MACheader").field("Contents");
  const auto seqCntrl =
      checkedInteger<unsigned>(header.field("SeqCntrl").field("Contents").toScalar(),
                               "The sequence control field", 0, 0xFFFF);
  const unsigned seq = ((seqCntrl >> 4) + static_cast<unsigned>(i % 4096)) % 4096;
  setMacField(header, "SeqCntrl", static_cast<double>((seq << 4) | (seqCntrl & 0xFu)));
  if (r.seedStep && f.field("scramblerActive").toScalar() == 1) {
    const auto seed0 = checkedInteger<std::size_t>(f.field("scramblerInit").toScalar(),
                                                   "The scrambler seed", 1, 127);
    f.setField("scramblerInit", static_cast<double>((seed0 - 1 + i) % 127 + 1));
  }
  const double type = f.field("dataSourceType").toScalar();
  if (i > 0 && (type == 5 || type == 6)) {
    const Bits bits = continuedPn(f, p, i, entries);
    f.setField("dataSourceType", 7.0);
    f.setField("dataSourceBitstream", Value::bits(bits));
  }
  updateDerivedFields(f);
  return f;
}

}  // namespace

Value sequenceFrameParameters(const Value& p, const SequenceRequest& r, std::size_t i) {
  const std::vector<SequenceEntry> entries =
      r.file.empty() ? std::vector<SequenceEntry>{} : readSequenceFile(r.file, r.spelling);
  return frameParameters(p, r, i, entries);
}

namespace {

std::size_t gapSamples(const Value& p, const SequenceRequest& r) {
  const double rate = kBaseSampleRate * p.field("OverSampling").toScalar();
  return checkedInteger<std::size_t>(std::round(r.gapUs * rate * 1e-6), "The gap in samples");
}

}  // namespace

std::size_t sequenceLength(const Value& p, const SequenceRequest& r) {
  if (r.frames < 1 || r.frames > 100000)
    raise(optionName("frames", r.spelling) + " must be from 1 to 100000.");
  const std::vector<SequenceEntry> entries =
      r.file.empty() ? std::vector<SequenceEntry>{} : readSequenceFile(r.file, r.spelling);
  // A frame's length depends only on its entry of the list: the sequence
  // number, the scrambler seed and the PN bits that vary leave it as it is.
  const std::size_t list = std::min(r.frames, entries.empty() ? 1 : entries.size());
  std::vector<std::size_t> perEntry;
  for (std::size_t i = 0; i < list; ++i)
    perEntry.push_back(sizeEstimate(frameParameters(p, r, i, entries)));
  std::vector<std::size_t> lengths(r.frames);
  for (std::size_t i = 0; i < r.frames; ++i) lengths[i] = perEntry[i % list];
  return impair::sequenceLength(lengths, gapSamples(p, r), r.memorySamples);
}

SequenceResult buildSequence(const Value& p, const SequenceRequest& r) {
  if (r.frames < 1 || r.frames > 100000)
    raise(optionName("frames", r.spelling) + " must be from 1 to 100000.");
  const std::vector<SequenceEntry> entries =
      r.file.empty() ? std::vector<SequenceEntry>{} : readSequenceFile(r.file, r.spelling);
  SequenceResult out;
  out.sampleRate = kBaseSampleRate * p.field("OverSampling").toScalar();
  const std::size_t gap = gapSamples(p, r);
  // Every frame's length first, keeping only the numbers: a sequence too
  // large for the memory is refused before anything is synthesised.
  std::vector<std::size_t> lengths;
  lengths.reserve(r.frames);
  for (std::size_t i = 0; i < r.frames; ++i)
    lengths.push_back(sizeEstimate(frameParameters(p, r, i, entries)));
  impair::sequenceLength(lengths, gap, r.memorySamples);
  std::vector<Frame> frames;
  frames.reserve(r.frames);
  for (std::size_t i = 0; i < r.frames; ++i) {
    const Value f = frameParameters(p, r, i, entries);
    const FrameResult res = calculateFrame(f);
    Frame fr;
    fr.waveform = res.waveform.toComplex();
    const std::size_t n = fr.waveform.size();
    const FrameLayout layout = frameLayout(frameShapeOf(f));
    fr.marker1.assign(n, 0);
    if (n > 0) fr.marker1[0] = 1;
    fr.marker2.assign(n, 0);
    std::fill(fr.marker2.begin(),
              fr.marker2.begin() + static_cast<long>(std::min(n, layout.burstEnd)), 1);
    frames.push_back(std::move(fr));
    const Bits bits = generatePayload(f);
    std::vector<std::uint8_t> octets((bits.size() + 7) / 8, 0);
    for (std::size_t b = 0; b < bits.size(); ++b)
      if (bits[b]) octets[b / 8] |= static_cast<std::uint8_t>(1u << (b % 8));
    out.psdus.push_back(std::move(octets));
  }
  out.sequence = impair::joinFrames(frames, gap, r.memorySamples);
  return out;
}

}  // namespace dot11a
