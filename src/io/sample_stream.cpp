// Raw complex samples read a chunk at a time.
#include "dot11a/sample_stream.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "dot11a/error.hpp"
#include "io/bus_guard.hpp"

namespace dot11a {

namespace {

bool endsWith(std::string_view s, std::string_view ext) {
  return s.size() >= ext.size() && s.substr(s.size() - ext.size()) == ext;
}

std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::optional<SampleFormat> sampleFormatFromText(std::string_view text) {
  if (text == "cf32" || text == "cf32_le") return SampleFormat::Cf32;
  if (text == "ci16" || text == "ci16_le") return SampleFormat::Ci16;
  if (text == "ci8") return SampleFormat::Ci8;
  if (text == "bin") return SampleFormat::Sample16;
  return std::nullopt;
}

std::optional<SampleFormat> sampleFormatOf(std::string_view path) {
  if (endsWith(path, ".cf32") || endsWith(path, ".raw")) return SampleFormat::Cf32;
  if (endsWith(path, ".ci16")) return SampleFormat::Ci16;
  if (endsWith(path, ".ci8")) return SampleFormat::Ci8;
  if (endsWith(path, ".bin")) return SampleFormat::Sample16;
  return std::nullopt;
}

std::size_t bytesPerSample(SampleFormat format) {
  switch (format) {
    case SampleFormat::Cf32:
      return 8;
    case SampleFormat::Ci16:
    case SampleFormat::Sample16:
      return 4;
    case SampleFormat::Ci8:
      return 2;
  }
  return 8;
}

const char* sampleFormatName(SampleFormat format) {
  switch (format) {
    case SampleFormat::Cf32:
      return "cf32_le";
    case SampleFormat::Ci16:
      return "ci16_le";
    case SampleFormat::Ci8:
      return "ci8";
    case SampleFormat::Sample16:
      return "16-bit samples";
  }
  return "";
}

namespace {

// The n samples at p, converted into o.
void convert(const std::uint8_t* p, std::size_t n, SampleFormat format, std::complex<double>* o) {
  switch (format) {
    case SampleFormat::Cf32:
      for (std::size_t i = 0; i < n; ++i, p += 8)
        o[i] = {std::bit_cast<float>(le32(p)), std::bit_cast<float>(le32(p + 4))};
      break;
    case SampleFormat::Ci16:
      for (std::size_t i = 0; i < n; ++i, p += 4)
        o[i] = {static_cast<std::int16_t>(p[0] | (p[1] << 8)) / 32767.0,
                static_cast<std::int16_t>(p[2] | (p[3] << 8)) / 32767.0};
      break;
    case SampleFormat::Sample16:
      for (std::size_t i = 0; i < n; ++i, p += 4)
        o[i] = {static_cast<std::int16_t>((p[0] << 8) | p[1]) / 32767.0,
                static_cast<std::int16_t>((p[2] << 8) | p[3]) / 32767.0};
      break;
    case SampleFormat::Ci8:
      for (std::size_t i = 0; i < n; ++i, p += 2)
        o[i] = {static_cast<std::int8_t>(p[0]) / 127.0, static_cast<std::int8_t>(p[1]) / 127.0};
      break;
  }
}

}  // namespace

void appendSamples(std::span<const std::uint8_t> b, SampleFormat format,
                   std::vector<std::complex<double>>& out) {
  const std::size_t n = b.size() / bytesPerSample(format), at = out.size();
  out.resize(at + n);
  convert(b.data(), n, format, out.data() + at);
}

// A mapped window of a file: `length` bytes from file offset `offset` at
// `base`, guarded against the file becoming shorter.
struct SampleReader::Window {
  void* base = nullptr;
  std::size_t length = 0;
  std::uint64_t offset = 0;
  int guard = -1;

