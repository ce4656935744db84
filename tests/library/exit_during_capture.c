/* SPDX-License-Identifier: MIT */
/* An application that leaves while capture runs: it starts full-rate capture and returns from main
   without stopping, closing or terminating. The device library's capture thread goes on calling
   into the library while the process exits; nothing of that may touch freed memory (the address
   build reports any) or reach the application once the library's static destruction has begun.
   The library is loaded with dlopen, after an exit handler was registered, so that the handler
   runs after the library's destruction and can watch the frames that still come.
     exit_during_capture LIBRARY */
#include <dlfcn.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "vqsim.h"

static atomic_ulong frames;
static uint32_t handle;

static void on_frame(unsigned char* pixels, void* context)
{
    (void)pixels;
    (void)context;
    atomic_fetch_add(&frames, 1);
}

/* Runs last: the capture thread sends a few more frames into the destroyed library. One callback
   already under way when the destruction began may still arrive; no more. */
static void after_the_library(void)
{
    const unsigned long long sent = vqsim_frames_sent(handle);
    const unsigned long delivered = atomic_load(&frames);
    while (vqsim_frames_sent(handle) < sent + 3) {
    }
    const unsigned long late = atomic_load(&frames) - delivered;
    if (late > 1) {
        fprintf(stderr, "%lu frames reached the application after the library was destroyed\n", late);
        _exit(1);
    }
}

#define FIND(name) name##_function = (name##_type)dlsym(library, #name)

int main(int argc, char** argv)
{
    typedef KovaStatus (*KovaInitialize_N_type)(NotificationCallback, unsigned int, int);
    typedef KovaStatus (*KovaOpenDevice_type)(const char*, uint32_t*);
    typedef KovaStatus (*KovaRegisterQuadV3CaptureCallback_type)(unsigned int, QuadV3CaptureCallback, void*);
    typedef KovaStatus (*KovaVantorStartVideo_type)(unsigned int);
    KovaInitialize_N_type KovaInitialize_N_function;
    KovaOpenDevice_type KovaOpenDevice_function;
    KovaRegisterQuadV3CaptureCallback_type KovaRegisterQuadV3CaptureCallback_function;
    KovaVantorStartVideo_type KovaVantorStartVideo_function;
    void* library;

    if (argc != 2) return 2;
    atexit(after_the_library);
    library = dlopen(argv[1], RTLD_NOW);
    if (library == NULL) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    FIND(KovaInitialize_N);
    FIND(KovaOpenDevice);
    FIND(KovaRegisterQuadV3CaptureCallback);
    FIND(KovaVantorStartVideo);
    vqsim_set_frame_interval_us(0);
    if (KovaInitialize_N_function(NULL, 3, 0) != KOVA_OK || KovaOpenDevice_function("QV3-0001", &handle) != KOVA_OK ||
        KovaRegisterQuadV3CaptureCallback_function(handle, on_frame, NULL) != KOVA_OK ||
        KovaVantorStartVideo_function(handle) != KOVA_OK) {
        fprintf(stderr, "could not start capture\n");
        return 1;
    }
    while (atomic_load(&frames) < 3) {
    }
    return 0;
}
