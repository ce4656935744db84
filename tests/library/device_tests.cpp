// SPDX-License-Identifier: MIT
// Listing, opening, closing and restarting scanners, and the blocking status wait across threads.
#include <cstring>
#include <future>
#include <vector>

#include "interface/shared_manager.h"
#include "manager/vantorquadrelv3_manager.h"
#include "tests/support/support.h"

namespace {

using nvr::vantorquadrelv3::get_shared_manager;

class Devices : public kova_test::KovaTest {
protected:
    std::future<KovaStatus> wait_for_status(std::uint32_t handle)
    {
        return std::async(std::launch::async, [handle] { return KovaGetStatus(handle); });
    }
    std::uint32_t open(const char* sensor_id)
    {
        std::uint32_t handle = 0;
        EXPECT_EQ(KovaOpenDevice(sensor_id, &handle), KOVA_OK) << sensor_id;
        return handle;
    }
    bool logged(const std::string& text) const { return log_texts().find(text) != std::string::npos; }
};

} // namespace

TEST_F(Devices, ListingRefusesMissingBuffersAndZeroCapacity)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    KovaDeviceEntry entry;
    std::uint32_t count = 0;
    EXPECT_EQ(KovaGetDeviceList_N(&count, &entry), KOVA_BAD_PARAMETER);
    EXPECT_TRUE(logged("get_device_list_N:    Error=9109: Error 9109\r\r\n"));
    EXPECT_EQ(KovaGetDeviceList_N(nullptr, &entry), KOVA_BUF_TOO_SMALL);
    count = 1;
    EXPECT_EQ(KovaGetDeviceList_N(&count, nullptr), KOVA_BUF_TOO_SMALL);
    EXPECT_TRUE(logged("get_device_list_N:    Error=9103: Buf Too Small  \r\r\n"));
    EXPECT_EQ(count, 1u);

    char ids[255];
    count = 0;
    EXPECT_EQ(KovaGetDeviceList(&count, ids), KOVA_BAD_PARAMETER);
    EXPECT_TRUE(logged("get_device_list:    Error=9109: Error 9109\r\r\n"));
    EXPECT_EQ(KovaGetDeviceList(&count, nullptr), KOVA_BUF_TOO_SMALL);
    EXPECT_EQ(KovaGetDeviceList(nullptr, ids), KOVA_BUF_TOO_SMALL);
    EXPECT_EQ(vqsim_call_count("get_sensor_list"), 0u);
}

TEST_F(Devices, ListingFillsEntriesInAttachOrderUpToTheCapacity)
{
    const std::string id255(255, 'a'), id300(300, 'b');
    vqsim_add_sensor(id255.c_str(), "QV3-2");
    vqsim_add_sensor(id300.c_str(), "QV3-3");
    vqsim_add_sensor("QV3-0004", "QV3-4");
    ASSERT_EQ(initialize(), KOVA_OK);

    KovaDeviceEntry entries[3];
    std::memset(entries, 0x5A, sizeof entries);
    std::uint32_t count = 3;
    ASSERT_EQ(KovaGetDeviceList_N(&count, entries), KOVA_OK);
    ASSERT_EQ(count, 3u) << "a fourth scanner does not fit";
    EXPECT_EQ(entries[0].device_type, 6u);
    EXPECT_STREQ(entries[0].sensor_id, kova_test::default_sensor);
    EXPECT_EQ(std::string(entries[1].sensor_id, 255), id255);
    EXPECT_EQ(std::string(entries[2].sensor_id, 255), id300.substr(0, 255));
    for (const KovaDeviceEntry& entry : entries) EXPECT_EQ(entry.sensor_id[255], 0x5A) << "byte 255 is the caller's";

    std::vector<char> ids(4 * 255, 'z');
    count = 4;
    ASSERT_EQ(KovaGetDeviceList(&count, ids.data()), KOVA_OK);
    ASSERT_EQ(count, 4u);
    EXPECT_STREQ(ids.data(), kova_test::default_sensor);
    EXPECT_EQ(std::string(ids.data() + 255, 255), id255);
    EXPECT_EQ(std::string(ids.data() + 510, 255), id300.substr(0, 255));
    EXPECT_STREQ(ids.data() + 765, "QV3-0004");
}

