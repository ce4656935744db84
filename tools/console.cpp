// SPDX-License-Identifier: MIT
// The console, and the tool's wording of statuses and fields.
#include <cstring>

#include "kova_tool.h"
#include "platform/platform.h"

namespace kova_tool {

Console console;

Console::Console() : tty_(nvr::vantorquadrelv3::platform::stdout_is_terminal()) {}

std::string describe(KovaStatus status)
{
    std::string text;
    switch (status) {
    case KOVA_OK:
        text = "ok";
        break;
    // The two share one table text; what they mean differs.
    case KOVA_DEVICE_UNAVAILABLE:
        text = "Device Unavail: no usable scanner, or it was unplugged, fell asleep, broke or failed a capture";
        break;
    case KOVA_UNPLUGGED:
        text = "Device Unavail: the scanner of this handle was unplugged; open it again";
        break;
    default: {
        const char* table_text = kova_status_text(status);
        text = table_text != nullptr ? table_text : "no text";
        text.erase(text.find_last_not_of(' ') + 1); // the table pads its texts to 15 characters
        break;
    }
    }
    return std::to_string(static_cast<unsigned long>(status)) + " (" + text + ")";
}

void require(const char* call, KovaStatus status)
{
    if (status != KOVA_OK) throw Failure{std::string(call) + " failed: " + describe(status)};
}

// (memchr, not strnlen: the Windows imports are checked against mingw-w64's list of the Universal
// CRT's exports, which lacks strnlen.)
std::string field(const char* bytes, std::size_t width)
{
    const void* end = std::memchr(bytes, '\0', width);
    return std::string(bytes, end != nullptr ? static_cast<const char*>(end) - bytes : width);
}

bool is_reported_serial(const std::string& notified, const std::string& reported)
{
    const std::size_t dash = notified.find('-');
    if (dash == std::string::npos) return false;
    return notified.compare(dash + 1, sizeof(KovaDeviceInfo::serial_number), reported) == 0;
}

} // namespace kova_tool
