// Parameter files, the stored configuration and the waveform files.
#include "dot11a/files.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "dot11a/error.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/rate_table.hpp"
#include "io/sha512.hpp"
#include "io/sigmf_pair.hpp"

namespace dot11a {

std::string addFileExtention(std::string_view filename, std::string_view extension) {
  if (filename.size() >= extension.size() &&
      filename.substr(filename.size() - extension.size()) == extension)
    return std::string(filename);
  return std::string(filename) + std::string(extension);
}

// ---- parameter files ---------------------------------------------------------------

void writeParameterFile(const std::string& path, const Value& fileParameters,
                        const Value& sigGenSettings, const Value& signalSettings) {
  std::vector<NamedValue> vars = {{"fileParameters", fileParameters}, {"filename", Value(path)}};
  if (!sigGenSettings.isEmpty()) vars.push_back({"SigGenSettings", sigGenSettings});
  if (!signalSettings.isEmpty()) vars.push_back({"SignalSettings", signalSettings});
  writeMatFile(path, vars);
}

namespace {

const Value* findVariable(const std::vector<NamedValue>& vars, std::string_view name) {
  for (const auto& [n, v] : vars)
    if (n == name) return &v;
  return nullptr;
}

bool isRealDouble(const Value& v) {
  return v.isDouble() && !v.isComplex();
}

bool allFinite(const Value& v) {
  for (double x : v.re())
    if (!std::isfinite(x)) return false;
  return true;
}

// A number as a user reads it in a message: whole numbers without decimals.
std::string shown(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", x);
  return buf;
}

std::string shownValue(const Value& v) {
  if (v.isText()) return "the text \"" + v.str().substr(0, 40) + "\"";
  if (v.isRecord()) return "a record";
  if (v.isCell()) return "a cell list";
  if (v.isEmpty()) return "empty";
  if (v.isScalar() && v.isNumeric() && !v.isComplex()) return shown(v.toScalar());
  return "a " + std::to_string(v.rows()) + "x" + std::to_string(v.cols()) + " array";
}

std::string fieldProblem(const std::string& path, const Value& got, const Value& want) {
  if (want.isRecord()) {
    if (!got.isRecord()) return path + " is " + shownValue(got) + ", not a record";
    for (const Field& f : want.fields()) {
      if (!got.hasField(f.first)) return path + "." + f.first + " is missing";
      std::string p = fieldProblem(path + "." + f.first, got.field(f.first), f.second);
      if (!p.empty()) return p;
    }
    return "";
  }
  if (want.isText()) return got.isText() ? "" : path + " is " + shownValue(got) + ", not a text";
  if (want.isEmpty()) {
    // Optional contents: a text, numbers or a record of the same shape as
    // stored by the application; never a cell list.
    if (got.isCell()) return path + " is a cell list";
    if (got.isNumeric() && !got.isEmpty() && !got.isVector()) return path + " is not a vector";
    return "";
  }
  if (want.isNumeric()) {
    if (!isRealDouble(got)) return path + " is " + shownValue(got) + ", not a real number";
    // Bit streams are rows of any length; their lengths are checked below.
    const bool bitRow = path.ends_with(".BitStream");
    if (bitRow ? !(got.isEmpty() || got.rows() == 1)
               : got.rows() != want.rows() || got.cols() != want.cols())
      return path + " is " + std::to_string(got.rows()) + "x" + std::to_string(got.cols()) +
             ", not " +
             (bitRow ? std::string("a row")
                     : std::to_string(want.rows()) + "x" + std::to_string(want.cols()));
    if (!allFinite(got)) return path + " is not finite";
    return "";
  }
  return "";
}

std::string bitsProblem(const std::string& path, const Value& bits) {
  if (bits.isEmpty()) return "";
  if (!isRealDouble(bits) || !bits.isVector())
    return path + " is " + shownValue(bits) + ", not a row of bits";
  for (double b : bits.re())
    if (b != 0 && b != 1) return path + " holds " + shown(b) + ", not a bit (0 or 1)";
  return "";
}

// The MAC header's bit stream is made from its fields (each active field's
// contents, least significant bit first, in the order they are sent) and its
// Length is the stream's octets; a record that says otherwise would send one
// header and announce another length.
std::string macHeaderProblem(const Value& header, const Value& reference) {
  const std::string at = "fileParameters.MACheader";
  const Value& contents = header.field("Contents");
  const Value& refContents = reference.field("Contents");
  if (!contents.isRecord()) return "";  // the structure check reports it
  std::vector<double> expected;
  for (std::string_view name : kMacFieldsAirOrder) {
    if (!contents.hasField(name) || !refContents.hasField(name)) continue;
    const Value& f = contents.field(name);
    const std::string fp = at + ".Contents." + std::string(name);
    const double size = refContents.field(name).field("Size").toScalar();
    if (f.field("Size").toScalar() != size)
      return fp + ".Size is " + shown(f.field("Size").toScalar()) + ", not " + shown(size);
    const double active = f.field("Active").toScalar();
    if (active != 0 && active != 1) return fp + ".Active is " + shown(active) + ", not 0 or 1";
    const double value = f.field("Contents").toScalar();
    // `size` is the reference's (the built-in header's): a few octets.
    const double max = std::ldexp(1.0, static_cast<int>(8 * size)) - 1;
    if (value < 0 || value > max || value != std::floor(value))
      return fp + ".Contents is " + shown(value) + ", not a whole number from 0 to " + shown(max);
    if (active == 0) continue;
    double rest = value;
    for (int k = 0; k < 8 * size; ++k) {
      const double bit = std::fmod(rest, 2.0);
      expected.push_back(bit);
      rest = (rest - bit) / 2;
    }
  }
  const Value& stream = contents.field("BitStream");
  std::string p = bitsProblem(at + ".Contents.BitStream", stream);
  if (!p.empty()) return p;
  const std::vector<double> got = stream.isEmpty() ? std::vector<double>{} : stream.toDoubles();
  if (got != expected)
    return at + ".Contents.BitStream has " + std::to_string(got.size()) +
           " bits that are not the " + std::to_string(expected.size()) +
           " bits of its active fields";
  const double length = header.field("Length").toScalar();
  if (length != static_cast<double>(got.size() / 8))
    return at + ".Length is " + shown(length) + ", but the header has " +
           std::to_string(got.size() / 8) + " octets";
  return "";
}

}  // namespace

std::string parameterSetProblem(const Value& candidate, const Value& reference) {
  if (!candidate.isRecord()) return "fileParameters is " + shownValue(candidate) + ", not a record";
  std::string p = fieldProblem("fileParameters", candidate, reference);
  if (!p.empty()) return p;
  // The ranges the calculation relies on, from the parameter set's bounds.
  for (const ParameterBound& b : parameterBounds()) {
    if (!reference.hasField(b.field)) continue;
    const double x = candidate.field(b.field).toScalar();
    if (!withinStoredBounds(b, x))
      return "fileParameters." + std::string(b.field) + " is " + shown(x) + ", not " +
             (b.whole ? "a whole number" : "a number") + " from " + shown(b.storedLo) + " to " +
             shown(b.hi);
  }
  const double rate = candidate.field("encoderRate").toScalar();
  if (codingRateOf(rate) == nullptr)
    return "fileParameters.encoderRate is " + shown(rate) + ", not one of 1/2, 2/3, 3/4 or 1";
  for (double c : candidate.field("SubCarriers").re())
    if (c != 0 && c != 1)
      return "fileParameters.SubCarriers holds " + shown(c) + ", not 0 (off) or 1 (on)";
  for (const char* sub : {"MACheader", "MACfcs"}) {
    const Value& rec = candidate.field(sub);
    const double active = rec.field("Active").toScalar();
    if (active != 0 && active != 1)
      return "fileParameters." + std::string(sub) + ".Active is " + shown(active) +
             ", not 0 (off) or 1 (on)";
  }
  const double fcsLength = candidate.field("MACfcs").field("Length").toScalar();
  const double fcsWant = reference.field("MACfcs").field("Length").toScalar();
  if (fcsLength != fcsWant)
    return "fileParameters.MACfcs.Length is " + shown(fcsLength) + ", but the FCS has " +
           shown(fcsWant) + " octets";
  p = macHeaderProblem(candidate.field("MACheader"), reference.field("MACheader"));
  if (!p.empty()) return p;
  const Value& name = candidate.field("dataSourceName");
  if (!name.isEmpty() && !name.isText())
    return "fileParameters.dataSourceName is " + shownValue(name) + ", not a file name";
  const Value& bits = candidate.field("dataSourceBitstream");
  p = bitsProblem("fileParameters.dataSourceBitstream", bits);
  if (!p.empty()) return p;
  if (candidate.field("dataSourceType").toScalar() == 7) {
    // A payload file's bits are the data; the data length is their octets.
    const std::size_t n = bits.isEmpty() ? 0 : bits.numel();
    if (n == 0 || n % 8 != 0)
      return "fileParameters.dataSourceBitstream has " + std::to_string(n) +
             " bits; a payload file gives 1 to 4095 whole octets";
    const double length = candidate.field("dataLength").toScalar();
    if (length != static_cast<double>(n / 8))
      return "fileParameters.dataLength is " + shown(length) + ", but the payload file has " +
             std::to_string(n / 8) + " octets";
  }
  return "";
}

ParameterFileRead readParameterFile(const std::string& path, std::string_view expectedFormatId) {
  ParameterFileRead out;
  std::vector<NamedValue> vars;
  try {
    vars = readMatFile(path, kSmallMatFile);
  } catch (const std::exception& e) {
    out.problem = e.what();
    out.readError = true;
    return out;
  }
  const Value* fp = findVariable(vars, "fileParameters");
  if (fp == nullptr) {
    out.problem = "has an Invalid File Format.";
    return out;
  }
  if (!fp->isRecord() || !fp->hasField("ParameterFileFormat_ID")) {
    out.problem = "has an Invalid File Structure.";
    return out;
  }
  const Value& id = fp->field("ParameterFileFormat_ID");
  if (!id.isText() || id.str() != expectedFormatId) {
    out.problem = "has an Invalid File Parameter ID.";
    return out;
  }
  out.parameters = *fp;
  if (const Value* sg = findVariable(vars, "SigGenSettings"); sg != nullptr && sg->isRecord())
    out.sigGenSettings = *sg;
  if (const Value* ss = findVariable(vars, "SignalSettings"); ss != nullptr)
    out.signalSettings = *ss;
  return out;
}

// ---- waveform files ----------------------------------------------------------------

void checkWaveformToWrite(const std::string& path, std::span<const std::complex<double>> samples,
                          std::optional<double> sampleRate) {
  for (std::size_t k = 0; k < samples.size(); ++k)
    if (!std::isfinite(samples[k].real()) || !std::isfinite(samples[k].imag()))
      raise("Sample " + std::to_string(k + 1) +
            " of the waveform is not finite (Inf or NaN); nothing was written to " + path + ".");
  if (sampleRate && !(std::isfinite(*sampleRate) && *sampleRate > 0))
    raise("The sample rate must be a positive number of samples per second, not " +
          shown(*sampleRate) + "; nothing was written to " + path + ".");
}

std::vector<std::uint8_t> zenfoldBytes(std::span<const std::complex<double>> samples,
                                       double scale) {
  if (std::isnan(scale)) scale = 1;
  scale = std::max(std::min(scale, 1.0), 1e-5);
  constexpr double halfn = 32768;
  std::vector<double> z;
  z.reserve(2 * samples.size());
  double mx = 0;
  for (const auto& s : samples) {
    z.push_back(s.real());
    z.push_back(s.imag());
    mx = std::max({mx, std::abs(s.real()), std::abs(s.imag())});
  }
  // Scaled whenever there is something to scale: a waveform whose components
  // all have one magnitude is scaled like any other; all zeros stay zeros.
  const bool finite = std::isfinite(mx);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 * z.size());
  for (double x : z) {
    if (mx > 0 && finite) x = x / mx * (halfn - 2) * scale;
    double r = std::round(x);  // halves away from zero
    if (!std::isfinite(r)) r = 0;
    // Two's complement of the value modulo 65536, as a 16-bit word.
    const auto word = static_cast<std::uint16_t>(
        static_cast<std::int64_t>(std::fmod(r, 65536.0) + 65536.0) % 65536);
    bytes.push_back(static_cast<std::uint8_t>(word >> 8));
    bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
  }
  return bytes;
}

