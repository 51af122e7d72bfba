// Atomic replacement of files: written beside the target under a temporary
// name, flushed to disk, then renamed over it, so a failure never leaves a
// half-written file where the old one was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "dot11a/error.hpp"
#include "dot11a/matfile.hpp"

namespace dot11a {

namespace {

std::string sysError() {
  return std::strerror(errno);
}

// The temporary name beside `path`: the file name with a random suffix,
// shortened where the suffix would push it past the folder's name limit.
std::string tempPattern(const std::string& path) {
  constexpr std::string_view kSuffix = ".tmpXXXXXX";
  const std::filesystem::path p(path);
  const std::string dir = p.parent_path().empty() ? "." : p.parent_path().string();
  long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  if (limit <= 0) limit = 255;
  std::string name = p.filename().string();
  const auto room = static_cast<std::size_t>(limit) - kSuffix.size();
  if (name.size() > room) name = "." + name.substr(0, room - 1);
  const std::string prefix = p.parent_path().empty() ? "" : p.parent_path().string() + "/";
  return prefix + name + std::string(kSuffix);
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  std::string pattern = tempPattern(path_);
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  const int fd = ::mkstemp(buf.data());
  if (fd < 0) raise("Cannot write " + path_ + ": " + sysError() + ".");
  ::close(fd);
  temp_ = buf.data();
}

AtomicFile::~AtomicFile() {
  if (!committed_) std::remove(temp_.c_str());
}

void AtomicFile::checkReplaceable() const {
  std::error_code ec;
  if (std::filesystem::is_directory(path_, ec))
    raise("Cannot write " + path_ + ": it is a folder.");
}

void AtomicFile::commit() {
  const int fd = ::open(temp_.c_str(), O_RDONLY);
  if (fd < 0 || ::fsync(fd) != 0) {
    const std::string why = sysError();
    if (fd >= 0) ::close(fd);
    raise("Cannot write " + path_ + ": " + why + ".");
  }
  ::close(fd);
  // Keep the permissions an existing target had; a new file gets the usual ones.
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    ::chmod(temp_.c_str(), st.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(temp_.c_str(), 0666 & ~mask);
  }
  if (std::rename(temp_.c_str(), path_.c_str()) != 0)
    raise("Cannot write " + path_ + ": " + sysError() + ".");
  committed_ = true;
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
