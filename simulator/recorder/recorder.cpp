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

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

#include "devicelib/TFTManager.h"

namespace Celdra::TFTManager {

namespace {

using json = nlohmann::ordered_json;

// What the session showed, as a scenario for the stand-in. Written whole to VQREC_OUT (through a
// temporary file and a rename, so a crash leaves the last complete one) whenever it changes, at
// uninitialize, at destroy_instance and at exit. Nothing of it is on the frame path.
class Session {
public:
    static Session& instance()
    {
        static Session* const session = new Session; // never destroyed: written at exit
        return *session;
    }

    void initialized()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.clear();
        last_failure_.clear();
        faults_ = json::array();
    }

    // A device-library call and its answer. Failures become fault rules, except the answers the
    // scanner's state explains (dirty at opening, unplugged).
    void answered(const char* operation, TFT_Status status)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        const std::uint64_t call = ++calls_[operation];
        if (status == TFT_ERR_OK || status == TFT_ERR_UNPLUGGED || status == TFT_ERR_DIRTY_DEVICE) return;
        std::uint64_t& last = last_failure_[operation];
        json rule = {{"operation", operation}, {"status", static_cast<int>(status)}};
        if (call - last - 1 > 0) rule["after"] = call - last - 1;
        last = call;
        faults_.push_back(std::move(rule));
        write_locked();
    }

    void listed(const std::vector<TFTSensorClass>& sensors)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (const TFTSensorClass& sensor : sensors) scanner_locked(sensor.get_sensor_id());
        write_locked();
    }

    void opened(const std::string& sensor_id, std::uint32_t handle, TFT_Status status)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        handles_[handle] = sensor_id;
        if (status == TFT_ERR_DIRTY_DEVICE) scanner_locked(sensor_id)["dirty"] = true;
        write_locked();
    }

    // Sets what the device told about itself, for the scanner open under handle.
    template <class Update>
    void learned(std::uint32_t handle, Update update)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        auto found = handles_.find(handle);
        if (found == handles_.end()) return;
        update(scanner_locked(found->second), found->second);
        write_locked();
    }

    // A calibration image, as a raw file beside the scenario; the scenario names both once both
    // images of a geometry have been read.
    void calibration(std::uint32_t handle, const char* which, const std::uint8_t* data, std::uint32_t stride,
                     std::uint32_t height)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        auto found = handles_.find(handle);
        if (found == handles_.end() || out_.empty()) return;
        const std::string& sensor_id = found->second;
        const std::string name = base_name() + "." + std::to_string(std::hash<std::string>()(sensor_id)) + "." +
                                 which + ".raw";
        std::ofstream(folder() + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(std::uint64_t{stride} * height));
        json& images = calibrations_[sensor_id];
        if (!images.is_object()) images = json::object();
        if (images.value("stride_bytes", stride) != stride || images.value("height", height) != height)
            images = json::object();
        images[which] = name;
        images["stride_bytes"] = stride;
        images["height"] = height;
        if (images.contains("black") && images.contains("white")) scanner_locked(sensor_id)["calibration"] = images;
        write_locked();
    }

    void write()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        write_locked();
    }

private:
    Session()
    {
        const char* out = std::getenv("VQREC_OUT");
        out_ = out != nullptr ? out : "";
        std::atexit([] { Session::instance().write(); });
    }

    std::string folder() const
    {
        const std::size_t slash = out_.rfind('/');
        return slash == std::string::npos ? std::string() : out_.substr(0, slash + 1);
    }
    std::string base_name() const
    {
        const std::size_t slash = out_.rfind('/');
        std::string name = slash == std::string::npos ? out_ : out_.substr(slash + 1);
        const std::size_t dot = name.rfind(".json");
        return dot == std::string::npos ? name : name.substr(0, dot);
    }

    json& scanner_locked(const std::string& sensor_id)
    {
        for (json& scanner : scanners_)
            if (scanner["sensor_id"] == sensor_id) return scanner;
        scanners_.push_back({{"sensor_id", sensor_id}});
        return scanners_.back();
    }

    void write_locked()
    {
        if (out_.empty()) return;
        json scenario = {{"description", "Recorded by the VQUAD recorder"}, {"scanners", scanners_}};
        if (!faults_.empty()) scenario["faults"] = faults_;
        const std::string temporary = out_ + ".part";
        {
            std::ofstream file(temporary, std::ios::trunc);
            file << scenario.dump(2) << "\n";
            if (!file) return;
        }
        std::rename(temporary.c_str(), out_.c_str());
    }

    std::mutex mutex_;
    std::string out_;
    json scanners_ = json::array();
    json faults_ = json::array();
    std::map<std::uint32_t, std::string> handles_;
    std::map<std::string, std::uint64_t> calls_, last_failure_;
    std::map<std::string, json> calibrations_; // by sensor id: the images read so far
};

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
    return answered("close_sensor", forward<&TFTManagerClass::close_sensor>(this, handle));
}

