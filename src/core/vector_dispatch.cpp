// The level the vector loops run at.
#include "core/vector_dispatch.hpp"

#include "dot11a/error.hpp"

namespace dot11a::core {

namespace detail {

std::atomic<int> vectorLevelNow{-1};

int initVectorLevel() noexcept {
  const int v = static_cast<int>(processorVectorLevel());
  int expected = -1;
  // A level set meanwhile stays.
  vectorLevelNow.compare_exchange_strong(expected, v, std::memory_order_relaxed);
  return vectorLevelNow.load(std::memory_order_relaxed);
}

}  // namespace detail

VectorLevel processorVectorLevel() noexcept {
#ifdef DOT11A_VECTOR_DISPATCH
  if (__builtin_cpu_supports("avx512f")) return VectorLevel::avx512;
  if (__builtin_cpu_supports("avx2")) return VectorLevel::avx2;
#endif
  return VectorLevel::plain;
}

VectorLevel setVectorLevel(VectorLevel level) {
  if (static_cast<int>(level) > static_cast<int>(processorVectorLevel()))
    raise("This processor lacks the vector instructions asked for.");
  const VectorLevel before = vectorLevel();
  detail::vectorLevelNow.store(static_cast<int>(level), std::memory_order_relaxed);
  return before;
}

}  // namespace dot11a::core