void writeSamplesContainer(const std::string& path, std::span<const std::complex<double>> samples,
                           bool iqColumns, bool dacPrecompensated) {
  const std::size_t n = samples.size();
  std::vector<double> re(n), im(n);
  for (std::size_t k = 0; k < n; ++k) {
    re[k] = samples[k].real();
    im[k] = samples[k].imag();
  }
  Value v;
  if (iqColumns) {
    std::vector<double> both = re;
    both.insert(both.end(), im.begin(), im.end());
    v = Value::matrix(n, 2, std::move(both));
  } else {
    v = Value::matrix(n, 1, std::move(re), std::move(im));
  }
  const NamedValue vars[] = {
      {"samples", v},
      {std::string(kDacPrecompensatedVariable), Value(dacPrecompensated ? 1.0 : 0.0)}};
  writeMatFile(path, vars);
}

void writeSaveWaveContainer(const std::string& path, std::span<const std::complex<double>> samples,
                            double sampleRate, bool dacPrecompensated) {
  const std::size_t n = samples.size();
  std::vector<double> wave(2 * n);
  for (std::size_t k = 0; k < n; ++k) {
    wave[2 * k] = samples[k].real();
    wave[2 * k + 1] = samples[k].imag();
  }
  const NamedValue vars[] = {
      {"samplePoints", Value(static_cast<double>(n))},
      {"sampleRate", Value(sampleRate)},
      {"wave", Value::matrix(2, n, std::move(wave))},
      {std::string(kDacPrecompensatedVariable), Value(dacPrecompensated ? 1.0 : 0.0)}};
  writeMatFile(path, vars);
}

