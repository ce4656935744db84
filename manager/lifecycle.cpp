// SPDX-License-Identifier: MIT
// Initialize and terminate, the frame every operation enters, and the device library's events.
#include <boost/thread/locks.hpp>

#include <cstring>
#include <utility>

#include "interface/shared_manager.h"
#include "interface/status.h"
#include "logging/log.h"
#include "manager/vantorquadrelv3_manager.h"
#include "platform/platform.h"

namespace nvr::vantorquadrelv3 {

namespace {
constexpr std::int32_t notification_kind = 6;
constexpr std::uint64_t default_max_log_size = 52428800; // 50 MiB
} // namespace

vantorquadrelv3_manager::vantorquadrelv3_manager() = default;

vantorquadrelv3_manager::~vantorquadrelv3_manager()
{
    notification_callback.store(nullptr);
    // The device library may go on calling in while the process exits: it reaches the application
    // no more.
    capture_callback.store(nullptr, nullptr);
    ui_callback.store(nullptr, nullptr);
}

void vantorquadrelv3_manager::log_status_error(const char* operation, KovaStatus code)
{
    ErrorText error(code);
    log_print(3, "%s:    Error=%d: %s\r\n", operation, static_cast<int>(code), error.text);
}

KovaStatus vantorquadrelv3_manager::enter_frame(const char* name,
                                                boost::unique_lock<boost::recursive_timed_mutex>& lock,
                                                bool check_initialized)
{
    if (!lock.try_lock() && !lock.try_lock_for(boost::chrono::milliseconds(5000)))
        return refuse(name, KOVA_INTERNAL);
    if (check_initialized && !initialized.load()) return refuse(name, KOVA_NOT_INITIALIZED);
    return KOVA_OK;
}

void vantorquadrelv3_manager::raise_event()
{
    std::lock_guard<std::mutex> guard(event_mutex);
    event_pending.exchange(true);
    event_condition.notify_one();
}

KovaStatus vantorquadrelv3_manager::initialize(NotificationCallback callback, unsigned int level, int max_size)
{
    notification_callback.store(callback);
    log_level.store(level > 3 ? 4 : static_cast<std::int32_t>(level));
    max_log_size.store(max_size > 0 ? static_cast<std::uint64_t>(max_size) : default_max_log_size);

    boost::unique_lock<boost::recursive_timed_mutex> lock(method_mutex, boost::defer_lock);
    KovaStatus refused = enter_frame("initialize", lock, false);
    if (refused != KOVA_OK) return refused;

    if (initialized.load()) {
        log_print(3, "initialize:    clear current initialized api before the initialize\r\n");
        terminate();
        notification_callback.store(callback);
    }
    tft::TFT_Status status = tft::TFTManagerClass::get_instance()->initialize(
        nullptr, static_cast<tft::TFT_LogLevel>(log_level.load()));
    if (status != tft::TFT_ERR_OK) {
        log_print(3, "initialize: TFTManagerClass::initialize failed with Error=%d\r\n", static_cast<int>(status));
        return map_tft_status(status);
    }
    if (module_hold == nullptr) module_hold = platform::module_hold_self();
    tft::TFTManagerClass::get_instance()->register_logger_callback(logger_callback, this);
    tft::TFTManagerClass::get_instance()->register_notification_callback(usb_device_notify, power_notify, this);
    initialized.store(true);
    return KOVA_OK;
}

KovaStatus vantorquadrelv3_manager::terminate()
{
    KovaStatus result = run_operation("terminate", [this] {
        tft::TFT_Status status = tft::TFTManagerClass::get_instance()->close_all_sensor();
        if (status != tft::TFT_ERR_OK)
            log_print(1, "terminate: close_all_sensor Error=%d\r\n", static_cast<int>(status));
        tft::TFTManagerClass::get_instance()->unregister_logger_callback();
        tft::TFTManagerClass::get_instance()->unregister_notification_callback();
        status = tft::TFTManagerClass::get_instance()->uninitialize();
        if (status != tft::TFT_ERR_OK)
            log_print(1, "terminate: TFTManagerClass::uninitialize failed with Error=%d\r\n",
                      static_cast<int>(status));
        tft::TFTManagerClass::destroy_instance();
        // Nothing calls in any more: the application's own reference decides when the module goes.
        platform::module_release(std::exchange(module_hold, nullptr));
        initialized.store(false);
        notification_callback.store(nullptr);
        {
            // Let a waiting status call go: it answers Not Initialized.
            std::lock_guard<std::mutex> guard(event_mutex);
            session_generation.fetch_add(1);
            event_condition.notify_all();
        }
        return KOVA_OK;
    });
    if (result != KOVA_OK) log_close();
    return result;
}

void vantorquadrelv3_manager::logger_callback(std::string& text, void*) noexcept
{
    log_print(1, "VQUAD Logs : %s\r\n", text.c_str());
}

void vantorquadrelv3_manager::record_device_event(void* context, std::atomic<bool> vantorquadrelv3_manager::*cause,
                                                  bool cause_value, const std::string& serial_number,
                                                  std::int32_t state) noexcept
{
    auto* manager = static_cast<vantorquadrelv3_manager*>(context);
    if (manager == nullptr || manager_released()) return;
    // Runs on the device library's thread: nothing may unwind into it.
    try {
        {
            std::lock_guard<std::mutex> guard(manager->event_mutex);
            (manager->*cause).store(cause_value);
            manager->event_pending.store(true);
            manager->event_condition.notify_one();
        }
        NotificationCallback callback = manager->notification_callback.load();
        if (callback == nullptr) return;
        char buffer[256];
        std::memset(buffer, 0, 255);
        // Longer serial numbers are cut so that the text always arrives terminated.
        std::size_t length = serial_number.size() < 255 ? serial_number.size() : 255;
        std::memcpy(buffer, serial_number.data(), length);
        buffer[length] = '\0';
        callback(notification_kind, buffer, state);
    } catch (...) {
    }
}

void vantorquadrelv3_manager::usb_device_notify(std::uint16_t, std::uint16_t, std::string& serial_number,
                                                tft::system_event::sys_events event, bool isActivDevice,
                                                void* context) noexcept
{
    bool unplugged = event == tft::system_event::DEVICE_REMOVAL;
    log_print(1, "usb_device_notify event ,isPlugged =%d ,  serial_number %s  isActivDevice = %d \r\n",
              unplugged ? 0 : 1, serial_number.c_str(), isActivDevice ? 1 : 0);
    record_device_event(context, &vantorquadrelv3_manager::device_unplugged, unplugged, serial_number,
                        unplugged ? 0 : 1);
}

void vantorquadrelv3_manager::power_notify(std::string& serial_number, tft::system_event::sys_events event,
                                           bool isActivDevice, void* context) noexcept
{
    bool asleep = event == tft::system_event::POWER_SLEEP;
    log_print(1, "power_notify event ,isAwake =%d ,  serial_number %s  isActivDevice = %d \r\n", asleep ? 0 : 1,
              serial_number.c_str(), isActivDevice ? 1 : 0);
    record_device_event(context, &vantorquadrelv3_manager::device_asleep, asleep, serial_number, asleep ? 0 : 1);
}

} // namespace nvr::vantorquadrelv3
