// SPDX-License-Identifier: MIT
// Device information, capabilities, roll support, port type and capture parameters, through the
// exported functions against the stand-in.
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace {

using kova_test::default_sensor;

// Positions 15 to 21 of the stand-in's third descriptor string, "QUADRELV3-USB3-FW0312-HW0200".
const std::string default_code = "FW0312-";

// A record as the operations leave it: zeroes, maker and model, then whatever else was read.
KovaDeviceInfo record(const std::string& serial_tail = "", const std::string& code = "")
{
    KovaDeviceInfo info = {"CELDRA", "QUADRELV3", {}, {}};
    serial_tail.copy(info.serial_number, sizeof info.serial_number);
    code.copy(info.descriptor_code, sizeof info.descriptor_code);
    return info;
}

template <class Record>
std::string bytes_of(const Record& r) { return std::string(reinterpret_cast<const char*>(&r), sizeof r); }

// A record the operation must overwrite or leave alone.
template <class Record>
Record junk()
{
    Record r;
    std::memset(&r, 0x5A, sizeof r);
    return r;
}

#define EXPECT_RECORD(actual, expected) EXPECT_EQ(bytes_of(actual), bytes_of(expected))

class DeviceInfo : public kova_test::KovaTest {
protected:
    // Log texts written after the mark.
    std::size_t mark() const { return log_bytes().size(); }
    std::string since(std::size_t at) const { return kova_test::strip_prefixes(log_bytes().substr(at)); }

    KovaStatus by_name(KovaDeviceInfo* info, const char* name = default_sensor)
    { return KovaVantorMGGetDeviceInfo(name, nullptr, info); }
};

} // namespace

TEST_F(DeviceInfo, SerialTailAndDescriptorCode)
{
    struct Case { const char *serial, *third; std::string tail, code; };
    const Case cases[] = {{"AB-123", "0123456789ABCDEFGHIJKLMNOP", "123", "FGHIJKL"},
                          {"ABC-", "0123456789ABCDEFGH", "", "FGH"},
                          {"QV3-0123456789ABCDEF", "0123456789ABCDE", "0123456789ABCDEF", ""},
                          {"QV3-0123456789ABCDEFGHIJ", "", "0123456789ABCDEF", ""},
                          {"A-B-C", "0123456789ABCDEFGHIJKL", "B-C", "FGHIJKL"}};
    std::uint32_t handle = open_default();
    std::size_t before = mark();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial);
        ASSERT_EQ(vqsim_set_serial_number(default_sensor, c.serial), 0);
        ASSERT_EQ(vqsim_set_descriptor(default_sensor, "a", "b", c.third), 0);
        KovaDeviceInfo info = junk<KovaDeviceInfo>();
        ASSERT_EQ(KovaVantorGetDeviceInfo(handle, &info), KOVA_OK);
        EXPECT_RECORD(info, record(c.tail, c.code));
        info = junk<KovaDeviceInfo>();
        EXPECT_EQ(by_name(&info), KOVA_BUSY_DEVICE) << "the application's own device";
        EXPECT_RECORD(info, record(c.tail, c.code));
    }
    EXPECT_EQ(since(before), "") << "success writes no line";

    // By name, even a failure leaves the application's device open.
    vqsim_fail("read_serial_number", 16, 1);
    KovaDeviceInfo info = junk<KovaDeviceInfo>();
    before = mark();
    EXPECT_EQ(by_name(&info), KOVA_BROKEN_SCANNER);
    EXPECT_RECORD(info, record("", "FGHIJKL"));
    EXPECT_EQ(since(before), "get_device_info_with_dn TFTManager read_serial_number:    Error=16\r\r\n");
    EXPECT_EQ(vqsim_call_count("close_sensor"), 0u);
    EXPECT_EQ(vqsim_is_open(default_sensor), 1);
    EXPECT_EQ(KovaVantorGetDeviceInfo(handle, &info), KOVA_OK) << "the handle still works";

    info = junk<KovaDeviceInfo>();
    EXPECT_EQ(KovaVantorGetDeviceInfo(handle + 1, &info), KOVA_BAD_PARAMETER) << "the device library's judgement";
    EXPECT_RECORD(info, record());
}

