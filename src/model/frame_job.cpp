// The frame job's typed rules: the frame's payload, layout and synthesis
// settings, the sequence's per-frame variation and the sequence file.
#include "dot11a/frame_job.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "dot11a/bits.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/payload.hpp"

namespace dot11a {

namespace {

constexpr std::array<std::string_view, 6> kSourceNames = {"zeros", "ones", "alt01",
                                                          "alt10", "pn9",  "pn15"};

std::size_t fieldIndex(std::string_view name) {
  for (std::size_t i = 0; i < kMacFieldsRecordOrder.size(); ++i)
    if (kMacFieldsRecordOrder[i] == name) return i;
  raise("Unknown MAC header field: " + std::string(name));
}

// The shortest text that reads back as the same number ("16", "2.5").
std::string shortest(double x) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

}  // namespace

std::string_view payloadSourceName(PayloadSource s) {
  const auto i = static_cast<std::size_t>(s) - 1;
  return i < kSourceNames.size() ? kSourceNames[i] : std::string_view("file");
}

bool payloadSourceFromName(std::string_view name, PayloadSource& s) {
  const auto it = std::find(kSourceNames.begin(), kSourceNames.end(), name);
  if (it == kSourceNames.end()) return false;
  s = static_cast<PayloadSource>(it - kSourceNames.begin() + 1);
  return true;
}

MacField& MacHeaderFields::operator[](std::string_view name) {
  return fields[fieldIndex(name)];
}

const MacField& MacHeaderFields::operator[](std::string_view name) const {
  return fields[fieldIndex(name)];
}

Bits MacHeaderFields::bits() const {
  Bits out;
  out.reserve(240);
  for (std::string_view name : kMacFieldsAirOrder) {
    const MacField& f = (*this)[name];
    if (!f.sent) continue;
    const int n = 8 * macFieldSize(name);
    for (int k = 0; k < n; ++k) out.push_back(static_cast<std::uint8_t>((f.value >> k) & 1u));
  }
  return out;
}

// ---- the frame ---------------------------------------------------------------------

std::array<std::uint8_t, 53> FrameParameters::defaultSubCarriers() {
  std::array<std::uint8_t, 53> m{};
  m.fill(1);
  m[26] = 0;  // the DC position stays off
  return m;
}

double FrameParameters::sampleRate() const {
  return baseSampleRateOf(spacing) * oversampling;
}

double FrameParameters::dataRate() const {
  const RateEntry* e = rateOf(modulation, coding.value());
  return e ? e->mbps * clockFactor(spacing) : 0;
}

std::string FrameParameters::rateText() const {
  static const char* const kMod[] = {"BPSK", "QPSK", "16-QAM", "64-QAM"};
  const int mod = std::clamp(static_cast<int>(modulation), 1, 4);
  const RateEntry* e = rateOf(modulation, coding.value());
  return (e ? shortest(dataRate()) + " Mbit/s, " : std::string("custom rate, ")) + kMod[mod - 1] +
         ", coding " + std::string(codingRateText(coding.value()));
}

int FrameParameters::headerOctets() const {
  return static_cast<int>(macHeader.bits().size() / 8);
}

int FrameParameters::totalLength() const {
  return dataLength + (macHeaderActive ? headerOctets() : 0) + (fcs ? kFcsOctets : 0);
}

int FrameParameters::dataLengthLimit() const {
  return kMaxPsduOctets - (macHeaderActive ? headerOctets() : 0) - (fcs ? kFcsOctets : 0);
}

Bits FrameParameters::payload() const {
  const std::size_t bits = 8 * static_cast<std::size_t>(std::max(dataLength, 0));
  return framePayload(macHeaderActive ? macHeader.bits() : Bits{},
                      source == PayloadSource::UserFile ? sourceBits : sourcePattern(source, bits),
                      fcs);
}

Bits FrameParameters::psdu() const {
  if (source == PayloadSource::UserFile && sourceBits.empty())
    raise("The user data file holds no data: load a file of 1 to 4095 bytes before calculating.");
  Bits data = payload();
  if (data.empty()) raise("The frame has no payload: set a data length of at least 1 byte.");
  if (data.size() > kMaxPsduBits)
    raise("The frame payload (MAC header, data and FCS) has " +
          std::to_string((data.size() + 7) / 8) +
          " octets; the SIGNAL field can announce at most 4095. Shorten the data or switch off "
          "the MAC header or FCS.");
  return data;
}

FrameShape FrameParameters::shape() const {
  FrameShape s;
  s.framed = framed;
  s.modulation = modulation;
  s.codingRate = coding.value();
  s.oversampling = oversampling;
  s.windowLength = windowLength;
  s.idleSamples = idleSamples;
  const std::size_t data = source == PayloadSource::UserFile
                               ? sourceBits.size()
                               : 8 * static_cast<std::size_t>(std::max(dataLength, 0));
  s.payloadBits = data + 8 * static_cast<std::size_t>((macHeaderActive ? headerOctets() : 0) +
                                                      (fcs ? kFcsOctets : 0));
  return s;
}

FrameSettings FrameParameters::synthesis() const {
  FrameSettings s;
  s.data.framed = framed;
  s.data.service = service;
  s.data.modulation = static_cast<int>(modulation);
  s.data.encoderRate = coding.value();
  s.data.scrambler = scrambler;
  s.data.scramblerInit = scramblerInit;
  s.data.interleaver = interleaver;
  s.data.oversampling = oversampling;
  s.data.windowLength = windowLength;
  // The application always pre-compensates the droop of the DAC.
  s.data.sincComp = true;
  // The SIGNAL field's RATE bits name the table's entry, the same at every
  // spacing (the 20 MHz rate).
  const RateEntry* e = rateOf(modulation, coding.value());
  s.dataRate = e ? e->mbps : 0;
  s.mask53.assign(subCarriers.begin(), subCarriers.end());
  s.idleSamples = idleSamples;
  s.mirrorSpectrum = mirror;
  return s;
}

std::string frameProblem(const FrameParameters& f) {
  for (const ParameterBound& b : parameterBounds()) {
    if (b.of == nullptr) continue;
    const double x = b.of(f);
    if (!withinStoredBounds(b, x))
      return std::string(b.field) + " is " + shortest(x) + ", not " +
             (b.whole ? "a whole number" : "a number") + " from " + shortest(b.storedLo) + " to " +
             shortest(b.hi);
  }
  if (ChannelSpacing s{}; !channelSpacingOfMHz(spacingMHz(f.spacing), s))
    return "the channel spacing is " + std::to_string(spacingMHz(f.spacing)) +
           " MHz, not 20, 10 or 5";
  if (codingRateOf(f.coding.value()) == nullptr)
    return "the coding rate " + std::to_string(f.coding.num) + "/" + std::to_string(f.coding.den) +
           " is not one of 1/2, 2/3, 3/4 or 1";
  for (std::uint8_t c : f.subCarriers)
    if (c > 1) return "a sub-carrier is " + std::to_string(c) + ", not 0 (off) or 1 (on)";
  for (std::string_view name : kMacFieldsRecordOrder) {
    const std::uint64_t most = (std::uint64_t{1} << (8 * macFieldSize(name))) - 1;
    if (f.macHeader[name].value > most)
      return "the MAC header's " + std::string(name) + " is over " + std::to_string(most);
  }
  return "";
}

// ---- the sequence ------------------------------------------------------------------

Gap Gap::parse(std::string_view text) {
  Gap g;
  g.us = impair::gapMicroseconds(text);
  if (text == "SIFS" || text == "sifs") g.name = "SIFS";
  if (text == "DIFS" || text == "difs") g.name = "DIFS";
  return g;
}

std::string Gap::text() const {
  return name.empty() ? shortest(us) : name;
}

double Gap::microseconds(ChannelSpacing s) const {
  const InterframeSpaces ifs = interframeSpacesOf(s);
  if (name == "SIFS") return ifs.sifsUs;
  if (name == "DIFS") return ifs.difsUs();
  return us;
}

std::uint64_t parseSeed(std::string_view text, std::string_view what) {
  const std::string message = std::string(what) +
                              " a whole number from 0 to 18446744073709551615, not \"" +
                              std::string(text) + "\".";
  std::uint64_t v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || text.size() > 20 || error != std::errc() ||
      end != text.data() + text.size() || text.front() == '+' || text.front() == '-')
    raise(message);
  return v;
}

