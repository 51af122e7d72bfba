// Structural check of MAT version 5 files before libmatio reads them.
#include "mat5_check.hpp"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

namespace dot11a::mat5 {

std::string mebibytes(std::uint64_t bytes) {
  if (bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

namespace {

// Data types of MAT version 5 tags.
constexpr std::uint32_t kMatrix = 14;
constexpr std::uint32_t kCompressed = 15;

// A tag inside an array names one of the data types: 1-7 (int8 .. single),
// 9 (double), 12-13 (64-bit integers), 14 (an array), 16-18 (UTF-8/16/32).
// Anything else (0 among them, as in zeroed bytes) is damage.
bool knownInsideArray(std::uint32_t type) {
  return (type >= 1 && type <= 7) || type == 9 || type == 12 || type == 13 || type == kMatrix ||
         (type >= 16 && type <= 18);
}

// Array classes whose sub-elements are arrays of their own.
constexpr std::uint32_t kCellClass = 1;
constexpr std::uint32_t kStructClass = 2;
// The most sub-elements an array of any other class has: flags, dimensions,
// name and the parts of a sparse matrix (row and column indices, real and
// imaginary values).
constexpr std::size_t kMostPlainSubElements = 7;

// Bytes read forward, a piece at a time.
class Source {
 public:
  virtual ~Source() = default;
  // Exactly `n` bytes into `out`; false when they are not there.
  virtual bool read(unsigned char* out, std::size_t n) = 0;
  // Passes over `n` bytes; false when they are not there.
  virtual bool skip(std::uint64_t n) = 0;
};

// A range of an open file, read through a small buffer.
class FileSource : public Source {
 public:
  FileSource(int fd, std::uint64_t at, std::uint64_t end)
      : fd_(fd), at_(at), end_(end), buf_(std::size_t{1} << 16) {}

  bool read(unsigned char* out, std::size_t n) override {
    if (n > end_ - at_) return false;
    while (n > 0) {
      if (at_ < bufAt_ || at_ >= bufAt_ + bufLen_) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buf_.size(), end_ - at_));
        ssize_t got;
        do {
          got = ::pread(fd_, buf_.data(), want, static_cast<off_t>(at_));
        } while (got < 0 && errno == EINTR);
        if (got <= 0) return false;
        bufAt_ = at_;
        bufLen_ = static_cast<std::size_t>(got);
      }
      const std::size_t from = static_cast<std::size_t>(at_ - bufAt_);
      const std::size_t take = std::min(n, bufLen_ - from);
      std::memcpy(out, buf_.data() + from, take);
      out += take;
      n -= take;
      at_ += take;
    }
    return true;
  }

  bool skip(std::uint64_t n) override {
    if (n > end_ - at_) return false;
    at_ += n;
    return true;
  }

  int fd() const { return fd_; }
  std::uint64_t at() const { return at_; }
  std::uint64_t left() const { return end_ - at_; }

 private:
  int fd_;
  std::uint64_t at_, end_;
  std::vector<unsigned char> buf_;
  std::uint64_t bufAt_ = 0;
  std::size_t bufLen_ = 0;
};

// The bytes a compressed element inflates to, no more than `cap` of them.
class InflateSource : public Source {
 public:
  InflateSource(FileSource& in, std::uint64_t cap) : in_(in), cap_(cap) {
    ok_ = inflateInit(&z_) == Z_OK;
  }
  ~InflateSource() override {
    if (ok_) inflateEnd(&z_);
  }
  InflateSource(const InflateSource&) = delete;
  InflateSource& operator=(const InflateSource&) = delete;

  bool read(unsigned char* out, std::size_t n) override { return pull(out, n); }

  bool skip(std::uint64_t n) override {
    unsigned char sink[1 << 14];
    while (n > 0) {
      const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, sizeof sink));
      if (!pull(sink, take)) return false;
      n -= take;
    }
    return true;
  }

  // Inflates what is left after the element; true when the stream ends
  // properly within the allowance.
  bool finish() {
    unsigned char sink[1 << 14];
    while (ok_ && rc_ == Z_OK)
      if (!pull(sink, sizeof sink, true)) break;
    return ok_ && rc_ == Z_STREAM_END && !overCap_;
  }

  bool overCap() const { return overCap_; }
  std::uint64_t produced() const { return produced_; }

 private:
  // Up to `n` bytes into `out`; all of them unless `partial`.
  bool pull(unsigned char* out, std::size_t n, bool partial = false) {
    std::size_t got = 0;
    while (got < n) {
      if (!ok_ || rc_ != Z_OK) return partial;
      if (z_.avail_in == 0 && in_.left() > 0) {
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(sizeof in_buf_, in_.left()));
        if (!in_.read(in_buf_, take)) {
          ok_ = false;
          return false;
        }
        z_.next_in = in_buf_;
        z_.avail_in = static_cast<uInt>(take);
      }
      // Never past the allowance: one byte beyond it is enough to tell.
      const std::uint64_t room = cap_ + 1 - produced_;
      z_.next_out = out + got;
      z_.avail_out = static_cast<uInt>(std::min<std::uint64_t>(n - got, room));
      const uInt before = z_.avail_out;
      rc_ = inflate(&z_, Z_NO_FLUSH);
      const std::size_t made = before - z_.avail_out;
      got += made;
      produced_ += made;
      if (produced_ > cap_) {
        overCap_ = true;
        ok_ = false;
        return false;
      }
      if (rc_ == Z_BUF_ERROR && z_.avail_in == 0 && in_.left() == 0) return partial;
      if (rc_ == Z_BUF_ERROR) rc_ = Z_OK;  // no progress this round; more input follows
      if (partial && made > 0) return true;
    }
    return true;
  }

  FileSource& in_;
  std::uint64_t cap_;
  z_stream z_{};
  bool ok_ = false;
  bool overCap_ = false;
  int rc_ = Z_OK;
  std::uint64_t produced_ = 0;
  unsigned char in_buf_[1 << 14];
};

