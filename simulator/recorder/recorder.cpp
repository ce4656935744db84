// SPDX-License-Identifier: MIT
// The recorder: a device library with exactly the maker's interface that an application loads in
// place of it. It loads the real library from VQREC_TARGET and forwards every call, callback and
// event unchanged; callbacks pass through trampolines of its own, where the session is observed.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devicelib/TFTManager.h"
#include "platform/library.h"
#include "simulator/recorder/session.h"

namespace Celdra::TFTManager {

namespace {

namespace platform = nvr::vantorquadrelv3::platform;
using vqrec::Session;

Session& session()
{
    return Session::instance();
}

// Recording never disturbs what it records: whatever fails in it (a full disk, memory) is dropped.
template <class Work>
void observe(Work work) noexcept
{
    try {
        work(session());
    } catch (...) {
    }
}

TFT_Status answered(const char* operation, TFT_Status status)
{
    observe([&](Session& s) { s.answered(operation, status); });
    return status;
}

// A call on an open scanner's handle.
TFT_Status answered(const char* operation, TFT_Status status, std::uint32_t handle)
{
    observe([&](Session& s) { s.answered(operation, status, &handle); });
    return status;
}

// The real library, loaded once; its own calls bind to its own definitions, never to the
// recorder's of the same names.
void* target()
{
    static void* const handle = [] {
        const char* path = std::getenv("VQREC_TARGET");
        if (path == nullptr || *path == '\0') {
            std::fprintf(stderr, "VQUAD recorder: VQREC_TARGET names no device library to record\n");
            std::abort();
        }
        std::string error;
        void* loaded = platform::library_load(path, &error);
        if (loaded == nullptr) {
            std::fprintf(stderr, "VQUAD recorder: cannot load %s: %s\n", path, error.c_str());
            std::abort();
        }
        return loaded;
    }();
    return handle;
}

// The target's definition of the function at `own` in the recorder: found under the same (mangled)
// name, which the recorder's own export of it carries.
void* target_symbol(void* own)
{
    const std::string name = platform::exported_name(own);
    void* found = name.empty() ? nullptr : platform::library_symbol(target(), name.c_str());
    if (found == nullptr) {
        std::fprintf(stderr, "VQUAD recorder: the device library lacks %s\n",
                     name.empty() ? "a function of the interface" : name.c_str());
        std::abort();
    }
    return found;
}

// A non-virtual member function pointer with its function swapped for the target's. Itanium's holds
// the function and a this-adjustment (zero here); Microsoft's, for a class without bases, the
// function alone.
template <class Method>
Method target_method(Method own)
{
    static_assert(sizeof(Method) == sizeof(void*) || sizeof(Method) == 2 * sizeof(void*),
                  "a member function pointer of a known layout");
    void* parts[sizeof(Method) / sizeof(void*)];
    std::memcpy(parts, &own, sizeof parts);
    parts[0] = target_symbol(parts[0]);
    Method method;
    std::memcpy(&method, parts, sizeof method);
    return method;
}

// Calls the target's version of Method on the same object.
template <auto Method, class... Args>
auto forward(TFTManagerClass* self, Args&&... args)
{
    static const auto method = target_method(Method);
    return (self->*method)(std::forward<Args>(args)...);
}

struct Listeners {
    std::atomic<LoggerCallback> logger{nullptr};
    std::atomic<void*> logger_context{nullptr};
    std::atomic<UsbNotifyCallback> usb{nullptr};
    std::atomic<PowerNotifyCallback> power{nullptr};
    std::atomic<void*> notify_context{nullptr};
};
Listeners listeners;

void logged(std::string& text, void*)
{
    observe([&](Session& s) { s.log_event(text); });
    if (LoggerCallback callback = listeners.logger.load()) callback(text, listeners.logger_context.load());
}

void usb_notified(std::uint16_t a, std::uint16_t b, std::string& serial_number, system_event::sys_events event,
                  bool active, void*)
{
    if (event == system_event::DEVICE_ARRIVAL || event == system_event::DEVICE_REMOVAL)
        observe([&](Session& s) { s.plug_event(serial_number, event == system_event::DEVICE_ARRIVAL); });
    if (UsbNotifyCallback callback = listeners.usb.load())
        callback(a, b, serial_number, event, active, listeners.notify_context.load());
}

void power_notified(std::string& serial_number, system_event::sys_events event, bool active, void*)
{
    if (event == system_event::POWER_SLEEP || event == system_event::POWER_WAKE)
        observe([&](Session& s) { s.power_event(serial_number, event == system_event::POWER_SLEEP); });
    if (PowerNotifyCallback callback = listeners.power.load())
        callback(serial_number, event, active, listeners.notify_context.load());
}

// Kept for the process's life: a capture callback may still be running when its capture is replaced.
std::mutex captures_mutex;
std::map<std::uint32_t, std::unique_ptr<vqrec::Capture>>* const captures =
    new std::map<std::uint32_t, std::unique_ptr<vqrec::Capture>>;
std::vector<std::unique_ptr<vqrec::Capture>>* const retired = new std::vector<std::unique_ptr<vqrec::Capture>>;

void captured(TFT_ImageClass& image, const TFT_ImageInfoStructure* info, TFT_Status status, void* context)
{
    vqrec::deliver(image, info, status, context);
}

} // namespace

// The application holds the target's own instance: every member call forwards on the same object.
std::shared_ptr<TFTManagerClass> TFTManagerClass::get_instance()
{
    using Function = std::shared_ptr<TFTManagerClass> (*)();
    static const auto function = reinterpret_cast<Function>(target_symbol(reinterpret_cast<void*>(&get_instance)));
    return function();
}

void TFTManagerClass::destroy_instance()
{
    using Function = void (*)();
    static const auto function = reinterpret_cast<Function>(target_symbol(reinterpret_cast<void*>(&destroy_instance)));
    function();
    observe([](Session& s) { s.write(); });
}

TFT_Status TFTManagerClass::initialize(void* reserved, TFT_LogLevel level)
{
    observe([](Session& s) { s.initialized(); });
    const TFT_Status status = forward<&TFTManagerClass::initialize>(this, reserved, level);
    answered("initialize", status);
    return status;
}

TFT_Status TFTManagerClass::uninitialize()
{
    const TFT_Status status = forward<&TFTManagerClass::uninitialize>(this);
    answered("uninitialize", status);
    observe([](Session& s) { s.write(); });
    return status;
}

void TFTManagerClass::register_logger_callback(LoggerCallback callback, void* context)
{
    listeners.logger_context.store(context);
    listeners.logger.store(callback);
    forward<&TFTManagerClass::register_logger_callback>(this, callback != nullptr ? &logged : nullptr, nullptr);
}

void TFTManagerClass::register_notification_callback(UsbNotifyCallback usb, PowerNotifyCallback power, void* context)
{
    listeners.notify_context.store(context);
    listeners.usb.store(usb);
    listeners.power.store(power);
    forward<&TFTManagerClass::register_notification_callback>(this, usb != nullptr ? &usb_notified : nullptr,
                                                              power != nullptr ? &power_notified : nullptr, nullptr);
    if (usb != nullptr || power != nullptr) observe([](Session& s) { s.listening(); });
}

void TFTManagerClass::unregister_logger_callback()
{
    forward<&TFTManagerClass::unregister_logger_callback>(this);
    listeners.logger.store(nullptr);
}

void TFTManagerClass::unregister_notification_callback()
{
    forward<&TFTManagerClass::unregister_notification_callback>(this);
    listeners.usb.store(nullptr);
    listeners.power.store(nullptr);
}

TFT_Status TFTManagerClass::close_all_sensor()
{
    return answered("close_all_sensor", forward<&TFTManagerClass::close_all_sensor>(this));
}

TFT_Status TFTManagerClass::get_sensor_list(std::vector<TFTSensorClass>& sensors)
{
    const TFT_Status status = forward<&TFTManagerClass::get_sensor_list>(this, sensors);
    answered("get_sensor_list", status);
    if (status == TFT_ERR_OK) observe([&](Session& s) { s.listed(sensors); });
    return status;
}

TFT_Status TFTManagerClass::open_sensor(const TFTSensorClass& sensor, std::uint32_t* handle, bool exclusive)
{
    const TFT_Status status = forward<&TFTManagerClass::open_sensor>(this, sensor, handle, exclusive);
    answered("open_sensor", status);
    if ((status == TFT_ERR_OK || status == TFT_ERR_DIRTY_DEVICE) && handle != nullptr)
        observe([&](Session& s) { s.opened(sensor.get_sensor_id(), *handle, status); });
    return status;
}

TFT_Status TFTManagerClass::close_sensor(std::uint32_t* handle)
{
    const std::uint32_t closing = handle != nullptr ? *handle : 0;
    const TFT_Status status = answered("close_sensor", forward<&TFTManagerClass::close_sensor>(this, handle));
    if (status == TFT_ERR_OK || status == TFT_ERR_UNPLUGGED) observe([&](Session& s) { s.closed(closing); });
    return status;
}

TFT_Status TFTManagerClass::usbReboot(std::uint32_t handle)
{
    const TFT_Status status = answered("usbReboot", forward<&TFTManagerClass::usbReboot>(this, handle), handle);
    if (status == TFT_ERR_OK) observe([&](Session& s) { s.rebooted(handle); });
    return status;
}

TFT_Status TFTManagerClass::usbReboot_blocking(std::uint32_t handle)
{
    const TFT_Status status = answered("usbReboot_blocking", forward<&TFTManagerClass::usbReboot_blocking>(this, handle), handle);
    if (status == TFT_ERR_OK) observe([&](Session& s) { s.rebooted(handle); });
    return status;
}

TFT_Status TFTManagerClass::read_serial_number(std::uint32_t handle, std::string& serial_number)
{
    const TFT_Status status = forward<&TFTManagerClass::read_serial_number>(this, handle, serial_number);
    answered("read_serial_number", status, handle);
    if (status == TFT_ERR_OK)
        observe([&](Session& s) { s.serial_number(handle, serial_number); });
    return status;
}

TFT_Status TFTManagerClass::get_device_descriptor(std::uint32_t handle, std::string& first, std::string& second,
                                                  std::string& third)
{
    const TFT_Status status = forward<&TFTManagerClass::get_device_descriptor>(this, handle, first, second, third);
    answered("get_device_descriptor", status, handle);
    if (status == TFT_ERR_OK)
        observe([&](Session& s) { s.descriptors(handle, first, second, third); });
    return status;
}

TFT_Status TFTManagerClass::read_pia(std::uint32_t handle, std::uint16_t block, std::vector<std::uint8_t>& bytes)
{
    const TFT_Status status = forward<&TFTManagerClass::read_pia>(this, handle, block, bytes);
    answered("read_pia", status, handle);
    if (status == TFT_ERR_OK)
        observe([&](Session& s) { s.pia(handle, block, bytes); });
    return status;
}

TFT_Status TFTManagerClass::get_capture_param(std::uint32_t handle, ParameterPair& parameter)
{
    const TFT_Status status = answered("get_capture_param", forward<&TFTManagerClass::get_capture_param>(this, handle, parameter), handle);
    if (status == TFT_ERR_OK) observe([&](Session& s) { s.parameter_read(handle, parameter); });
    return status;
}

TFT_Status TFTManagerClass::set_capture_params(std::uint32_t handle, std::vector<ParameterPair>& parameters)
{
    const TFT_Status status =
        answered("set_capture_params", forward<&TFTManagerClass::set_capture_params>(this, handle, parameters), handle);
    if (status == TFT_ERR_OK) observe([&](Session& s) { s.parameters_set(handle, parameters); });
    return status;
}

TFT_Status TFTManagerClass::set_ihm_request(std::uint32_t handle, std::vector<LampRequest>& lamps, TFT_BuzzerMode mode,
                                            std::uint16_t duration, int repeat)
{
    return answered("set_ihm_request", forward<&TFTManagerClass::set_ihm_request>(this, handle, lamps, mode, duration, repeat), handle);
}

TFT_Status TFTManagerClass::start_asynchronous_capture(std::uint32_t handle, CaptureCallback callback, void* context)
{
    if (callback == nullptr) return forward<&TFTManagerClass::start_asynchronous_capture>(this, handle, callback, context);
    static vqrec::Track unknown{std::string()};
    vqrec::Track* track = &unknown;
    observe([&](Session& s) { track = s.capture_starting(handle); });
    vqrec::Capture* capture = nullptr;
    {
        std::lock_guard<std::mutex> guard(captures_mutex);
        auto& slot = (*captures)[handle];
        if (slot) retired->push_back(std::move(slot));
        slot = std::make_unique<vqrec::Capture>(vqrec::Capture{callback, context, track});
        capture = slot.get();
    }
    const TFT_Status status = answered(
        "start_asynchronous_capture",
        forward<&TFTManagerClass::start_asynchronous_capture>(this, handle, &captured, static_cast<void*>(capture)),
        handle);
    observe([&](Session& s) { s.capture_started(track, status == TFT_ERR_OK); });
    return status;
}

TFT_Status TFTManagerClass::stop_asynchronous_capture(std::uint32_t handle)
{
    const TFT_Status status =
        answered("stop_asynchronous_capture", forward<&TFTManagerClass::stop_asynchronous_capture>(this, handle), handle);
    observe([&](Session& s) { s.capture_stopped(handle); });
    return status;
}

TFT_Status TFTManagerClass::read_fpn_data(std::uint32_t handle, TftParameter which, TFT_ImageClass& image)
{
    const char* name = which == SLAP_IMAGE_BLACK ? "black" : which == SLAP_IMAGE_WHITE ? "white" : nullptr;
    const TFT_Status status = forward<&TFTManagerClass::read_fpn_data>(this, handle, which, image);
    if (name == nullptr) return status; // no such image: the stand-in has no rule for it
    answered(which == SLAP_IMAGE_BLACK ? "read_fpn_data_black" : "read_fpn_data_white", status, handle);
    if (status == TFT_ERR_OK && image.get_image_data_pointer() != nullptr)
        observe([&](Session& s) {
            s.calibration(handle, name, image.get_image_data_pointer(), image.get_image_stride(),
                          image.get_image_height());
        });
    return status;
}

} // namespace Celdra::TFTManager