std::string describeSignal(const FrameJob& job) {
  const SequenceSettings& q = job.sequence;
  std::string text;
  if (q.active()) {
    text = std::to_string(q.frames) + (q.frames == 1 ? " frame" : " frames") + ", gap " +
           q.gap.text() + (q.gap.name.empty() ? " us" : "");
    if (q.seedStep) text += ", scrambler seed stepping";
    if (!q.file.empty()) text += ", sequence file " + q.file;
  }
  const std::string impairments = impair::describe(job.impairments);
  if (!impairments.empty()) text += (text.empty() ? "" : "; ") + impairments;
  return text;
}

std::string describeScrambler(const FrameJob& job) {
  const FrameParameters& f = job.frame;
  if (!f.scrambler) return "not scrambled (off)";
  if (f.scramblerInit == 0) return "not scrambled (seed 0)";
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%02X", f.scramblerInit);
  return (job.sequence.seedStep && job.sequence.active() ? "seeds stepping from " : "seed ") +
         std::string(hex);
}

std::vector<SequenceEntry> readSequenceFile(const std::string& path, std::string_view option) {
  const std::string at = std::string(option) + ": ";
  // A sequence file is a short list: anything larger is refused before it is
  // parsed, so no file can take the memory or the time of a huge document.
  constexpr std::uintmax_t kMaxBytes = 1 << 20;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) raise(at + path + " is not a readable file.");
  if (std::filesystem::file_size(path, ec) > kMaxBytes || ec)
    raise(at + path + " is larger than 1 MiB; a sequence file lists frames only.");
  std::ifstream in(path);
  if (!in) raise(at + path + " cannot be read.");
  nlohmann::json j;
  // A key given twice in one object would leave one of its values unread:
  // the first one found is refused by name.
  std::vector<std::set<std::string>> keys;
  std::string twice;
  const auto seen = [&](int, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
    using E = nlohmann::json::parse_event_t;
    if (event == E::object_start) keys.emplace_back();
    if (event == E::object_end && !keys.empty()) keys.pop_back();
    if (event == E::key && !keys.empty() && twice.empty()) {
      const std::string key = parsed.get<std::string>();
      if (!keys.back().insert(key).second) twice = key;
    }
    return true;
  };
  try {
    j = nlohmann::json::parse(in, seen);
  } catch (const std::exception& e) {
    raise(at + path + " is not JSON (" + e.what() + ").");
  }
  if (!twice.empty()) raise(at + path + " gives the key \"" + twice + "\" twice in one object.");
  if (!j.is_object() || !j.contains("frames") || !j["frames"].is_array() || j["frames"].empty())
    raise(at + path + " must hold {\"frames\": [ ... ]} with at least one entry.");
  for (const auto& [key, v] : j.items())
    if (key != "frames") raise(at + path + " has an unknown key \"" + key + "\" (frames).");
  std::vector<SequenceEntry> out;
  for (std::size_t i = 0; i < j["frames"].size(); ++i) {
    const auto& e = j["frames"][i];
    const std::string where = at + "entry " + std::to_string(i + 1) + " ";
    if (!e.is_object()) raise(where + "must be an object.");
    SequenceEntry s;
    for (const auto& [key, v] : e.items()) {
      if (key == "rate") {
        if (!v.is_number() || rateByMbps(v.get<double>()) == nullptr)
          raise(where + "\"rate\" must be one of 6, 9, 12, 18, 24, 36, 48, 54.");
        s.rate = v.get<double>();
      } else if (key == "length") {
        if (!v.is_number() || v.get<double>() < 1 || v.get<double>() > kMaxPsduOctets ||
            v.get<double>() != std::floor(v.get<double>()))
          raise(where + "\"length\" must be a whole number of octets from 1 to 4095.");
        s.length = v.get<double>();
      } else if (key == "source") {
        PayloadSource source;
        if (!v.is_string() || !payloadSourceFromName(v.get<std::string>(), source))
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

// The payload bits (without header and FCS) of frame i when the PN source
// continues from frame to frame: the bits after those of frames 0 .. i-1,
// counted per pass of the sequence file's list rather than frame by frame.
Bits continuedPn(const FrameParameters& f, const FrameParameters& base, std::size_t i,
                 const std::vector<SequenceEntry>& entries) {
  const int order = f.source == PayloadSource::Pn9 ? 9 : 15;
  const auto octetsOf = [&](std::size_t j) {
    const double set = entries.empty() ? 0 : entries[j % entries.size()].length;
    return static_cast<std::size_t>(set > 0 ? set : std::max(base.dataLength, 0));
  };
  const std::size_t list = entries.empty() ? 1 : entries.size();
  std::size_t perPass = 0;
  for (std::size_t j = 0; j < list; ++j) perPass += octetsOf(j);
  std::size_t before = 8 * perPass * (i / list);
  for (std::size_t j = i - i % list; j < i; ++j) before += 8 * octetsOf(j);
  const std::size_t bits = 8 * static_cast<std::size_t>(std::max(f.dataLength, 0));
  // The sequence repeats with its period: only the part needed is made.
  const std::size_t period = (std::size_t{1} << order) - 1;
  const Bits seq = pnSequence(order, before % period + bits);
  return Bits(seq.end() - static_cast<long>(bits), seq.end());
}

}  // namespace

FrameParameters sequenceFrame(const FrameJob& job, const std::vector<SequenceEntry>& entries,
                              std::size_t i) {
  FrameParameters f = job.frame;
  if (!entries.empty()) {
    const SequenceEntry& e = entries[i % entries.size()];
    if (const RateEntry* rate = e.rate > 0 ? rateByMbps(e.rate) : nullptr) {
      f.modulation = rate->modulation;
      f.coding = rate->coding;
    }
    if (!e.source.empty()) payloadSourceFromName(e.source, f.source);
    if (e.length > 0) {
      if (e.length > f.dataLengthLimit())
        raise("The sequence file " + job.sequence.file + ": entry " +
              std::to_string(i % entries.size() + 1) +
              " is longer than the frame can carry with this header and FCS.");
      f.dataLength = static_cast<int>(e.length);
    }
  }
  // Sequence Control: the sequence number (upper 12 bits) counts up from the
  // header's, the fragment number stays.
  MacField& seqCntrl = f.macHeader["SeqCntrl"];
  const auto seq = ((seqCntrl.value >> 4) + i % 4096) % 4096;
  seqCntrl.value = (seq << 4) | (seqCntrl.value & 0xFu);
  if (job.sequence.seedStep && f.scrambler) {
    const auto seed0 = checkedInteger<std::size_t>(f.scramblerInit, "The scrambler seed", 1, 127);
    f.scramblerInit = static_cast<unsigned>((seed0 - 1 + i) % 127 + 1);
  }
  if (i > 0 && (f.source == PayloadSource::Pn9 || f.source == PayloadSource::Pn15)) {
    f.sourceBits = continuedPn(f, job.frame, i, entries);
    f.source = PayloadSource::UserFile;
  }
  return f;
}

}  // namespace dot11a
