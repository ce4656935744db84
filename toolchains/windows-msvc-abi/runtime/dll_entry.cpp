// SPDX-License-Identifier: MIT
// A DLL's entry point, dispatched as Microsoft's runtime does: the module's initialisers before
// DllMain sees the process attach, its atexit table after DllMain sees the detach. When DllMain
// refuses the attach, it is sent the detach that undoes it at once; the loader's own detach that
// follows a failed attach then reaches nothing.
#include "runtime.h"

extern "C" int __stdcall DllMain(void*, unsigned long, void*);

namespace {
bool attached = false; // the loader serialises process attach and detach
}

extern "C" int __stdcall _DllMainCRTStartup(void* module, unsigned long reason, void* reserved)
{
    constexpr unsigned long process_detach = 0, process_attach = 1;
    if (reason == process_detach && !attached) return 0;
    if (reason == process_attach) {
        if (!kova_initialize_module()) {
            kova_finish_module();
            return 0;
        }
        attached = true;
    }
    const int answer = DllMain(module, reason, reserved);
    if (reason == process_attach && !answer) DllMain(module, process_detach, reserved);
    if (reason == process_detach || (reason == process_attach && !answer)) {
        attached = false;
        kova_finish_module();
    }
    return answer;
}
