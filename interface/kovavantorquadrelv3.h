/* SPDX-License-Identifier: MIT */
/*
 * kovavantorquadrelv3: interface layer of the QUADRELV3 slap-and-roll live-scan scanner.
 *
 * Every function returns a KovaStatus (0 on success, see kova_status.h for the codes),
 * except KovaBreakEnable. Usable from C99 and C++.
 *
 * Threads and callbacks
 * - Every function may be called from any thread. Operations are serialised inside the library: a
 *   call waits at most 5000 ms for another thread's operation, then returns 9000.
 * - The notification callback (plug and power events) and the capture callback (every good image)
 *   run on the device library's threads; the user-interface callback runs inside
 *   KovaVantorSetDevUI, on the caller's thread.
 * - From any callback these may be called freely, as they wait for nothing: KovaGetVersion,
 *   KovaGetVerInfo, KovaRegisterQuadV3CaptureCallback, KovaUnRegisterQuadV3CaptureCallback,
 *   KovaVantorSetUICallBack, KovaQuadV3FreeUniformityBuffers and the functions that do nothing.
 *   The user-interface callback may call any function. Never call KovaGetStatus from a callback.
 * - A capture or notification callback may call the other functions too, but while KovaStopVideo,
 *   KovaCloseDevice_N or KovaTerminate is waiting on another thread for that very callback to
 *   return, such a call stalls both until the 5000 ms limit and then returns 9000 (about 5 s per
 *   call). Leave those calls to a thread of your own.
 * - The pixels handed to the capture callback belong to the device library and are valid only
 *   during the call: copy what you keep.
 * - KovaGetStatus blocks until the next device event and returns 0 (woken: a close, or nothing to
 *   report), 9005 (unplugged, asleep, broken scanner or capture fault) or 9101 (terminated: end the
 *   loop), but also the code of a failed device-library call, for instance 9110 for a handle whose
 *   scanner was unplugged: a status loop needs a default branch.
 * - The library throws nothing: every failure is a status code.
 */
#ifndef KOVAVANTORQUADRELV3_H
#define KOVAVANTORQUADRELV3_H

#include <stddef.h>
#include <stdint.h>

#include "kova_version.h"

#if defined(_WIN32)
   /* The DLL's export table comes from kovavantorquadrelv3.def alone. */
#  if defined(KOVA_BUILDING_LIBRARY)
#    define KOVA_API
#  else
#    define KOVA_API __declspec(dllimport)
#  endif
#else
#  define KOVA_API __attribute__((visibility("default")))
#endif

/* Functions that ignore whatever they are given: C++ and C23 see them variadic. Before C23, C sees
 * them unprototyped; C23 reads () as (void), and allows (...) alone. Compilers whose C2x mode
 * predates that (GCC 12, clang 15) still read () unprototyped there. */
#if defined(__cplusplus)
#  define KOVA_ANY_ARGS ...
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ > 201710L && \
    (__STDC_VERSION__ >= 202311L || (defined(__clang__) && __clang_major__ >= 16) || \
     (!defined(__clang__) && defined(__GNUC__) && __GNUC__ >= 13))
#  define KOVA_ANY_ARGS ...
#else
#  define KOVA_ANY_ARGS
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The interface's unsigned long: 32 bits on every platform. */
#if defined(_WIN32)
typedef unsigned long KovaStatus;
#else
typedef uint32_t KovaStatus;
#endif

/* kind is always 6; serial_number is valid only during the call; state is 1 (plugged / awake) or 0. */
typedef void (*NotificationCallback)(int32_t kind, const char* serial_number, int32_t state);
/* pixels belong to the device library and are valid only during the call. */
typedef void (*QuadV3CaptureCallback)(unsigned char* pixels, void* context);
typedef void (*UICallBack)(void* context);

/* Text fields are NUL-padded and carry no terminator when full. */
typedef struct KovaDeviceEntry {
    uint32_t device_type; /* always 6 */
    char sensor_id[256];
} KovaDeviceEntry;

