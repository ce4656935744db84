// SPDX-License-Identifier: MIT
/* overlay: Wine's <corecrt.h> plus UCRT's _Mbstatet/mbstate_t (MSVC layout) */
#pragma once
#include_next <corecrt.h>
#include <vcruntime.h>
#ifndef _MBSTATET_DEFINED
#define _MBSTATET_DEFINED
typedef struct _Mbstatet { unsigned long _Wchar; unsigned short _Byte, _State; } _Mbstatet;
typedef _Mbstatet mbstate_t;
#endif
#ifdef __cplusplus
extern "C" {
#endif
_ACRTIMP __declspec(noreturn) void __cdecl _invalid_parameter_noinfo_noreturn(void);
#ifdef __cplusplus
}
#endif
#ifndef _CRT_SECURE_INVALID_PARAMETER
# define _CRT_SECURE_INVALID_PARAMETER(expr) _invalid_parameter_noinfo_noreturn()
#endif
