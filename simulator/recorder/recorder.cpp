// The recorder: a device library with exactly the maker's interface that an application loads in
// place of it. It loads the real library from VQREC_TARGET and forwards every call, callback and
// event unchanged; callbacks pass through trampolines of its own, where a session is observed.
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "devicelib/TFTManager.h"

namespace Celdra::TFTManager {

namespace {

// The real library, loaded once; its own calls bind to its own definitions (RTLD_DEEPBIND), never to
// the recorder's of the same names.
void* target()
{
    static void* const handle = [] {
        const char* path = std::getenv("VQREC_TARGET");
        if (path == nullptr || *path == '\0') {
            std::fprintf(stderr, "VQUAD recorder: VQREC_TARGET names no device library to record\n");
            std::abort();
        }
        void* loaded = ::dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
        if (loaded == nullptr) {
            std::fprintf(stderr, "VQUAD recorder: cannot load %s: %s\n", path, ::dlerror());
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
    Dl_info info{};
    void* found = ::dladdr(own, &info) != 0 && info.dli_sname != nullptr ? ::dlsym(target(), info.dli_sname) : nullptr;
    if (found == nullptr) {
        std::fprintf(stderr, "VQUAD recorder: the device library lacks %s\n",
                     info.dli_sname != nullptr ? info.dli_sname : "a function of the interface");
        std::abort();
    }
    return found;
}

// A non-virtual member function pointer: its function's address, and no adjustment.
template <class Method>
Method target_method(Method own)
{
    static_assert(sizeof(Method) == 2 * sizeof(void*), "an Itanium member function pointer");
    void* parts[2];
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
    if (LoggerCallback callback = listeners.logger.load()) callback(text, listeners.logger_context.load());
}

void usb_notified(std::uint16_t a, std::uint16_t b, std::string& serial_number, system_event::sys_events event,
                  bool active, void*)
{
    if (UsbNotifyCallback callback = listeners.usb.load())
        callback(a, b, serial_number, event, active, listeners.notify_context.load());
}

void power_notified(std::string& serial_number, system_event::sys_events event, bool active, void*)
{
    if (PowerNotifyCallback callback = listeners.power.load())
        callback(serial_number, event, active, listeners.notify_context.load());
}

// One live capture: the application's callback, and the frames that went through.
struct Capture {
    CaptureCallback callback;
    void* context;
    std::atomic<std::uint64_t> frames{0};
};

// Kept for the process's life: a capture callback may still be running when its capture is replaced.
std::mutex captures_mutex;
std::map<std::uint32_t, std::unique_ptr<Capture>>* const captures = new std::map<std::uint32_t, std::unique_ptr<Capture>>;
std::vector<std::unique_ptr<Capture>>* const retired = new std::vector<std::unique_ptr<Capture>>;

void captured(TFT_ImageClass& image, const TFT_ImageInfoStructure* info, TFT_Status status, void* context)
{
    auto* capture = static_cast<Capture*>(context);
    capture->frames.fetch_add(1, std::memory_order_relaxed);
    capture->callback(image, info, status, capture->context);
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
}

TFT_Status TFTManagerClass::initialize(void* reserved, TFT_LogLevel level)
{
    return forward<&TFTManagerClass::initialize>(this, reserved, level);
}

TFT_Status TFTManagerClass::uninitialize()
{
    return forward<&TFTManagerClass::uninitialize>(this);
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
    return forward<&TFTManagerClass::close_all_sensor>(this);
}

TFT_Status TFTManagerClass::get_sensor_list(std::vector<TFTSensorClass>& sensors)
{
    return forward<&TFTManagerClass::get_sensor_list>(this, sensors);
}

TFT_Status TFTManagerClass::open_sensor(const TFTSensorClass& sensor, std::uint32_t* handle, bool exclusive)
{
    return forward<&TFTManagerClass::open_sensor>(this, sensor, handle, exclusive);
}

TFT_Status TFTManagerClass::close_sensor(std::uint32_t* handle)
{
    return forward<&TFTManagerClass::close_sensor>(this, handle);
}

TFT_Status TFTManagerClass::usbReboot(std::uint32_t handle)
{
    return forward<&TFTManagerClass::usbReboot>(this, handle);
}

TFT_Status TFTManagerClass::usbReboot_blocking(std::uint32_t handle)
{
    return forward<&TFTManagerClass::usbReboot_blocking>(this, handle);
}

TFT_Status TFTManagerClass::read_serial_number(std::uint32_t handle, std::string& serial_number)
{
    return forward<&TFTManagerClass::read_serial_number>(this, handle, serial_number);
}

TFT_Status TFTManagerClass::get_device_descriptor(std::uint32_t handle, std::string& first, std::string& second,
                                                  std::string& third)
{
    return forward<&TFTManagerClass::get_device_descriptor>(this, handle, first, second, third);
}

TFT_Status TFTManagerClass::read_pia(std::uint32_t handle, std::uint16_t block, std::vector<std::uint8_t>& bytes)
{
    return forward<&TFTManagerClass::read_pia>(this, handle, block, bytes);
}

TFT_Status TFTManagerClass::get_capture_param(std::uint32_t handle, ParameterPair& parameter)
{
    return forward<&TFTManagerClass::get_capture_param>(this, handle, parameter);
}

TFT_Status TFTManagerClass::set_capture_params(std::uint32_t handle, std::vector<ParameterPair>& parameters)
{
    return forward<&TFTManagerClass::set_capture_params>(this, handle, parameters);
}

TFT_Status TFTManagerClass::set_ihm_request(std::uint32_t handle, std::vector<LampRequest>& lamps, TFT_BuzzerMode mode,
                                            std::uint16_t duration, int repeat)
{
    return forward<&TFTManagerClass::set_ihm_request>(this, handle, lamps, mode, duration, repeat);
}

TFT_Status TFTManagerClass::start_asynchronous_capture(std::uint32_t handle, CaptureCallback callback, void* context)
{
    if (callback == nullptr) return forward<&TFTManagerClass::start_asynchronous_capture>(this, handle, callback, context);
    Capture* capture = nullptr;
    {
        std::lock_guard<std::mutex> guard(captures_mutex);
        auto& slot = (*captures)[handle];
        if (slot) retired->push_back(std::move(slot));
        slot = std::make_unique<Capture>();
        slot->callback = callback;
        slot->context = context;
        capture = slot.get();
    }
    return forward<&TFTManagerClass::start_asynchronous_capture>(this, handle, &captured, static_cast<void*>(capture));
}

TFT_Status TFTManagerClass::stop_asynchronous_capture(std::uint32_t handle)
{
    return forward<&TFTManagerClass::stop_asynchronous_capture>(this, handle);
}

TFT_Status TFTManagerClass::read_fpn_data(std::uint32_t handle, TftParameter which, TFT_ImageClass& image)
{
    return forward<&TFTManagerClass::read_fpn_data>(this, handle, which, image);
}

} // namespace Celdra::TFTManager