// By handle, then by name once closed: what was read before a failure is kept, and by name closes what it opened.
TEST_F(DeviceInfo, FailuresKeepWhatWasRead)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    // failing: the device-library operation made to fail with status, or null.
    struct Case { const char *serial, *failing; int status; KovaStatus result; KovaDeviceInfo expected; };
    const Case cases[] = {
        {kova_test::default_serial, nullptr, 0, KOVA_OK, record("5A1C0042", default_code)},
        {kova_test::default_serial, "get_device_descriptor", 11, KOVA_ASYNC_READ, record()},
        {kova_test::default_serial, "read_serial_number", 10, KOVA_NOT_SUPPORTED, record("", default_code)},
        {"QV35A1C0042", nullptr, 0, KOVA_INTERNAL, record("", default_code)},
        {"", nullptr, 0, KOVA_INTERNAL, record("", default_code)},
    };
    const std::string no_dash =
        "get_device_info_with_dn: Serial number don't contain '-'    Error=9000: Internal KOVA  \r\r\n";
    for (const Case& c : cases) {
        ASSERT_EQ(vqsim_set_serial_number(default_sensor, c.serial), 0);
        std::uint32_t handle = 0;
        ASSERT_EQ(KovaOpenDevice(default_sensor, &handle), KOVA_OK) << "nothing was left open";
        const std::uint64_t closes = vqsim_call_count("close_sensor");
        for (const std::string op : {"get_device_info", "get_device_info_with_dn"}) {
            SCOPED_TRACE(op + " " + c.serial + " " + (c.failing ? c.failing : ""));
            const bool by_handle = op == "get_device_info";
            if (c.failing) vqsim_fail(c.failing, c.status, 1);
            KovaDeviceInfo info = junk<KovaDeviceInfo>();
            std::size_t before = mark();
            EXPECT_EQ(by_handle ? KovaVantorGetDeviceInfo(handle, &info) : by_name(&info), c.result);
            EXPECT_RECORD(info, c.expected);
            std::string line = by_handle || c.result == KOVA_OK ? "" : no_dash;
            if (c.failing) line = op + " TFTManager " + c.failing + ":    Error=" + std::to_string(c.status) + "\r\r\n";
            EXPECT_EQ(since(before), line);
            if (by_handle) {
                ASSERT_EQ(KovaCloseDevice_N(handle), KOVA_OK);
            }
        }
        EXPECT_EQ(vqsim_is_open(default_sensor), 0);
        EXPECT_EQ(vqsim_call_count("close_sensor"), closes + 2) << "the handle's close, then the by-name one";
    }
}

TEST_F(DeviceInfo, ByNameWhenTheSensorDoesNotOpen)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    struct Case { const char* name; int injected, dirty; KovaStatus result; int logged; };
    const Case cases[] = {{"QV3-9999", 0, 0, KOVA_DEVICE_UNAVAILABLE, 8},
                          {default_sensor, 19, 0, KOVA_BUSY_DEVICE, 19},
                          {default_sensor, 0, 1, KOVA_DIRTY_DEVICE, 18}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        if (c.injected) vqsim_fail("open_sensor", c.injected, 1);
        vqsim_set_dirty(default_sensor, c.dirty);
        KovaDeviceInfo info = junk<KovaDeviceInfo>();
        std::size_t before = mark();
        EXPECT_EQ(by_name(&info, c.name), c.result);
        EXPECT_RECORD(info, record());
        EXPECT_EQ(since(before), "TFTManager open_sensor:    Error=" + std::to_string(c.logged) + "\r\r\n");
        EXPECT_EQ(vqsim_is_open(default_sensor), 0);
    }
    EXPECT_EQ(vqsim_call_count("get_device_descriptor"), 0u);
    // A dirty scanner opens all the same, so it alone is closed again.
    EXPECT_EQ(vqsim_call_count("close_sensor"), 1u);
}

