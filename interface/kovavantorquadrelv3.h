/* SPDX-License-Identifier: MIT */
/**
 * @file kovavantorquadrelv3.h
 * @brief kovavantorquadrelv3: interface layer of the QUADRELV3 slap-and-roll live-scan scanner.
 *
 * Every function returns a ::KovaStatus (0 on success; kova_status.h holds the codes and their
 * texts), except KovaBreakEnable(). Usable from C99 and C++.
 *
 * @par Threads and callbacks
 * - Every function may be called from any thread. Operations are serialised inside the library: a
 *   call waits at most 5000 ms for another thread's operation, then returns 9000.
 * - The notification callback (plug and power events) and the capture callback (every good image)
 *   run on the device library's threads; the user-interface callback runs inside
 *   KovaVantorSetDevUI(), on the caller's thread.
 * - From any callback these may be called freely, as they wait for nothing: KovaGetVersion(),
 *   KovaGetVerInfo(), KovaRegisterQuadV3CaptureCallback(), KovaUnRegisterQuadV3CaptureCallback(),
 *   KovaVantorSetUICallBack(), KovaQuadV3FreeUniformityBuffers() and the functions that do nothing.
 *   The user-interface callback may call any function. Never call KovaGetStatus() from a callback.
 * - A capture or notification callback may call the other functions too, but while KovaStopVideo(),
 *   KovaCloseDevice_N() or KovaTerminate() is waiting on another thread for that very callback to
 *   return, such a call stalls both until the 5000 ms limit and then returns 9000 (about 5 s per
 *   call). Leave those calls to a thread of your own.
 * - The pixels handed to the capture callback belong to the device library and are valid only
 *   during the call: copy what you keep.
 * - KovaGetStatus() blocks until the next device event and returns 0 (woken: a close, or nothing to
 *   report), 9005 (unplugged, asleep, broken scanner or capture fault) or 9101 (terminated: end the
 *   loop), but also the code of a failed device-library call, for instance 9110 for a handle whose
 *   scanner was unplugged: a status loop needs a default branch.
 * - The library throws nothing: every failure is a status code.
 *
 * @par The log
 * Lines go to the log file (@ref kova_log "The log file") when the level given to
 * KovaInitialize_N() is at least the line's level. Each function below names the lines it writes.
 */
#ifndef KOVAVANTORQUADRELV3_H
#define KOVAVANTORQUADRELV3_H

#include <stddef.h>
#include <stdint.h>

#include "kova_version.h"

/** @cond KOVA_INTERNAL */
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
/** @endcond */

