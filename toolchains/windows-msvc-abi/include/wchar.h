// SPDX-License-Identifier: MIT
/* overlay: Wine's <wchar.h> plus UCRT pieces it lacks (mbstate_t is patched to _Mbstatet in the copied crt/) */
#pragma once
#include_next <wchar.h>
#include <stdio.h>
#ifdef __cplusplus
extern "C" {
#endif
static inline int __cdecl fwide(FILE *f, int mode) { (void)f; return mode; }
static inline int __cdecl mbsinit(const mbstate_t *p) { return p == NULL || p->_Wchar == 0; }
_ACRTIMP long double __cdecl wcstold(const wchar_t *, wchar_t **);
static inline int __cdecl vfwscanf(FILE *f, const wchar_t *fmt, va_list a)
{ return __stdio_common_vfwscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, f, fmt, NULL, a); }
static inline int __cdecl vwscanf(const wchar_t *fmt, va_list a)
{ return __stdio_common_vfwscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, stdin, fmt, NULL, a); }
static inline int __cdecl vswscanf(const wchar_t *b, const wchar_t *fmt, va_list a)
{ return __stdio_common_vswscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, b, (size_t)-1, fmt, NULL, a); }
#ifdef __cplusplus
}
#endif
