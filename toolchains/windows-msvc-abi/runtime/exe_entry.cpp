// SPDX-License-Identifier: MIT
// A console program's entry point: the C runtime's arguments and environment, the module's
// initialisers, main, and exit (which runs the module's atexit table, registered with the CRT).
#include "runtime.h"

int main(int, char**);

extern "C" int mainCRTStartup(void)
{
    _set_app_type(1); // a console program: abort and assertion messages go to standard error
    _configure_narrow_argv(2);
    _initialize_narrow_environment();
    if (!kova_initialize_module()) return 255;
    _crt_atexit(kova_finish_module);
    exit(main(*__p___argc(), *__p___argv()));
}
