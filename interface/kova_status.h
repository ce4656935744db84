/* SPDX-License-Identifier: MIT */
/**
 * @file kova_status.h
 * @brief Status codes of kovavantorquadrelv3 and their texts. Usable from C99 and C++.
 *
 * The texts are exactly 15 characters, blank-padded; they are also what the log lines carry.
 * @ref kova_device_failures "Device-library failures" tells which code a failed device-library
 * call becomes.
 */
#ifndef KOVA_STATUS_H
#define KOVA_STATUS_H

#include "kovavantorquadrelv3.h"

/** A literal of ::KovaStatus's own type (an unsigned long on Windows), for comparisons without warnings. */
#if defined(_WIN32)
#define KOVA_STATUS_CODE(value) value##ul
#else
#define KOVA_STATUS_CODE(value) value##u
#endif

/** Success. */
#define KOVA_OK KOVA_STATUS_CODE(0)
/** "Internal KOVA  ": the 5000 ms wait for another thread's operation ran out, the device library
 * failed in a way the interface has no code for, or its data made no sense. */
#define KOVA_INTERNAL KOVA_STATUS_CODE(9000)
/** "Out of Resource": memory ran out, in the library or the device library. */
#define KOVA_OUT_OF_RESOURCE KOVA_STATUS_CODE(9001)
/** "Device Unavail ": no such scanner, none attached, or (from KovaGetStatus()) the scanner was
 * unplugged, fell asleep, broke or its capture failed. */
#define KOVA_DEVICE_UNAVAILABLE KOVA_STATUS_CODE(9005)
/** "Async Read     ": the device library failed to talk to the scanner. */
#define KOVA_ASYNC_READ KOVA_STATUS_CODE(9010)
/** The device library does not support the request (no text). */
#define KOVA_NOT_SUPPORTED KOVA_STATUS_CODE(9019)
/** The scanner reports its platen dirty; an open still succeeded (no text). */
#define KOVA_DIRTY_DEVICE KOVA_STATUS_CODE(9020)
/** The scanner is open already, or busy (no text). */
#define KOVA_BUSY_DEVICE KOVA_STATUS_CODE(9021)
/** The scanner reports itself broken (no text). */
#define KOVA_BROKEN_SCANNER KOVA_STATUS_CODE(9023)
/** The scanner is in the wrong state for the request, for instance already capturing (no text). */
#define KOVA_BAD_STATE KOVA_STATUS_CODE(9025)
/** "Not Initialized": KovaInitialize_N() has not succeeded, or KovaTerminate() ended the session. */
#define KOVA_NOT_INITIALIZED KOVA_STATUS_CODE(9101)
/** "Buf Too Small  ": a list's count or buffer pointer is NULL. */
#define KOVA_BUF_TOO_SMALL KOVA_STATUS_CODE(9103)
/** "Bad Parameter  " (written "Error 9109" in the log): an argument is NULL or out of range, or the
 * device library refused one. */
#define KOVA_BAD_PARAMETER KOVA_STATUS_CODE(9109)
/** "Device Unavail ": the handle's scanner was unplugged; close it and open the scanner again when it
 * is back. */
#define KOVA_UNPLUGGED KOVA_STATUS_CODE(9110)

/**
 * The text of a status code, as the log lines carry it.
 *
 * @param code a status.
 * @return the code's 15-character text (blank-padded, NUL-terminated, static), or NULL for 0 and
 *         for codes that have none (9019 to 9025 among them).
 *
 * @par Threads
 * Any thread; it needs no initialisation and is defined in this header.
 */
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
