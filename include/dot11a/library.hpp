// Starting and stopping the library, and the public umbrella of its interface.
#pragma once

#include "dot11a/call.hpp"
#include "dot11a/entry_points.hpp"
#include "dot11a/export.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

extern "C" {
// Starts the runtime and every module's set-up. Calling it while the library is
// running does nothing.
void Dot11a_b_libInitialize(void);
// Runs every module's tear-down and clears the shared globals. After it no entry
// point may be called until the library is started again.
void Dot11a_b_libTerminate(void);
}

namespace dot11a {
// Starts the library for the lifetime of the object (tests, tools).
class LibrarySession {
 public:
  LibrarySession() { Dot11a_b_libInitialize(); }
  ~LibrarySession() { Dot11a_b_libTerminate(); }
  LibrarySession(const LibrarySession&) = delete;
  LibrarySession& operator=(const LibrarySession&) = delete;
};
}  // namespace dot11a

DOT11A_API_END
