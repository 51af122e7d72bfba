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
// number of elements one array may declare, the bytes all compressed
// variables together may inflate to and the number of arrays (variables,
// record fields and cells, each of which the MAT library keeps a header for).
// The defaults suit waveform containers; kSmallMatFile suits parameter files
// and the stored configuration.
struct MatReadLimits {
  std::uint64_t fileBytes = UINT64_MAX;
  std::uint64_t elements = UINT64_MAX;
  std::uint64_t inflatedBytes = std::uint64_t{512} << 20;
  std::uint64_t arrays = 65536;
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
// Whether a temporary file is replaced on its own or with others
// (commitTogether); the two are named apart (see Leftovers).
enum class Commit { Alone, Together };

// Replaces the targets of `files` in order. When one cannot be replaced, the
// targets replaced before it get their previous files back (a target that had
// none is removed) before the error is raised: all are new, or all as before.
// Every new file is flushed to disk before the first rename. A process killed
// between two renames leaves a mix of new and previous files, with the new
// files not yet renamed and the previous ones it replaced beside them: the
// files' owner finishes or undoes such a commit through Leftovers. The files
// must have been made with Commit::Together.
void commitTogether(std::span<AtomicFile* const> files);

// A temporary file beside the target that is removed unless commit() renamed
// it over the target. Used by writers that produce their file through a
// library. A symbolic link is followed: the file it names is replaced, in its
// own folder, and the link stays. A target that is a folder, pipe, device or
// socket is refused ("it is a folder.", "it is not a regular file.") before
// anything is written, and so is a link that the kernel would not follow for
// this user: one in a sticky folder writable by all (/tmp), owned neither by
// the user nor by the folder's owner. The temporary file is ".NAME.dot11a-"
// and six letters or digits (".NAME.dot11a-set-..." for Commit::Together).
// Temporary files of single writes that interrupted writes left in that folder
// (that naming only, this user's, unchanged for ten minutes, not in use) are
// removed; nothing else is.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path, Commit commit = Commit::Alone);
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
  void flush() const;
  friend void commitTogether(std::span<AtomicFile* const> files);
  std::string path_;    // as given, for messages
  std::string target_;  // the file replaced: path_ with symbolic links followed
  std::string temp_;
  int lock_ = -1;  // open on temp_ and locked while this writer lives
  bool committed_ = false;
};

// What interrupted commits (commitTogether) left beside the file `path` names
// (links followed): new files not yet renamed over it and previous files kept
// to undo it. Only files of this user's that no live writer holds are listed,
// and each is locked while this object lives, so two processes do not repair
// the same files at once. Nothing is removed unless asked: only the owner of
// the files knows whether the files replaced together agree again.
class Leftovers {
 public:
  explicit Leftovers(const std::string& path);
  ~Leftovers();
  Leftovers(const Leftovers&) = delete;
  Leftovers& operator=(const Leftovers&) = delete;
  struct File {
    std::string path;  // empty once restored or removed
    int lock = -1;
    bool stale = false;  // unchanged for ten minutes
    unsigned long ino = 0;
    unsigned long dev = 0;
  };
  const std::string& target() const { return target_; }
  const std::vector<File>& files() const { return files_; }
  // Renames files()[i] over the target. Raises an error on failure.
  void restore(std::size_t i);
  // Removes the files not restored that are unchanged for ten minutes.
  void removeStale();

 private:
  std::string target_;
  std::vector<File> files_;
};

}  // namespace dot11a

DOT11A_API_END
