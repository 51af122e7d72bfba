// Reading complex baseband captures for the verification receiver.
#include "dot11a/capture.hpp"

#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "dot11a/error.hpp"
#include "dot11a/files.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/value.hpp"
#include "io/sha512.hpp"
#include "io/sigmf_pair.hpp"

namespace dot11a {

namespace {

// 2^26 samples (over a gigabyte as doubles): far beyond any frame.
constexpr std::uintmax_t kMaxSamples = std::uintmax_t{1} << 26;

// A MAT container of at most kMaxSamples complex doubles (16 bytes each, as a
// complex column or as columns I and Q), with room for its headers.
constexpr MatReadLimits kCaptureMatLimits{16 * kMaxSamples + (1u << 20), 2 * kMaxSamples,
                                          16 * kMaxSamples + (1u << 20)};

bool endsWith(std::string_view s, std::string_view ext) {
  return s.size() >= ext.size() && s.substr(s.size() - ext.size()) == ext;
}

std::vector<std::uint8_t> readBytes(const std::string& path, std::size_t bytesPerSample) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) raise(path + " cannot be read: " + ec.message() + ".");
  if (size / bytesPerSample > kMaxSamples)
    raise(path + " holds more than " + std::to_string(kMaxSamples) + " samples.");
  std::ifstream in(path, std::ios::binary);
  if (!in) raise(path + " cannot be opened.");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (size > 0 &&
      !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
    raise(path + " cannot be read to its end.");
  return bytes;
}

std::string readText(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) raise(path + " cannot be read: " + ec.message() + ".");
  if (size > kMaxSigmfMetaBytes) raise(path + " is too large for SigMF metadata.");
  std::ifstream in(path, std::ios::binary);
  if (!in) raise(path + " cannot be opened.");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void checkWhole(std::size_t bytes, std::size_t per, const std::string& what) {
  if (bytes % per != 0)
    raise(what + " is not a whole number of samples: " + std::to_string(bytes) + " bytes, " +
          std::to_string(per) + " per sample.");
}

std::vector<std::complex<double>> parseCi16le(std::span<const std::uint8_t> b) {
  checkWhole(b.size(), 4, "The ci16_le data");
  std::vector<std::complex<double>> out(b.size() / 4);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto re = static_cast<std::int16_t>(b[4 * i] | (b[4 * i + 1] << 8));
    const auto im = static_cast<std::int16_t>(b[4 * i + 2] | (b[4 * i + 3] << 8));
    out[i] = {re / 32767.0, im / 32767.0};
  }
  return out;
}

Capture readMat(const std::string& path) {
  Capture c;
  c.format = "MAT";
  const auto vars = readMatFile(path, kCaptureMatLimits);
  for (const auto& [name, v] : vars)
    if (name == kDacPrecompensatedVariable && v.isNumeric() && v.numel() == 1)
      c.dacPrecompensated = v.toScalar() == 1;
  for (const auto& [name, v] : vars) {
    if (name == "samples" && v.isNumeric()) {
      if (v.cols() == 2 && !v.isComplex()) {  // the "ASCII" container: columns I and Q
        const auto d = v.toDoubles();
        const std::size_t n = v.rows();
        c.samples.resize(n);
        for (std::size_t i = 0; i < n; ++i) c.samples[i] = {d[i], d[n + i]};
      } else if (v.isVector() || v.isEmpty()) {
        c.samples = v.toComplex();
      } else {
        raise(path + ": \"samples\" must be a column of complex samples or two columns I and Q.");
      }
      return c;
    }
  }
  // The Special Save Wave container: wave (2 x N, rows I and Q), sampleRate.
  const Value* wave = nullptr;
  for (const auto& [name, v] : vars) {
    if (name == "wave" && v.isNumeric() && v.rows() == 2 && !v.isComplex()) wave = &v;
    if (name == "sampleRate" && v.isNumeric() && v.numel() == 1) c.sampleRate = v.toScalar();
  }
  if (wave == nullptr) raise(path + " holds no \"samples\" (nor \"wave\") variable.");
  const auto d = wave->toDoubles();
  c.samples.resize(wave->cols());
  for (std::size_t i = 0; i < c.samples.size(); ++i) c.samples[i] = {d[2 * i], d[2 * i + 1]};
  return c;
}

Capture readSigmf(const std::string& path) {
  const SigmfPaths p = sigmfPaths(path);
  // A pair whose replacement was killed half-way is mended before it is read.
  recoverSigmfPair(p);
  Capture c;
  const SigmfMeta meta = parseSigmfMeta(readText(p.meta));
  c.sampleRate = meta.sampleRate;
  c.format = "SigMF " + meta.datatype;
  c.dacPrecompensated = meta.dacPrecompensated;
  c.spacing = meta.spacing;
  const bool cf32 = meta.datatype == "cf32_le";
  if (!cf32 && meta.datatype != "ci16_le")
    raise(p.meta + ": the data type \"" + meta.datatype +
          "\" is not read; cf32_le and ci16_le are.");
  const std::vector<std::uint8_t> bytes = readBytes(p.data, cf32 ? 8 : 4);
  // A pair replaced half-way (new samples under old metadata) must not pass
  // for a recording; files of others without a digest are read as they are.
  if (meta.sha512 && sha512Hex(bytes) != *meta.sha512)
    raise(p.meta + ": the data file does not belong to this metadata (" + p.data +
          " has another SHA-512).");
  c.samples = cf32 ? parseCf32(bytes) : parseCi16le(bytes);
  return c;
}

}  // namespace

