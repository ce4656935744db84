/* SPDX-License-Identifier: MIT */
/* A status loop: reports every device event of the first scanner and, after an unplug, reopens it
   once it is back. Ends after N events (default 4), or when the library is terminated.
   With the stand-in, --demo-unplug has it unplug the scanner (and plug it back) once, and the loop
   ends once the scanner is open again: the replug may come before the new handle, which then has
   nothing to report. The control is found at run time, so the example also runs beside the maker's
   library.
   Build: cc -std=c99 status_loop.c $(pkg-config --cflags --libs kovavantorquadrelv3) -ldl */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "vqsim_lookup.h"

static void on_notification(int32_t kind, const char* serial_number, int32_t state)
{
    (void)kind;
    printf("notification: %s %s\n", serial_number, state ? "plugged in / awake" : "unplugged / asleep");
    fflush(stdout);
}

/* Opens the first scanner listed; 0 when there is none (yet). */
static uint32_t open_first(char* id)
{
    KovaDeviceEntry entry;
    uint32_t count = 1, handle = 0;
    KovaStatus status;
    if (KovaGetDeviceList_N(&count, &entry) != KOVA_OK || count == 0) return 0;
    memcpy(id, entry.sensor_id, 256);
    id[256] = '\0';
    status = KovaOpenDevice(id, &handle);
    return status == KOVA_OK || status == KOVA_DIRTY_DEVICE ? handle : 0;
}

int main(int argc, char** argv)
{
    char id[257];
    unsigned events = 0, wanted = 4;
    int demo_unplug = argc > 1 && strcmp(argv[1], "--demo-unplug") == 0;
    uint32_t handle;
    if (argc > 1 + demo_unplug) wanted = (unsigned)strtoul(argv[1 + demo_unplug], NULL, 10);
    if (KovaInitialize_N(on_notification, 0, 0) != KOVA_OK || (handle = open_first(id)) == 0) {
        fprintf(stderr, "no scanner\n");
        return 1;
    }
    printf("watching %s\n", id);
    if (demo_unplug) {
        typedef int (*unplug_function)(const char*, unsigned);
        unplug_function unplug = (unplug_function)vqsim_lookup("vqsim_unplug");
        if (unplug == NULL) {
            fprintf(stderr, "--demo-unplug needs the stand-in, and the device library in use is not the stand-in\n");
            return 2;
        }
        unplug(id, 200);
    }
    while (events < wanted) {
        KovaStatus status = KovaGetStatus(handle);
        ++events;
        switch (status) {
        case KOVA_OK:
            printf("status: woken, nothing to report\n");
            break;
        case KOVA_DEVICE_UNAVAILABLE:
            printf("status: unplugged, asleep, broken or a capture fault\n");
            break;
        case KOVA_NOT_INITIALIZED:
            printf("status: the library was terminated\n");
            return 0;
        default:
            /* The handle is gone (9110: its scanner was unplugged): wait for the scanner, open it again. */
            printf("status: %lu, reopening\n", (unsigned long)status);
            KovaCloseDevice_N(handle);
            while ((handle = open_first(id)) == 0) {
            }
            printf("reopened %s\n", id);
            if (demo_unplug) events = wanted; /* the demonstration is over */
            break;
        }
        fflush(stdout);
    }
    KovaCloseDevice_N(handle);
    KovaTerminate();
    return 0;
}
