// SPDX-License-Identifier: MIT
/* overlay: Wine's <io.h> plus the Universal CRT's _access_s (cpp-httplib checks files with it) */
#pragma once
#include_next <io.h>
#ifdef __cplusplus
extern "C" {
#endif
_ACRTIMP errno_t __cdecl _access_s(const char*, int);
#ifdef __cplusplus
}
#endif
