/* SPDX-License-Identifier: MIT */
/* The public headers compile as strict C (C99 to C23); their layout checks run here too. */
#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "vqsim.h"

/* Before C23 the do-nothing functions are unprototyped, and a C caller may pass them arguments;
 * clang 15 and later call that deprecated (C23 prototypes them variadic). */
#if defined(__clang__) && !(defined(__STDC_VERSION__) && __STDC_VERSION__ > 201710L)
#  pragma clang diagnostic ignored "-Wunknown-warning-option"
#  pragma clang diagnostic ignored "-Wdeprecated-non-prototype"
#endif

static void on_image(unsigned char* pixels, void* context)
{
    (void)pixels;
    (void)context;
}

int kova_c_header_check(void)
{
    KovaDeviceEntry entry;
    DevUIRecord record;
    KovaStatus status = KovaRegisterQuadV3CaptureCallback(0, on_image, &entry);
    record.side_lamp_word = 4;
    /* The do-nothing functions take whatever they are given, also in C23. */
    status += KovaGetVersion(1, "any");
    return (int)status + (int)record.side_lamp_word + (kova_status_text(KOVA_INTERNAL) != 0);
}
