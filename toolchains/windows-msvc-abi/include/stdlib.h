// SPDX-License-Identifier: MIT
/* overlay: Wine's <stdlib.h> plus UCRT's quick_exit pieces */
#pragma once
#include_next <stdlib.h>
#include <errno.h>
#ifdef __cplusplus
extern "C" {
#endif
_ACRTIMP unsigned int __cdecl _set_abort_behavior(unsigned int, unsigned int);
_ACRTIMP int __cdecl _crt_at_quick_exit(void (__cdecl *)(void));
_ACRTIMP __declspec(noreturn) void __cdecl quick_exit(int);
static inline int __cdecl at_quick_exit(void (__cdecl *f)(void)) { return _crt_at_quick_exit(f); }
#ifdef __cplusplus
}
#endif
