// Compiler-specific spellings, so that shared sources read the same under GCC, Clang and MSVC.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define KOVA_PRINTF_FORMAT(format_index, first_argument) \
    __attribute__((format(printf, format_index, first_argument)))
#define KOVA_UNLIKELY(condition) __builtin_expect(!!(condition), 0)
#define KOVA_COLD __attribute__((cold, noinline))
#define KOVA_ALWAYS_INLINE inline __attribute__((always_inline))
#define KOVA_TARGET(features) __attribute__((target(features)))
#define KOVA_CPU_SUPPORTS(feature) (__builtin_cpu_supports(feature) != 0)
#else
#define KOVA_PRINTF_FORMAT(format_index, first_argument)
#define KOVA_UNLIKELY(condition) (condition)
#define KOVA_COLD __declspec(noinline)
#define KOVA_ALWAYS_INLINE __forceinline
#define KOVA_TARGET(features)
// No run-time feature test here: the portable kernel runs.
#define KOVA_CPU_SUPPORTS(feature) false
#endif
