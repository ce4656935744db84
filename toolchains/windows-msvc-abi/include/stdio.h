// SPDX-License-Identifier: MIT
/* overlay: Wine's <stdio.h> plus the UCRT inline v*scanf it lacks */
#pragma once
#include_next <stdio.h>
#ifdef __cplusplus
extern "C" {
#endif
static inline int __cdecl vfscanf(FILE *f, const char *fmt, va_list a)
{ return __stdio_common_vfscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, f, fmt, NULL, a); }
static inline int __cdecl vscanf(const char *fmt, va_list a)
{ return __stdio_common_vfscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, stdin, fmt, NULL, a); }
static inline int __cdecl vsscanf(const char *b, const char *fmt, va_list a)
{ return __stdio_common_vsscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, b, (size_t)-1, fmt, NULL, a); }
_ACRTIMP errno_t __cdecl _get_stream_buffer_pointers(FILE *, char ***, char ***, int **);
#ifdef __cplusplus
}
#endif