// ---- SigMF ----------------------------------------------------------------------------

SigmfPaths sigmfPaths(std::string_view name) {
  std::string base(name);
  for (std::string_view ext : {".sigmf-data", ".sigmf-meta", ".sigmf"})
    if (base.size() > ext.size() && base.ends_with(ext)) {
      base.resize(base.size() - ext.size());
      break;
    }
  return {base + ".sigmf-data", base + ".sigmf-meta"};
}

std::string sigmfMetadata(const SigmfInfo& info, std::size_t sampleCount,
                          std::string_view dataSha512) {
  using nlohmann::ordered_json;
  ordered_json global = {{"core:datatype", "cf32_le"},
                         {"core:version", "1.0.0"},
                         {"core:sample_rate", info.sampleRate},
                         {"core:description", info.description},
                         {"core:recorder", "dot11a-gen"}};
  if (!dataSha512.empty()) global["core:sha512"] = dataSha512;
  // Our keys outside the core namespace, declared as an optional extension.
  global["core:extensions"] =
      ordered_json::array({{{"name", "dot11a"}, {"version", "1.0.0"}, {"optional", true}}});
  global[std::string(kSigmfDacKey)] = info.dacPrecompensated;
  if (!info.impairments.empty()) global["dot11a:impairments"] = info.impairments;
  if (info.spacing != ChannelSpacing::MHz20)
    global[std::string(kSigmfSpacingKey)] = spacingMHz(info.spacing) * 1e6;
  ordered_json capture = {{"core:sample_start", 0}};
  if (info.frequency) capture["core:frequency"] = *info.frequency;
  std::vector<SigmfAnnotation> sorted = info.annotations;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.sampleStart < b.sampleStart; });
  ordered_json annotations = ordered_json::array();
  for (const auto& a : sorted) {
    if (a.sampleStart >= sampleCount) continue;
    ordered_json j = {
        {"core:sample_start", a.sampleStart},
        {"core:sample_count", std::min<std::uint64_t>(a.sampleCount, sampleCount - a.sampleStart)},
        {"core:label", a.label}};
    if (!a.comment.empty()) j["core:comment"] = a.comment;
    annotations.push_back(std::move(j));
  }
  ordered_json meta = {{"global", global},
                       {"captures", ordered_json::array({capture})},
                       {"annotations", annotations}};
  return meta.dump(2) + "\n";
}

