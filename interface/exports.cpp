// SPDX-License-Identifier: MIT
// The exported C functions: each obtains the shared manager, holds it for the call and
// returns the operation's status unchanged.
#include <new>
#include <string>

#include "interface/kova_status.h"
#include "interface/kovavantorquadrelv3.h"
#include "interface/shared_manager.h"
#include "manager/vantorquadrelv3_manager.h"

using nvr::vantorquadrelv3::get_shared_manager;
using nvr::vantorquadrelv3::vantorquadrelv3_manager;

namespace {

// Nothing is thrown across the interface: whatever throws below answers as a status, and every
// lock taken on the way is released by the unwinding.
template <class Operation>
KovaStatus with_manager(Operation operation) noexcept
{
    try {
        std::shared_ptr<vantorquadrelv3_manager> manager = get_shared_manager();
        if (!manager) return KOVA_OUT_OF_RESOURCE;
        return operation(*manager);
    } catch (const std::bad_alloc&) {
        return KOVA_OUT_OF_RESOURCE;
    } catch (...) {
        return KOVA_INTERNAL;
    }
}

KovaStatus initialised_check()
{
    return with_manager([](vantorquadrelv3_manager& m) {
        return m.initialized.load() ? KOVA_OK : KOVA_NOT_INITIALIZED;
    });
}

KovaStatus open_any(const char* sensor_id, std::uint32_t* handle)
{
    if (sensor_id == nullptr || handle == nullptr)
        return with_manager([](vantorquadrelv3_manager&) {
            return vantorquadrelv3_manager::refuse("open_device", KOVA_BAD_PARAMETER);
        });
    return with_manager([&](vantorquadrelv3_manager& m) { return m.open_device(std::string(sensor_id), handle); });
}

} // namespace

extern "C" {

KOVA_API KovaStatus KovaInitialize_N(NotificationCallback callback, unsigned int level, int max_size)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.initialize(callback, level, max_size); });
}

KOVA_API KovaStatus KovaTerminate(void)
{
    return with_manager([](vantorquadrelv3_manager& m) { return m.terminate(); });
}

KOVA_API KovaStatus KovaGetVersion(...) { return initialised_check(); }
KOVA_API KovaStatus KovaGetVerInfo(...) { return initialised_check(); }
KOVA_API void KovaBreakEnable(...) {}

KOVA_API KovaStatus KovaGetDeviceList_N(std::uint32_t* count, KovaDeviceEntry* entries)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.get_device_list_N(count, entries); });
}

KOVA_API KovaStatus KovaGetDeviceList(std::uint32_t* count, char* ids)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.get_device_list(count, ids); });
}

KOVA_API KovaStatus KovaOpenDevice_N(const char* sensor_id, void*, std::uint32_t* handle)
{
    return open_any(sensor_id, handle);
}

KOVA_API KovaStatus KovaOpenDevice(const char* sensor_id, std::uint32_t* handle)
{
    return open_any(sensor_id, handle);
}

KOVA_API KovaStatus KovaVantorQuadrelOpenDevice(const char* sensor_id, std::uint32_t* handle)
{
    return open_any(sensor_id, handle);
}

KOVA_API KovaStatus KovaCloseDevice_N(std::uint32_t handle)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.close_device(handle); });
}

KOVA_API KovaStatus KovaBusReset_N(std::uint32_t handle)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.reset_device(handle); });
}

KOVA_API KovaStatus KovaGetStatus(std::uint32_t handle)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.get_status(handle); });
}

KOVA_API KovaStatus KovaVantorStartVideo(unsigned int handle)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.start_video(handle); });
}

KOVA_API KovaStatus KovaStopVideo(unsigned int handle)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.stop_video(handle); });
}

KOVA_API KovaStatus KovaRegisterQuadV3CaptureCallback(unsigned int, QuadV3CaptureCallback callback, void* context)
{
    return with_manager([&](vantorquadrelv3_manager& m) {
        m.capture_callback.store(callback, context);
        return KOVA_OK;
    });
}

KOVA_API KovaStatus KovaUnRegisterQuadV3CaptureCallback(void)
{
    return with_manager([](vantorquadrelv3_manager& m) {
        m.capture_callback.store(nullptr, nullptr);
        return KOVA_OK;
    });
}

KOVA_API KovaStatus KovaVantorSetUICallBack(unsigned int, UICallBack callback, void* context)
{
    return with_manager([&](vantorquadrelv3_manager& m) {
        if (!m.initialized.load()) return KOVA_NOT_INITIALIZED;
        m.ui_callback.store(callback, context);
        return KOVA_OK;
    });
}

KOVA_API KovaStatus KovaVantorGetDeviceInfo(std::uint32_t handle, KovaDeviceInfo* info)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.get_device_info(handle, info); });
}