// Walks the elements of a file as matio will. `declared` counts the elements
// of every array visited since the last reset.
class Mat5Check {
 public:
  Mat5Check(bool swapped, const MatReadLimits& limits)
      : swapped_(swapped), limits_(limits), inflateLeft_(limits.inflatedBytes) {}

  std::string problem;
  std::uint64_t declared = 0;

  std::uint32_t u32(const unsigned char* p) const {
    std::uint32_t w = 0;
    for (int b = 0; b < 4; ++b)
      w |= static_cast<std::uint32_t>(p[b]) << (swapped_ ? 8 * (3 - b) : 8 * b);
    return w;
  }

  // A miMATRIX body of `n` bytes read from `in`: flags, dimensions, name,
  // then data or child arrays. Reads exactly `n` bytes when it returns true.
  bool matrix(Source& in, std::uint64_t n, int depth) {
    if (depth > 64) return false;
    if (++arrays_ > limits_.arrays) {
      problem = "it holds more than " + std::to_string(limits_.arrays) +
                " arrays (variables, fields and cells), more than this file may hold.";
      return false;
    }
    std::uint32_t cls = 0;
    std::uint64_t numel = 1;
    std::uint64_t children = 0;  // arrays a cell list or record calls for
    std::uint64_t found = 0;     // child arrays met
    std::size_t first = 2;       // index of the first child array (after the name)
    std::size_t index = 0;
    std::uint64_t at = 0;
    while (at < n) {
      if (n - at < 8) return false;
      unsigned char tag[8];
      if (!in.read(tag, 8)) return false;
      const std::uint32_t w0 = u32(tag);
      std::uint32_t type, bytes;
      std::uint64_t rest;     // bytes after the tag: data and padding
      if ((w0 >> 16) != 0) {  // small element: type and size in one word, data in the next
        type = w0 & 0xFFFF;
        bytes = w0 >> 16;
        if (bytes > 4) return false;
        rest = 0;
      } else {
        type = w0;
        bytes = u32(tag + 4);
        if (bytes > n - at - 8) return false;
        rest = std::min<std::uint64_t>((std::uint64_t{bytes} + 7) / 8 * 8, n - at - 8);
      }
      if (!knownInsideArray(type)) return false;
      // The data of a small element is in its tag; of others it follows.
      unsigned char head[8] = {};
      const std::size_t wanted = index < 2 || (cls == kStructClass && index == 3) ? 8 : 0;
      const std::size_t have = std::min<std::size_t>(wanted, bytes);
      if (rest == 0) {
        std::memcpy(head, tag + 4, std::min<std::size_t>(have, 4));
      } else if (have > 0 && !in.read(head, have)) {
        return false;
      }
      std::uint64_t after = rest == 0 ? 0 : rest - have;  // still to read or pass over
      switch (index) {
        case 0:  // flags: the class in the low byte of the first word
          if (bytes < 8) return false;
          cls = u32(head) & 0xFF;
          break;
        case 1: {  // dimensions (int32), read here a word at a time
          if (bytes % 4 != 0 || bytes == 0) return false;
          std::string shape;
          for (std::uint32_t k = 0; k < bytes; k += 4) {
            unsigned char word[4];
            if (k < have) {
              std::memcpy(word, head + k, 4);
            } else if (!in.read(word, 4)) {
              return false;
            } else {
              after -= 4;
            }
            const std::uint64_t d = u32(word);
            if (d > 0x7FFFFFFF) return false;
            if (shape.size() < 200) shape += (shape.empty() ? "" : " x ") + std::to_string(d);
            numel *= d;
            if (numel > (std::uint64_t{1} << 40)) return false;
          }
          if (numel > limits_.elements) {
            problem = "a variable declares " + shape + " elements; at most " +
                      std::to_string(limits_.elements) + " are accepted in this file.";
            return false;
          }
          declared += numel;
          // Every element needs file bytes behind it: at least one byte of
          // data, or a child element of at least 8 bytes for cells and
          // structures.
          if (numel > n) return false;
          // A cell list's arrays follow its name; a record's its field names.
          if (cls == kCellClass) {
            first = 3;
            children = numel;
          }
          if (cls == kStructClass) first = 5;
          break;
        }
        default:
          if (cls == kStructClass && index == 3) {  // the length of each field name
            if (bytes < 4) return false;
            fieldNameLength_ = u32(head);
          } else if (cls == kStructClass && index == 4) {
            // matio reads whole names only and moves on from there; a names
            // element of any other size would make it read the fields at
            // other offsets than this check.
            const std::uint32_t len = fieldNameLength_;
            if (len == 0 || bytes % len != 0) return false;
            const std::uint64_t fields = bytes / len;
            if (fields != 0 && numel > std::numeric_limits<std::uint64_t>::max() / fields)
              return false;
            children = numel * fields;
          } else if ((cls == kCellClass || cls == kStructClass) && index >= first) {
            if (type != kMatrix || ++found > children) return false;
          } else if (cls != kCellClass && cls != kStructClass && index >= kMostPlainSubElements) {
            return false;
          }
          if (type == kMatrix && index >= first) {
            if (!matrix(in, bytes, depth + 1)) return false;
            after -= std::min<std::uint64_t>(after, bytes);
          }
      }
      if (after > 0 && !in.skip(after)) return false;
      at += 8 + rest;
      ++index;
    }
    if (index == 0) return true;  // an empty array
    if (index < 2) return false;
    if (cls == kCellClass || cls == kStructClass) return index >= first && found == children;
    return true;
  }