void writeSigmf(std::string_view name, std::span<const std::complex<double>> samples,
                const SigmfInfo& info) {
  const SigmfPaths paths = sigmfPaths(name);
  std::vector<std::uint8_t> data(samples.size() * 8);
  std::size_t o = 0;
  auto putFloat = [&](double x) {
    const float f = static_cast<float>(x);
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int b = 0; b < 4; ++b) data[o++] = static_cast<std::uint8_t>(bits >> (8 * b));
  };
  for (const auto& s : samples) {
    putFloat(s.real());
    putFloat(s.imag());
  }
  // The digest in the metadata exposes a pair mixed in any way.
  commitSigmfPair(paths, data, sigmfMetadata(info, samples.size(), sha512Hex(data)));
}

// ---- PCAP -----------------------------------------------------------------------------

void writePcap(const std::string& path, std::span<const PcapPacket> packets) {
  std::vector<std::uint8_t> out;
  auto u16 = [&](std::uint16_t v) {
    out.push_back(v & 0xFF);
    out.push_back(v >> 8);
  };
  auto u32 = [&](std::uint32_t v) {
    for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
  };
  // File header: little-endian, version 2.4, radiotap link type (127).
  u32(0xA1B2C3D4);
  u16(2);
  u16(4);
  u32(0);
  u32(0);
  u32(65535);
  u32(127);
  for (const PcapPacket& p : packets) {
    // Radio header: flags (bit 1) and rate (bit 2).
    const std::uint8_t radio[] = {0,
                                  0,
                                  10,
                                  0,
                                  0x06,
                                  0,
                                  0,
                                  0,
                                  static_cast<std::uint8_t>(p.withFcs ? 0x10 : 0),
                                  static_cast<std::uint8_t>(std::lround(p.rateMbps * 2))};
    const auto us = std::llround(std::max(p.seconds, 0.0) * 1e6);
    u32(static_cast<std::uint32_t>(us / 1000000));
    u32(static_cast<std::uint32_t>(us % 1000000));
    const auto len = static_cast<std::uint32_t>(sizeof radio + p.psdu.size());
    u32(len);
    u32(len);
    out.insert(out.end(), std::begin(radio), std::end(radio));
    out.insert(out.end(), p.psdu.begin(), p.psdu.end());
  }
  writeFileAtomically(path, out);
}

