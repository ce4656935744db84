// Device information, capabilities, roll support, port type and capture parameters, through the
// exported functions against the stand-in.
#include <cstring>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using kova_test::default_sensor;

// "QUADRELV3-USB3-FW0312-HW0200", the stand-in's third descriptor string, at positions 15 to 21.
const std::string default_code = "FW0312-";

// A record as the operations leave it: zeroes, maker and model, then whatever else was read.
KovaDeviceInfo record(const std::string& serial_tail = "", const std::string& code = "")
{
    KovaDeviceInfo info;
    std::memset(&info, 0, sizeof info);
    std::memcpy(info.manufacturer, "CELDRA", 6);
    std::memcpy(info.model, "QUADRELV3", 9);
    std::memcpy(info.serial_number, serial_tail.data(), std::min(serial_tail.size(), sizeof info.serial_number));
    std::memcpy(info.descriptor_code, code.data(), std::min(code.size(), sizeof info.descriptor_code));
    return info;
}

template <class Record>
std::string bytes_of(const Record& r)
{
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

template <class Record>
Record filled(unsigned char byte)
{
    Record r;
    std::memset(&r, byte, sizeof r);
    return r;
}

#define EXPECT_RECORD(actual, expected) EXPECT_EQ(bytes_of(actual), bytes_of(expected))

class DeviceInfo : public kova_test::KovaTest {
protected:
    // Log texts written after the mark.
    std::size_t mark() const { return log_bytes().size(); }
    std::string since(std::size_t at) const { return kova_test::strip_prefixes(log_bytes().substr(at)); }
    bool logged(const std::string& line) const { return log_texts().find(line + "\r\r\n") != std::string::npos; }

    KovaStatus by_name(KovaDeviceInfo* info, const char* name = default_sensor)
    {
        return KovaVantorMGGetDeviceInfo(name, nullptr, info);
    }
};

} // namespace

TEST_F(DeviceInfo, SerialNumberTailAfterTheFirstDash)
{
    struct Case {
        const char* serial;
        std::string tail;
    };
    const Case cases[] = {{"AB-123", "123"},
                          {"A-B-C", "B-C"},
                          {"ABC-", ""},
                          {"QV3-0123456789ABCDEF", "0123456789ABCDEF"},
                          {"QV3-0123456789ABCDEFGHIJ", "0123456789ABCDEF"}};
    std::uint32_t handle = open_default();
    std::size_t before = mark();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial);
        ASSERT_EQ(vqsim_set_serial_number(default_sensor, c.serial), 0);
        KovaDeviceInfo info = filled<KovaDeviceInfo>(0x5A);
        ASSERT_EQ(KovaVantorGetDeviceInfo(handle, &info), KOVA_OK);
        EXPECT_RECORD(info, record(c.tail, default_code));
        info = filled<KovaDeviceInfo>(0x5A);
        ASSERT_EQ(by_name(&info), KOVA_BUSY_DEVICE) << "the application's own device";
        EXPECT_RECORD(info, record(c.tail, default_code));
    }
    EXPECT_EQ(since(before), "") << "success writes no line";

    // A full tail has no terminator: the next byte of the record is the descriptor code's.
    vqsim_set_serial_number(default_sensor, "X-ABCDEFGHIJKLMNOP");
    KovaDeviceInfo info;
    ASSERT_EQ(KovaVantorGetDeviceInfo(handle, &info), KOVA_OK);
    EXPECT_EQ(std::memchr(info.serial_number, 0, sizeof info.serial_number), nullptr);
    EXPECT_EQ(reinterpret_cast<const char*>(&info)[40], 'F');
}

TEST_F(DeviceInfo, SerialNumberWithoutDash)
{
    for (const char* serial : {"QV35A1C0042", ""}) {
        SCOPED_TRACE(serial);
        vqsim_reset();
        vqsim_add_sensor(default_sensor, serial);
        std::uint32_t handle = open_default();
        std::size_t before = mark();
        KovaDeviceInfo info = filled<KovaDeviceInfo>(0x5A);
        EXPECT_EQ(KovaVantorGetDeviceInfo(handle, &info), KOVA_INTERNAL);
        EXPECT_RECORD(info, record("", default_code));
        EXPECT_EQ(since(before), "") << "by handle, no line";

        ASSERT_EQ(KovaCloseDevice_N(handle), KOVA_OK);
        std::uint64_t closes = vqsim_call_count("close_sensor");
        before = mark();
        info = filled<KovaDeviceInfo>(0x5A);
        EXPECT_EQ(by_name(&info), KOVA_INTERNAL);
        EXPECT_RECORD(info, record("", default_code));
        EXPECT_EQ(since(before),
                  "get_device_info_with_dn: Serial number don't contain '-'    Error=9000: Internal KOVA  \r\r\n");
        EXPECT_EQ(vqsim_is_open(default_sensor), 0);
        EXPECT_EQ(vqsim_call_count("close_sensor"), closes + 1);
    }
}

