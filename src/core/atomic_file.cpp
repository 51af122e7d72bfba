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

// The temporary names: the target's name behind a dot (hidden) and before
// this program's mark and six letters or digits chosen by mkstemp, so that the
// clean-up below can tell what this program made from anybody else's files.
// Files replaced together (commitTogether) carry a mark of their own: what an
// interrupted commit of several files left behind is judged by whoever knows
// how the files belong together, never by the clean-up.
constexpr std::string_view kAloneMark = ".dot11a-";
constexpr std::string_view kTogetherMark = ".dot11a-set-";
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

std::string_view markOf(Commit commit) {
  return commit == Commit::Together ? kTogetherMark : kAloneMark;
}

// The temporary name beside `path` (mkstemp's pattern): ".NAME" and the mark,
// with NAME shortened where it would push the name past the folder's limit.
std::string tempPattern(const std::string& path, Commit commit) {
  const std::string suffix = std::string(markOf(commit)) + std::string(kTempRandom, 'X');
  const fs::path p(path);
  long limit = ::pathconf(folderOf(path).c_str(), _PC_NAME_MAX);
  if (limit <= 0) limit = 255;
  std::string name = p.filename().string();
  const auto room = static_cast<std::size_t>(limit) - suffix.size() - 1;
  if (name.size() > room) name.resize(room);
  const std::string prefix = p.parent_path().empty() ? "" : p.parent_path().string() + "/";
  return prefix + "." + name + suffix;
}

// True for a name tempPattern(..., commit) can make: ".", at least one
// character, the mark, six letters or digits.
bool isTempName(std::string_view name, Commit commit) {
  const std::string_view mark = markOf(commit);
  const std::size_t tail = mark.size() + kTempRandom;
  if (name.size() <= tail + 1 || name.front() != '.') return false;
  if (name.substr(name.size() - tail, mark.size()) != mark) return false;
  for (char ch : name.substr(name.size() - kTempRandom))
    if (!((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9')))
      return false;
  return true;
}

bool isStale(const struct stat& st) {
  return std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(st.st_mtime) >
         kStaleAfter;
}

// Opens `file` without following a link and locks it when it is a regular
// file of this user's (and, with `onlyStale`, unchanged for kStaleAfter) that
// nobody holds locked: a writer holds a lock on its temporary files until they
// are renamed, and a killed writer has lost it. The age is judged before the
// lock is tried, so that a writer's new file is not locked in the instant
// before its writer locks it. Returns the open, locked descriptor, or -1.
int lockLeftover(const std::string& file, struct stat& st, bool onlyStale) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
      (!onlyStale || isStale(st)) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
    return fd;
  ::close(fd);
  return -1;
}

// Removes `file` when it is still the file examined (not replaced meanwhile).
void unlinkIfSame(const std::string& file, const struct stat& st) {
  struct stat again {};
  if (::lstat(file.c_str(), &again) == 0 && again.st_ino == st.st_ino && again.st_dev == st.st_dev)
    ::unlink(file.c_str());
}

// Removes what interrupted writes of single files left in `folder`: names of
// our own temporary pattern (never anything else: other programs' files of
// similar names stay) that are regular files of this user's, unchanged for
// kStaleAfter and not locked. The age covers the instant between a writer's
// creating its file and locking it. Best effort: anything unexpected leaves
// the file where it is.
void removeStaleTemporaries(const std::string& folder) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (!isTempName(it->path().filename().string(), Commit::Alone)) continue;
    const std::string file = it->path().string();
    struct stat st {};
    const int fd = lockLeftover(file, st, true);
    if (fd < 0) continue;
    unlinkIfSame(file, st);
    ::close(fd);
  }
}

// Raises when the link `link` is one the kernel would not follow for this
// user (its protected-symlinks rule): a link in a sticky folder that anybody
// may write to (such as /tmp), owned neither by this user nor by the folder's
// owner, may have been planted by another user to turn a write elsewhere.
// Links are followed by hand here, where that rule does not apply by itself.
void checkLinkOwner(const std::string& shown, const fs::path& link) {
  struct stat ls {};
  struct stat ds {};
  const fs::path folder = link.parent_path().empty() ? fs::path(".") : link.parent_path();
  if (::lstat(link.c_str(), &ls) != 0 || ::stat(folder.c_str(), &ds) != 0) return;
  const bool shared = (ds.st_mode & S_ISVTX) != 0 && (ds.st_mode & S_IWOTH) != 0;
  if (shared && ls.st_uid != ::geteuid() && ls.st_uid != ds.st_uid)
    raise("Cannot write " + shown + ": " + link.string() +
          " is a symbolic link of another user in the shared folder " + folder.string() +
          " (sticky and writable by all), which is not followed; write to the file itself.");
}

// `path` with every symbolic link followed to the file it names, which need
// not exist yet.
std::string followLinks(const std::string& path) {
  fs::path p(path);
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p.string();
    checkLinkOwner(path, p);
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

AtomicFile::AtomicFile(std::string path, Commit commit) : path_(std::move(path)) {
  target_ = followLinks(path_);
  checkTarget(path_, target_);
  removeStaleTemporaries(folderOf(target_));
  std::string pattern = tempPattern(target_, commit);
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

void AtomicFile::flush() const {
  const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const std::string why = sysError();
    if (fd >= 0) ::close(fd);
    raise("Cannot write " + path_ + ": " + why + ".");
  }
  ::close(fd);
}

void AtomicFile::commit() {
  checkTarget(path_, target_);
  flush();
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
    std::string pattern = tempPattern(target, Commit::Together);
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
  // Every new file is on disk before the first is renamed: a commit
  // interrupted between two renames leaves the rest complete, to be finished
  // by whoever knows how the files belong together (Leftovers).
  for (const AtomicFile* f : files) {
    f->checkReplaceable();
    f->flush();
  }
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

Leftovers::Leftovers(const std::string& path) : target_(followLinks(path)) {
  // The names this target's temporary files get: the pattern up to its
  // random letters.
  const std::string pattern = fs::path(tempPattern(target_, Commit::Together)).filename().string();
  const std::string_view stem = std::string_view(pattern).substr(0, pattern.size() - kTempRandom);
  std::error_code ec;
  fs::directory_iterator it(folderOf(target_), ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() != pattern.size() || !name.starts_with(stem) ||
        !isTempName(name, Commit::Together))
      continue;
    struct stat st {};
    const int fd = lockLeftover(it->path().string(), st, false);
    if (fd < 0) continue;
    files_.push_back({it->path().string(), fd, isStale(st), st.st_ino, st.st_dev});
  }
}

Leftovers::~Leftovers() {
  for (const File& f : files_)
    if (f.lock >= 0) ::close(f.lock);
}

void Leftovers::restore(std::size_t i) {
  File& f = files_.at(i);
  if (std::rename(f.path.c_str(), target_.c_str()) != 0)
    raise("Cannot restore " + target_ + " from " + f.path + ": " + sysError() + ".");
  f.path.clear();
}

void Leftovers::removeStale() {
  for (File& f : files_) {
    if (f.path.empty() || !f.stale) continue;
    struct stat st {};
    st.st_ino = f.ino;
    st.st_dev = f.dev;
    unlinkIfSame(f.path, st);
    f.path.clear();
  }
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
