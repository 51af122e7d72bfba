// A SigMF recording's two files replaced as one.
#include "io/sigmf_pair.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "dot11a/capture.hpp"
#include "dot11a/error.hpp"
#include "dot11a/matfile.hpp"
#include "io/sha512.hpp"

namespace dot11a {

namespace fs = std::filesystem;

namespace {

void writeWhole(const AtomicFile& file, const std::string& path,
                std::span<const std::uint8_t> bytes) {
  std::FILE* f = std::fopen(file.tempPath().c_str(), "wb");
  if (f == nullptr) raise("Cannot write " + path + ": " + std::strerror(errno) + ".");
  const bool written =
      bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const std::string why = std::strerror(errno);
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) raise("Cannot write " + path + ": " + why + ".");
}

// The data digest that the metadata file `path` records; nothing when the
// file is missing, too large for metadata, not SigMF or records none.
std::optional<std::string> recordedDigest(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > kMaxSigmfMetaBytes || ec)
    return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  try {
    return parseSigmfMeta(text).sha512;
  } catch (const Error&) {
    return std::nullopt;
  }
}

}  // namespace

void commitSigmfPair(const SigmfPaths& paths, std::span<const std::uint8_t> data,
                     std::string_view meta) {
  // A pair an earlier write left half replaced is mended first, so that its
  // leftovers do not outlive the pair they belong to.
  recoverSigmfPair(paths);
  // Both files are complete in temporary files, and both targets replaceable,
  // before either is replaced, and a failure of the second replacement puts
  // the first file back. Data goes first: a kill between the two renames
  // leaves new data under old metadata, with the new metadata beside it.
  AtomicFile dataFile(paths.data, Commit::Together), metaFile(paths.meta, Commit::Together);
  writeWhole(dataFile, paths.data, data);
  writeWhole(metaFile, paths.meta,
             std::span(reinterpret_cast<const std::uint8_t*>(meta.data()), meta.size()));
  AtomicFile* const both[] = {&dataFile, &metaFile};
  commitTogether(both);
}

void recoverSigmfPair(const SigmfPaths& paths) noexcept {
  try {
    Leftovers data(paths.data), meta(paths.meta);
    if (data.files().empty() && meta.files().empty()) return;
    const std::optional<std::string> dataHash = sha512HexOfFile(data.target());
    const std::optional<std::string> metaDigest = recordedDigest(meta.target());
    bool agree = dataHash && metaDigest && *dataHash == *metaDigest;
    // Forward: the new metadata of the data in place.
    for (std::size_t i = 0; !agree && dataHash && i < meta.files().size(); ++i)
      if (recordedDigest(meta.files()[i].path) == dataHash) {
        meta.restore(i);
        agree = true;
      }
    // Back: the data the metadata in place describes.
    for (std::size_t i = 0; !agree && metaDigest && i < data.files().size(); ++i)
      if (sha512HexOfFile(data.files()[i].path) == metaDigest) {
        data.restore(i);
        agree = true;
      }
    std::error_code ec;
    const bool gone = !fs::exists(data.target(), ec) && !fs::exists(meta.target(), ec);
    if (agree || gone) {
      data.removeStale();
      meta.removeStale();
    }
  } catch (...) {
    // Left as it is: a reader refuses a pair that does not agree.
  }
}

}  // namespace dot11a
