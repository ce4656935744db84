/* SPDX-License-Identifier: MIT */
/*
 * The stand-in's controls, looked up at run time in the device library the process has loaded and
 * never imported: a program that uses them also starts beside the maker's library, which has none.
 *
 *   typedef int (*unplug_function)(const char* sensor_id, unsigned replug_after_ms);
 *   unplug_function unplug = (unplug_function)vqsim_lookup("vqsim_unplug");
 *   if (unplug == NULL) ... the device library in use is not the stand-in
 *
 * Call it once the device library is loaded (a program linked to kovavantorquadrelv3 has it from
 * the start). Usable from C99 and C++.
 */
#ifndef VQSIM_LOOKUP_H
#define VQSIM_LOOKUP_H

#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

typedef void (*vqsim_function)(void);

static vqsim_function vqsim_lookup(const char* name)
{
#if defined(_WIN32)
    HMODULE library = GetModuleHandleA("VQUAD.dll");
    return library != NULL ? (vqsim_function)GetProcAddress(library, name) : NULL;
#else
    vqsim_function function = NULL;
    void* process = dlopen(NULL, RTLD_NOW);
    if (process != NULL) {
        void* address = dlsym(process, name);
        memcpy(&function, &address, sizeof function);
        dlclose(process);
    }
    return function;
#endif
}

#endif /* VQSIM_LOOKUP_H */
