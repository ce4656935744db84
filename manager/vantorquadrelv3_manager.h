// SPDX-License-Identifier: MIT
// The manager behind the exported functions: its state and one method per operation.
#pragma once

#include <boost/thread/recursive_mutex.hpp>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "devicelib/TFTManager.h"
#include "interface/kova_status.h"
#include "manager/callback_slot.h"

namespace nvr::vantorquadrelv3 {

namespace tft = Celdra::TFTManager;

// The one object behind every exported function: the connection to the device library,
// the application's callbacks, the event flags and the locks that serialise the operations.
class vantorquadrelv3_manager {
public:
    vantorquadrelv3_manager();
    ~vantorquadrelv3_manager();
    vantorquadrelv3_manager(const vantorquadrelv3_manager&) = delete;
    vantorquadrelv3_manager& operator=(const vantorquadrelv3_manager&) = delete;

    // Lifecycle (lifecycle.cpp)
    KovaStatus initialize(NotificationCallback callback, unsigned int level, int max_size);
    KovaStatus terminate();
    // Called on the device library's threads; nothing unwinds out of them.
    static void logger_callback(std::string& text, void* context) noexcept;
    static void usb_device_notify(std::uint16_t, std::uint16_t, std::string& serial_number,
                                  tft::system_event::sys_events event, bool isActivDevice, void* context) noexcept;
    static void power_notify(std::string& serial_number, tft::system_event::sys_events event, bool isActivDevice,
                             void* context) noexcept;

    // Scanners (devices.cpp)
    KovaStatus get_device_list_N(std::uint32_t* count, KovaDeviceEntry* entries);
    KovaStatus get_device_list(std::uint32_t* count, char* ids);
    KovaStatus open_device(const std::string& sensor_id, std::uint32_t* handle);
    KovaStatus close_device(std::uint32_t handle);
    KovaStatus reset_device(std::uint32_t handle);
    KovaStatus get_status(std::uint32_t handle);

    // Live capture (capture.cpp)
    KovaStatus start_video(unsigned int handle);
    KovaStatus stop_video(unsigned int handle);
    static void CommandCallback(tft::TFT_ImageClass& image, const tft::TFT_ImageInfoStructure* info,
                                tft::TFT_Status status, void* context) noexcept;

    // Device information (device_info.cpp)
    KovaStatus get_device_info(std::uint32_t handle, KovaDeviceInfo* info);
    KovaStatus get_device_info_with_dn(const char* device_name, KovaDeviceInfo* info);
    KovaStatus get_device_capabilities(std::uint32_t handle, std::uint32_t capture_type, KovaCapabilities* caps);
    KovaStatus is_roll_supported(std::uint8_t* supported);
    KovaStatus get_port_type(std::uint32_t* port_type);

    // Capture parameters (parameters.cpp)
    KovaStatus get_cmd_parameter(std::uint32_t handle, std::uint8_t parameter_id, std::uint32_t* value);
    KovaStatus set_cmd_parameter(std::uint32_t handle, std::uint8_t parameter_id, std::uint32_t value);

    // Lamps and buzzer (user_interface.cpp)
    KovaStatus get_device_ui(DevUIRecord* record);
    KovaStatus set_device_ui(unsigned int handle, DevUIRecord* record);
    KovaStatus set_buzzer(unsigned int handle, unsigned int pattern);
    static void append_lamp_requests(std::vector<tft::LampRequest>& requests, unsigned key, std::uint32_t value);

    // Uniformity tables (uniformity.cpp); never takes method_mutex
    KovaStatus read_uniformity_buffers(std::uint32_t handle, std::uint16_t** gain_ptr, std::uint16_t** offset_ptr);
    // Frees what either pointer points to (a null pointer-to-pointer is skipped) and nulls it.
    static void free_uniformity_buffers(std::uint16_t** gain_ptr, std::uint16_t** offset_ptr);

    // The frame every locked operation runs in: method_mutex (a try, then at most 5000 ms),
    // then the initialised check, each refusal with the operation's error line.
    template <class Work>
    KovaStatus run_operation(const char* name, Work&& work)
    {
        boost::unique_lock<boost::recursive_timed_mutex> lock(method_mutex, boost::defer_lock);
        KovaStatus refused = enter_frame(name, lock, true);
        if (refused != KOVA_OK) return refused;
        return work();
    }

    // Writes "<operation>:    Error=%d: %s\r\n" with the code's error-line text.
    static void log_status_error(const char* operation, KovaStatus code);
    // The same line, then the code as the result: for arguments refused before the frame.
    static KovaStatus refuse(const char* operation, KovaStatus code)
    {
        log_status_error(operation, code);
        return code;
    }

    // Fields, in this order
    std::mutex device_mutex;
    std::atomic<NotificationCallback> notification_callback{nullptr};
    std::atomic<bool> initialized{false};
    std::condition_variable event_condition;
    std::mutex event_mutex;
    std::atomic<bool> event_pending{false};
    std::atomic<bool> device_unplugged{false};
    std::atomic<bool> device_asleep{false};
    std::atomic<bool> scanner_broken{false};
    std::atomic<bool> capture_failed{false};
    CallbackSlot<QuadV3CaptureCallback> capture_callback; // with capture_context
    std::array<std::uint32_t, 15> ui_state{};
    CallbackSlot<UICallBack> ui_callback; // with ui_context
    boost::recursive_timed_mutex method_mutex;
    std::atomic<std::int32_t> log_level{0};
    std::atomic<std::uint64_t> max_log_size{0};
    // Bumped (under event_mutex) by every terminate, so that a waiting get_status lets go.
    std::atomic<std::uint64_t> session_generation{0};
    // The reference this library holds on its own module while the device library may call in (from
    // initialize to terminate), so that an early FreeLibrary or dlclose cannot unmap the callbacks.
    // Under method_mutex.
    void* module_hold = nullptr;

    // Raises an event: cause flags are set before this, so a waiter that sees it sees the cause.
    void raise_event();

private:
    KovaStatus enter_frame(const char* name, boost::unique_lock<boost::recursive_timed_mutex>& lock,
                           bool check_initialized);
    // Sets the cause flag and the pending event, then tells the application, outside every lock.
    static void record_device_event(void* context, std::atomic<bool> vantorquadrelv3_manager::*cause,
                                    bool cause_value, const std::string& serial_number,
                                    std::int32_t state) noexcept;
};

} // namespace nvr::vantorquadrelv3