TEST_F(DeviceInfo, DescriptorCodeTakesWhatTheThirdStringHas)
{
    struct Case {
        const char* third;
        std::string code;
    };
    const Case cases[] = {{"0123456789ABCDEFGHIJKLMNOP", "FGHIJKL"},
                          {"0123456789ABCDEFGHIJKL", "FGHIJKL"},
                          {"0123456789ABCDEFGH", "FGH"},
                          {"0123456789ABCDE", ""},
                          {"", ""}};
    std::uint32_t handle = open_default();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.third);
        ASSERT_EQ(vqsim_set_descriptor(default_sensor, "a", "b", c.third), 0);
        KovaDeviceInfo info = filled<KovaDeviceInfo>(0x5A);
        ASSERT_EQ(KovaVantorGetDeviceInfo(handle, &info), KOVA_OK);
        EXPECT_RECORD(info, record("5A1C0042", c.code));
    }
}

TEST_F(DeviceInfo, ByNameForAnOpenDeviceLeavesItOpen)
{
    std::uint32_t handle = open_default();
    KovaDeviceInfo info = filled<KovaDeviceInfo>(0x5A);
    EXPECT_EQ(by_name(&info), KOVA_BUSY_DEVICE);
    EXPECT_RECORD(info, record("5A1C0042", default_code));

    // A failure on the application's device does not close it either.
    vqsim_fail("read_serial_number", 16, 1);
    info = filled<KovaDeviceInfo>(0x5A);
    EXPECT_EQ(by_name(&info), KOVA_BROKEN_SCANNER);
    EXPECT_RECORD(info, record("", default_code));
    EXPECT_TRUE(logged("get_device_info_with_dn TFTManager read_serial_number:    Error=16"));

    EXPECT_EQ(vqsim_call_count("close_sensor"), 0u);
    EXPECT_EQ(vqsim_is_open(default_sensor), 1);
    EXPECT_EQ(KovaVantorGetDeviceInfo(handle, &info), KOVA_OK) << "the handle still works";
}

TEST_F(DeviceInfo, ByNameClosesWhatItOpenedOnEveryPath)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    struct Case {
        const char* failing; // device-library operation made to fail, or null
        int status;
        KovaStatus result;
        KovaDeviceInfo expected;
        std::string line;
    };
    const Case cases[] = {
        {nullptr, 0, KOVA_OK, record("5A1C0042", default_code), ""},
        {"get_device_descriptor", 11, KOVA_ASYNC_READ, record(),
         "get_device_info_with_dn TFTManager get_device_descriptor:    Error=11\r\r\n"},
        {"read_serial_number", 7, KOVA_UNPLUGGED, record("", default_code),
         "get_device_info_with_dn TFTManager read_serial_number:    Error=7\r\r\n"},
    };
    std::uint64_t closes = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing ? c.failing : "success");
        if (c.failing) vqsim_fail(c.failing, c.status, 1);
        std::size_t before = mark();
        KovaDeviceInfo info = filled<KovaDeviceInfo>(0x5A);
        EXPECT_EQ(by_name(&info), c.result);
        EXPECT_RECORD(info, c.expected);
        EXPECT_EQ(since(before), c.line);
        EXPECT_EQ(vqsim_is_open(default_sensor), 0);
        EXPECT_EQ(vqsim_call_count("close_sensor"), ++closes);
    }
    std::uint32_t handle = 0;
    EXPECT_EQ(KovaOpenDevice(default_sensor, &handle), KOVA_OK) << "nothing was left open";
}

TEST_F(DeviceInfo, ByNameWhenTheSensorDoesNotOpen)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    KovaDeviceInfo info = filled<KovaDeviceInfo>(0x5A);
    std::size_t before = mark();
    EXPECT_EQ(by_name(&info, "QV3-9999"), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_RECORD(info, record());
    EXPECT_EQ(since(before), "TFTManager open_sensor:    Error=8\r\r\n");

    vqsim_fail("open_sensor", 19, 1);
    before = mark();
    info = filled<KovaDeviceInfo>(0x5A);
    EXPECT_EQ(by_name(&info), KOVA_BUSY_DEVICE);
    EXPECT_RECORD(info, record());
    EXPECT_EQ(since(before), "TFTManager open_sensor:    Error=19\r\r\n");
    EXPECT_EQ(vqsim_call_count("get_device_descriptor"), 0u);
    EXPECT_EQ(vqsim_call_count("close_sensor"), 0u);

    // A dirty scanner opens all the same, so it is closed again.
    vqsim_set_dirty(default_sensor, 1);
    before = mark();
    info = filled<KovaDeviceInfo>(0x5A);
    EXPECT_EQ(by_name(&info), KOVA_DIRTY_DEVICE);
    EXPECT_RECORD(info, record());
    EXPECT_EQ(since(before), "TFTManager open_sensor:    Error=18\r\r\n");
    EXPECT_EQ(vqsim_is_open(default_sensor), 0);
}