  ~Window() { release(); }
  void release() {
    if (base == nullptr) return;
    io::unguardWindow(guard);
    ::munmap(base, length);
    base = nullptr;
    guard = -1;
  }
  bool holds(std::uint64_t at, std::size_t bytes) const {
    return base != nullptr && at >= offset && at + bytes <= offset + length;
  }
};

namespace {

// Bytes mapped at a time: enough that mapping costs little beside reading,
// few enough that the pages mapped add little to the process's memory.
constexpr std::size_t kWindowBytes = std::size_t{4} << 20;

}  // namespace

SampleReader::SampleReader(const std::string& path, SampleFormat format, std::uint64_t first,
                           std::optional<std::uint64_t> count)
    : path_(path), format_(format), left_(count) {
  if (path == "-") {
    fd_ = STDIN_FILENO;
    path_ = "standard input";
    return;
  }
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) raise(path + " cannot be read: " + std::strerror(errno) + ".");
  ownFd_ = true;
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const std::size_t per = bytesPerSample(format);
    if (size % per != 0) {
      ::close(fd_);
      raise(path + " is not a whole number of samples: " + std::to_string(size) + " bytes, " +
            std::to_string(per) + " per sample.");
    }
    fileSamples_ = size / per;
    if (first > 0 && ::lseek(fd_, static_cast<off_t>(first * per), SEEK_SET) < 0) {
      ::close(fd_);
      raise(path + " cannot be read from sample " + std::to_string(first) + ".");
    }
    mapping_ = format == SampleFormat::Cf32 && std::endian::native == std::endian::little;
    at_ = first * per;
    next_ = first;
  }
}

void SampleReader::becameShorter() const {
  raise(path_ + " became shorter while it was read: it ends at sample " + std::to_string(next_) +
        ", before the " + std::to_string(fileSamples_.value_or(next_)) +
        " it held when it was opened.");
}

bool SampleReader::endOfFile() {
  if (!fileSamples_) return false;  // a stream: a partial sample is an error
  if (next_ < *fileSamples_) becameShorter();
  return true;
}

SampleReader::~SampleReader() {
  window_.reset();
  if (ownFd_) ::close(fd_);
}

std::size_t SampleReader::wanted(std::size_t maxSamples) const {
  std::size_t want = std::max<std::size_t>(maxSamples, 1);
  if (left_) want = static_cast<std::size_t>(std::min<std::uint64_t>(want, *left_));
  return want;
}

std::size_t SampleReader::fill(std::uint8_t* buf, std::size_t capacity, bool& interrupted,
                               bool& ended) {
  const std::size_t per = bytesPerSample(format_);
  // A pipe delivers what it has: return it as soon as it makes a whole
  // sample, so that a live stream is decoded as it arrives. A file fills the
  // chunk in one read.
  interrupted = ended = false;
  while (held_ < per) {
    const ssize_t got = ::read(fd_, buf + held_, capacity - held_);
    if (got > 0) {
      held_ += static_cast<std::size_t>(got);
      continue;
    }
    if (got == 0) {
      ended = true;
      break;
    }
    if (errno == EINTR) {
      interrupted = true;
      break;
    }
    raise(path_ + " cannot be read: " + std::strerror(errno) + ".");
  }
  return held_ / per;
}

bool SampleReader::handedOut(const std::uint8_t* buf, std::size_t samples, bool interrupted,
                             bool ended) {
  const std::size_t whole = samples * bytesPerSample(format_);
  held_ -= whole;
  if (bytes_.size() < held_) bytes_.resize(held_);
  if (held_ != 0) std::memmove(bytes_.data(), buf + whole, held_);
  if (left_) *left_ -= samples;
  next_ += samples;
  if (ended && samples == 0) {
    // A file that grew ends at its last whole sample; a stream must not end
    // inside one.
    if (endOfFile())
      held_ = 0;
    else if (held_ != 0)
      raise(path_ + " ends in the middle of a sample (" + std::to_string(held_) +
            " bytes left over).");
  }
  return samples != 0 || interrupted || !ended;
}

bool SampleReader::read(std::vector<std::complex<double>>& out, std::size_t maxSamples) {
  const std::size_t want = wanted(maxSamples);
  if (want == 0) {
    out.clear();
    return false;
  }
  bytes_.resize(want * bytesPerSample(format_));
  bool interrupted = false, ended = false;
  const std::size_t n = fill(bytes_.data(), bytes_.size(), interrupted, ended);
  // Resized, not cleared: a chunk of the same size as the last is not
  // filled with zeros first.
  out.resize(n);
  convert(bytes_.data(), n, format_, out.data());
  return handedOut(bytes_.data(), n, interrupted, ended);
}

