// Buffers of millions of samples, made ready before they are written: the
// pages are advised onto huge pages where the kernel offers them on request
// (transparent huge pages in "madvise" mode) and faulted in with one call.
// A long waveform written into fresh memory otherwise faults in 4 KiB at a
// time, and on a virtual machine the faults, not the writing, take most of
// the time.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dot11a {

// An empty vector with room for n elements, its memory ready to be written
// (append to it). The advice changes nothing where the kernel ignores it.
template <class T>
std::vector<T> reservedBuffer(std::size_t n) {
  std::vector<T> v;
  v.reserve(n);
  const auto begin = reinterpret_cast<std::uintptr_t>(v.data());
  const std::uintptr_t end = begin + n * sizeof(T);
  const auto advise = [&](std::uintptr_t page, int advice) {
    const std::uintptr_t first = (begin + page - 1) & ~(page - 1);
    const std::uintptr_t last = end & ~(page - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, advice);
  };
  advise(std::uintptr_t{1} << 21, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
  advise(4096, MADV_POPULATE_WRITE);
#endif
  return v;
}

}  // namespace dot11a