#ifdef __cplusplus
extern "C" {
#endif

/**
 * The status every function returns: 0 on success, else a code of kova_status.h. The interface's
 * unsigned long: 32 bits on every platform (unsigned long on Windows, uint32_t elsewhere).
 */
#if defined(_WIN32)
typedef unsigned long KovaStatus;
#else
typedef uint32_t KovaStatus;
#endif

/**
 * Receives the device library's plug and power events (given to KovaInitialize_N()).
 *
 * @param kind          always 6.
 * @param serial_number the scanner's serial number, NUL-terminated, at most 255 characters; valid
 *                      only during the call.
 * @param state         1 when the scanner was plugged in or woke up, 0 when it was unplugged or
 *                      fell asleep.
 *
 * @par Threads
 * Runs on a thread of the device library, one event at a time. A status wait (KovaGetStatus()) is
 * woken before the callback is called. See the file's thread rules for what it may call.
 */
typedef void (*NotificationCallback)(int32_t kind, const char* serial_number, int32_t state);

/**
 * Receives every good image during live capture (KovaRegisterQuadV3CaptureCallback()).
 *
 * @param pixels  1500 rows of 1600 16-bit samples (10 significant bits), 3200 bytes a row. They
 *                belong to the device library and are valid only during the call: copy what you
 *                keep.
 * @param context the pointer given at registration, unchanged.
 *
 * @par Threads
 * Runs on the device library's capture thread. Return quickly: the next image waits for it.
 */
typedef void (*QuadV3CaptureCallback)(unsigned char* pixels, void* context);

/**
 * Told that the lamps changed (KovaVantorSetUICallBack()).
 *
 * @param context the pointer given at registration, unchanged.
 *
 * @par Threads
 * Runs inside KovaVantorSetDevUI(), on its caller's thread; it may call any function.
 */
typedef void (*UICallBack)(void* context);

/** One entry of KovaGetDeviceList_N()'s list: 260 bytes. */
typedef struct KovaDeviceEntry {
    uint32_t device_type; /**< Always 6. */
    /** The sensor id that opens the scanner: NUL-padded; the first 255 bytes of the id, so with no
     * terminator when the id has 255 characters or more. */
    char sensor_id[256];
} KovaDeviceEntry;

/** What KovaVantorGetDeviceInfo() and KovaVantorMGGetDeviceInfo() write: 52 bytes. Text fields are
 * NUL-padded and carry no terminator when full. */
typedef struct KovaDeviceInfo {
    char manufacturer[8];     /**< "CELDRA". */
    char model[16];           /**< "QUADRELV3". */
    char serial_number[16];   /**< The scanner's serial number after its first '-' (at most 16 characters). */
    /** Characters 15 to 21 (counting from 0) of the scanner's third descriptor string; bytes 7 to
     * 11 stay 0. */
    char descriptor_code[12];
} KovaDeviceInfo;

/** A capture type's fixed image capabilities, from KovaVantorGetCapabilities(): 56 bytes. */
typedef struct KovaCapabilities {
    /** Words 0 to 6: 1, 1, 500, then width and height, then half the width and half the height
     * (1600, 1500, 800, 750 for capture type 0; 3200, 3000, 1600, 1500 for the others); words 7 to
     * 13 are 0. */
    uint32_t word[14];
} KovaCapabilities;

/** The lamp record of KovaVantorSetDevUI() and KovaVantorGetDevUI(): 52 bytes. */
typedef struct DevUIRecord {
    /** The finger zones' lamps: one code 0 to 3 per word (bit 0 and bit 1 light the zone's two
     * lamps; a code above 3 leaves the zone as it is). Words 8 and 9 also light the side lamps 1
     * and 11 when the three words below are all 0. */
    uint32_t zone_word[10];
    uint32_t lamp3_word;     /**< Lamp 3: on when not 0. */
    uint32_t lamp5_word;     /**< Lamp 5: on when not 0. */
    /** The side lamps: 4 lights lamp 11 alone, 5 lamp 1 alone (and the library sets the word back
     * to 0); any other value but 0 lights both. */
    uint32_t side_lamp_word;
} DevUIRecord;

/** @cond KOVA_INTERNAL */
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
/** @endcond */

/** Entries in each uniformity table of KovaVantorQuadrelReadUniformityBuffers(): 1500 rows of 1600. */
#define KOVA_UNIFORMITY_TABLE_ENTRIES 2400000u

/** @name Lifecycle
 * @{ */

/**
 * Initialises the library: connects to the device library and sets the log.
 *
 * Called again while initialised, it first terminates (as KovaTerminate() does, releasing every
 * status wait with 9101), then initialises anew.
 *
 * @param callback receives plug and power events, or NULL for none.
 * @param level    the log level, 0 (no log) to 4; above 4 counts as 4.
 * @param max_size the log size limit in bytes; 0 or less: 50 MiB.
 *
 * @retval 0    initialised.
 * @retval 9000 another thread's operation held the library for 5000 ms; nothing changed.
 *
 * Any other code of a failed device-library initialize (@ref kova_device_failures): the library
 * stays uninitialised.
 *
 * @par Threads
 * Any thread but a callback's (it may wait for a running capture to stop).
 *
 * @par Log
 * The level and size limit apply to every later line, this call's included. Level 3:
 * "initialize:    clear current initialized api before the initialize" when already initialised;
 * "initialize: TFTManagerClass::initialize failed with Error=N" when the device library fails.
 */
KOVA_API KovaStatus KovaInitialize_N(NotificationCallback callback, unsigned int level, int max_size);

/**
 * Ends the session: closes every scanner (stopping their capture), unregisters from the device
 * library and releases it. Every status wait returns 9101. Tables from
 * KovaVantorQuadrelReadUniformityBuffers() must be released before.
 *
 * @retval 0    terminated (failures of the device library's close and release are only logged).
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 *
 * @par Threads
 * Any thread but a callback's: it waits for a running capture callback to return.
 *
 * @par Log
 * Level 3: "terminate:    Error=N: ..." when refused. Level 1: "terminate: close_all_sensor Error=N",
 * "terminate: TFTManagerClass::uninitialize failed with Error=N". When refused, the log file is
 * closed (the next line reopens it).
 */
KOVA_API KovaStatus KovaTerminate(void);

/**
 * Tells whether the library is initialised; it reads no version.
 * @retval 0    initialised.
 * @retval 9101 not initialised.
 * @par Threads
 * Any thread, callbacks included; takes no lock and writes no line.
 */
KOVA_API KovaStatus KovaGetVersion(KOVA_ANY_ARGS);

/**
 * The same as KovaGetVersion(): whatever it is given, it answers whether the library is initialised.
 * @retval 0    initialised.
 * @retval 9101 not initialised.
 * @par Threads
 * Any thread, callbacks included; takes no lock and writes no line.
 */
KOVA_API KovaStatus KovaGetVerInfo(KOVA_ANY_ARGS);

/** Does nothing, and returns nothing; kept for older applications. Any thread. */
KOVA_API void KovaBreakEnable(KOVA_ANY_ARGS);

/** @} */

/** @name Scanners
 * @{ */

/**
 * Lists the attached scanners.
 *
 * @param count   in: how many entries @p entries holds (at least 1); out: how many were written
 *                (0 on every failure the device library reports).
 * @param entries the caller's array of *count entries.
 *
 * @retval 0    listed; at most *count scanners, in the device library's order.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9005 no scanner is attached.
 * @retval 9101 not initialised.
 * @retval 9103 @p count or @p entries is NULL.
 * @retval 9109 *count is 0.
 *
 * Any other code of a failed device-library listing (@ref kova_device_failures).
 *
 * @par Log
 * Level 3: "get_device_list_N:    Error=N: ..." for each refusal and for no scanner;
 * "get_device_list_N TFTManager get_sensor_list return :    Error=N" when the device library fails.
 */
KOVA_API KovaStatus KovaGetDeviceList_N(uint32_t* count, KovaDeviceEntry* entries);

/**
 * Lists the attached scanners' sensor ids, in fields of 255 bytes (NUL-padded, no terminator when
 * full), one after another.
 *
 * @param count in: how many fields @p ids holds (at least 1); out: how many were written.
 * @param ids   the caller's buffer of *count x 255 bytes.
 *
 * @retval 0    listed.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9005 no scanner is attached.
 * @retval 9101 not initialised (checked first, without a line).
 * @retval 9103 @p count or @p ids is NULL.
 * @retval 9109 *count is 0.
 *
 * Any other code of a failed device-library listing (@ref kova_device_failures).
 *
 * @par Log
 * Level 3: "get_device_list:    Error=N: ..." for each refusal and for no scanner;
 * "get_device_list TFTManager get_sensor_list return :    Error=N" when the device library fails.
 */
KOVA_API KovaStatus KovaGetDeviceList(uint32_t* count, char* ids);

/**
 * Opens a scanner by its sensor id; the same as KovaOpenDevice().
 *
 * @param sensor_id a sensor id as the list gives it, NUL-terminated.
 * @param reserved  not read.
 * @param handle    receives the device handle; its value on entry is passed to the device library.
 *
 * @retval 0    opened; *handle is set.
 * @retval 9020 opened, but the scanner reports itself dirty; *handle is set and the scanner is open.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9005 no attached scanner has that id.
 * @retval 9021 the scanner is already open.
 * @retval 9101 not initialised.
 * @retval 9109 @p sensor_id or @p handle is NULL.
 *
 * Any other code of a failed device-library open (@ref kova_device_failures).
 *
 * @par Log
 * Level 3: "open_device:    Error=N: ..." when refused; "open_device TFTManager open_device:
 * Error=N" when the open fails. Level 2: "open_device TFTManager open_device:    Warning=18" for a
 * dirty scanner.
 */
KOVA_API KovaStatus KovaOpenDevice_N(const char* sensor_id, void* reserved, uint32_t* handle);

/**
 * Opens a scanner by its sensor id.
 *
 * @param sensor_id a sensor id as the list gives it, NUL-terminated.
 * @param handle    receives the device handle; its value on entry is passed to the device library.
 *
 * @retval 0    opened; *handle is set.
 * @retval 9020 opened, but the scanner reports itself dirty; *handle is set and the scanner is open.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9005 no attached scanner has that id.
 * @retval 9021 the scanner is already open.
 * @retval 9101 not initialised.
 * @retval 9109 @p sensor_id or @p handle is NULL.
 *
 * Any other code of a failed device-library open (@ref kova_device_failures).
 *
 * @par Log
 * As KovaOpenDevice_N().
 */
KOVA_API KovaStatus KovaOpenDevice(const char* sensor_id, uint32_t* handle);

/**
 * Opens a scanner by its sensor id; the same as KovaOpenDevice().
 *
 * @param sensor_id a sensor id as the list gives it, NUL-terminated.
 * @param handle    receives the device handle; its value on entry is passed to the device library.
 *
 * @retval 0    opened; *handle is set.
 * @retval 9020 opened, but the scanner reports itself dirty; *handle is set and the scanner is open.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9005 no attached scanner has that id.
 * @retval 9021 the scanner is already open.
 * @retval 9101 not initialised.
 * @retval 9109 @p sensor_id or @p handle is NULL.
 *
 * Any other code of a failed device-library open (@ref kova_device_failures).
 *
 * @par Log
 * As KovaOpenDevice_N().
 */
KOVA_API KovaStatus KovaVantorQuadrelOpenDevice(const char* sensor_id, uint32_t* handle);

/**
 * Closes a scanner (stopping its capture) and wakes the status wait, which returns 0.
 *
 * @param handle a handle from an open function.
 *
 * @retval 0    closed.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 * @retval 9110 the scanner was unplugged; the handle is released all the same.
 *
 * Any other code of a failed device-library close (@ref kova_device_failures): 9109 for a handle
 * that is not open.
 *
 * @par Threads
 * Any thread but a capture callback's: it waits for a running capture callback to return.
 *
 * @par Log
 * Level 3: "close_device TFTManager close_sensor:    successfully", or "close_device TFTManager
 * close_sensor:    Error=N"; "close_device:    Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaCloseDevice_N(uint32_t handle);

/**
 * Restarts an open scanner's USB connection; the device library answers at once.
 *
 * @param handle a handle from an open function.
 *
 * @retval 0    the restart was started.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 *
 * Any code of a failed device-library restart (@ref kova_device_failures).
 *
 * @par Log
 * Level 3: "reset_device TFTManager usbReboot:    Error=N"; "reset_device:    Error=N: ..." when
 * refused.
 */
KOVA_API KovaStatus KovaBusReset_N(uint32_t handle);

/**
 * Blocks until the next device event, then says what it was. Call it in a loop on a thread of your
 * own while the scanner is open.
 *
 * An event raised while no call waits is kept and answers the next call at once. A broken scanner
 * is restarted (blocking) before the call returns.
 *
 * @param handle a handle from an open function.
 *
 * @retval 0    woken with nothing to report (a close, a plug-in, a wake-up): go on.
 * @retval 9005 the scanner was unplugged or fell asleep, reported itself broken, or capture failed.
 * @retval 9101 not initialised, or terminated while waiting: end the loop.
 *
 * Any code of a failed device-library call (@ref kova_device_failures), answered at once, without
 * waiting: 9110 for a handle whose scanner was unplugged, 9109 for one that is not open.
 *
 * @par Threads
 * Never from a callback. It takes no lock: every other function may run meanwhile.
 *
 * @par Log
 * Level 3: "get_status:    Error=9101: Not Initialized"; "get_status TFTManager
 * read_serial_number:    Error=N"; "get_status:    usbReboot_blocking =N" after a broken scanner.
 */
KOVA_API KovaStatus KovaGetStatus(uint32_t handle);

/** @} */

/** @name Live capture
 * @{ */

/**
 * Starts live capture: from now on every good image reaches the registered capture callback.
 *
 * Capture statuses the device library reports meanwhile: a too-bright or dirty image is passed
 * over and capture goes on; a broken scanner or any other failure ends capture and wakes the
 * status wait with 9005.
 *
 * @param handle a handle from an open function.
 *
 * @retval 0    capturing.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 * @retval 9025 the scanner is already capturing.
 *
 * Any other code of a failed device-library start (@ref kova_device_failures).
 *
 * @par Log
 * Level 3: "start_video TFTManager start_asynchronous_capture:    Error=N"; "start_video:
 * Error=N: ..." when refused. During capture, level 3: one line per passed-over or failed image
 * ("CommandCallback:    ...", "CommandCallback has returned a inexpected status : ...").
 */
KOVA_API KovaStatus KovaVantorStartVideo(unsigned int handle);

/**
 * Stops live capture; when it returns, the capture callback runs no more for this scanner.
 *
 * @param handle a handle from an open function.
 *
 * @retval 0    stopped (also when it was not capturing).
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 *
 * Any code of a failed device-library stop (@ref kova_device_failures).
 *
 * @par Threads
 * Any thread but a capture callback's: it waits for a running capture callback to return.
 *
 * @par Log
 * Level 3: "stop_video TFTManager stop_asynchronous_capture:    Error=N"; "stop_video:
 * Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaStopVideo(unsigned int handle);

/**
 * Registers the one capture callback, for every scanner; a later registration replaces it.
 * It may be registered before or after KovaVantorStartVideo() and before initialising.
 *
 * @param handle   not read.
 * @param callback receives every good image, or NULL for none.
 * @param context  handed to @p callback unchanged.
 *
 * @retval 0 registered.
 *
 * @par Threads
 * Any thread, callbacks included; takes no lock and writes no line. An image being delivered while
 * it runs reaches the old or the new registration, never a mix of the two.
 */
KOVA_API KovaStatus KovaRegisterQuadV3CaptureCallback(unsigned int handle, QuadV3CaptureCallback callback,
                                                      void* context);

/**
 * Removes the capture callback: later images reach nobody.
 *
 * @retval 0 removed.
 *
 * @par Threads
 * Any thread, callbacks included; takes no lock and writes no line. A callback already running may
 * still finish after it returns: stop capture before releasing what the context points to.
 */
KOVA_API KovaStatus KovaUnRegisterQuadV3CaptureCallback(void);

/**
 * Registers the callback that KovaVantorSetDevUI() calls when it changed a lamp.
 *
 * @param handle   not read.
 * @param callback the callback, or NULL for none.
 * @param context  handed to @p callback unchanged.
 *
 * @retval 0    registered.
 * @retval 9101 not initialised; nothing was registered.
 *
 * @par Threads
 * Any thread, callbacks included; takes no lock and writes no line.
 */
KOVA_API KovaStatus KovaVantorSetUICallBack(unsigned int handle, UICallBack callback, void* context);

/** @} */

/** @name Device information
 * @{ */

/**
 * Describes an open scanner: maker, model, serial number and descriptor code.
 *
 * @param handle a handle from an open function.
 * @param info   receives the record. It is zeroed and given maker and model first, so after a
 *               failure it holds what was read before it.
 *
 * @retval 0    described.
 * @retval 9000 another thread's operation held the library for 5000 ms, or the serial number has no
 *              '-' (the record then lacks it).
 * @retval 9101 not initialised.
 * @retval 9109 @p info is NULL.
 *
 * Any other code of a failed device-library read (@ref kova_device_failures): 9109 for a handle
 * that is not open, 9110 for an unplugged scanner.
 *
 * @par Log
 * Level 3: "get_device_info TFTManager get_device_descriptor:    Error=N", "get_device_info
 * TFTManager read_serial_number:    Error=N"; "get_device_info:    Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaVantorGetDeviceInfo(uint32_t handle, KovaDeviceInfo* info);

/**
 * Describes a scanner named by its sensor id, opening it for the call when it is closed.
 *
 * @param device_name a sensor id as the list gives it, NUL-terminated.
 * @param reserved    not read.
 * @param info        receives the record, as KovaVantorGetDeviceInfo() fills it.
 *
 * @retval 0    described; the scanner was closed again.
 * @retval 9021 described, but the scanner is open (the application's); it stays open.
 * @retval 9000 another thread's operation held the library for 5000 ms, or the serial number has
 *              no '-'.
 * @retval 9005 no attached scanner has that id.
 * @retval 9020 the scanner reports itself dirty; it was closed again and the record holds maker
 *              and model only.
 * @retval 9101 not initialised.
 * @retval 9109 @p device_name or @p info is NULL.
 *
 * Any other code of a failed device-library open or read (@ref kova_device_failures).
 *
 * @par Log
 * Level 3: "TFTManager open_sensor:    Error=N"; "get_device_info_with_dn TFTManager ...:
 * Error=N" for a failed read; "get_device_info_with_dn: Serial number don't contain '-'
 * Error=9000: Internal KOVA  "; "get_device_info_with_dn:    Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaVantorMGGetDeviceInfo(const char* device_name, void* reserved, KovaDeviceInfo* info);

/**
 * A capture type's fixed image capabilities (::KovaCapabilities).
 *
 * @param handle       a handle from an open function; read only for capture type 4.
 * @param capture_type 0 (slap) fills the record with 1600 x 1500; 3 and 5 leave it untouched; 4
 *                     fills it (3200 x 3000) only when the scanner's information block 20 says it
 *                     has that type, else leaves it untouched; every other type fills it with
 *                     3200 x 3000.
 * @param caps         receives the record, wholly or not at all.
 *
 * @retval 0    answered (whether or not the record was written).
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 * @retval 9109 @p caps is NULL.
 *
 * @par Log
 * Level 1: "get_device_capabilities:    capture type N" for types 3 and 5. Level 3:
 * "get_device_capabilities:    Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaVantorGetCapabilities(uint32_t handle, uint32_t capture_type, KovaCapabilities* caps);

/**
 * Whether rolled capture is supported: always yes.
 *
 * @param handle    not read.
 * @param supported receives 1.
 *
 * @retval 0    answered.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 * @retval 9109 @p supported is NULL.
 *
 * @par Log
 * Level 3: "is_roll_supported:    Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaVantorQuadrelIsRollSupported(uint32_t handle, uint8_t* supported);

/**
 * The kind of port the scanner sits on: always 0.
 *
 * @param handle    not read.
 * @param port_type receives 0.
 *
 * @retval 0    answered.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 * @retval 9109 @p port_type is NULL (checked first).
 *
 * @par Log
 * Level 3: "get_port_type:    Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaVantorQuadrelGetPortType(uint32_t handle, uint32_t* port_type);

/** @} */

/** @name Capture parameters
 * @{ */

/**
 * Reads one capture parameter of an open scanner; the device library keeps them.
 *
 * @param handle       a handle from an open function.
 * @param parameter_id the parameter's identifier (the device library's).
 * @param value        receives the value; untouched on failure.
 *
 * @retval 0    read.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 * @retval 9109 @p value is NULL, or the device library knows no such parameter.
 *
 * Any other code of a failed device-library read (@ref kova_device_failures).
 *
 * @par Log
 * Level 3: "get_cmd_parameter TFTManager get_capture_param:    Error=N";
 * "get_cmd_parameter:    Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaVantorQuadrelGetParameters(uint32_t handle, uint8_t parameter_id, uint32_t* value);

/**
 * Sets one capture parameter of an open scanner.
 *
 * @param handle       a handle from an open function.
 * @param parameter_id the parameter's identifier (the device library's).
 * @param value        the new value.
 *
 * @retval 0    set.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 * @retval 9109 the device library knows no such parameter, or the value is out of its range.
 *
 * Any other code of a failed device-library write (@ref kova_device_failures).
 *
 * @par Log
 * Level 3: "set_cmd_parameter TFTManager set_capture_params:    Error=N";
 * "set_cmd_parameter:    Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaVantorQuadrelSetParameters(uint32_t handle, uint8_t parameter_id, uint32_t value);

/**
 * Reads no filters: whatever it is given, it answers whether the library is initialised.
 * @retval 0    initialised.
 * @retval 9101 not initialised.
 * @par Threads
 * Any thread, callbacks included; takes no lock and writes no line.
 */
KOVA_API KovaStatus KovaVantorQuadrelReadFilters(KOVA_ANY_ARGS);

/** @} */

/** @name Lamps and buzzer
 * @{ */

/**
 * The lamp record as the library last set it (the library remembers what it sent; the scanner is
 * not asked). Zone words hold the zone's code, the other words 0 or 1.
 *
 * @param handle not read.
 * @param record receives the record.
 *
 * @retval 0    answered.
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 * @retval 9109 @p record is NULL.
 *
 * @par Log
 * Level 3: "get_device_ui:    Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaVantorGetDevUI(unsigned int handle, DevUIRecord* record);

/**
 * Sets the scanner's lamps from a lamp record (::DevUIRecord); only the lamps that change are
 * sent. When one changed, the user-interface callback is called before the function returns.
 *
 * @param handle a handle from an open function.
 * @param record the lamps wanted. A side_lamp_word of 4 or 5 is set back to 0 in the caller's
 *               record.
 *
 * @retval 0    sent (the device library's answer is not reported).
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 * @retval 9109 @p record is NULL.
 *
 * @par Threads
 * Any thread; the user-interface callback runs on this one.
 *
 * @par Log
 * Level 3: "set_device_ui:    Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaVantorSetDevUI(unsigned int handle, DevUIRecord* record);

/**
 * Sounds the buzzer.
 *
 * @param handle  a handle from an open function.
 * @param pattern 0: continuous; 1: 200 pulses of 100 ms; 2: 100 pulses of 100 ms.
 *
 * @retval 0    sent (the device library's answer is not reported).
 * @retval 9000 another thread's operation held the library for 5000 ms.
 * @retval 9101 not initialised.
 * @retval 9109 @p pattern is above 2.
 *
 * @par Log
 * Level 3: "set_buzzer:    Error=N: ..." when refused.
 */
KOVA_API KovaStatus KovaVantorSetBuzzer(unsigned int handle, unsigned int pattern);

/** @} */

/** @name Uniformity tables
 * @{ */

/**
 * Computes the per-pixel gain and offset tables from the scanner's black and white calibration
 * images.
 *
 * @param handle     a handle from an open function.
 * @param gain_ptr   receives the gain table: #KOVA_UNIFORMITY_TABLE_ENTRIES 16-bit entries, 1500
 *                   rows of 1600.
 * @param offset_ptr receives the offset table, laid out the same way.
 *
 * A gain entry is in units of 1/1024 (1024: a gain of 1.0); an offset entry in units of 1/64 of a
 * grey level, with a bias of 32768 (32768: an offset of 0). A raw sample p is corrected as
 * p x gain / 1024 + (offset - 32768) / 64, which flattens the sensor's response between its black
 * and white calibration images.
 *
 * @retval 0    computed; both tables are the caller's, to release with
 *              KovaQuadV3FreeUniformityBuffers() (never with free()).
 * @retval 9000 the device library's calibration images do not have the scanner's geometry.
 * @retval 9001 no memory for the tables.
 * @retval 9101 not initialised (checked first, without a line).
 * @retval 9109 @p gain_ptr or @p offset_ptr is NULL.
 *
 * Any other code of a failed device-library read (@ref kova_device_failures). On every failure
 * *gain_ptr and *offset_ptr are untouched.
 *
 * @par Threads
 * Any thread but a callback's. It takes no lock: it runs beside every other operation, and several
 * may run at once.
 *
 * @par Log
 * Level 3: "read_uniformity_buffers TFTManager read_fpn_data SLAP_IMAGE_BLACK:    Error=N" (and
 * SLAP_IMAGE_WHITE); "read_uniformity_buffers:    Error=N: ..." when refused; one
 * "read_uniformity_buffers image value corrupted > 0x3FF " per calibration sample above 1023.
 */
KOVA_API KovaStatus KovaVantorQuadrelReadUniformityBuffers(uint32_t handle, uint16_t** gain_ptr,
                                                           uint16_t** offset_ptr);

/**
 * Releases tables from KovaVantorQuadrelReadUniformityBuffers() and sets the pointers to NULL.
 *
 * @param handle     not read.
 * @param gain_ptr   the gain table's pointer; NULL, or a pointer to NULL, is skipped.
 * @param offset_ptr the offset table's pointer, likewise.
 *
 * @retval 0    released.
 * @retval 9101 not initialised: nothing was released.
 *
 * @par Threads
 * Any thread, callbacks included; takes no lock and writes no line.
 */
KOVA_API KovaStatus KovaQuadV3FreeUniformityBuffers(uint32_t handle, uint16_t** gain_ptr, uint16_t** offset_ptr);

/** @} */

/** @name Kept for older applications
 * These do nothing with what they are given and return 0, initialised or not, from any thread.
 * @{ */

/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaBusReset(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaGetBufSize(KOVA_ANY_ARGS);
/** Does nothing; images reach the capture callback. @retval 0 always. */
KOVA_API KovaStatus KovaGetImage(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaGetMemory(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaGetVerInfo_N(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaGetVersion_N(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaGetVideoBandPosition(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaGetVideoResult(KOVA_ANY_ARGS);
/** Does nothing; KovaInitialize_N() initialises. @retval 0 always. */
KOVA_API KovaStatus KovaInitialization(KOVA_ANY_ARGS);
/** Does nothing; KovaInitialize_N() initialises. @retval 0 always. */
KOVA_API KovaStatus KovaInitializationVquad(KOVA_ANY_ARGS);
/** Does nothing; KovaInitialize_N() initialises. @retval 0 always. */
KOVA_API KovaStatus KovaInitialize(KOVA_ANY_ARGS);
/** Does nothing; the uniformity tables carry the calibration. @retval 0 always. */
KOVA_API KovaStatus KovaVantorCalibrateScanner(KOVA_ANY_ARGS);
/** Does nothing; KovaGetDeviceList_N() lists the scanners. @retval 0 always. */
KOVA_API KovaStatus KovaVantorDeviceConnected(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaVantorGetDetectedFingersBox(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaVantorGetFFDParameters(KOVA_ANY_ARGS);
/** Does nothing; images reach the capture callback. @retval 0 always. */
KOVA_API KovaStatus KovaVantorGetFinalImage(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaVantorSetFFDParameters(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaPutBitmap(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaPutCommand(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaPutImage(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaPutMemory(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaSetTimeouts(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaSetTimeouts_N(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaSetVideoBandParams(KOVA_ANY_ARGS);
/** Does nothing; KovaVantorStartVideo() starts capture. @retval 0 always. */
KOVA_API KovaStatus KovaStartVideo(KOVA_ANY_ARGS);
/** Does nothing. @retval 0 always. */
KOVA_API KovaStatus KovaSubmitVideoRequest(KOVA_ANY_ARGS);

/** @} */

#ifdef __cplusplus
} /* extern "C" */

/* The status wait for Android-style callers, exported only under its C++ name: on Windows the
   Microsoft compiler's "?KovaGetAndroidStatus@@YAKIPEAX_KPEA_K@Z", which other Windows compilers
   reach through GetProcAddress. */
#if !defined(_WIN32) || defined(_MSC_VER) || defined(KOVA_BUILDING_LIBRARY)
/**
 * KovaGetStatus() for Android-style callers, declared for C++ only and exported only under its C++
 * name (on Windows #KOVA_ANDROID_STATUS_EXPORT; other compilers than Microsoft's reach it through
 * GetProcAddress() as a ::KovaGetAndroidStatusFunction).
 *
 * @param handle    as for KovaGetStatus().
 * @param reserved  not read.
 * @param reserved2 not read.
 * @param reserved3 not read.
 *
 * @retval 0    as KovaGetStatus().
 * @retval 9005 as KovaGetStatus().
 * @retval 9101 as KovaGetStatus().
 *
 * Any code of a failed device-library call, as KovaGetStatus() (@ref kova_device_failures).
 *
 * @par Threads
 * As KovaGetStatus(): never from a callback.
 *
 * @par Log
 * As KovaGetStatus().
 */
KOVA_API KovaStatus KovaGetAndroidStatus(unsigned int handle, void* reserved, unsigned long long reserved2,
                                         unsigned long long* reserved3);
#endif
#endif
/** The type of KovaGetAndroidStatus(), for GetProcAddress() and dlsym(). */
typedef KovaStatus (*KovaGetAndroidStatusFunction)(unsigned int, void*, unsigned long long, unsigned long long*);
/** KovaGetAndroidStatus()'s name in the Windows DLL's export table. */
#define KOVA_ANDROID_STATUS_EXPORT "?KovaGetAndroidStatus@@YAKIPEAX_KPEA_K@Z"

#endif /* KOVAVANTORQUADRELV3_H */