TEST_F(DeviceInfo, ByHandleFailuresKeepWhatWasRead)
{
    std::uint32_t handle = open_default();
    vqsim_fail("get_device_descriptor", 1, 1);
    KovaDeviceInfo info = filled<KovaDeviceInfo>(0x5A);
    std::size_t before = mark();
    EXPECT_EQ(KovaVantorGetDeviceInfo(handle, &info), KOVA_INTERNAL);
    EXPECT_RECORD(info, record());
    EXPECT_EQ(since(before), "get_device_info TFTManager get_device_descriptor:    Error=1\r\r\n");

    vqsim_fail("read_serial_number", 10, 1);
    info = filled<KovaDeviceInfo>(0x5A);
    before = mark();
    EXPECT_EQ(KovaVantorGetDeviceInfo(handle, &info), KOVA_NOT_SUPPORTED);
    EXPECT_RECORD(info, record("", default_code));
    EXPECT_EQ(since(before), "get_device_info TFTManager read_serial_number:    Error=10\r\r\n");

    // A handle the device library does not know is its to judge.
    info = filled<KovaDeviceInfo>(0x5A);
    EXPECT_EQ(KovaVantorGetDeviceInfo(handle + 1, &info), KOVA_BAD_PARAMETER);
    EXPECT_RECORD(info, record());
}

TEST_F(DeviceInfo, CapabilityColumns)
{
    std::uint32_t handle = open_default();
    const KovaCapabilities slap = {{1, 1, 500, 1600, 1500, 800, 750, 0, 0, 0, 0, 0, 0, 0}};
    const KovaCapabilities other = {{1, 1, 500, 3200, 3000, 1600, 1500, 0, 0, 0, 0, 0, 0, 0}};
    for (std::uint32_t type : {0u, 1u, 2u, 4u, 6u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(type);
        auto caps = filled<KovaCapabilities>(0x5A);
        ASSERT_EQ(KovaVantorGetCapabilities(handle, type, &caps), KOVA_OK);
        EXPECT_RECORD(caps, type == 0 ? slap : other);
    }
    EXPECT_EQ(vqsim_call_count("read_pia"), 1u) << "only type 4 asks the device";
}

TEST_F(DeviceInfo, CaptureTypesThatLeaveTheRecordUntouched)
{
    std::uint32_t handle = open_default();
    const auto untouched = filled<KovaCapabilities>(0x5A);
    for (std::uint32_t type : {3u, 5u}) {
        auto caps = untouched;
        std::size_t before = mark();
        EXPECT_EQ(KovaVantorGetCapabilities(handle, type, &caps), KOVA_OK);
        EXPECT_RECORD(caps, untouched);
        EXPECT_EQ(since(before), "get_device_capabilities:    capture type " + std::to_string(type) + "\r\r\n");
    }
    EXPECT_EQ(vqsim_call_count("read_pia"), 0u);

    // Type 4 only when block 20 begins with 0x10; anything else is quietly not available.
    const unsigned char other_marker[] = {0x11, 0x10};
    const unsigned char marker_only[] = {0x10};
    struct Case {
        const char* what;
        const unsigned char* block;
        unsigned size;
        bool fails;
        bool fills;
    };
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
        EXPECT_EQ(caps.word[3], c.fills ? 3200u : 0x5A5A5A5Au);
        if (!c.fills) {
            EXPECT_RECORD(caps, untouched);
        }
        EXPECT_EQ(since(before), "");
    }
}

