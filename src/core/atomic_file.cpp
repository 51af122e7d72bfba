// Atomic replacement of files: written beside the target under a temporary
// name, flushed to disk, then renamed over it, so a failure never leaves a
// half-written file where the old one was.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "dot11a/error.hpp"
#include "dot11a/matfile.hpp"

namespace dot11a {

namespace fs = std::filesystem;

namespace {

// The temporary names: the target's name (shortened when needed, with a
// leading dot) followed by this and six letters or digits chosen by mkstemp.
constexpr std::string_view kTempMark = ".tmp";
constexpr std::size_t kTempRandom = 6;

// A temporary file unchanged for this long, and not locked, belongs to a write
// that was interrupted.
constexpr auto kStaleAfter = std::chrono::minutes(10);

std::string sysError() {
  return std::strerror(errno);
}

std::string folderOf(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? "." : parent.string();
}

// The temporary name beside `path`: the file name with a random suffix,
// shortened where the suffix would push it past the folder's name limit.
std::string tempPattern(const std::string& path) {
  const std::string suffix = std::string(kTempMark) + std::string(kTempRandom, 'X');
  const fs::path p(path);
  long limit = ::pathconf(folderOf(path).c_str(), _PC_NAME_MAX);
  if (limit <= 0) limit = 255;
  std::string name = p.filename().string();
  const auto room = static_cast<std::size_t>(limit) - suffix.size();
  if (name.size() > room) name = "." + name.substr(0, room - 1);
  const std::string prefix = p.parent_path().empty() ? "" : p.parent_path().string() + "/";
  return prefix + name + suffix;
}

bool isTempName(std::string_view name) {
  const std::size_t tail = kTempMark.size() + kTempRandom;
  if (name.size() <= tail) return false;
  if (name.substr(name.size() - tail, kTempMark.size()) != kTempMark) return false;
  for (char ch : name.substr(name.size() - kTempRandom))
    if (!((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9')))
      return false;
  return true;
}

// Removes what interrupted writes left in `folder`: files of our temporary
// naming pattern that are regular files of this user's, unchanged for
// kStaleAfter and not locked. Every live writer holds a lock on its temporary
// file from creation to rename, and a killed one loses it; the age covers the
// instant between creation and locking, and writers that take no lock.
// Best effort: anything unexpected leaves the file where it is.
void removeStaleTemporaries(const std::string& folder) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec), end;
  const auto now = std::chrono::system_clock::now();
  for (; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!isTempName(name)) continue;
    const std::string file = it->path().string();
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        now - std::chrono::system_clock::from_time_t(st.st_mtime) > kStaleAfter &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // Still the file examined (not replaced meanwhile): then it goes.
      struct stat again {};
      if (::lstat(file.c_str(), &again) == 0 && again.st_ino == st.st_ino &&
          again.st_dev == st.st_dev)
        ::unlink(file.c_str());
    }
    ::close(fd);
  }
}

// `path` with every symbolic link followed to the file it names, which need
// not exist yet.
std::string followLinks(const std::string& path) {
  fs::path p(path);
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p.string();
    const fs::path to = fs::read_symlink(p, ec);
    if (ec) raise("Cannot write " + path + ": " + ec.message() + ".");
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  raise("Cannot write " + path + ": too many levels of symbolic links.");
}

// Raises unless `target` is absent or a regular file: a folder cannot be
// replaced, and a pipe, device or socket is never replaced by a file.
void checkTarget(const std::string& shown, const std::string& target) {
  std::error_code ec;
  const fs::file_status st = fs::status(target, ec);
  if (!fs::exists(st) || fs::is_regular_file(st)) return;
  if (fs::is_directory(st)) raise("Cannot write " + shown + ": it is a folder.");
  raise("Cannot write " + shown + ": it is not a regular file.");
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  target_ = followLinks(path_);
  checkTarget(path_, target_);
  removeStaleTemporaries(folderOf(target_));
  std::string pattern = tempPattern(target_);
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
  if (fd < 0) raise("Cannot write " + path_ + ": " + sysError() + ".");
  // Held until the file is renamed or removed: tells other writers' clean-up
  // that this temporary file is in use.
  ::flock(fd, LOCK_EX | LOCK_NB);
  lock_ = fd;
  temp_ = buf.data();
}

AtomicFile::~AtomicFile() {
  if (!committed_) std::remove(temp_.c_str());
  if (lock_ >= 0) ::close(lock_);
}

void AtomicFile::checkReplaceable() const {
  checkTarget(path_, target_);
}

void AtomicFile::commit() {
  checkTarget(path_, target_);
  const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const std::string why = sysError();
    if (fd >= 0) ::close(fd);
    raise("Cannot write " + path_ + ": " + why + ".");
  }
  ::close(fd);
  // Keep the permissions an existing target had; a new file gets the usual ones.
  struct stat st {};
  if (::stat(target_.c_str(), &st) == 0) {
    ::chmod(temp_.c_str(), st.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(temp_.c_str(), 0666 & ~mask);
  }
  if (std::rename(temp_.c_str(), target_.c_str()) != 0)
    raise("Cannot write " + path_ + ": " + sysError() + ".");
  committed_ = true;
}

namespace {

// The previous contents of a target while several files are replaced
// together: a second name for it (a hard link, or the file itself moved aside
// where the file system has no hard links), locked so no clean-up takes it.
struct Previous {
  std::string target;
  std::string kept;  // empty: there was no previous file
  int lock = -1;
  bool replaced = false;
};

Previous keepPrevious(const std::string& shown, const std::string& target) {
  Previous p{target, "", -1, false};
  // Locked before it gets its second name, which matches the temporary names.
  p.lock = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
  if (p.lock < 0) {
    if (errno == ENOENT) return p;
    raise("Cannot write " + shown + ": " + sysError() + ".");
  }
  ::flock(p.lock, LOCK_EX | LOCK_NB);
  for (int attempt = 0; attempt < 100 && p.kept.empty(); ++attempt) {
    std::string pattern = tempPattern(target);
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) break;
    ::close(fd);
    // The name is free again only for this instant; another writer taking it
    // makes link() fail with EEXIST and a new name is tried.
    ::unlink(buf.data());
    if (::link(target.c_str(), buf.data()) == 0 ||
        (errno != EEXIST && std::rename(target.c_str(), buf.data()) == 0))
      p.kept = buf.data();
    else if (errno != EEXIST)
      break;
  }
  if (p.kept.empty()) {
    const std::string why = sysError();
    ::close(p.lock);
    raise("Cannot write " + shown + ": " + why + ".");
  }
  return p;
}

}  // namespace