void writePcap(const std::string& path, std::span<const std::uint8_t> psdu, bool withFcs,
               double rateMbps) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const PcapPacket packet{psdu, withFcs, rateMbps, std::chrono::duration<double>(now).count()};
  writePcap(path, std::span(&packet, 1));
}

// ---- the waveform files of a Waveform ---------------------------------------------------

std::optional<WaveformFormat> matContainerOf(std::string_view name) {
  if (name == "samples") return WaveformFormat::SamplesComplex;
  if (name == "wave") return WaveformFormat::SaveWave;
  return std::nullopt;
}

std::optional<WaveformFormat> waveformFormatOf(std::string_view path, WaveformFormat mat) {
  auto ends = [&](std::string_view ext) { return path.size() > ext.size() && path.ends_with(ext); };
  if (ends(".mat")) return mat;
  if (ends(".bin")) return WaveformFormat::SixteenBit;
  if (ends(".sigmf-meta") || ends(".sigmf-data") || ends(".sigmf")) return WaveformFormat::Sigmf;
  if (ends(".pcap")) return WaveformFormat::PsduCapture;
  return std::nullopt;
}

std::string withWaveformExtension(std::string_view name, WaveformFormat format) {
  std::string out(name);
  if (format == WaveformFormat::Sigmf &&
      (out.ends_with(".sigmf-meta") || out.ends_with(".sigmf-data")))
    return out;
  const std::string_view ext = format == WaveformFormat::Sigmf         ? ".sigmf-meta"
                               : format == WaveformFormat::SixteenBit  ? ".bin"
                               : format == WaveformFormat::PsduCapture ? ".pcap"
                                                                       : ".mat";
  if (!out.ends_with(ext)) out += ext;
  return out;
}

