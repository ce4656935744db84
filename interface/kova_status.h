/*
 * Status codes of kovavantorquadrelv3 and their texts. Usable from C99 and C++.
 * The texts are exactly 15 characters, blank-padded; they are also what the log lines carry.
 */
#ifndef KOVA_STATUS_H
#define KOVA_STATUS_H

#include "kovavantorquadrelv3.h"

#define KOVA_OK 0u
#define KOVA_INTERNAL 9000u
#define KOVA_OUT_OF_RESOURCE 9001u
#define KOVA_DEVICE_UNAVAILABLE 9005u
#define KOVA_ASYNC_READ 9010u
#define KOVA_NOT_SUPPORTED 9019u
#define KOVA_DIRTY_DEVICE 9020u
#define KOVA_BUSY_DEVICE 9021u
#define KOVA_BROKEN_SCANNER 9023u
#define KOVA_BAD_STATE 9025u
#define KOVA_NOT_INITIALIZED 9101u
#define KOVA_BUF_TOO_SMALL 9103u
#define KOVA_BAD_PARAMETER 9109u
#define KOVA_UNPLUGGED 9110u

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