void commitTogether(std::span<AtomicFile* const> files) {
  for (const AtomicFile* f : files) f->checkReplaceable();
  std::vector<Previous> previous;
  previous.reserve(files.size());
  auto release = [&] {
    for (Previous& p : previous) {
      if (!p.kept.empty()) ::unlink(p.kept.c_str());
      if (p.lock >= 0) ::close(p.lock);
    }
  };
  try {
    for (AtomicFile* f : files) {
      previous.push_back(keepPrevious(f->path_, f->target_));
      f->commit();
      previous.back().replaced = true;
    }
  } catch (...) {
    // Every target already replaced gets its previous file back, or is
    // removed when it had none; a target not replaced still holds its own.
    for (Previous& p : previous) {
      const bool movedAside = !p.kept.empty() && ::access(p.target.c_str(), F_OK) != 0;
      if (p.replaced || movedAside) {
        if (p.kept.empty() ? std::remove(p.target.c_str()) == 0
                           : std::rename(p.kept.c_str(), p.target.c_str()) == 0)
          p.kept.clear();
      }
    }
    release();
    throw;
  }
  release();
}

void writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  AtomicFile file(path);
  std::FILE* f = std::fopen(file.tempPath().c_str(), "wb");
  if (f == nullptr) raise("Cannot write " + path + ": " + sysError() + ".");
  const bool written =
      bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const std::string why = sysError();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) raise("Cannot write " + path + ": " + why + ".");
  file.commit();
}

}  // namespace dot11a