typedef struct KovaDeviceInfo {
    char manufacturer[8];
    char model[16];
    char serial_number[16];
    char descriptor_code[12];
} KovaDeviceInfo;

typedef struct KovaCapabilities {
    uint32_t word[14];
} KovaCapabilities;

typedef struct DevUIRecord {
    uint32_t zone_word[10];
    uint32_t lamp3_word;
    uint32_t lamp5_word;
    uint32_t side_lamp_word;
} DevUIRecord;

/* Layout checks that work in C99 as well as C++. */
#define KOVA_LAYOUT_CHECK(name, cond) typedef char kova_layout_check_##name[(cond) ? 1 : -1]
KOVA_LAYOUT_CHECK(status_size, sizeof(KovaStatus) == 4);
KOVA_LAYOUT_CHECK(entry_size, sizeof(KovaDeviceEntry) == 260);
KOVA_LAYOUT_CHECK(entry_type, offsetof(KovaDeviceEntry, device_type) == 0);
KOVA_LAYOUT_CHECK(entry_id, offsetof(KovaDeviceEntry, sensor_id) == 4);
KOVA_LAYOUT_CHECK(info_size, sizeof(KovaDeviceInfo) == 52);
KOVA_LAYOUT_CHECK(info_maker, offsetof(KovaDeviceInfo, manufacturer) == 0);
KOVA_LAYOUT_CHECK(info_model, offsetof(KovaDeviceInfo, model) == 8);
KOVA_LAYOUT_CHECK(info_serial, offsetof(KovaDeviceInfo, serial_number) == 24);
KOVA_LAYOUT_CHECK(info_code, offsetof(KovaDeviceInfo, descriptor_code) == 40);
KOVA_LAYOUT_CHECK(caps_size, sizeof(KovaCapabilities) == 56);
KOVA_LAYOUT_CHECK(ui_size, sizeof(DevUIRecord) == 52);
KOVA_LAYOUT_CHECK(ui_lamp3, offsetof(DevUIRecord, lamp3_word) == 40);
KOVA_LAYOUT_CHECK(ui_lamp5, offsetof(DevUIRecord, lamp5_word) == 44);
KOVA_LAYOUT_CHECK(ui_side, offsetof(DevUIRecord, side_lamp_word) == 48);
#undef KOVA_LAYOUT_CHECK

/* Uniformity tables: 2,400,000 entries each. */
#define KOVA_UNIFORMITY_TABLE_ENTRIES 2400000u

