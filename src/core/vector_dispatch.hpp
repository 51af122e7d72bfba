// Per-sample loops compiled for more than one instruction set.
#pragma once

// A function marked with this is compiled twice, for plain x86-64 and for
// AVX2, and the processor picks at load time. AVX2 without FMA keeps every
// product and sum rounded as in the plain build, so both give the same
// results. Sanitized builds (DOT11A_NO_CPU_DISPATCH) take the plain version
// only: the load-time resolver runs before the sanitizer's runtime is up.
//
// DOT11A_WIDE_VECTOR_CLONES adds a third copy for AVX-512 (eight doubles a
// vector; the components are built without multiply-add contraction, so it
// rounds as the others do). It is for loops of independent per-element
// products and sums checked to give the same bits: GCC turns the complex
// products of some loops into other instruction sequences there.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(DOT11A_NO_CPU_DISPATCH)
#define DOT11A_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#define DOT11A_WIDE_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define DOT11A_VECTOR_CLONES
#define DOT11A_WIDE_VECTOR_CLONES
#endif