TEST_F(Devices, ListingWithoutScannersOrWithAFailingLibrary)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    vqsim_remove_sensor(kova_test::default_sensor);
    KovaDeviceEntry entry;
    std::uint32_t count = 1;
    EXPECT_EQ(KovaGetDeviceList_N(&count, &entry), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(logged("get_device_list_N:   Error=9005: Device Unavail \r\r\n"));
    char ids[255];
    count = 1;
    EXPECT_EQ(KovaGetDeviceList(&count, ids), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_TRUE(logged("get_device_list:   Error=9005: Device Unavail \r\r\n"));

    vqsim_fail("get_sensor_list", 11, 1);
    count = 1;
    EXPECT_EQ(KovaGetDeviceList_N(&count, &entry), KOVA_ASYNC_READ);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(logged("get_device_list_N TFTManager get_sensor_list return :    Error=11\r\r\n"));
}

TEST_F(Devices, ListingAfterTerminate)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    std::uint32_t count = 1;
    char ids[255];
    EXPECT_EQ(KovaGetDeviceList(&count, ids), KOVA_NOT_INITIALIZED);
    EXPECT_FALSE(logged("get_device_list:")) << "the plain form answers without a line";
    KovaDeviceEntry entry;
    EXPECT_EQ(KovaGetDeviceList_N(&count, &entry), KOVA_NOT_INITIALIZED);
    EXPECT_TRUE(logged("get_device_list_N:    Error=9101: Not Initialized\r\r\n"));
}

TEST_F(Devices, OpeningAnswersForDirtyMissingBusyAndBadArguments)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    vqsim_set_dirty(kova_test::default_sensor, 1);
    std::uint32_t handle = 0;
    EXPECT_EQ(KovaOpenDevice_N(kova_test::default_sensor, nullptr, &handle), KOVA_DIRTY_DEVICE);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(vqsim_is_open(kova_test::default_sensor), 1);
    EXPECT_TRUE(logged("open_device TFTManager open_device:    Warning=18\r\r\n"));

    std::uint32_t second = 0xABCD;
    EXPECT_EQ(KovaVantorQuadrelOpenDevice(kova_test::default_sensor, &second), KOVA_BUSY_DEVICE);
    EXPECT_EQ(second, 0xABCDu) << "a refused open leaves the caller's handle";
    EXPECT_TRUE(logged("open_device TFTManager open_device:    Error=2\r\r\n"));
    EXPECT_EQ(KovaOpenDevice("QV3-none", &second), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_EQ(second, 0xABCDu);

    auto opens_before = vqsim_call_count("open_sensor");
    EXPECT_EQ(KovaOpenDevice(nullptr, &second), KOVA_BAD_PARAMETER);
    EXPECT_EQ(KovaOpenDevice_N(kova_test::default_sensor, nullptr, nullptr), KOVA_BAD_PARAMETER);
    EXPECT_TRUE(logged("open_device:    Error=9109: Error 9109\r\r\n"));
    EXPECT_EQ(vqsim_call_count("open_sensor"), opens_before);

    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    EXPECT_EQ(KovaOpenDevice(kova_test::default_sensor, &second), KOVA_NOT_INITIALIZED);
    EXPECT_TRUE(logged("open_device:    Error=9101: Not Initialized\r\r\n"));
}