TEST_F(DeviceInfo, Capabilities)
{
    std::uint32_t handle = open_default();
    const KovaCapabilities slap = {{1, 1, 500, 1600, 1500, 800, 750, 0, 0, 0, 0, 0, 0, 0}};
    const KovaCapabilities other = {{1, 1, 500, 3200, 3000, 1600, 1500, 0, 0, 0, 0, 0, 0, 0}};
    const auto untouched = junk<KovaCapabilities>();
    for (std::uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(type);
        const bool skipped = type == 3 || type == 5;
        const std::string line = "get_device_capabilities:    capture type " + std::to_string(type) + "\r\r\n";
        auto caps = untouched;
        std::size_t before = mark();
        ASSERT_EQ(KovaVantorGetCapabilities(handle, type, &caps), KOVA_OK);
        EXPECT_RECORD(caps, skipped ? untouched : type == 0 ? slap : other);
        EXPECT_EQ(since(before), skipped ? line : "");
    }
    EXPECT_EQ(vqsim_call_count("read_pia"), 1u) << "only type 4 asks the device";

    // Type 4 only when block 20 begins with 0x10; anything else is quietly not available.
    const unsigned char other_marker[] = {0x11, 0x10}, marker_only[] = {0x10};
    struct Case { const char* what; const unsigned char* block; unsigned size; bool fails, fills; };
    const Case cases[] = {{"other first byte", other_marker, 2, false, false},
                          {"empty block", nullptr, 0, false, false},
                          {"failed read", marker_only, 1, true, false},
                          {"marker only", marker_only, 1, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(vqsim_set_pia(default_sensor, 20, c.block, c.size), 0);
        if (c.fails) vqsim_fail("read_pia", 1, 1);
        auto caps = untouched;
        std::size_t before = mark();
        EXPECT_EQ(KovaVantorGetCapabilities(handle, 4, &caps), KOVA_OK);
        EXPECT_RECORD(caps, c.fills ? other : untouched);
        EXPECT_EQ(since(before), "");
    }
}

TEST_F(DeviceInfo, PortTypeAndRollSupport)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    std::uint32_t port = 0xFFFFFFFFu;
    std::uint8_t roll = 0;
    std::size_t before = mark();
    EXPECT_EQ(KovaVantorQuadrelGetPortType(77, &port), KOVA_OK);
    EXPECT_EQ(port, 0u);
    EXPECT_EQ(KovaVantorQuadrelIsRollSupported(77, &roll), KOVA_OK);
    EXPECT_EQ(roll, 1u);
    EXPECT_EQ(since(before), "");
}

