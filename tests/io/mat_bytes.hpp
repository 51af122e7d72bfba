// Raw MAT version 5 bytes built by hand, for the tests of files made to hurt
// the readers: headers, arrays that declare more than they hold, records
// whose field names lie about their size; and a memory budget to run reads in.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string>

#include "dot11a/files.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define DOT11A_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DOT11A_ASAN 1
#endif
#endif

namespace dot11a::test {

inline void put32(std::string& s, std::uint32_t v) {
  for (int b = 0; b < 4; ++b) s.push_back(static_cast<char>(v >> (8 * b)));
}

inline std::string matHeader() {
  std::string h(116, ' ');
  h.replace(0, 20, "MATLAB 5.0 MAT-file,");
  h.append(8, '\0');                // subsystem offset
  h += std::string("\x00\x01", 2);  // version
  h += "IM";                        // little-endian
  return h;
}

// The start of a miMATRIX element holding a 1 x n array of `cls` named `name`,
// with the data tag for `dataBytes` bytes of type `type`; the data follows.
inline std::string matrixStart(const std::string& name, std::uint32_t cls, std::uint32_t type,
                               std::uint32_t n, std::uint64_t dataBytes) {
  std::string body;
  put32(body, 6);  // flags
  put32(body, 8);
  put32(body, cls);
  put32(body, 0);
  put32(body, 5);  // dimensions
  put32(body, 8);
  put32(body, 1);
  put32(body, n);
  put32(body, 1);  // name
  put32(body, static_cast<std::uint32_t>(name.size()));
  body += name;
  body.append((8 - name.size() % 8) % 8, '\0');
  put32(body, type);
  put32(body, static_cast<std::uint32_t>(dataBytes));
  std::string out;
  put32(out, 14);
  put32(out, static_cast<std::uint32_t>(body.size() + (dataBytes + 7) / 8 * 8));
  return out + body;
}

// A sub-element: tag, then the data padded to 8 bytes.
inline std::string subElement(std::uint32_t type, const std::string& data) {
  std::string s;
  put32(s, type);
  put32(s, static_cast<std::uint32_t>(data.size()));
  return s + data + std::string((8 - data.size() % 8) % 8, '\0');
}

inline std::string words(std::initializer_list<std::uint32_t> values) {
  std::string s;
  for (std::uint32_t v : values) put32(s, v);
  return s;
}

// The body of an unnamed array declaring 1 x n doubles that holds `stored`
// zeros.
inline std::string doublesBody(std::uint32_t n, std::size_t stored) {
  return subElement(6, words({6, 0})) + subElement(5, words({1, n})) + subElement(1, "") +
         subElement(9, std::string(8 * stored, '\0'));
}

// The body of an unnamed 1 x n double array holding `n` zeros.
inline std::string doublesBody(std::uint32_t n) {
  return doublesBody(n, n);
}

// A 1 x 1 record `name` with 16-byte field names `names` (whole names only)
// followed by `rest`, the bytes where its field arrays belong.
inline std::string recordStart(const std::string& name, const std::string& names,
                               const std::string& rest) {
  std::string body = subElement(6, words({2, 0})) + subElement(5, words({1, 1})) +
                     subElement(1, name) + words({(4u << 16) | 5u, 16}) + names + rest;
  return words({14, static_cast<std::uint32_t>(body.size())}) + body;
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Runs `reads` in a child whose address space may grow by at most `budget`
// bytes: a reader that allocates what a file declares fails there instead of
// passing. Under AddressSanitizer, whose shadow memory defeats such a limit,
// the reads run unbounded in this process. Returns the child's verdict.
template <typename F>
bool withinMemoryBudget(std::size_t budget, F reads) {
#ifdef DOT11A_ASAN
  (void)budget;
  return reads();
#else
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::ifstream status("/proc/self/statm");
    std::size_t pages = 0;
    status >> pages;
    const rlim_t limit = pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + budget;
    const rlimit rl{limit, limit};
    ::setrlimit(RLIMIT_AS, &rl);
    bool ok = false;
    try {
      ok = reads();
    } catch (...) {
    }
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

// The reason readParameterFile refuses `file` with, empty when it reads it.
inline std::string refusedReason(const std::string& file) {
  const ParameterFileRead r = readParameterFile(file, kParameterFileFormatId);
  return r.parameters ? std::string() : r.problem;
}

}  // namespace dot11a::test
