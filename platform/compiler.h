// SPDX-License-Identifier: MIT
// Compiler-specific spellings, so that shared sources read the same under GCC, Clang (also in
// Microsoft's mode) and MSVC.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define KOVA_PRINTF_FORMAT(format_index, first_argument) \
    __attribute__((format(printf, format_index, first_argument)))
#define KOVA_UNLIKELY(condition) __builtin_expect(!!(condition), 0)
#define KOVA_COLD __attribute__((cold, noinline))
#define KOVA_ALWAYS_INLINE inline __attribute__((always_inline))
#define KOVA_TARGET(features) __attribute__((target(features)))
#else
#define KOVA_PRINTF_FORMAT(format_index, first_argument)
#define KOVA_UNLIKELY(condition) (condition)
#define KOVA_COLD __declspec(noinline)
#define KOVA_ALWAYS_INLINE __forceinline
// MSVC compiles every intrinsic anywhere: no attribute needed.
#define KOVA_TARGET(features)
#endif

// KOVA_VECTOR_INTRINSICS, defined before this header (included first), brings in <immintrin.h> for
// functions built with KOVA_TARGET.
#if defined(KOVA_VECTOR_INTRINSICS)
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's intrinsics start some results from deliberately undefined lanes, which -Wuninitialized
// reports inside the header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#elif defined(_MSC_VER) && defined(__clang__) && __clang_major__ < 19
// Clang before 19, in Microsoft's mode, declares the AVX and AVX-512 intrinsics only to a file built
// for them, not to target-attributed functions: announce the features (and those the AVX-512
// headers build on) for this one include.
#pragma push_macro("__SSE3__")
#pragma push_macro("__SSSE3__")
#pragma push_macro("__SSE4_1__")
#pragma push_macro("__SSE4_2__")
#pragma push_macro("__POPCNT__")
#pragma push_macro("__AVX__")
#pragma push_macro("__AVX2__")
#pragma push_macro("__FMA__")
#pragma push_macro("__F16C__")
#pragma push_macro("__AVX512F__")
#pragma push_macro("__AVX512CD__")
#pragma push_macro("__AVX512BW__")
#pragma push_macro("__AVX512DQ__")
#pragma push_macro("__AVX512VL__")
#define __SSE3__ 1
#define __SSSE3__ 1
#define __SSE4_1__ 1
#define __SSE4_2__ 1
#define __POPCNT__ 1
#define __AVX__ 1
#define __AVX2__ 1
#define __FMA__ 1
#define __F16C__ 1
#define __AVX512F__ 1
#define __AVX512CD__ 1
#define __AVX512BW__ 1
#define __AVX512DQ__ 1
#define __AVX512VL__ 1
#include <immintrin.h>
#pragma pop_macro("__AVX512VL__")
#pragma pop_macro("__AVX512DQ__")
#pragma pop_macro("__AVX512BW__")
#pragma pop_macro("__AVX512CD__")
#pragma pop_macro("__AVX512F__")
#pragma pop_macro("__F16C__")
#pragma pop_macro("__FMA__")
#pragma pop_macro("__AVX2__")
#pragma pop_macro("__AVX__")
#pragma pop_macro("__POPCNT__")
#pragma pop_macro("__SSE4_2__")
#pragma pop_macro("__SSE4_1__")
#pragma pop_macro("__SSSE3__")
#pragma pop_macro("__SSE3__")
#else
#include <immintrin.h>
#endif
#endif

#if defined(_MSC_VER)
// Microsoft's runtime has no __cpu_model: ask the processor. A vector feature counts only when the
// system also saves its registers (XCR0).
#include <intrin.h>
#include <string.h>

inline bool kova_cpu_supports(const char* feature)
{
    int r[4];
    __cpuid(r, 0);
    const int highest = r[0];
    __cpuid(r, 1);
    const bool os_saves = (r[2] & (1 << 27)) != 0;
    const unsigned long long xcr0 = os_saves ? _xgetbv(0) : 0;
    const bool avx_state = (xcr0 & 0x6) == 0x6, avx512_state = (xcr0 & 0xE6) == 0xE6;
    if (highest < 7) return false;
    __cpuidex(r, 7, 0);
    const unsigned ebx = static_cast<unsigned>(r[1]);
    if (strcmp(feature, "avx2") == 0) return avx_state && (ebx & (1u << 5)) != 0;
    if (strcmp(feature, "avx512f") == 0) return avx512_state && (ebx & (1u << 16)) != 0;
    if (strcmp(feature, "avx512dq") == 0) return avx512_state && (ebx & (1u << 17)) != 0;
    if (strcmp(feature, "avx512bw") == 0) return avx512_state && (ebx & (1u << 30)) != 0;
    if (strcmp(feature, "avx512vl") == 0) return avx512_state && (ebx & (1u << 31)) != 0;
    return false;
}
#define KOVA_CPU_SUPPORTS(feature) kova_cpu_supports(feature)
#elif defined(__GNUC__) || defined(__clang__)
#define KOVA_CPU_SUPPORTS(feature) (__builtin_cpu_supports(feature) != 0)
#else
// No run-time feature test here: the portable kernel runs.
#define KOVA_CPU_SUPPORTS(feature) false
#endif
