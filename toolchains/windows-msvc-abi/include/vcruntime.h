// SPDX-License-Identifier: MIT
/* Minimal stand-in for MSVC's <vcruntime.h>, written for the probe.
   Wine's corecrt.h supplies size_t/ptrdiff_t/intptr_t/_ACRTIMP etc. */
#pragma once
#define _VCRUNTIME_H
#include <sal.h>
#include <vadefs.h>
#ifndef _CRT_BEGIN_C_HEADER
# ifdef __cplusplus
#  define _CRT_BEGIN_C_HEADER extern "C" {
#  define _CRT_END_C_HEADER }
# else
#  define _CRT_BEGIN_C_HEADER
#  define _CRT_END_C_HEADER
# endif
#endif
#ifndef _VCRTIMP
# define _VCRTIMP __declspec(dllimport)
#endif
#ifndef _CRTIMP
# define _CRTIMP __declspec(dllimport)
#endif
#define _CRT_STRINGIZE_(x) #x
#define _CRT_STRINGIZE(x) _CRT_STRINGIZE_(x)
#define _CRT_WIDE_(s) L ## s
#define _CRT_WIDE(s) _CRT_WIDE_(s)
#define _CRT_CONCATENATE_(a, b) a ## b
#define _CRT_CONCATENATE(a, b) _CRT_CONCATENATE_(a, b)
#define _CRT_UNPARENTHESIZE_(...) __VA_ARGS__
#define _CRT_UNPARENTHESIZE(...) _CRT_UNPARENTHESIZE_ __VA_ARGS__
#ifndef _HAS_EXCEPTIONS
# define _HAS_EXCEPTIONS 1
#endif
#define _CRT_PACKING 8
#define _VCRT_ALIGN(x) __declspec(align(x))
#define _CRT_ALIGN(x) __declspec(align(x))
#define _CRTRESTRICT __declspec(restrict)
#define _VCRT_RESTRICT __declspec(restrict)
#define _VCRT_ALLOCATOR __declspec(allocator)
#define _CRTALLOCATOR __declspec(allocator)
#define _VCRT_NOALIAS __declspec(noalias)
#define _CRT_GUARDOVERFLOW
#define _CRT_HYBRIDPATCHABLE
#ifdef __cplusplus
# define _VCRT_NOEXCEPT noexcept
# define _CRT_SECURE_CPP_NOTHROW noexcept
#else
# define _VCRT_NOEXCEPT
# define _CRT_SECURE_CPP_NOTHROW
#endif
#define _CRT_DEPRECATE_TEXT(_Text) __declspec(deprecated(_Text))
#define _CRT_INSECURE_DEPRECATE(_Replacement)
#define _CRT_INSECURE_DEPRECATE_MEMORY(_Replacement)
#ifndef __CLRCALL_OR_CDECL
# define __CLRCALL_OR_CDECL __cdecl
# define __CLRCALL_PURE_OR_CDECL __cdecl
# define __CLR_OR_THIS_CALL
#endif
#define _CRT_HAS_CXX17 1
#ifdef __cplusplus
extern "C++" { template <typename _CountofType, size_t _SizeOfArray>
  char (*__countof_helper(_CountofType (&_Array)[_SizeOfArray]))[_SizeOfArray]; }
# define __crt_countof(_Array) (sizeof(*__countof_helper(_Array)) + 0)
#else
# define __crt_countof(_Array) (sizeof(_Array) / sizeof(_Array[0]))
#endif
#ifndef _SIZE_T_DEFINED
#define _SIZE_T_DEFINED
typedef unsigned __int64 size_t;
#endif
#ifndef _PTRDIFF_T_DEFINED
#define _PTRDIFF_T_DEFINED
typedef __int64 ptrdiff_t;
#endif
#ifndef _INTPTR_T_DEFINED
#define _INTPTR_T_DEFINED
typedef __int64 intptr_t;
#endif
#ifndef _UINTPTR_T_DEFINED
#define _UINTPTR_T_DEFINED
typedef unsigned __int64 uintptr_t;
#endif
#if defined(__cplusplus) && !defined(_NATIVE_NULLPTR_SUPPORTED)
# define _NATIVE_NULLPTR_SUPPORTED
#endif
_CRT_BEGIN_C_HEADER
void __cdecl __security_init_cookie(void);
extern unsigned __int64 __security_cookie;
void __cdecl __security_check_cookie(uintptr_t);
_CRT_END_C_HEADER
#ifndef __CRTDECL
# define __CRTDECL __CLRCALL_PURE_OR_CDECL
#endif
#ifndef _HAS_NODISCARD
# if defined(__has_cpp_attribute)
#  if __has_cpp_attribute(nodiscard) >= 201603L
#   define _HAS_NODISCARD 1
#  endif
# endif
# ifndef _HAS_NODISCARD
#  define _HAS_NODISCARD 0
# endif
#endif
#if _HAS_NODISCARD
# define _NODISCARD [[nodiscard]]
#else
# define _NODISCARD
#endif
#ifndef _CRTIMP2
# define _CRTIMP2
#endif
#ifndef _MRTIMP2
# define _MRTIMP2
#endif
#ifdef _MSVC_LANG
# define _STL_LANG _MSVC_LANG
#elif defined(__cplusplus)
# define _STL_LANG __cplusplus
#else
# define _STL_LANG 0L
#endif
#ifndef _HAS_CXX17
# if _STL_LANG > 201402L
#  define _HAS_CXX17 1
# else
#  define _HAS_CXX17 0
# endif
#endif
#ifndef _HAS_CXX20
# if _HAS_CXX17 && _STL_LANG > 201703L
#  define _HAS_CXX20 1
# else
#  define _HAS_CXX20 0
# endif
#endif
#ifndef _HAS_CXX23
# if _HAS_CXX20 && _STL_LANG > 202002L
#  define _HAS_CXX23 1
# else
#  define _HAS_CXX23 0
# endif
#endif
/* satellite DLLs of the C++ library (msvcp140_1/_2/_codecvt_ids): imported when /MD */
#ifndef _CRT_SATELLITE_1
# define _CRT_SATELLITE_1 __declspec(dllimport)
#endif
#ifndef _CRT_SATELLITE_2
# define _CRT_SATELLITE_2 __declspec(dllimport)
#endif
#ifndef _CRT_SATELLITE_CODECVT_IDS
# define _CRT_SATELLITE_CODECVT_IDS __declspec(dllimport)
# define _CRT_SATELLITE_CODECVT_IDS_NOIMPORT
#endif
#ifndef _PGLOBAL
# define _PGLOBAL
#endif
#ifndef _AGLOBAL
# define _AGLOBAL
#endif
