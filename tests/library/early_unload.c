/* SPDX-License-Identifier: MIT */
/* An application that unloads the library while capture runs, without terminating: the device
   library's threads go on calling in, so the library must stay mapped until terminate. Loaded again,
   it is the same instance, still initialised; terminated and unloaded, it is gone.
     early_unload LIBRARY */
#include <stdatomic.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "vqsim.h"

#if defined(_WIN32)
#include <windows.h>
typedef HMODULE module_t;
static module_t load(const char* path) { return LoadLibraryA(path); }
static void* find(module_t module, const char* name) { return (void*)GetProcAddress(module, name); }
static void unload(module_t module) { FreeLibrary(module); }
/* Whether the module is still mapped, without taking a reference. */
static int mapped(const char* path)
{
    const char* name = strrchr(path, '\\') ? strrchr(path, '\\') + 1 : path;
    name = strrchr(name, '/') ? strrchr(name, '/') + 1 : name;
    return GetModuleHandleA(name) != NULL;
}
#else
#include <dlfcn.h>
typedef void* module_t;
static module_t load(const char* path) { return dlopen(path, RTLD_NOW); }
static void* find(module_t module, const char* name) { return dlsym(module, name); }
static void unload(module_t module) { dlclose(module); }
static int mapped(const char* path)
{
    void* module = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (module != NULL) dlclose(module);
    return module != NULL;
}
#endif

static atomic_ulong frames;
static atomic_ulong events;

static void on_frame(unsigned char* pixels, void* context)
{
    (void)pixels;
    (void)context;
    atomic_fetch_add(&frames, 1);
}

static void on_event(int32_t kind, const char* serial_number, int32_t state)
{
    (void)kind;
    (void)serial_number;
    (void)state;
    atomic_fetch_add(&events, 1);
}

static int fail(const char* what)
{
    fprintf(stderr, "early_unload: %s\n", what);
    return 1;
}

/* Waits (without a verdict on time: only a stall of a minute fails) until the counter passes target. */
static int reaches(atomic_ulong* counter, unsigned long target)
{
    const time_t give_up = time(NULL) + 60;
    while (atomic_load(counter) < target)
        if (time(NULL) > give_up) return 0;
    return 1;
}

typedef KovaStatus (*initialize_t)(NotificationCallback, unsigned int, int);
typedef KovaStatus (*open_t)(const char*, uint32_t*);
typedef KovaStatus (*register_t)(unsigned int, QuadV3CaptureCallback, void*);
typedef KovaStatus (*start_t)(unsigned int);
typedef KovaStatus (*terminate_t)(void);

int main(int argc, char** argv)
{
    module_t library, again;
    initialize_t initialize;
    open_t open_device;
    register_t register_capture;
    start_t start_video;
    terminate_t terminate;
    uint32_t handle = 0;
    time_t until;
    unsigned long seen;

    if (argc != 2) return 2;
    library = load(argv[1]);
    if (library == NULL) return fail("cannot load the library");
    initialize = (initialize_t)find(library, "KovaInitialize_N");
    open_device = (open_t)find(library, "KovaOpenDevice");
    register_capture = (register_t)find(library, "KovaRegisterQuadV3CaptureCallback");
    start_video = (start_t)find(library, "KovaVantorStartVideo");
    terminate = (terminate_t)find(library, "KovaTerminate");
    if (!initialize || !open_device || !register_capture || !start_video || !terminate)
        return fail("missing exports");

    vqsim_set_frame_interval_us(1000);
    if (initialize(on_event, 3, 0) != KOVA_OK || open_device("QV3-0001", &handle) != KOVA_OK ||
        register_capture(handle, on_frame, NULL) != KOVA_OK || start_video(handle) != KOVA_OK)
        return fail("could not start capture");
    if (!reaches(&frames, 3)) return fail("no frames");

    /* The application's only reference goes; the device library keeps calling in for a second. */
    unload(library);
    if (!mapped(argv[1])) return fail("the library was unmapped while capture ran");
    until = time(NULL) + 2;
    while (time(NULL) < until) {
        seen = atomic_load(&frames);
        if (!reaches(&frames, seen + 5)) return fail("frames stopped after the unload");
        seen = atomic_load(&events);
        vqsim_usb_event("QV3-0001-SN", 1, 1);
        vqsim_usb_event("QV3-0001-SN", 0, 1);
        if (!reaches(&events, seen + 2)) return fail("events stopped after the unload");
    }

    /* Loaded again: the same module, its session still open. */
    again = load(argv[1]);
    if (again != library) return fail("a second instance was loaded");
    if ((terminate_t)find(again, "KovaTerminate") != terminate) return fail("the functions moved");
    if (terminate() != KOVA_OK) return fail("the session was lost");
    seen = atomic_load(&frames);
    unload(again);
    if (mapped(argv[1])) return fail("the library stayed loaded after terminate and unload");
    printf("early_unload: %lu frames and %lu events, the library unloaded after terminate\n", seen,
           atomic_load(&events));
    return 0;
}
