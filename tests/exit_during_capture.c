/* An application that leaves while capture runs: it starts full-rate capture and returns from main
   without stopping, closing or terminating. The device library's capture thread goes on calling
   into the library while the process exits; nothing of that may touch freed memory or call back
   into the application. Exit status 0, and no sanitizer report. */
#include <stdio.h>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "vqsim.h"

static volatile unsigned long frames;

static void on_frame(unsigned char* pixels, void* context)
{
    (void)pixels;
    (void)context;
    frames++;
}

int main(void)
{
    uint32_t handle = 0;
    vqsim_set_frame_interval_us(0);
    if (KovaInitialize_N(NULL, 3, 0) != KOVA_OK || KovaOpenDevice("QV3-0001", &handle) != KOVA_OK ||
        KovaRegisterQuadV3CaptureCallback(handle, on_frame, NULL) != KOVA_OK ||
        KovaVantorStartVideo(handle) != KOVA_OK) {
        fprintf(stderr, "could not start capture\n");
        return 1;
    }
    while (vqsim_frames_sent(handle) < 3) {
    }
    return 0;
}