TEST_F(DeviceInfo, PortTypeAndRollSupport)
{
    EXPECT_EQ(KovaVantorQuadrelGetPortType(0, nullptr), KOVA_BAD_PARAMETER) << "before any initialise";
    ASSERT_EQ(initialize(), KOVA_OK);
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    std::size_t before = mark();
    EXPECT_EQ(KovaVantorQuadrelGetPortType(0, nullptr), KOVA_BAD_PARAMETER);
    EXPECT_EQ(since(before), "get_port_type:    Error=9109: Error 9109\r\r\n");

    ASSERT_EQ(initialize(), KOVA_OK);
    std::uint32_t port = 0xFFFFFFFFu;
    std::uint8_t roll = 0;
    before = mark();
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

    vqsim_reset();
    vqsim_add_sensor(default_sensor, kova_test::default_serial);
    const auto info0 = filled<KovaDeviceInfo>(0x5A);
    const auto caps0 = filled<KovaCapabilities>(0x5A);
    auto info = info0;
    auto caps = caps0;
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
    EXPECT_RECORD(info, info0);
    EXPECT_RECORD(caps, caps0);
    EXPECT_EQ(roll, 0x5Au);
    EXPECT_EQ(port, 0x5A5A5A5Au);
    EXPECT_EQ(value, 0x5A5A5A5Au);
    std::string lines;
    for (const char* name : {"get_device_info", "get_device_info_with_dn", "get_device_capabilities",
                             "is_roll_supported", "get_port_type", "get_cmd_parameter", "set_cmd_parameter"})
        lines += std::string(name) + ":    Error=9101: Not Initialized\r\r\n";
    EXPECT_EQ(since(before), lines);
    for (const char* call : {"open_sensor", "get_device_descriptor", "read_pia", "get_capture_param",
                             "set_capture_params"})
        EXPECT_EQ(vqsim_call_count(call), 0u) << call;
}

TEST_F(DeviceInfo, NullResultsAreRefusedWithoutAskingTheDevice)
{
    std::uint32_t handle = open_default();
    KovaDeviceInfo info;
    std::uint64_t opens = vqsim_call_count("open_sensor");
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
    EXPECT_EQ(vqsim_call_count("open_sensor"), opens);
    for (const char* call : {"get_device_descriptor", "read_serial_number", "read_pia", "get_capture_param"})
        EXPECT_EQ(vqsim_call_count(call), 0u) << call;
}

TEST_F(DeviceInfo, ParametersGoStraightToTheDevice)
{
    std::uint32_t handle = open_default();
    std::uint32_t value = 0;
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
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(pairs[0], 2u);
    EXPECT_EQ(pairs[1], 40u);

    // A write the device refuses: one pair, the identifier zero-extended, nothing kept.
    before = mark();
    EXPECT_EQ(KovaVantorQuadrelSetParameters(handle, 0xFF, 0xFFFFFFFFu), KOVA_BAD_PARAMETER);
    ASSERT_EQ(vqsim_last_capture_params(nullptr, pairs, 2, &count), 0);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(pairs[0], 0xFFu);
    EXPECT_EQ(pairs[1], 0xFFFFFFFFu);
    EXPECT_EQ(KovaVantorQuadrelSetParameters(handle, 2, 65), KOVA_BAD_PARAMETER) << "out of the gain's range";
    EXPECT_EQ(since(before), "set_cmd_parameter TFTManager set_capture_params:    Error=5\r\r\n"
                             "set_cmd_parameter TFTManager set_capture_params:    Error=5\r\r\n");
    ASSERT_EQ(KovaVantorQuadrelGetParameters(handle, 2, &value), KOVA_OK);
    EXPECT_EQ(value, 40u);
    EXPECT_EQ(vqsim_call_count("set_capture_params"), 3u);

    vqsim_fail("set_capture_params", 16, 1);
    EXPECT_EQ(KovaVantorQuadrelSetParameters(handle, 3, 20), KOVA_BROKEN_SCANNER);
    EXPECT_TRUE(logged("set_cmd_parameter TFTManager set_capture_params:    Error=16"));
}

TEST_F(DeviceInfo, FailedParameterReadLeavesTheValue)
{
    std::uint32_t handle = open_default();
    struct Case {
        std::uint8_t id;
        int injected; // 0: the device's own answer
        KovaStatus result;
        int logged_status;
    };
    const Case cases[] = {{0xFF, 0, KOVA_BAD_PARAMETER, 5}, {1, 10, KOVA_NOT_SUPPORTED, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged_status);
        if (c.injected) vqsim_fail("get_capture_param", c.injected, 1);
        std::uint32_t value = 0x5A5A5A5Au;
        std::size_t before = mark();
        EXPECT_EQ(KovaVantorQuadrelGetParameters(handle, c.id, &value), c.result);
        EXPECT_EQ(value, 0x5A5A5A5Au);
        EXPECT_EQ(since(before), "get_cmd_parameter TFTManager get_capture_param:    Error=" +
                                     std::to_string(c.logged_status) + "\r\r\n");
    }
}
