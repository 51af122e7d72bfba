// The SIGBUS guard of mapped file windows (see bus_guard.hpp).
#include "io/bus_guard.hpp"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>

namespace dot11a::io {

namespace {

// A guarded window: [begin, end) while in use, both 0 when free. `taken`
// hands the slot to one reader; the handler reads only the bounds.
struct Guard {
  std::atomic<bool> taken{false};
  std::atomic<std::uintptr_t> begin{0}, end{0};
  std::atomic<bool> cut{false};
};
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr std::size_t kGuards = 64;  // one per reader reading at once
std::array<Guard, kGuards> guards;
std::uintptr_t pageSize = 4096;
struct sigaction previous {};

// Runs in the signal handler: only lock-free atomics and system calls.
void onBusError(int sig, siginfo_t* info, void* context) {
  const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (Guard& g : guards) {
    const std::uintptr_t begin = g.begin.load(), end = g.end.load();
    if (at < begin || at >= end) continue;
    // Zero pages from the faulting one to the end of the window; the read
    // that faulted then reads zeros.
    const std::uintptr_t page = at & ~(pageSize - 1);
    void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros != MAP_FAILED) {
      g.cut.store(true);
      return;
    }
    break;
  }
  // Not a guarded window: as without the guard.
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
    previous.sa_sigaction(sig, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(sig);
  } else {
    // The default action, once the faulting read runs again.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(SIGBUS, &dfl, nullptr);
  }
}

bool installHandler() {
  const long page = ::sysconf(_SC_PAGESIZE);
  if (page > 0) pageSize = static_cast<std::uintptr_t>(page);
  struct sigaction act {};
  act.sa_sigaction = onBusError;
  act.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&act.sa_mask);
  return ::sigaction(SIGBUS, &act, &previous) == 0;
}

}  // namespace

int guardWindow(const void* begin, std::size_t length) {
  static const bool installed = installHandler();
  if (!installed || length == 0) return -1;
  for (std::size_t i = 0; i < kGuards; ++i) {
    Guard& g = guards[i];
    if (g.taken.exchange(true)) continue;
    g.cut.store(false);
    const auto b = reinterpret_cast<std::uintptr_t>(begin);
    g.begin.store(b);
    g.end.store(b + length);
    return static_cast<int>(i);
  }
  return -1;
}

bool windowCut(int guard) {
  return guard >= 0 && guards[static_cast<std::size_t>(guard)].cut.load();
}

void unguardWindow(int guard) {
  if (guard < 0) return;
  Guard& g = guards[static_cast<std::size_t>(guard)];
  g.begin.store(0);
  g.end.store(0);
  g.taken.store(false);
}

}  // namespace dot11a::io
