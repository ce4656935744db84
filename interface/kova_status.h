/* SPDX-License-Identifier: MIT */
/*
 * Status codes of kovavantorquadrelv3 and their texts. Usable from C99 and C++.
 * The texts are exactly 15 characters, blank-padded; they are also what the log lines carry.
 */
#ifndef KOVA_STATUS_H
#define KOVA_STATUS_H

#include "kovavantorquadrelv3.h"

/* Literals of KovaStatus's own type (an unsigned long on Windows). */
#if defined(_WIN32)
#define KOVA_STATUS_CODE(value) value##ul
#else
#define KOVA_STATUS_CODE(value) value##u
#endif

#define KOVA_OK KOVA_STATUS_CODE(0)
#define KOVA_INTERNAL KOVA_STATUS_CODE(9000)
#define KOVA_OUT_OF_RESOURCE KOVA_STATUS_CODE(9001)
#define KOVA_DEVICE_UNAVAILABLE KOVA_STATUS_CODE(9005)
#define KOVA_ASYNC_READ KOVA_STATUS_CODE(9010)
#define KOVA_NOT_SUPPORTED KOVA_STATUS_CODE(9019)
#define KOVA_DIRTY_DEVICE KOVA_STATUS_CODE(9020)
#define KOVA_BUSY_DEVICE KOVA_STATUS_CODE(9021)
#define KOVA_BROKEN_SCANNER KOVA_STATUS_CODE(9023)
#define KOVA_BAD_STATE KOVA_STATUS_CODE(9025)
#define KOVA_NOT_INITIALIZED KOVA_STATUS_CODE(9101)
#define KOVA_BUF_TOO_SMALL KOVA_STATUS_CODE(9103)
#define KOVA_BAD_PARAMETER KOVA_STATUS_CODE(9109)
#define KOVA_UNPLUGGED KOVA_STATUS_CODE(9110)

/* The text of a code, or NULL for 0 and for codes that have none (9019 to 9025 among them). */
static inline const char* kova_status_text(KovaStatus code)
{
    static const char kova_texts_9000[19][16] = {
        "Internal KOVA  ", "Out of Resource", "Adapter Access ", "Adapter Mapping", "Bus Reset      ",
        "Device Unavail ", "Wait Object    ", "Bad Channel    ", "Isoch Request  ", "Video Rcvr     ",
        "Async Read     ", "Async Write    ", "CSR Address    ", "CSR Write      ", "Invalid Rsp    ",
        "Failure Rsp    ", "Device Timeout ", "Bad Pipe       ", "XCTRL Abort    "};
    static const char kova_texts_9100[12][16] = {
        "User Error     ", "Not Initialized", "Buf Too Big    ", "Buf Too Small  ",
        "Too Many Frames", "Video Stopped  ", "Video Timeout  ", "Terminated     ",
        "Bad Scanner Idx", "Bad Parameter  ", "Device Unavail ", "Canceled       "};
    if (code >= 9000u && code <= 9018u) return kova_texts_9000[code - 9000u];
    if (code >= 9100u && code <= 9111u) return kova_texts_9100[code - 9100u];
    return (const char*)0;
}

#endif /* KOVA_STATUS_H */
