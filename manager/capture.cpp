// SPDX-License-Identifier: MIT
// Live capture: start and stop, and the device library's capture callback.
#include "devicelib/tft_status_names.h"
#include "interface/shared_manager.h"
#include "interface/status.h"
#include "logging/log.h"
#include "manager/vantorquadrelv3_manager.h"
#include "platform/compiler.h"

namespace nvr::vantorquadrelv3 {

namespace {

const char* status_name(tft::TFT_Status status)
{
    auto value = static_cast<std::uint32_t>(status);
    return value <= 20 ? tft::tft_status_names[value] : "unknow error";
}

// Everything but a good image: kept out of line so the image path stays short.
KOVA_COLD bool tolerate_or_raise(vantorquadrelv3_manager* manager, tft::TFT_Status status)
{
    if (manager_released()) return false; // a late call while the process exits
    if (manager == nullptr) {
        log_print(2, "CommandCallback has returned a null context\r\n");
        return false;
    }
    switch (status) {
    case tft::TFT_ERR_BROKEN_SCANNER:
        log_print(3, "start_asynchronous_capture are generated an error : TFT_ERR_BROKEN_SCANNER \n");
        manager->scanner_broken.exchange(true);
        manager->raise_event();
        return false;
    case tft::TFT_ERR_TOO_BRIGHT:
        log_print(3, "CommandCallback:    Error=%d is bypassed. Capture goes on\r\n", static_cast<int>(status));
        return true;
    case tft::TFT_ERR_DIRTY_DEVICE:
        log_print(3, "CommandCallback:    The device is Dirty %d. Capture goes on\r\n", static_cast<int>(status));
        return true;
    default:
        log_print(3, "CommandCallback has returned a inexpected status : %s\r\n", status_name(status));
        manager->capture_failed.exchange(true);
        manager->raise_event();
        return false;
    }
}

template <class Call>
KovaStatus forward_capture_call(vantorquadrelv3_manager& manager, const char* name, const char* failure_line,
                                Call call)
{
    return manager.run_operation(name, [&] {
        tft::TFT_Status status = call(*tft::TFTManagerClass::get_instance());
        if (status != tft::TFT_ERR_OK) log_print(3, failure_line, static_cast<int>(status));
        return map_tft_status(status);
    });
}

} // namespace

KovaStatus vantorquadrelv3_manager::start_video(unsigned int handle)
{
    return forward_capture_call(*this, "start_video",
                                "start_video TFTManager start_asynchronous_capture:    Error=%d\r\n",
                                [&](tft::TFTManagerClass& library) {
                                    return library.start_asynchronous_capture(handle, CommandCallback, this);
                                });
}

KovaStatus vantorquadrelv3_manager::stop_video(unsigned int handle)
{
    return forward_capture_call(
        *this, "stop_video", "stop_video TFTManager stop_asynchronous_capture:    Error=%d\r\n",
        [&](tft::TFTManagerClass& library) { return library.stop_asynchronous_capture(handle); });
}

// Runs on the device library's thread for every image. A good image takes no lock,
// allocates nothing and writes no line: one read of the registration and one call. The manager's
// memory outlives it, and its destruction clears the registration, so a late image reaches nobody.
void vantorquadrelv3_manager::CommandCallback(tft::TFT_ImageClass& image, const tft::TFT_ImageInfoStructure*,
                                              tft::TFT_Status status, void* context) noexcept
{
    auto* manager = static_cast<vantorquadrelv3_manager*>(context);
    // Nothing may unwind into the device library's thread (the try costs nothing until something throws).
    try {
        if (KOVA_UNLIKELY(status != tft::TFT_ERR_OK || manager == nullptr)) {
            if (!tolerate_or_raise(manager, status)) return;
        }
        CallbackSlot<QuadV3CaptureCallback>::Pair registered = manager->capture_callback.load();
        if (registered.callback != nullptr) registered.callback(image.get_image_data_pointer(), registered.context);
    } catch (...) {
    }
}

} // namespace nvr::vantorquadrelv3