TEST_F(Devices, CloseAndResetForwardToTheLibrary)
{
    std::uint32_t handle = open_default();
    EXPECT_EQ(KovaBusReset_N(handle), KOVA_OK);
    EXPECT_EQ(vqsim_call_count("usbReboot"), 1u);
    EXPECT_EQ(KovaCloseDevice_N(handle), KOVA_OK);
    EXPECT_EQ(vqsim_is_open(kova_test::default_sensor), 0);
    EXPECT_TRUE(logged("close_device TFTManager close_sensor:    successfully\r\r\n"));

    EXPECT_EQ(KovaCloseDevice_N(handle), KOVA_BAD_PARAMETER);
    EXPECT_TRUE(logged("close_device TFTManager close_sensor:    Error=5\r\r\n"));
    EXPECT_EQ(KovaBusReset_N(handle), KOVA_BAD_PARAMETER);
    EXPECT_TRUE(logged("reset_device TFTManager usbReboot:    Error=5\r\r\n"));

    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    EXPECT_EQ(KovaCloseDevice_N(handle), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(KovaBusReset_N(handle), KOVA_NOT_INITIALIZED);
    EXPECT_TRUE(logged("close_device:    Error=9101: Not Initialized\r\r\n"));
    EXPECT_TRUE(logged("reset_device:    Error=9101: Not Initialized\r\r\n"));
}

TEST_F(Devices, StatusRefusesBeforeInitialiseAndForAnUnknownHandle)
{
    EXPECT_EQ(KovaGetStatus(1), KOVA_NOT_INITIALIZED);
    ASSERT_EQ(initialize(), KOVA_OK);
    EXPECT_EQ(KovaGetStatus(12345), KOVA_BAD_PARAMETER);
    EXPECT_TRUE(logged("get_status TFTManager read_serial_number:    Error=5\r\r\n"));
}

TEST_F(Devices, CloseWakesAWaiterWithNothingToReport)
{
    vqsim_add_sensor("QV3-0002", "QV3-2");
    std::uint32_t watched = open_default();
    std::uint32_t other = open("QV3-0002");
    auto waiter = wait_for_status(watched);
    ASSERT_EQ(KovaCloseDevice_N(other), KOVA_OK);
    EXPECT_EQ(waiter.get(), KOVA_OK);
}

TEST_F(Devices, UnplugIsReportedUntilAPlugEventOrAnOpen)
{
    std::uint32_t handle = open_default();
    vqsim_usb_event(kova_test::default_serial, 1, 1);
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_TRUE(logged("get_status:    Error=9005: Device Unavail \r\r\n"));

    auto waiter = wait_for_status(handle);
    vqsim_power_event(kova_test::default_serial, 3, 1); // any other event: still unplugged
    EXPECT_EQ(waiter.get(), KOVA_DEVICE_UNAVAILABLE);

    waiter = wait_for_status(handle);
    vqsim_usb_event(kova_test::default_serial, 0, 1);
    EXPECT_EQ(waiter.get(), KOVA_OK);

    vqsim_power_event(kova_test::default_serial, 2, 1); // asleep
    ASSERT_EQ(KovaCloseDevice_N(handle), KOVA_OK);
    handle = open(kova_test::default_sensor); // a successful open clears the cause
    EXPECT_EQ(KovaGetAndroidStatus(handle, nullptr, 0, nullptr), KOVA_OK);
}

TEST_F(Devices, SeveralEventsBeforeOneWaitGiveOneWakeUp)
{
    vqsim_add_sensor("QV3-0002", "QV3-2");
    std::uint32_t handle = open_default();
    std::uint32_t other = open("QV3-0002");
    vqsim_usb_event(kova_test::default_serial, 1, 1);
    vqsim_usb_event(kova_test::default_serial, 0, 1);
    vqsim_power_event(kova_test::default_serial, 3, 1);
    EXPECT_EQ(KovaGetStatus(handle), KOVA_OK) << "judged by the flags as they stand";
    EXPECT_FALSE(get_shared_manager()->event_pending.load()) << "one wake-up took all three";

    auto waiter = wait_for_status(handle);
    ASSERT_EQ(KovaCloseDevice_N(other), KOVA_OK);
    EXPECT_EQ(waiter.get(), KOVA_OK);
}

TEST_F(Devices, BrokenScannerIsRestartedOnceAndTheNextWaitBlocksAgain)
{
    vqsim_add_sensor("QV3-0002", "QV3-2");
    std::uint32_t handle = open_default();
    std::uint32_t other = open("QV3-0002");
    vqsim_set_frame_interval_us(0);
    vqsim_inject_capture_status(handle, 16);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_EQ(vqsim_call_count("usbReboot_blocking"), 1u);
    EXPECT_TRUE(logged("get_status:    usbReboot_blocking =0 \r\r\n"));
    EXPECT_FALSE(get_shared_manager()->scanner_broken.load());

    auto waiter = wait_for_status(handle);
    ASSERT_EQ(KovaCloseDevice_N(other), KOVA_OK);
    EXPECT_EQ(waiter.get(), KOVA_OK) << "the next wait blocked until the next event";
    EXPECT_EQ(vqsim_call_count("usbReboot_blocking"), 1u);
    EXPECT_EQ(KovaStopVideo(handle), KOVA_OK);
}

TEST_F(Devices, FailedRestartStillAnswersUnavailable)
{
    std::uint32_t handle = open_default();
    vqsim_fail("usbReboot_blocking", 11, 1);
    vqsim_inject_capture_status(handle, 16);
    vqsim_set_frame_interval_us(0);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_TRUE(logged("get_status:    usbReboot_blocking =11 \r\r\n"));
    EXPECT_FALSE(get_shared_manager()->scanner_broken.load());
}

TEST_F(Devices, TerminateWakesAWaiterAndLeavesNoEventForTheNextSession)
{
    std::uint32_t handle = open_default();
    // The scanner stays open in the device library through this terminate, so the waiter's own read
    // of the serial number succeeds whenever it comes: only the terminate itself can release it.
    vqsim_fail("close_all_sensor", 1, 1);
    vqsim_fail("uninitialize", 1, 1);
    auto waiter = wait_for_status(handle);
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    EXPECT_EQ(waiter.get(), KOVA_NOT_INITIALIZED);

    ASSERT_EQ(initialize(), KOVA_OK);
    ASSERT_EQ(KovaOpenDevice(kova_test::default_sensor, &handle), KOVA_BUSY_DEVICE); // still open: same handle
    EXPECT_FALSE(get_shared_manager()->event_pending.load());
    waiter = wait_for_status(handle);
    vqsim_usb_event(kova_test::default_serial, 1, 1);
    EXPECT_EQ(waiter.get(), KOVA_DEVICE_UNAVAILABLE);
}
