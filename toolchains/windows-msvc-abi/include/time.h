// SPDX-License-Identifier: MIT
/* overlay: Wine's <time.h> plus UCRT's timespec family */
#pragma once
#include_next <time.h>
#ifndef _CRT_TIMESPEC_DEFINED
#define _CRT_TIMESPEC_DEFINED
#ifdef __cplusplus
extern "C" {
#endif
struct _timespec32 { __time32_t tv_sec; long tv_nsec; };
struct _timespec64 { __time64_t tv_sec; long tv_nsec; };
struct timespec { time_t tv_sec; long tv_nsec; };
#ifndef TIME_UTC
# define TIME_UTC 1
#endif
_ACRTIMP int __cdecl _timespec32_get(struct _timespec32 *, int);
_ACRTIMP int __cdecl _timespec64_get(struct _timespec64 *, int);
_ACRTIMP errno_t __cdecl _gmtime64_s(struct tm *, const __time64_t *);
static inline errno_t __cdecl localtime_s(struct tm *t, const time_t *tt) { return _localtime64_s(t, tt); }
static inline errno_t __cdecl gmtime_s(struct tm *t, const time_t *tt) { return _gmtime64_s(t, tt); }
static inline int __cdecl timespec_get(struct timespec *ts, int base)
{ return _timespec64_get((struct _timespec64 *)ts, base); }
#ifdef __cplusplus
}
#endif
#endif