std::optional<std::size_t> SampleReader::read(std::span<std::complex<float>> out) {
  if (format_ != SampleFormat::Cf32)
    throw std::logic_error("Only cf32 samples are read as floats, not " +
                           std::string(sampleFormatName(format_)) + ".");
  if (out.empty()) throw std::logic_error("A read of samples needs room for one.");
  static_assert(sizeof(std::complex<float>) == 8);
  const std::size_t want = wanted(out.size());
  if (want == 0) return std::nullopt;
  auto* buf = reinterpret_cast<std::uint8_t*>(out.data());
  if (held_ != 0) std::memcpy(buf, bytes_.data(), held_);  // a sample the last read cut
  bool interrupted = false, ended = false;
  const std::size_t n = fill(buf, want * sizeof(std::complex<float>), interrupted, ended);
  const bool more = handedOut(buf, n, interrupted, ended);
  if constexpr (std::endian::native != std::endian::little)
    for (std::complex<float>& v : out.first(n)) {
      const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
      v = {std::bit_cast<float>(le32(p)), std::bit_cast<float>(le32(p + 4))};
    }
  if (!more) return std::nullopt;
  return n;
}

std::optional<std::span<const std::complex<float>>> SampleReader::readInPlace(
    std::size_t maxSamples) {
  if (format_ != SampleFormat::Cf32)
    throw std::logic_error("Only cf32 samples are read in place, not " +
                           std::string(sampleFormatName(format_)) + ".");
  if (maxSamples == 0) throw std::logic_error("A read of samples needs room for one.");
  if (window_ && io::windowCut(window_->guard))
    raise(path_ + " became shorter while it was read: its samples from byte " +
          std::to_string(window_->offset) + " on may read as zeros.");
  if (mapping_) {
    constexpr std::size_t per = sizeof(std::complex<float>);
    // At most 2^36 samples (512 GiB) at a time, so that no byte count below
    // overflows.
    const std::size_t want = std::min(wanted(maxSamples), std::size_t{1} << 36);
    if (want == 0) return std::nullopt;
    // The window holds all the samples asked for, up to the end of the file,
    // so the pieces handed out are those read(span) would give.
    if (!window_ || !window_->holds(at_, want * per)) {
      if (!window_) window_ = std::make_unique<Window>();
      window_->release();
      // The size now: a file still being written may have grown.
      struct stat st {};
      if (::fstat(fd_, &st) != 0) raise(path_ + " cannot be read: " + std::strerror(errno) + ".");
      const auto size = static_cast<std::uint64_t>(st.st_size);
      // Fewer bytes than were there when it was opened: cut short. A file
      // that grew is read to its last whole sample.
      if (size / per < *fileSamples_) becameShorter();
      if (at_ + per > size) {
        endOfFile();
        return std::nullopt;
      }
      const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
      const std::uint64_t offset = at_ / page * page;
      const auto length = static_cast<std::size_t>(
          std::min<std::uint64_t>(std::max<std::uint64_t>(kWindowBytes, want * per + page),
                                  (size - at_) / per * per + (at_ - offset)));
      void* base = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd_,
                          static_cast<off_t>(offset));
      const int guard = base == MAP_FAILED ? -1 : io::guardWindow(base, length);
      if (guard < 0) {
        // Read the plain way from here on.
        if (base != MAP_FAILED) ::munmap(base, length);
        mapping_ = false;
        if (::lseek(fd_, static_cast<off_t>(at_), SEEK_SET) < 0)
          raise(path_ + " cannot be read: " + std::strerror(errno) + ".");
        return readInPlace(maxSamples);
      }
      window_->base = base;
      window_->length = length;
      window_->offset = offset;
      window_->guard = guard;
    }
    const std::size_t n =
        std::min<std::size_t>(want, (window_->offset + window_->length - at_) / per);
    const auto* first = reinterpret_cast<const std::complex<float>*>(
        static_cast<const std::uint8_t*>(window_->base) + (at_ - window_->offset));
    at_ += n * per;
    next_ += n;
    if (left_) *left_ -= n;
    return std::span(first, n);
  }
  floats_.resize(maxSamples);
  const auto n = read(std::span(floats_));
  if (!n) return std::nullopt;
  return std::span<const std::complex<float>>(floats_.data(), *n);
}

}  // namespace dot11a
