// Structural check of MAT version 5 files before libmatio reads them.
#include "mat5_check.hpp"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

namespace dot11a::mat5 {

std::string mebibytes(std::uint64_t bytes) {
  if (bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

namespace {

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

  // A miMATRIX body: flags, dimensions, name, then data or children.
  bool matrix(const unsigned char* p, std::size_t n, int depth) {
    if (depth > 64) return false;
    std::vector<std::pair<std::uint32_t, std::pair<const unsigned char*, std::size_t>>> subs;
    std::size_t at = 0;
    while (at < n) {
      if (n - at < 8) return false;
      const std::uint32_t w0 = u32(p + at);
      std::uint32_t type, bytes;
      std::size_t total, dataAt;
      if ((w0 >> 16) != 0) {  // small element: type and size in one word, data in the next
        type = w0 & 0xFFFF;
        bytes = w0 >> 16;
        if (bytes > 4) return false;
        total = 8;
        dataAt = at + 4;
      } else {
        type = w0;
        bytes = u32(p + at + 4);
        const std::size_t padded = (static_cast<std::size_t>(bytes) + 7) / 8 * 8;
        if (bytes > n - at - 8) return false;
        total = 8 + std::min(padded, n - at - 8);
        dataAt = at + 8;
      }
      subs.push_back({type, {p + dataAt, bytes}});
      at += total;
    }
    if (subs.size() < 2) return subs.empty() ? true : false;
    // Flags: class in the low byte of the first word.
    if (subs[0].second.second < 8) return false;
    const std::uint32_t cls = u32(subs[0].second.first) & 0xFF;
    // Dimensions (int32).
    const auto& dims = subs[1].second;
    if (dims.second % 4 != 0 || dims.second == 0) return false;
    std::uint64_t numel = 1;
    std::string shape;
    for (std::size_t k = 0; k < dims.second; k += 4) {
      const std::uint64_t d = u32(dims.first + k);
      if (d > 0x7FFFFFFF) return false;
      shape += (shape.empty() ? "" : " x ") + std::to_string(d);
      numel *= d;
      if (numel > (std::uint64_t{1} << 40)) return false;
    }
    if (numel > limits_.elements) {
      problem = "a variable declares " + shape + " elements; at most " +
                std::to_string(limits_.elements) + " are accepted in this file.";
      return false;
    }
    declared += numel;
    // Every element needs file bytes behind it: at least one byte of data, or a
    // child element of at least 8 bytes for cells and structures.
    if (numel > n) return false;
    std::size_t first = 2;  // where child arrays may start
    std::optional<std::uint64_t> children;
    if (cls == 1) {  // cell list: name, then one array per element
      first = 3;
      children = numel;
    } else if (cls == 2) {  // structure: name, name length, names, one array per field and element
      if (subs.size() < 5 || subs[3].second.second < 4) return false;
      const std::uint32_t len = u32(subs[3].second.first);
      // matio reads whole names only and moves on from there; a names element
      // of any other size would make it read the fields at other offsets than
      // this check.
      if (len == 0 || subs[4].second.second % len != 0) return false;
      const std::uint64_t fields = subs[4].second.second / len;
      if (fields != 0 && numel > std::numeric_limits<std::uint64_t>::max() / fields) return false;
      first = 5;
      children = numel * fields;
    }
    if (children) {
      if (subs.size() < first || subs.size() - first != *children) return false;
      for (std::size_t k = first; k < subs.size(); ++k)
        if (subs[k].first != 14) return false;
    }
    for (std::size_t k = first; k < subs.size(); ++k)
      if (subs[k].first == 14 && !matrix(subs[k].second.first, subs[k].second.second, depth + 1))
        return false;
    return true;
  }

  bool element(std::uint32_t type, const unsigned char* p, std::size_t n) {
    if (type == 14) return matrix(p, n, 0);
    if (type != 15) return true;  // other top-level elements are skipped by readers
    // Compressed: the inner element's tag comes first and declares its size;
    // a size beyond the bytes left for this file is refused before the rest is
    // inflated. Then inflate no further than that allowance, and check the
    // element inside.
    const std::size_t cap = static_cast<std::size_t>(
        std::min<std::uint64_t>(inflateLeft_, std::numeric_limits<std::size_t>::max() - 1));
    std::vector<unsigned char> out(8);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<unsigned char*>(p);
    z.avail_in = static_cast<uInt>(n);
    int rc = Z_OK;
    std::size_t produced = 0;
    bool sized = false;
    while (rc == Z_OK) {
      if (produced == out.size()) {
        if (!sized) {
          sized = true;
          const std::uint64_t elementBytes = std::uint64_t{u32(out.data() + 4)} + 8;
          if (elementBytes > cap) {
            produced = cap + 1;
            break;
          }
          // Room for the declared element and a little padding.
          out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(cap + 1, elementBytes + 64)));
          continue;
        }
        if (out.size() > cap) break;
        out.resize(std::min(cap + 1, out.size() * 2));
      }
      z.next_out = out.data() + produced;
      z.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size() - produced, 1u << 30));
      const uInt before = z.avail_out;
      rc = inflate(&z, Z_NO_FLUSH);
      produced += before - z.avail_out;
      if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    inflateEnd(&z);
    if (produced > cap) {
      problem = "its compressed variables expand to more than " + mebibytes(limits_.inflatedBytes) +
                ", more than this file may hold.";
      return false;
    }
    inflateLeft_ -= produced;
    if (rc != Z_STREAM_END || produced < 8) return false;
    const std::uint32_t inner = u32(out.data());
    const std::uint32_t bytes = u32(out.data() + 4);
    if (inner != 14 || bytes > produced - 8) return false;
    return matrix(out.data() + 8, bytes, 0);
  }

 private:
  bool swapped_;
  MatReadLimits limits_;
  std::uint64_t inflateLeft_;
};

}  // namespace

bool hasHeader(const std::vector<unsigned char>& head) {
  if (head.size() < 128) return false;
  if (head[126] == 'I' && head[127] == 'M') return head[124] == 0x00 && head[125] == 0x01;
  if (head[126] == 'M' && head[127] == 'I') return head[124] == 0x01 && head[125] == 0x00;
  return false;
}

std::optional<std::vector<std::uint64_t>> check(const std::vector<unsigned char>& file,
                                                const MatReadLimits& limits, std::string& problem) {
  Mat5Check walk(file.size() > 127 && file[126] == 'M' && file[127] == 'I', limits);
  std::vector<std::uint64_t> declared;
  std::size_t offset = 128;
  while (offset < file.size()) {
    if (file.size() - offset < 8) return std::nullopt;
    const std::uint32_t type = walk.u32(file.data() + offset);
    const std::uint32_t bytes = walk.u32(file.data() + offset + 4);
    if (bytes > file.size() - offset - 8) return std::nullopt;
    walk.declared = 0;
    if (!walk.element(type, file.data() + offset + 8, bytes)) {
      problem = walk.problem;
      return std::nullopt;
    }
    declared.push_back(walk.declared);
    // Uncompressed elements are padded to 8 bytes; the padding of the last one
    // may be missing.
    const std::size_t padded = type == 15 ? bytes : (static_cast<std::size_t>(bytes) + 7) / 8 * 8;
    offset += 8 + std::min(padded, file.size() - offset - 8);
  }
  return declared;
}

}  // namespace dot11a::mat5