SigmfInfo sigmfInfoOf(const Waveform& w, std::optional<double> carrier) {
  SigmfInfo info;
  info.sampleRate = w.sampleRate;
  info.frequency = carrier;
  info.dacPrecompensated = w.dacPrecompensated;
  info.description = w.description();
  info.impairments = w.signal;
  info.spacing = w.spacing;
  const bool several = w.frames.size() > 1;
  for (std::size_t i = 0; i < w.frames.size(); ++i) {
    const WaveformFrame& f = w.frames[i];
    // The PSDU as generated, not a length field of the parameter set.
    const std::string length = std::to_string(f.psdu.size());
    const std::string which = several ? "frame " + std::to_string(i + 1) + ": " : "";
    if (w.stretched) {
      // A clock offset moved the fields: the frame is marked where its burst is.
      info.annotations.push_back(
          {f.start, f.burstEnd - f.start, "frame",
           "frame " + std::to_string(i + 1) + ", " + f.rateText + ", LENGTH " + length});
      continue;
    }
    const FrameLayout& l = f.layout;
    if (l.preamble.size() > 0)
      info.annotations.push_back({f.start + l.preamble.begin, l.preamble.size(), "preamble",
                                  which + "short and long training symbols"});
    if (l.signal.size() > 0)
      info.annotations.push_back({f.start + l.signal.begin, l.signal.size(), "SIGNAL",
                                  which + f.rateText + ", LENGTH " + length});
    info.annotations.push_back({f.start + l.data.begin, l.data.size(), "DATA",
                                which + f.rateText + ", LENGTH " + length + ", " +
                                    std::to_string(l.dataSymbols) + " symbols"});
  }
  return info;
}

void writeWaveform(const std::string& path, WaveformFormat format, const Waveform& w,
                   const WaveformFileOptions& options) {
  if (format != WaveformFormat::PsduCapture)
    checkWaveformToWrite(path, w.samples, options.sampleRate.value_or(w.sampleRate));
  switch (format) {
    case WaveformFormat::Sigmf:
      writeSigmf(path, w.samples, sigmfInfoOf(w, options.carrier));
      return;
    case WaveformFormat::SaveWave:
      writeSaveWaveContainer(path, w.samples, options.sampleRate.value_or(w.sampleRate),
                             w.dacPrecompensated);
      return;
    case WaveformFormat::SixteenBit:
      writeFileAtomically(path, zenfoldBytes(w.samples));
      return;
    case WaveformFormat::PsduCapture: {
      std::vector<PcapPacket> packets;
      packets.reserve(w.frames.size());
      for (const WaveformFrame& f : w.frames)
        packets.push_back({f.psdu, w.fcs, f.rateMbps, static_cast<double>(f.start) / w.sampleRate});
      writePcap(path, packets);
      return;
    }
    case WaveformFormat::SamplesComplex:
    case WaveformFormat::SamplesPairs:
      writeSamplesContainer(path, w.samples, format == WaveformFormat::SamplesPairs,
                            w.dacPrecompensated);
      return;
  }
}

}  // namespace dot11a
