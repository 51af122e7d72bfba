// MAT version 5 files of named variables (the container format of parameter
// files, the stored configuration and waveform containers), and atomic file
// replacement shared by every writer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dot11a/value.hpp"

namespace dot11a {

using NamedValue = std::pair<std::string, Value>;

// Writes the variables to `path`, replacing it only once the whole file has
// been written and read back: the data goes to a temporary file in the same
// folder that is renamed over the target. Raises an error naming the path on
// any failure and leaves an existing file untouched.
// Doubles (real or complex), int32, texts, records (field order kept) and cell
// lists are stored; an absent value is stored as an empty matrix.
void writeMatFile(const std::string& path, std::span<const NamedValue> variables);

// Reads every variable of a MAT file in file order. Numeric classes other than
// double become doubles, logicals become 0/1, character arrays become texts,
// structures records (a structure array becomes a cell list of records).
// Raises an error for a missing, truncated or corrupt file and for kinds a
// Value cannot hold (sparse matrices, objects).
std::vector<NamedValue> readMatFile(const std::string& path);

// Replaces `path` with `bytes` through a temporary file in the same folder.
// Raises an error naming the path on failure; the old file stays intact.
void writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// A temporary file beside `path` that is removed unless commit() renamed it
// over the target. Used by writers that produce their file through a library.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  const std::string& tempPath() const { return temp_; }
  // Flushes the temporary file to disk and renames it over the target.
  void commit();

 private:
  std::string path_;
  std::string temp_;
  bool committed_ = false;
};

}  // namespace dot11a
