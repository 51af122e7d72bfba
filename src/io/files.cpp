// Parameter files, the stored configuration and the waveform files.
#include "dot11a/files.hpp"

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "dot11a/error.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/parameter_bounds.hpp"

namespace dot11a {

std::string addFileExtention(std::string_view filename, std::string_view extension) {
  if (filename.size() >= extension.size() &&
      filename.substr(filename.size() - extension.size()) == extension)
    return std::string(filename);
  return std::string(filename) + std::string(extension);
}

// ---- parameter files ---------------------------------------------------------------

void writeParameterFile(const std::string& path, const Value& fileParameters) {
  const NamedValue vars[] = {{"fileParameters", fileParameters}, {"filename", Value(path)}};
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

std::string fieldProblem(const std::string& path, const Value& got, const Value& want) {
  if (want.isRecord()) {
    if (!got.isRecord()) return path + " is not a record";
    for (const Field& f : want.fields()) {
      if (!got.hasField(f.first)) return path + "." + f.first + " is missing";
      std::string p = fieldProblem(path + "." + f.first, got.field(f.first), f.second);
      if (!p.empty()) return p;
    }
    return "";
  }
  if (want.isText()) return got.isText() ? "" : path + " is not a text";
  if (want.isEmpty()) {
    // Optional contents: a text, numbers or a record of the same shape as
    // stored by the application; never a cell list.
    if (got.isCell()) return path + " is a cell list";
    if (got.isNumeric() && !got.isEmpty() && !got.isVector()) return path + " is not a vector";
    return "";
  }
  if (want.isNumeric()) {
    if (!isRealDouble(got)) return path + " is not a real number";
    if (got.rows() != want.rows() || got.cols() != want.cols())
      return path + " is " + std::to_string(got.rows()) + "x" + std::to_string(got.cols()) +
             ", not " + std::to_string(want.rows()) + "x" + std::to_string(want.cols());
    if (!allFinite(got)) return path + " is not finite";
    return "";
  }
  return "";
}

}  // namespace

std::string parameterSetProblem(const Value& candidate, const Value& reference) {
  if (!candidate.isRecord()) return "fileParameters is not a record";
  std::string p = fieldProblem("fileParameters", candidate, reference);
  if (!p.empty()) return p;
  // The ranges the calculation relies on, from the parameter set's bounds.
  for (const ParameterBound& b : parameterBounds()) {
    if (!reference.hasField(b.field)) continue;
    if (!withinStoredBounds(b, candidate.field(b.field).toScalar()))
      return "fileParameters." + std::string(b.field) + " is out of range";
  }
  for (const char* sub : {"MACheader", "MACfcs"}) {
    const Value& rec = candidate.field(sub);
    for (const char* f : {"Active", "Length"})
      if (rec.hasField(f) && (!rec.field(f).isScalar() || rec.field(f).toScalar() < 0 ||
                              rec.field(f).toScalar() > kMaxPsduOctets))
        return "fileParameters." + std::string(sub) + "." + f + " is out of range";
  }
  const Value& bits = candidate.field("dataSourceBitstream");
  if (bits.isNumeric())
    for (double b : bits.toDoubles())
      if (b != 0 && b != 1) return "fileParameters.dataSourceBitstream holds a value not 0 or 1";
  return "";
}

ParameterFileRead readParameterFile(const std::string& path, std::string_view expectedFormatId) {
  ParameterFileRead out;
  std::vector<NamedValue> vars;
  try {
    vars = readMatFile(path);
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
  return out;
}

// ---- waveform files ----------------------------------------------------------------

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
                           bool iqColumns) {
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
  const NamedValue vars[] = {{"samples", v}};
  writeMatFile(path, vars);
}

void writeSaveWaveContainer(const std::string& path, std::span<const std::complex<double>> samples,
                            double sampleRate) {
  const std::size_t n = samples.size();
  std::vector<double> wave(2 * n);
  for (std::size_t k = 0; k < n; ++k) {
    wave[2 * k] = samples[k].real();
    wave[2 * k + 1] = samples[k].imag();
  }
  const NamedValue vars[] = {{"samplePoints", Value(static_cast<double>(n))},
                             {"sampleRate", Value(sampleRate)},
                             {"wave", Value::matrix(2, n, std::move(wave))}};
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

std::string sigmfMetadata(const SigmfInfo& info, std::size_t sampleCount) {
  using nlohmann::ordered_json;
  ordered_json global = {{"core:datatype", "cf32_le"},
                         {"core:version", "1.0.0"},
                         {"core:sample_rate", info.sampleRate},
                         {"core:description", info.description},
                         {"core:recorder", "dot11a-gen"}};
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
  const std::string meta = sigmfMetadata(info, samples.size());
  writeFileAtomically(paths.data, data);
  writeFileAtomically(paths.meta,
                      std::span(reinterpret_cast<const std::uint8_t*>(meta.data()), meta.size()));
}

// ---- PCAP -----------------------------------------------------------------------------

void writePcap(const std::string& path, std::span<const std::uint8_t> psdu, bool withFcs,
               double rateMbps) {
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
  // Radio header: flags (bit 1) and rate (bit 2).
  std::vector<std::uint8_t> radio = {0,
                                     0,
                                     10,
                                     0,
                                     0x06,
                                     0,
                                     0,
                                     0,
                                     static_cast<std::uint8_t>(withFcs ? 0x10 : 0),
                                     static_cast<std::uint8_t>(std::lround(rateMbps * 2))};
  const auto stamp = std::chrono::system_clock::now().time_since_epoch();
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(stamp).count();
  u32(static_cast<std::uint32_t>(us / 1000000));
  u32(static_cast<std::uint32_t>(us % 1000000));
  const auto len = static_cast<std::uint32_t>(radio.size() + psdu.size());
  u32(len);
  u32(len);
  out.insert(out.end(), radio.begin(), radio.end());
  out.insert(out.end(), psdu.begin(), psdu.end());
  writeFileAtomically(path, out);
}

}  // namespace dot11a
