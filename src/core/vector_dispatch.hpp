// Per-sample loops compiled for more than one instruction set, and the one
// place that chooses which copy runs.
#pragma once

#include <atomic>

namespace dot11a::core {

// The instruction sets the loops are compiled for: plain x86-64, AVX2
// without FMA (every product and sum rounded as in the plain build) and
// AVX-512 (eight doubles a vector; the components are built without
// multiply-add contraction, so it rounds as the others do).
enum class VectorLevel { plain = 0, avx2 = 1, avx512 = 2 };

// The widest level this processor runs (plain in builds without dispatch).
VectorLevel processorVectorLevel() noexcept;

namespace detail {
extern std::atomic<int> vectorLevelNow;  // -1 until first asked
int initVectorLevel() noexcept;
}  // namespace detail

// The level the loops run at: the processor's widest, unless set lower.
inline VectorLevel vectorLevel() noexcept {
  const int v = detail::vectorLevelNow.load(std::memory_order_relaxed);
  return static_cast<VectorLevel>(v >= 0 ? v : detail::initVectorLevel());
}

// Makes every loop run its copy for `level` (at most the processor's; a
// wider one raises an error), for the whole process: for tests and
// measurements that compare the copies. Returns the level before.
VectorLevel setVectorLevel(VectorLevel level);

}  // namespace dot11a::core

// A loop is written once as an always-inlined kernel, NAMEKernel, and
// DOT11A_VECTOR_VARIANTS(ret, NAME, (parameters), (arguments)) after it
// makes its copies and NAME, which calls the copy of the current level:
//
//   DOT11A_KERNEL void scaleKernel(double* __restrict x, std::size_t n) { ... }
//   DOT11A_VECTOR_VARIANTS(void, scale, (double* __restrict x, std::size_t n), (x, n))
//
// DOT11A_WIDE_VECTOR_VARIANTS adds the AVX-512 copy: for loops of
// independent per-element products and sums checked to give the same bits
// (GCC turns the complex products of some loops into other instruction
// sequences there). Sanitized builds (DOT11A_NO_CPU_DISPATCH) make the plain
// copy only. Both also work inside a class, for member functions.
#define DOT11A_KERNEL [[gnu::always_inline]] inline

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(DOT11A_NO_CPU_DISPATCH)
#define DOT11A_VECTOR_DISPATCH 1
#define DOT11A_VECTOR_VARIANTS(ret, name, params, args)                      \
  ret name##Plain params {                                                   \
    return name##Kernel args;                                                \
  }                                                                          \
  __attribute__((target("avx2"))) ret name##Avx2 params {                    \
    return name##Kernel args;                                                \
  }                                                                          \
  ret name params {                                                          \
    if (::dot11a::core::vectorLevel() != ::dot11a::core::VectorLevel::plain) \
      return name##Avx2 args;                                                \
    return name##Plain args;                                                 \
  }
#define DOT11A_WIDE_VECTOR_VARIANTS(ret, name, params, args)   \
  ret name##Plain params {                                     \
    return name##Kernel args;                                  \
  }                                                            \
  __attribute__((target("avx2"))) ret name##Avx2 params {      \
    return name##Kernel args;                                  \
  }                                                            \
  __attribute__((target("avx512f"))) ret name##Avx512 params { \
    return name##Kernel args;                                  \
  }                                                            \
  ret name params {                                            \
    switch (::dot11a::core::vectorLevel()) {                   \
      case ::dot11a::core::VectorLevel::avx512:                \
        return name##Avx512 args;                              \
      case ::dot11a::core::VectorLevel::avx2:                  \
        return name##Avx2 args;                                \
      default:                                                 \
        return name##Plain args;                               \
    }                                                          \
  }
#else
#define DOT11A_VECTOR_VARIANTS(ret, name, params, args) \
  ret name params {                                     \
    return name##Kernel args;                           \
  }
#define DOT11A_WIDE_VECTOR_VARIANTS(ret, name, params, args) \
  ret name params {                                          \
    return name##Kernel args;                                \
  }
#endif
