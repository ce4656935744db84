/* SPDX-License-Identifier: MIT */
/* Captures N frames (default 10) from the first scanner and prints one line of statistics per frame.
   The statistics are computed in the capture callback: the pixels are valid only during the call.
   Build: cc -std=c99 capture_frames.c $(pkg-config --cflags --libs kovavantorquadrelv3) */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 199309L /* nanosleep */
#endif
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#if defined(_WIN32)
#include <windows.h>
#define pause_a_little() Sleep(5)
#else
#include <time.h>
static void pause_a_little(void)
{
    struct timespec five_ms = {0, 5000000};
    nanosleep(&five_ms, NULL);
}
#endif

#include "kova_status.h"
#include "kovavantorquadrelv3.h"

#define WIDTH 1600
#define HEIGHT 1500

static volatile unsigned frames_seen;
static unsigned frames_wanted = 10;

/* Runs on the device library's thread. */
static void on_frame(unsigned char* pixels, void* context)
{
    unsigned long long sum = 0;
    unsigned low = 1023, high = 0, i;
    (void)context;
    if (frames_seen >= frames_wanted) return;
    for (i = 0; i < WIDTH * HEIGHT; ++i) {
        unsigned sample = (pixels[2 * i] | pixels[2 * i + 1] << 8) & 0x3FF; /* little-endian, 10 bits */
        sum += sample;
        if (sample < low) low = sample;
        if (sample > high) high = sample;
    }
    printf("frame %u: min %u, max %u, mean %.1f\n", frames_seen + 1, low, high, (double)sum / (WIDTH * HEIGHT));
    fflush(stdout);
    frames_seen = frames_seen + 1;
}

int main(int argc, char** argv)
{
    KovaDeviceEntry entry;
    uint32_t count = 1, handle = 0;
    char id[257];
    KovaStatus status;
    if (argc > 1) frames_wanted = (unsigned)strtoul(argv[1], NULL, 10);
    if (KovaInitialize_N(NULL, 0, 0) != KOVA_OK || KovaGetDeviceList_N(&count, &entry) != KOVA_OK || count == 0) {
        fprintf(stderr, "no scanner\n");
        return 1;
    }
    memcpy(id, entry.sensor_id, 256);
    id[256] = '\0';
    status = KovaOpenDevice(id, &handle);
    if (status != KOVA_OK && status != KOVA_DIRTY_DEVICE) {
        fprintf(stderr, "KovaOpenDevice(%s): %lu\n", id, (unsigned long)status);
        return 1;
    }
    KovaRegisterQuadV3CaptureCallback(handle, on_frame, NULL);
    status = KovaVantorStartVideo(handle);
    if (status != KOVA_OK) {
        fprintf(stderr, "KovaVantorStartVideo: %lu\n", (unsigned long)status);
        return 1;
    }
    while (frames_seen < frames_wanted) pause_a_little();
    /* Stop before anything the callback uses goes away. */
    KovaStopVideo(handle);
    KovaUnRegisterQuadV3CaptureCallback();
    KovaCloseDevice_N(handle);
    KovaTerminate();
    return 0;
}