KOVA_API KovaStatus KovaVantorMGGetDeviceInfo(const char* device_name, void*, KovaDeviceInfo* info)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.get_device_info_with_dn(device_name, info); });
}

KOVA_API KovaStatus KovaVantorGetCapabilities(std::uint32_t handle, std::uint32_t capture_type,
                                              KovaCapabilities* caps)
{
    return with_manager(
        [&](vantorquadrelv3_manager& m) { return m.get_device_capabilities(handle, capture_type, caps); });
}

KOVA_API KovaStatus KovaVantorQuadrelIsRollSupported(std::uint32_t, std::uint8_t* supported)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.is_roll_supported(supported); });
}

KOVA_API KovaStatus KovaVantorQuadrelGetPortType(std::uint32_t, std::uint32_t* port_type)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.get_port_type(port_type); });
}

KOVA_API KovaStatus KovaVantorQuadrelGetParameters(std::uint32_t handle, std::uint8_t parameter_id,
                                                   std::uint32_t* value)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.get_cmd_parameter(handle, parameter_id, value); });
}

KOVA_API KovaStatus KovaVantorQuadrelSetParameters(std::uint32_t handle, std::uint8_t parameter_id,
                                                   std::uint32_t value)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.set_cmd_parameter(handle, parameter_id, value); });
}

KOVA_API KovaStatus KovaVantorQuadrelReadFilters(...) { return initialised_check(); }

KOVA_API KovaStatus KovaVantorGetDevUI(unsigned int, DevUIRecord* record)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.get_device_ui(record); });
}

KOVA_API KovaStatus KovaVantorSetDevUI(unsigned int handle, DevUIRecord* record)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.set_device_ui(handle, record); });
}

KOVA_API KovaStatus KovaVantorSetBuzzer(unsigned int handle, unsigned int pattern)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.set_buzzer(handle, pattern); });
}

KOVA_API KovaStatus KovaVantorQuadrelReadUniformityBuffers(std::uint32_t handle, std::uint16_t** gain_ptr,
                                                           std::uint16_t** offset_ptr)
{
    return with_manager(
        [&](vantorquadrelv3_manager& m) { return m.read_uniformity_buffers(handle, gain_ptr, offset_ptr); });
}

KOVA_API KovaStatus KovaQuadV3FreeUniformityBuffers(std::uint32_t, std::uint16_t** gain_ptr,
                                                    std::uint16_t** offset_ptr)
{
    return with_manager([&](vantorquadrelv3_manager& m) {
        if (!m.initialized.load()) return KOVA_NOT_INITIALIZED;
        vantorquadrelv3_manager::free_uniformity_buffers(gain_ptr, offset_ptr);
        return KOVA_OK;
    });
}

// Kept for older applications: they do nothing, not even create the manager.
#define KOVA_DO_NOTHING(name) \
    KOVA_API KovaStatus name(...) { return KOVA_OK; }
KOVA_DO_NOTHING(KovaBusReset)
KOVA_DO_NOTHING(KovaGetBufSize)
KOVA_DO_NOTHING(KovaGetImage)
KOVA_DO_NOTHING(KovaGetMemory)
KOVA_DO_NOTHING(KovaGetVerInfo_N)
KOVA_DO_NOTHING(KovaGetVersion_N)
KOVA_DO_NOTHING(KovaGetVideoBandPosition)
KOVA_DO_NOTHING(KovaGetVideoResult)
KOVA_DO_NOTHING(KovaInitialization)
KOVA_DO_NOTHING(KovaInitializationVquad)
KOVA_DO_NOTHING(KovaInitialize)
KOVA_DO_NOTHING(KovaVantorCalibrateScanner)
KOVA_DO_NOTHING(KovaVantorDeviceConnected)
KOVA_DO_NOTHING(KovaVantorGetDetectedFingersBox)
KOVA_DO_NOTHING(KovaVantorGetFFDParameters)
KOVA_DO_NOTHING(KovaVantorGetFinalImage)
KOVA_DO_NOTHING(KovaVantorSetFFDParameters)
KOVA_DO_NOTHING(KovaPutBitmap)
KOVA_DO_NOTHING(KovaPutCommand)
KOVA_DO_NOTHING(KovaPutImage)
KOVA_DO_NOTHING(KovaPutMemory)
KOVA_DO_NOTHING(KovaSetTimeouts)
KOVA_DO_NOTHING(KovaSetTimeouts_N)
KOVA_DO_NOTHING(KovaSetVideoBandParams)
KOVA_DO_NOTHING(KovaStartVideo)
KOVA_DO_NOTHING(KovaSubmitVideoRequest)
#undef KOVA_DO_NOTHING

} // extern "C"

KOVA_API KovaStatus KovaGetAndroidStatus(unsigned int handle, void*, unsigned long long, unsigned long long*)
{
    return with_manager([&](vantorquadrelv3_manager& m) { return m.get_status(handle); });
}