CaptureFormat captureFormatOf(std::string_view path) {
  if (endsWith(path, ".mat")) return CaptureFormat::Mat;
  if (endsWith(path, ".sigmf-meta") || endsWith(path, ".sigmf-data") || endsWith(path, ".sigmf"))
    return CaptureFormat::Sigmf;
  if (endsWith(path, ".bin")) return CaptureFormat::Sample16;
  if (endsWith(path, ".cf32") || endsWith(path, ".raw")) return CaptureFormat::Cf32;
  return CaptureFormat::Auto;
}

bool captureFormatFromText(std::string_view text, CaptureFormat& format) {
  if (text == "auto")
    format = CaptureFormat::Auto;
  else if (text == "mat")
    format = CaptureFormat::Mat;
  else if (text == "sigmf")
    format = CaptureFormat::Sigmf;
  else if (text == "bin")
    format = CaptureFormat::Sample16;
  else if (text == "cf32")
    format = CaptureFormat::Cf32;
  else
    return false;
  return true;
}

Capture readCapture(const std::string& path, CaptureFormat format) {
  if (format == CaptureFormat::Auto) format = captureFormatOf(path);
  switch (format) {
    case CaptureFormat::Mat:
      return readMat(path);
    case CaptureFormat::Sigmf:
      return readSigmf(path);
    case CaptureFormat::Sample16: {
      Capture c;
      c.format = "16-bit samples";
      c.samples = parseSample16(readBytes(path, 4));
      return c;
    }
    case CaptureFormat::Cf32: {
      Capture c;
      c.format = "cf32_le";
      c.samples = parseCf32(readBytes(path, 8));
      return c;
    }
    case CaptureFormat::Auto:
      break;
  }
  raise(path + ": the format cannot be told from the name; name it (mat, sigmf, bin, cf32).");
}

std::vector<std::complex<double>> parseSample16(std::span<const std::uint8_t> b) {
  checkWhole(b.size(), 4, "The 16-bit sample file");
  std::vector<std::complex<double>> out(b.size() / 4);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto re = static_cast<std::int16_t>((b[4 * i] << 8) | b[4 * i + 1]);
    const auto im = static_cast<std::int16_t>((b[4 * i + 2] << 8) | b[4 * i + 3]);
    out[i] = {re / 32767.0, im / 32767.0};
  }
  return out;
}

std::vector<std::complex<double>> parseCf32(std::span<const std::uint8_t> b) {
  checkWhole(b.size(), 8, "The cf32_le data");
  std::vector<std::complex<double>> out(b.size() / 8);
  for (std::size_t i = 0; i < out.size(); ++i) {
    std::uint32_t w[2];
    for (int j = 0; j < 2; ++j) {
      const std::uint8_t* p = b.data() + 8 * i + 4 * j;
      w[j] = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
             (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    out[i] = {std::bit_cast<float>(w[0]), std::bit_cast<float>(w[1])};
  }
  return out;
}

SigmfMeta parseSigmfMeta(std::string_view text) {
  const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) raise("The SigMF metadata is not a JSON object.");
  const auto g = j.find("global");
  if (g == j.end() || !g->is_object()) raise("The SigMF metadata has no \"global\" object.");
  SigmfMeta m;
  const auto dt = g->find("core:datatype");
  if (dt == g->end() || !dt->is_string()) raise("The SigMF metadata names no core:datatype.");
  m.datatype = dt->get<std::string>();
  const auto sr = g->find("core:sample_rate");
  if (sr != g->end()) {
    if (!sr->is_number() || !std::isfinite(sr->get<double>()) || sr->get<double>() <= 0)
      raise("The SigMF core:sample_rate must be a positive number.");
    m.sampleRate = sr->get<double>();
  }
  const auto sha = g->find("core:sha512");
  if (sha != g->end()) {
    std::string hex = sha->is_string() ? sha->get<std::string>() : std::string();
    for (char& ch : hex) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (hex.size() != 128 || hex.find_first_not_of("0123456789abcdef") != std::string::npos)
      raise("The SigMF core:sha512 must be 128 hexadecimal digits.");
    m.sha512 = std::move(hex);
  }
  const auto dac = g->find(std::string(kSigmfDacKey));
  m.dacPrecompensated = dac != g->end() && dac->is_boolean() && dac->get<bool>();
  const auto spacing = g->find(std::string(kSigmfSpacingKey));
  if (spacing != g->end()) {
    ChannelSpacing s{};
    if (!spacing->is_number() || !channelSpacingOfMHz(spacing->get<double>() / 1e6, s))
      raise("The SigMF " + std::string(kSigmfSpacingKey) + " must be 20e6, 10e6 or 5e6 (Hz).");
    m.spacing = s;
  }
  return m;
}

}  // namespace dot11a