TFT_Status TFTManagerClass::usbReboot(std::uint32_t handle)
{
    return answered("usbReboot", forward<&TFTManagerClass::usbReboot>(this, handle));
}

TFT_Status TFTManagerClass::usbReboot_blocking(std::uint32_t handle)
{
    return answered("usbReboot_blocking", forward<&TFTManagerClass::usbReboot_blocking>(this, handle));
}

TFT_Status TFTManagerClass::read_serial_number(std::uint32_t handle, std::string& serial_number)
{
    const TFT_Status status = forward<&TFTManagerClass::read_serial_number>(this, handle, serial_number);
    answered("read_serial_number", status);
    if (status == TFT_ERR_OK)
        observe([&](Session& s) {
            s.learned(handle, [&](json& scanner, const std::string&) { scanner["serial_number"] = serial_number; });
        });
    return status;
}

TFT_Status TFTManagerClass::get_device_descriptor(std::uint32_t handle, std::string& first, std::string& second,
                                                  std::string& third)
{
    const TFT_Status status = forward<&TFTManagerClass::get_device_descriptor>(this, handle, first, second, third);
    answered("get_device_descriptor", status);
    if (status == TFT_ERR_OK)
        observe([&](Session& s) {
            s.learned(handle, [&](json& scanner, const std::string&) { scanner["descriptors"] = {first, second, third}; });
        });
    return status;
}

TFT_Status TFTManagerClass::read_pia(std::uint32_t handle, std::uint16_t block, std::vector<std::uint8_t>& bytes)
{
    const TFT_Status status = forward<&TFTManagerClass::read_pia>(this, handle, block, bytes);
    answered("read_pia", status);
    if (status == TFT_ERR_OK)
        observe([&](Session& s) {
            s.learned(handle, [&](json& scanner, const std::string&) { scanner["pia"][std::to_string(block)] = bytes; });
        });
    return status;
}

TFT_Status TFTManagerClass::get_capture_param(std::uint32_t handle, ParameterPair& parameter)
{
    return answered("get_capture_param", forward<&TFTManagerClass::get_capture_param>(this, handle, parameter));
}

TFT_Status TFTManagerClass::set_capture_params(std::uint32_t handle, std::vector<ParameterPair>& parameters)
{
    return answered("set_capture_params", forward<&TFTManagerClass::set_capture_params>(this, handle, parameters));
}

TFT_Status TFTManagerClass::set_ihm_request(std::uint32_t handle, std::vector<LampRequest>& lamps, TFT_BuzzerMode mode,
                                            std::uint16_t duration, int repeat)
{
    return answered("set_ihm_request", forward<&TFTManagerClass::set_ihm_request>(this, handle, lamps, mode, duration, repeat));
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
    return answered("start_asynchronous_capture", forward<&TFTManagerClass::start_asynchronous_capture>(this, handle, &captured, static_cast<void*>(capture)));
}

TFT_Status TFTManagerClass::stop_asynchronous_capture(std::uint32_t handle)
{
    return answered("stop_asynchronous_capture", forward<&TFTManagerClass::stop_asynchronous_capture>(this, handle));
}

TFT_Status TFTManagerClass::read_fpn_data(std::uint32_t handle, TftParameter which, TFT_ImageClass& image)
{
    const char* name = which == SLAP_IMAGE_BLACK ? "black" : which == SLAP_IMAGE_WHITE ? "white" : nullptr;
    const TFT_Status status = answered(name == nullptr         ? "read_fpn_data"
                                       : which == SLAP_IMAGE_BLACK ? "read_fpn_data_black"
                                                                   : "read_fpn_data_white",
                                       forward<&TFTManagerClass::read_fpn_data>(this, handle, which, image));
    if (status == TFT_ERR_OK && name != nullptr && image.get_image_data_pointer() != nullptr)
        observe([&](Session& s) {
            s.calibration(handle, name, image.get_image_data_pointer(), image.get_image_stride(),
                          image.get_image_height());
        });
    return status;
}

} // namespace Celdra::TFTManager
