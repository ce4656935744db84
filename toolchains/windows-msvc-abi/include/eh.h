// SPDX-License-Identifier: MIT
/* Replacement for <eh.h>: UCRT/vcruntime declare terminate & co. with C linkage
   (Wine's msvcrt-flavoured eh.h declares them as C++ functions). */
#pragma once
#define __WINE_EH_H
#include <corecrt.h>
#include <vcruntime.h>
#ifdef __cplusplus
extern "C" {
#endif
typedef void (__cdecl *terminate_handler)(void);
typedef void (__cdecl *terminate_function)(void);
typedef void (__cdecl *unexpected_handler)(void);
typedef void (__cdecl *unexpected_function)(void);
struct _EXCEPTION_POINTERS;
typedef void (__cdecl *_se_translator_function)(unsigned int, struct _EXCEPTION_POINTERS *);
_ACRTIMP __declspec(noreturn) void __cdecl terminate(void) _CRT_SECURE_CPP_NOTHROW;
_ACRTIMP terminate_handler __cdecl set_terminate(terminate_handler) _CRT_SECURE_CPP_NOTHROW;
_ACRTIMP terminate_handler __cdecl _get_terminate(void);
_VCRTIMP __declspec(noreturn) void __cdecl unexpected(void);
_VCRTIMP unexpected_handler __cdecl set_unexpected(unexpected_handler) _CRT_SECURE_CPP_NOTHROW;
_VCRTIMP unexpected_handler __cdecl _get_unexpected(void);
_VCRTIMP _se_translator_function __cdecl _set_se_translator(_se_translator_function);
_VCRTIMP int __cdecl __uncaught_exceptions(void);
#ifdef __cplusplus
}
#endif
