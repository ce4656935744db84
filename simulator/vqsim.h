/* SPDX-License-Identifier: MIT */
/*
 * Controls of the VQUAD stand-in: attach and detach simulated scanners, raise events,
 * inject faults and delays, and read back what the library was asked to do.
 * Exported by the stand-in library itself; usable from C99 and C++.
 *
 * Simulated capture parameters (get_capture_param / set_capture_params), identifier: default, range.
 * Any other identifier, or a value out of range, gives TFT_ERR_BAD_PARAMETERS.
 *   1 exposure_us      10000   100 .. 100000
 *   2 analog_gain         16     1 .. 64
 *   3 frame_rate_fps      15     1 .. 30
 *   4 led_intensity      128     0 .. 255
 *   5 black_level         32     0 .. 1023
 *   6 auto_capture         1     0 .. 1
 *   7 finger_threshold   300     0 .. 1023
 */
#ifndef VQSIM_H
#define VQSIM_H

#if defined(VQSIM_MAKER_SHAPED)
/* Built the maker's way, to try programs against: only the device library's interface leaves it. */
#define VQSIM_API
#elif defined(_WIN32) && defined(VQUAD_BUILDING)
#define VQSIM_API __declspec(dllexport)
#elif defined(_WIN32)
#define VQSIM_API __declspec(dllimport)
#else
#define VQSIM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* No scanner attached, no fault rule or delay, call counts at zero, every capture stopped, every
   re-plug still pending from vqsim_unplug cancelled and its thread waited for. The library's own
   initialisation and registered functions are kept. */
VQSIM_API void vqsim_reset(void);

/* Call the registered logger / usb / power function and return once it has returned; nothing happens
   while none is registered. Events go out one at a time in the order raised: these calls make theirs
   on the calling thread when its turn comes (at once from inside a callback); the stand-in's own
   (a scenario's timeline) go out on its long-lived event thread. Plug event 1 means unplugged; power
   event 2 means asleep. */
VQSIM_API void vqsim_log_text(const char* text);
VQSIM_API void vqsim_usb_event(const char* serial_number, int event, int is_active);
VQSIM_API void vqsim_power_event(const char* serial_number, int event, int is_active);

/* The next `count` calls of the named operation (every call while count < 0; 0 clears) return
   `status` and do nothing else. read_fpn_data is named read_fpn_data_black / read_fpn_data_white. */
VQSIM_API void vqsim_fail(const char* operation, int status, int count);
/* Every later call of the named operation first sleeps that long (0 clears). */
VQSIM_API void vqsim_delay(const char* operation, unsigned milliseconds);
/* Calls of the named operation since load or the last reset. */
VQSIM_API unsigned long long vqsim_call_count(const char* operation);

/* Scanners. Attaching and detaching raise no event. */
VQSIM_API int vqsim_add_sensor(const char* sensor_id, const char* serial_number);
VQSIM_API int vqsim_remove_sensor(const char* sensor_id);
VQSIM_API int vqsim_set_dirty(const char* sensor_id, int dirty);
VQSIM_API int vqsim_is_open(const char* sensor_id);
VQSIM_API int vqsim_set_serial_number(const char* sensor_id, const char* serial_number);
VQSIM_API int vqsim_set_descriptor(const char* sensor_id, const char* first, const char* second, const char* third);
VQSIM_API int vqsim_set_pia(const char* sensor_id, unsigned short block, const unsigned char* bytes,
                            unsigned int size);
VQSIM_API int vqsim_lamp_state(const char* sensor_id, int lamp);

/* The last lamp / buzzer request, and the last capture parameter list; -1 when none since load or reset. */
VQSIM_API int vqsim_last_ihm_request(unsigned int* handle, unsigned char* pairs, unsigned int capacity,
                                     unsigned int* pair_count, int* buzzer_mode, unsigned short* arg_u16,
                                     int* arg_int);
VQSIM_API int vqsim_last_capture_params(unsigned int* handle, unsigned int* pairs, unsigned int capacity,
                                        unsigned int* pair_count);

/* Live capture. */
VQSIM_API void vqsim_set_frame_interval_us(unsigned interval);
VQSIM_API void vqsim_inject_capture_status(unsigned int handle, int status);
VQSIM_API unsigned long long vqsim_frames_sent(unsigned int handle);

/* Calibration images returned by read_fpn_data from now on (null pointers restore the built-in ones). */
VQSIM_API int vqsim_set_calibration(const char* sensor_id, const unsigned short* black, const unsigned short* white,
                                    unsigned int stride_bytes, unsigned int height);
/* A device that misreports its calibration images: read_fpn_data hands over the same samples but
   reports this stride and height for them (0 and 0: the true geometry again). */
VQSIM_API int vqsim_set_reported_calibration_geometry(const char* sensor_id, unsigned int stride_bytes,
                                                      unsigned int height);

/* Unplugs an attached scanner as a user would: on a thread of the stand-in, detaches it (its capture
   ends, its handle answers TFT_ERR_UNPLUGGED until closed) and raises plug event 1 with its serial
   number; replug_after_ms later attaches it again (same id, serial number, descriptors, blocks,
   parameters and calibration; a fresh handle is needed) and raises plug event 0. Returns at once:
   0, or -1 for an unknown id. Safe from any thread, a capture callback included; vqsim_reset cancels
   the re-plug and waits for the thread. */
VQSIM_API int vqsim_unplug(const char* sensor_id, unsigned replug_after_ms);

/* Scenarios (simulator/README.md describes the format). Every initialize of the device library reads
   the scenario file named here, or, while none is named (NULL), the one VQSIM_SCENARIO names; a file
   that cannot be read or is not a valid scenario makes initialize answer TFT_ERR_FILE, with one line
   on standard error, and changes nothing. vqsim_reset forgets the name. */
VQSIM_API void vqsim_use_scenario(const char* path);
/* One more timeline event, written as one entry of a scenario's "timeline", for every later
   initialize to start along with the scenario's own (until vqsim_reset). 0, or -1 with one line on
   standard error when the text is not a valid entry. */
VQSIM_API int vqsim_add_timeline_event(const char* json);

/* The virtual scanner panel (simulator/README.md): a web page on 127.0.0.1:PORT (PORT 0: any free
   port) that shows the scanners live and fires events at them. VQSIM_PANEL=127.0.0.1:PORT in the
   environment starts it at initialize. Returns the port, or -1 with one line on standard error for
   any other address or a port in use; a running panel is kept. It stops at vqsim_stop_panel, when
   the device library's instance ends and at unload. */
VQSIM_API int vqsim_start_panel(const char* address);
VQSIM_API void vqsim_stop_panel(void);

#ifdef __cplusplus
}
#endif

#endif /* VQSIM_H */
