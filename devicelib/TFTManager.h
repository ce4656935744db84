// SPDX-License-Identifier: MIT
// The system's view of the scanner maker's device library (VQUAD). Only what the system calls
// and relies on is declared here; the library behind it is linked by import.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32) && defined(VQUAD_BUILDING)
#define VQUAD_API __declspec(dllexport)
#elif defined(_WIN32)
#define VQUAD_API __declspec(dllimport)
#else
#define VQUAD_API __attribute__((visibility("default")))
#endif

namespace Celdra {
namespace TFTManager {

// A fixed 32-bit underlying type: the library may hand over values outside the enumeration.
enum TFT_Status : std::int32_t {
    TFT_ERR_OK = 0,
    TFT_ERR_FAILED = 1,
    TFT_ERR_ALREADY_OPEN = 2,
    TFT_ERR_NOT_CONNECTED = 3,
    TFT_ERR_BAD_STATE = 4,
    TFT_ERR_BAD_PARAMETERS = 5,
    TFT_ERR_OUTOFRESOURCES = 6,
    TFT_ERR_UNPLUGGED = 7,
    TFT_ERR_NO_SCANNER = 8,
    TFT_ERR_FILE = 9,
    TFT_ERR_NOT_SUPPORTED = 10,
    TFT_ERR_COM = 11,
    TFT_MUTEX_TIMEOUT = 12,
    TFT_MISSING_DEPENDENCY = 13,
    TFT_ERR_CRC = 14,
    TFT_ERR_FILE_READ = 15,
    TFT_ERR_BROKEN_SCANNER = 16,
    TFT_ERR_NOT_INITIALIZED = 17,
    TFT_ERR_DIRTY_DEVICE = 18,
    TFT_ERR_BUSY_DEVICE = 19,
    TFT_ERR_TOO_BRIGHT = 20,
};

enum TFT_LogLevel : std::int32_t {
    TFT_LOG_NONE = 0,
    TFT_LOG_ERROR = 1,
    TFT_LOG_WARNING = 2,
    TFT_LOG_INFO = 3,
    TFT_LOG_DEBUG = 4,
};

enum TftParameter : std::int32_t {
    SLAP_IMAGE_WHITE = 2,
    SLAP_IMAGE_BLACK = 3,
};

enum TFT_BuzzerMode : std::int32_t {
    TFT_BUZZER_OFF = 0,
    TFT_BUZZER_PULSE = 1,
    TFT_BUZZER_CONTINUOUS = 2,
};

namespace system_event {
enum sys_events : std::int32_t {
    DEVICE_ARRIVAL = 0,
    DEVICE_REMOVAL = 1, // plug event: unplugged
    POWER_SLEEP = 2,    // power event: asleep
    POWER_WAKE = 3,
};
}

struct TFT_ImageInfoStructure {
    std::uint32_t frame_number;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t stride;
    std::uint32_t finger_count;
    std::uint32_t reserved[3];
};

struct ImageWriter; // the library's own access to an image's storage

// Constructed by the system, filled by the library, read through the library's own members (never
// from a layout of ours): only its size must agree with the maker's header.
class VQUAD_API TFT_ImageClass {
public:
    TFT_ImageClass();
    std::uint8_t* get_image_data_pointer() const;
    std::uint32_t get_image_height() const;
    std::uint32_t get_image_stride() const;

private:
    friend struct ImageWriter;
    std::uint8_t* data_ = nullptr;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::uint32_t stride_ = 0;
};

class VQUAD_API TFTSensorClass {
public:
    TFTSensorClass();
    ~TFTSensorClass();
    TFTSensorClass(const TFTSensorClass&);
    TFTSensorClass& operator=(const TFTSensorClass&);
    void set_sensor_id(const std::string& id);
    std::string get_sensor_id() const;

private:
    std::string sensor_id_;
};

// The two sizes the system relies on and the maker's header must state alike: the system makes
// images on its stack, and walks the sensors in a vector the library fills. A sensor holds one
// std::string (32 bytes in MSVC's and libstdc++'s release layouts alike; 40 in MSVC's debug one).
constexpr std::size_t image_class_size = 24;
constexpr std::size_t sensor_class_size = 32;
static_assert(sizeof(TFT_ImageClass) == image_class_size, "TFT_ImageClass must keep the maker's size");
static_assert(sizeof(TFTSensorClass) == sensor_class_size, "TFTSensorClass must keep the maker's size");

using LoggerCallback = void (*)(std::string& text, void* context);
using UsbNotifyCallback = void (*)(std::uint16_t, std::uint16_t, std::string& serial_number,
                                   system_event::sys_events event, bool isActivDevice, void* context);
using PowerNotifyCallback = void (*)(std::string& serial_number, system_event::sys_events event,
                                     bool isActivDevice, void* context);
using CaptureCallback = void (*)(TFT_ImageClass& image, const TFT_ImageInfoStructure* info, TFT_Status status,
                                 void* context);

using ParameterPair = std::pair<std::uint32_t, std::uint32_t>;
using LampRequest = std::pair<std::uint8_t, std::uint8_t>;

class VQUAD_API TFTManagerClass {
public:
    static std::shared_ptr<TFTManagerClass> get_instance();
    static void destroy_instance();
    ~TFTManagerClass();

    TFT_Status initialize(void* reserved, TFT_LogLevel level);
    TFT_Status uninitialize();
    void register_logger_callback(LoggerCallback callback, void* context);
    void register_notification_callback(UsbNotifyCallback usb, PowerNotifyCallback power, void* context);
    void unregister_logger_callback();
    void unregister_notification_callback();
    TFT_Status close_all_sensor();

    TFT_Status get_sensor_list(std::vector<TFTSensorClass>& sensors);
    TFT_Status open_sensor(const TFTSensorClass& sensor, std::uint32_t* handle, bool exclusive);
    TFT_Status close_sensor(std::uint32_t* handle);
    TFT_Status usbReboot(std::uint32_t handle);
    TFT_Status usbReboot_blocking(std::uint32_t handle);

    TFT_Status read_serial_number(std::uint32_t handle, std::string& serial_number);
    TFT_Status get_device_descriptor(std::uint32_t handle, std::string& first, std::string& second,
                                     std::string& third);
    TFT_Status read_pia(std::uint32_t handle, std::uint16_t block, std::vector<std::uint8_t>& bytes);
    TFT_Status get_capture_param(std::uint32_t handle, ParameterPair& parameter);
    TFT_Status set_capture_params(std::uint32_t handle, std::vector<ParameterPair>& parameters);
    TFT_Status set_ihm_request(std::uint32_t handle, std::vector<LampRequest>& lamps, TFT_BuzzerMode mode,
                               std::uint16_t duration, int repeat);

    TFT_Status start_asynchronous_capture(std::uint32_t handle, CaptureCallback callback, void* context);
    TFT_Status stop_asynchronous_capture(std::uint32_t handle);
    // The image's pixel buffer passes to the caller, who releases it with free().
    TFT_Status read_fpn_data(std::uint32_t handle, TftParameter which, TFT_ImageClass& image);

private:
    TFTManagerClass();
};

} // namespace TFTManager
} // namespace Celdra
