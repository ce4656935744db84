// SPDX-License-Identifier: MIT
// Declarations shared by the static runtime's pieces: the Universal CRT's and kernel32's functions
// they call (declared here rather than through <windows.h>, which needs more of the toolchain than
// an entry point should).
#pragma once
#include <vcruntime_new.h>
#include <vcruntime_typeinfo.h>

extern "C" {
typedef void(__cdecl* kova_pvfv)(void);
typedef int(__cdecl* kova_pifv)(void);
typedef int(__cdecl* kova_onexit)(void);
struct kova_onexit_table {
    kova_pvfv* first;
    kova_pvfv* last;
    kova_pvfv* end;
};

__declspec(dllimport) void __cdecl _initterm(kova_pvfv*, kova_pvfv*);
__declspec(dllimport) int __cdecl _initterm_e(kova_pifv*, kova_pifv*);
__declspec(dllimport) int __cdecl _initialize_onexit_table(kova_onexit_table*);
__declspec(dllimport) int __cdecl _register_onexit_function(kova_onexit_table*, kova_onexit);
__declspec(dllimport) int __cdecl _execute_onexit_table(kova_onexit_table*);
__declspec(dllimport) int __cdecl _crt_atexit(kova_pvfv);
__declspec(dllimport) void __cdecl _set_app_type(int);
__declspec(dllimport) int __cdecl _configure_narrow_argv(int);
__declspec(dllimport) int __cdecl _initialize_narrow_environment(void);
__declspec(dllimport) int* __cdecl __p___argc(void);
__declspec(dllimport) char*** __cdecl __p___argv(void);
__declspec(dllimport) __declspec(noreturn) void __cdecl exit(int);
__declspec(dllimport) int __cdecl _callnewh(size_t);

__declspec(dllimport) void __stdcall GetSystemTimeAsFileTime(unsigned long long*);
__declspec(dllimport) int __stdcall QueryPerformanceCounter(long long*);
__declspec(dllimport) unsigned long __stdcall GetCurrentProcessId(void);
__declspec(dllimport) unsigned long __stdcall GetCurrentThreadId(void);
__declspec(dllimport) void* __stdcall GetProcessHeap(void);
__declspec(dllimport) void* __stdcall HeapAlloc(void*, unsigned long, size_t);
__declspec(dllimport) int __stdcall HeapFree(void*, unsigned long, void*);

void __cdecl __security_init_cookie(void);
void __cdecl __security_check_cookie(unsigned long long);

extern kova_onexit_table kova_module_atexit;
int __cdecl atexit(kova_pvfv);
}

// The module's C and C++ initialisers; false when one failed.
bool kova_initialize_module();
// Its atexit functions and static destructors, last registered first.
void kova_finish_module();