  // One top-level element, its tag read already; reads its `bytes` bytes.
  bool element(FileSource& in, std::uint32_t type, std::uint32_t bytes) {
    if (type == kMatrix) return bytes > 0 && matrix(in, bytes, 0);
    // matio reads arrays, plain or compressed, and nothing else.
    if (type != kCompressed) return false;
    // Compressed: the inner element's tag comes first and declares its size;
    // a size beyond the bytes left for this file is refused before the rest is
    // inflated. Then the element inside is checked as it is inflated, no
    // further than that allowance.
    if (bytes > in.left()) return false;
    FileSource range(in.fd(), in.at(), in.at() + bytes);
    InflateSource z(range, inflateLeft_);
    unsigned char tag[8];
    bool ok = z.read(tag, 8);
    if (ok) {
      const std::uint64_t elementBytes = std::uint64_t{u32(tag + 4)} + 8;
      if (elementBytes > inflateLeft_) return tooMuch();
      ok = u32(tag) == kMatrix && u32(tag + 4) > 0 && matrix(z, u32(tag + 4), 0) && z.finish();
    }
    if (z.overCap()) return tooMuch();
    inflateLeft_ -= std::min(inflateLeft_, z.produced());
    return ok && in.skip(bytes);
  }

 private:
  bool tooMuch() {
    problem = "its compressed variables expand to more than " + mebibytes(limits_.inflatedBytes) +
              ", more than this file may hold.";
    return false;
  }

  bool swapped_;
  MatReadLimits limits_;
  std::uint64_t inflateLeft_;
  std::uint64_t arrays_ = 0;
  std::uint32_t fieldNameLength_ = 0;
};

}  // namespace

bool hasHeader(const std::vector<unsigned char>& head) {
  if (head.size() < 128) return false;
  if (head[126] == 'I' && head[127] == 'M') return head[124] == 0x00 && head[125] == 0x01;
  if (head[126] == 'M' && head[127] == 'I') return head[124] == 0x01 && head[125] == 0x00;
  return false;
}

std::optional<std::vector<std::uint64_t>> check(int fd, std::uint64_t size,
                                                const MatReadLimits& limits, std::string& problem) {
  FileSource in(fd, 0, size);
  std::vector<unsigned char> head(128);
  if (!in.read(head.data(), head.size())) return std::nullopt;
  Mat5Check walk(head[126] == 'M' && head[127] == 'I', limits);
  std::vector<std::uint64_t> declared;
  while (in.left() > 0) {
    unsigned char tag[8];
    if (!in.read(tag, 8)) return std::nullopt;
    const std::uint32_t type = walk.u32(tag);
    const std::uint32_t bytes = walk.u32(tag + 4);
    if (bytes > in.left()) return std::nullopt;
    walk.declared = 0;
    if (!walk.element(in, type, bytes)) {
      problem = walk.problem;
      return std::nullopt;
    }
    declared.push_back(walk.declared);
    // Uncompressed elements are padded to 8 bytes; the padding of the last one
    // may be missing.
    if (type != kCompressed) in.skip(std::min<std::uint64_t>((8 - bytes % 8) % 8, in.left()));
  }
  return declared;
}

}  // namespace dot11a::mat5