/* Lifecycle */
KOVA_API KovaStatus KovaInitialize_N(NotificationCallback callback, unsigned int level, int max_size);
KOVA_API KovaStatus KovaTerminate(void);
KOVA_API KovaStatus KovaGetVersion(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaGetVerInfo(KOVA_ANY_ARGS);
KOVA_API void KovaBreakEnable(KOVA_ANY_ARGS);

/* Scanners */
KOVA_API KovaStatus KovaGetDeviceList_N(uint32_t* count, KovaDeviceEntry* entries);
KOVA_API KovaStatus KovaGetDeviceList(uint32_t* count, char* ids); /* entries of 255 bytes */
KOVA_API KovaStatus KovaOpenDevice_N(const char* sensor_id, void* reserved, uint32_t* handle);
KOVA_API KovaStatus KovaOpenDevice(const char* sensor_id, uint32_t* handle);
KOVA_API KovaStatus KovaVantorQuadrelOpenDevice(const char* sensor_id, uint32_t* handle);
KOVA_API KovaStatus KovaCloseDevice_N(uint32_t handle);
KOVA_API KovaStatus KovaBusReset_N(uint32_t handle);
/* Blocks until the next device event. */
KOVA_API KovaStatus KovaGetStatus(uint32_t handle);

/* Live capture */
KOVA_API KovaStatus KovaVantorStartVideo(unsigned int handle);
KOVA_API KovaStatus KovaStopVideo(unsigned int handle);
KOVA_API KovaStatus KovaRegisterQuadV3CaptureCallback(unsigned int handle, QuadV3CaptureCallback callback,
                                                      void* context);
KOVA_API KovaStatus KovaUnRegisterQuadV3CaptureCallback(void);
KOVA_API KovaStatus KovaVantorSetUICallBack(unsigned int handle, UICallBack callback, void* context);

/* Device information */
KOVA_API KovaStatus KovaVantorGetDeviceInfo(uint32_t handle, KovaDeviceInfo* info);
KOVA_API KovaStatus KovaVantorMGGetDeviceInfo(const char* device_name, void* reserved, KovaDeviceInfo* info);
KOVA_API KovaStatus KovaVantorGetCapabilities(uint32_t handle, uint32_t capture_type, KovaCapabilities* caps);
KOVA_API KovaStatus KovaVantorQuadrelIsRollSupported(uint32_t handle, uint8_t* supported);
KOVA_API KovaStatus KovaVantorQuadrelGetPortType(uint32_t handle, uint32_t* port_type);

/* Capture parameters */
KOVA_API KovaStatus KovaVantorQuadrelGetParameters(uint32_t handle, uint8_t parameter_id, uint32_t* value);
KOVA_API KovaStatus KovaVantorQuadrelSetParameters(uint32_t handle, uint8_t parameter_id, uint32_t value);
KOVA_API KovaStatus KovaVantorQuadrelReadFilters(KOVA_ANY_ARGS);

/* Lamps and buzzer */
KOVA_API KovaStatus KovaVantorGetDevUI(unsigned int handle, DevUIRecord* record);
KOVA_API KovaStatus KovaVantorSetDevUI(unsigned int handle, DevUIRecord* record);
KOVA_API KovaStatus KovaVantorSetBuzzer(unsigned int handle, unsigned int pattern);

/* Uniformity tables: allocated by the library, released only by KovaQuadV3FreeUniformityBuffers. */
KOVA_API KovaStatus KovaVantorQuadrelReadUniformityBuffers(uint32_t handle, uint16_t** gain_ptr,
                                                           uint16_t** offset_ptr);
KOVA_API KovaStatus KovaQuadV3FreeUniformityBuffers(uint32_t handle, uint16_t** gain_ptr, uint16_t** offset_ptr);

/* Functions kept for older applications: they do nothing and return 0. */
KOVA_API KovaStatus KovaBusReset(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaGetBufSize(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaGetImage(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaGetMemory(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaGetVerInfo_N(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaGetVersion_N(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaGetVideoBandPosition(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaGetVideoResult(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaInitialization(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaInitializationVquad(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaInitialize(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaVantorCalibrateScanner(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaVantorDeviceConnected(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaVantorGetDetectedFingersBox(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaVantorGetFFDParameters(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaVantorGetFinalImage(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaVantorSetFFDParameters(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaPutBitmap(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaPutCommand(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaPutImage(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaPutMemory(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaSetTimeouts(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaSetTimeouts_N(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaSetVideoBandParams(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaStartVideo(KOVA_ANY_ARGS);
KOVA_API KovaStatus KovaSubmitVideoRequest(KOVA_ANY_ARGS);

#ifdef __cplusplus
} /* extern "C" */

/* The status wait for Android-style callers, exported only under its C++ name: on Windows the
   Microsoft compiler's "?KovaGetAndroidStatus@@YAKIPEAX_KPEA_K@Z", which other Windows compilers
   reach through GetProcAddress. */
#if !defined(_WIN32) || defined(_MSC_VER) || defined(KOVA_BUILDING_LIBRARY)
KOVA_API KovaStatus KovaGetAndroidStatus(unsigned int handle, void* reserved, unsigned long long reserved2,
                                         unsigned long long* reserved3);
#endif
#endif
typedef KovaStatus (*KovaGetAndroidStatusFunction)(unsigned int, void*, unsigned long long, unsigned long long*);
#define KOVA_ANDROID_STATUS_EXPORT "?KovaGetAndroidStatus@@YAKIPEAX_KPEA_K@Z"

#endif /* KOVAVANTORQUADRELV3_H */