TEST_F(DeviceInfo, EveryOperationRefusesBeforeInitialisation)
{
    EXPECT_EQ(KovaVantorQuadrelReadFilters(), KOVA_NOT_INITIALIZED);
    ASSERT_EQ(initialize(), KOVA_OK);
    std::size_t before = mark();
    EXPECT_EQ(KovaVantorQuadrelReadFilters(), KOVA_OK);
    EXPECT_EQ(since(before), "") << "the filter answer writes nothing";
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    EXPECT_EQ(KovaVantorQuadrelReadFilters(), KOVA_NOT_INITIALIZED);

    auto info = junk<KovaDeviceInfo>();
    auto caps = junk<KovaCapabilities>();
    std::uint8_t roll = 0x5A;
    std::uint32_t port = 0x5A5A5A5Au, value = 0x5A5A5A5Au;
    before = mark();
    EXPECT_EQ(KovaVantorGetDeviceInfo(1, &info), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(by_name(&info), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(KovaVantorGetCapabilities(1, 4, &caps), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(KovaVantorQuadrelIsRollSupported(1, &roll), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(KovaVantorQuadrelGetPortType(1, &port), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(KovaVantorQuadrelGetParameters(1, 1, &value), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(KovaVantorQuadrelSetParameters(1, 1, 200), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(KovaVantorQuadrelGetPortType(1, nullptr), KOVA_BAD_PARAMETER) << "a null result is refused first";
    EXPECT_RECORD(info, junk<KovaDeviceInfo>());
    EXPECT_RECORD(caps, junk<KovaCapabilities>());
    EXPECT_EQ(roll, 0x5Au);
    EXPECT_EQ(port, 0x5A5A5A5Au);
    EXPECT_EQ(value, 0x5A5A5A5Au);
    std::string lines;
    for (const char* name : {"get_device_info", "get_device_info_with_dn", "get_device_capabilities",
                             "is_roll_supported", "get_port_type", "get_cmd_parameter", "set_cmd_parameter"})
        lines += std::string(name) + ":    Error=9101: Not Initialized\r\r\n";
    EXPECT_EQ(since(before), lines + "get_port_type:    Error=9109: Error 9109\r\r\n");
    for (const char* call : {"open_sensor", "get_device_descriptor", "read_pia", "get_capture_param",
                             "set_capture_params"})
        EXPECT_EQ(vqsim_call_count(call), 0u) << call;
}

TEST_F(DeviceInfo, NullResultsAreRefusedWithoutAskingTheDevice)
{
    std::uint32_t handle = open_default();
    KovaDeviceInfo info;
    std::size_t before = mark();
    EXPECT_EQ(KovaVantorGetDeviceInfo(handle, nullptr), KOVA_BAD_PARAMETER);
    EXPECT_EQ(by_name(nullptr), KOVA_BAD_PARAMETER);
    EXPECT_EQ(by_name(&info, nullptr), KOVA_BAD_PARAMETER);
    EXPECT_EQ(KovaVantorGetCapabilities(handle, 4, nullptr), KOVA_BAD_PARAMETER);
    EXPECT_EQ(KovaVantorGetCapabilities(handle, 3, nullptr), KOVA_BAD_PARAMETER);
    EXPECT_EQ(KovaVantorQuadrelIsRollSupported(handle, nullptr), KOVA_BAD_PARAMETER);
    EXPECT_EQ(KovaVantorQuadrelGetParameters(handle, 1, nullptr), KOVA_BAD_PARAMETER);
    std::string lines;
    for (const char* name : {"get_device_info", "get_device_info_with_dn", "get_device_info_with_dn",
                             "get_device_capabilities", "get_device_capabilities", "is_roll_supported",
                             "get_cmd_parameter"})
        lines += std::string(name) + ":    Error=9109: Error 9109\r\r\n";
    EXPECT_EQ(since(before), lines);
    EXPECT_EQ(vqsim_call_count("open_sensor"), 1u) << "only the application's own open";
    for (const char* call : {"get_device_descriptor", "read_serial_number", "read_pia", "get_capture_param"})
        EXPECT_EQ(vqsim_call_count(call), 0u) << call;
}

TEST_F(DeviceInfo, ParametersGoStraightToTheDevice)
{
    std::uint32_t handle = open_default(), value = 0;
    ASSERT_EQ(KovaVantorQuadrelGetParameters(handle, 1, &value), KOVA_OK);
    EXPECT_EQ(value, 10000u) << "the stand-in's default exposure";

    std::size_t before = mark();
    ASSERT_EQ(KovaVantorQuadrelSetParameters(handle, 2, 40), KOVA_OK);
    ASSERT_EQ(KovaVantorQuadrelGetParameters(handle, 2, &value), KOVA_OK);
    EXPECT_EQ(value, 40u);
    EXPECT_EQ(since(before), "");
    unsigned int sent_handle = 0, count = 0, pairs[4] = {};
    ASSERT_EQ(vqsim_last_capture_params(&sent_handle, pairs, 2, &count), 0);
    EXPECT_EQ(sent_handle, handle);
    EXPECT_EQ(std::vector<unsigned>(pairs, pairs + 2 * count), std::vector<unsigned>({2u, 40u}));

    // Refused writes: one pair each, the identifier zero-extended, nothing kept.
    before = mark();
    EXPECT_EQ(KovaVantorQuadrelSetParameters(handle, 0xFF, 0xFFFFFFFFu), KOVA_BAD_PARAMETER);
    ASSERT_EQ(vqsim_last_capture_params(nullptr, pairs, 2, &count), 0);
    EXPECT_EQ(std::vector<unsigned>(pairs, pairs + 2 * count), std::vector<unsigned>({0xFFu, 0xFFFFFFFFu}));
    EXPECT_EQ(KovaVantorQuadrelSetParameters(handle, 2, 65), KOVA_BAD_PARAMETER) << "out of the gain's range";
    EXPECT_EQ(since(before), "set_cmd_parameter TFTManager set_capture_params:    Error=5\r\r\n"
                             "set_cmd_parameter TFTManager set_capture_params:    Error=5\r\r\n");
    ASSERT_EQ(KovaVantorQuadrelGetParameters(handle, 2, &value), KOVA_OK);
    EXPECT_EQ(value, 40u);
    EXPECT_EQ(vqsim_call_count("set_capture_params"), 3u);

    // A failed read leaves the value, whether the device refuses or fails.
    for (int injected : {0, 10}) {
        SCOPED_TRACE(injected);
        if (injected) vqsim_fail("get_capture_param", injected, 1);
        value = 0x5A5A5A5Au;
        before = mark();
        EXPECT_EQ(KovaVantorQuadrelGetParameters(handle, injected ? 1 : 0xFF, &value),
                  injected ? KOVA_NOT_SUPPORTED : KOVA_BAD_PARAMETER);
        EXPECT_EQ(value, 0x5A5A5A5Au);
        EXPECT_EQ(since(before), "get_cmd_parameter TFTManager get_capture_param:    Error=" +
                                     std::to_string(injected ? 10 : 5) + "\r\r\n");
    }
}
