// MAT version 5 files of named variables (the container format of parameter
// files, the stored configuration and waveform containers), and atomic file
// replacement shared by every writer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

using NamedValue = std::pair<std::string, Value>;

// Writes the variables to `path`, replacing it only once the whole file has
// been written and read back: the data goes to a temporary file in the same
// folder that is renamed over the target. Raises an error naming the path on
// any failure and leaves an existing file untouched.
// Doubles (real or complex), int32, texts, records (field order kept) and cell
// lists are stored; an absent value is stored as an empty matrix.
void writeMatFile(const std::string& path, std::span<const NamedValue> variables);

// What a reader accepts before it allocates anything: the file size, the
// number of elements one array may declare and the bytes all compressed
// variables together may inflate to. The defaults suit waveform containers;
// kSmallMatFile suits parameter files and the stored configuration.
struct MatReadLimits {
  std::uint64_t fileBytes = UINT64_MAX;
  std::uint64_t elements = UINT64_MAX;
  std::uint64_t inflatedBytes = std::uint64_t{512} << 20;
};

// A parameter set holds at most a 4095-octet bit stream (32760 doubles) and a
// few dozen small fields; these bounds leave a wide margin above that.
inline constexpr MatReadLimits kSmallMatFile{std::uint64_t{4} << 20, std::uint64_t{1} << 20,
                                             std::uint64_t{16} << 20};

// Reads every variable of a MAT file in file order. Numeric classes other than
// double become doubles, logicals become 0/1, character arrays become texts,
// structures records (a structure array becomes a cell list of records).
// Raises an error for a missing, truncated or corrupt file, a path that is not
// a regular file, a file beyond `limits` (refused before its contents are
// read) and for kinds a Value cannot hold (sparse matrices, objects).
std::vector<NamedValue> readMatFile(const std::string& path, const MatReadLimits& limits = {});

// Replaces `path` with `bytes` through a temporary file in the same folder.
// Raises an error naming the path on failure; the old file stays intact.
void writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

class AtomicFile;
// Replaces the targets of `files` in order. When one cannot be replaced, the
// targets replaced before it get their previous files back (a target that had
// none is removed) before the error is raised: all are new, or all as before.
void commitTogether(std::span<AtomicFile* const> files);

// A temporary file beside the target that is removed unless commit() renamed
// it over the target. Used by writers that produce their file through a
// library. A symbolic link is followed: the file it names is replaced, in its
// own folder, and the link stays. A target that is a folder, pipe, device or
// socket is refused ("it is a folder.", "it is not a regular file.") before
// anything is written. Temporary files that interrupted writes left in that
// folder (the same naming, unchanged for ten minutes, not in use) are removed.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  const std::string& tempPath() const { return temp_; }
  // Raises an error when the target cannot be replaced (it is no longer
  // absent or a regular file), so writers of several files can check every
  // target before replacing any.
  void checkReplaceable() const;
  // Flushes the temporary file to disk and renames it over the target.
  void commit();

 private:
  friend void commitTogether(std::span<AtomicFile* const> files);
  std::string path_;    // as given, for messages
  std::string target_;  // the file replaced: path_ with symbolic links followed
  std::string temp_;
  int lock_ = -1;  // open on temp_ and locked while this writer lives
  bool committed_ = false;
};

}  // namespace dot11a

DOT11A_API_END
