// SPDX-License-Identifier: MIT
// A DLL's entry point: the module's initialisers before DllMain sees the process attach, its atexit
// table after DllMain sees the detach (also when the attach failed, as the loader then detaches).
#include "runtime.h"

extern "C" int __stdcall DllMain(void*, unsigned long, void*);

extern "C" int __stdcall _DllMainCRTStartup(void* module, unsigned long reason, void* reserved)
{
    constexpr unsigned long process_detach = 0, process_attach = 1;
    if (reason == process_attach && !kova_initialize_module()) {
        kova_finish_module();
        return 0;
    }
    const int answer = DllMain(module, reason, reserved);
    if (reason == process_detach || (reason == process_attach && !answer)) kova_finish_module();
    return answer;
}
