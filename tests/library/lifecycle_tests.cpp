// SPDX-License-Identifier: MIT
// Initialise and terminate, the method lock's time limit, and the library's notifications.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "interface/shared_manager.h"
#include "manager/vantorquadrelv3_manager.h"
#include "tests/support/support.h"

namespace {

using nvr::vantorquadrelv3::get_shared_manager;

struct Notification {
    int kind;
    std::string serial_number;
    int state;
};

std::mutex notifications_mutex;
std::vector<Notification> first_notifications, second_notifications;

void record_first(int32_t kind, const char* serial_number, int32_t state)
{
    std::lock_guard<std::mutex> guard(notifications_mutex);
    first_notifications.push_back({kind, serial_number, state});
}

void record_second(int32_t kind, const char* serial_number, int32_t state)
{
    std::lock_guard<std::mutex> guard(notifications_mutex);
    second_notifications.push_back({kind, serial_number, state});
}

class Lifecycle : public kova_test::KovaTest {
protected:
    void SetUp() override
    {
        KovaTest::SetUp();
        first_notifications.clear();
        second_notifications.clear();
    }
};

} // namespace

TEST_F(Lifecycle, InitialiseRegistersWithTheLibraryAndTerminateUndoesIt)
{
    ASSERT_EQ(initialize(3, 0, record_first), KOVA_OK);
    EXPECT_EQ(vqsim_call_count("initialize"), 1u);
    EXPECT_EQ(vqsim_call_count("register_logger_callback"), 1u);
    EXPECT_EQ(vqsim_call_count("register_notification_callback"), 1u);
    EXPECT_EQ(log_bytes(), "") << "a successful initialise writes no line";

    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    for (const char* call : {"close_all_sensor", "unregister_logger_callback", "unregister_notification_callback",
                             "uninitialize", "destroy_instance"})
        EXPECT_EQ(vqsim_call_count(call), 1u) << call;
    vqsim_usb_event("QV3-1", 1, 1); // nothing registered any more
    EXPECT_TRUE(first_notifications.empty());

    EXPECT_EQ(KovaTerminate(), KOVA_NOT_INITIALIZED);
    EXPECT_NE(log_texts().find("terminate:    Error=9101: Not Initialized\r\r\n"), std::string::npos);
    EXPECT_EQ(vqsim_call_count("close_all_sensor"), 1u);
}

TEST_F(Lifecycle, ReinitialiseTerminatesFirstAndPutsTheNewSettingsInForce)
{
    ASSERT_EQ(initialize(3, 0, record_first), KOVA_OK);
    std::uint32_t handle = 0;
    ASSERT_EQ(KovaOpenDevice(kova_test::default_sensor, &handle), KOVA_OK);

    ASSERT_EQ(initialize(4, 4096, record_second), KOVA_OK);
    EXPECT_NE(log_texts().find("initialize:    clear current initialized api before the initialize\r\r\n"),
              std::string::npos);
    EXPECT_EQ(vqsim_call_count("close_all_sensor"), 1u);
    EXPECT_EQ(vqsim_call_count("uninitialize"), 1u);
    EXPECT_EQ(vqsim_call_count("initialize"), 2u);
    EXPECT_EQ(vqsim_is_open(kova_test::default_sensor), 0);

    vqsim_power_event("QV3-77", 2, 0);
    EXPECT_TRUE(first_notifications.empty());
    ASSERT_EQ(second_notifications.size(), 1u);
    EXPECT_EQ(second_notifications[0].state, 0);
    auto manager = get_shared_manager();
    EXPECT_EQ(manager->log_level.load(), 4);
    EXPECT_EQ(manager->max_log_size.load(), 4096u);
}

TEST_F(Lifecycle, LevelAndSizeAreNormalised)
{
    auto manager = get_shared_manager();
    const std::pair<unsigned, int> levels[] = {{7, 4}, {0xFFFFFFFFu, 4}, {4, 4}, {3, 3}, {0, 0}};
    for (auto [given, stored] : levels) {
        ASSERT_EQ(initialize(given), KOVA_OK);
        EXPECT_EQ(manager->log_level.load(), stored) << given;
    }
    for (int size : {0, -1, -2147483647 - 1}) {
        ASSERT_EQ(initialize(3, size), KOVA_OK);
        EXPECT_EQ(manager->max_log_size.load(), 52428800u) << size;
    }
    ASSERT_EQ(initialize(3, 2147483647), KOVA_OK);
    EXPECT_EQ(manager->max_log_size.load(), 2147483647u);
}

TEST_F(Lifecycle, FailingLibraryInitialiseLeavesTheManagerUninitialised)
{
    vqsim_fail("initialize", 1, 1);
    EXPECT_EQ(initialize(3, 0, record_first), KOVA_INTERNAL);
    EXPECT_NE(log_texts().find("initialize: TFTManagerClass::initialize failed with Error=1\r\r\n"), std::string::npos);
    EXPECT_EQ(KovaGetVersion(), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(vqsim_call_count("register_logger_callback"), 0u);
    EXPECT_EQ(get_shared_manager()->notification_callback.load(), &record_first);

    vqsim_fail("initialize", 6, 1);
    EXPECT_EQ(initialize(), KOVA_OUT_OF_RESOURCE);
    EXPECT_EQ(initialize(), KOVA_OK);
}

TEST_F(Lifecycle, TerminateLogsLibraryFailuresAndStillFinishes)
{
    ASSERT_EQ(initialize(1), KOVA_OK);
    vqsim_fail("close_all_sensor", 11, 1);
    vqsim_fail("uninitialize", 4, 1);
    EXPECT_EQ(KovaTerminate(), KOVA_OK);
    std::string texts = log_texts();
    EXPECT_NE(texts.find("terminate: close_all_sensor Error=11\r\r\n"), std::string::npos);
    EXPECT_NE(texts.find("terminate: TFTManagerClass::uninitialize failed with Error=4\r\r\n"), std::string::npos);
    EXPECT_EQ(KovaGetVersion(), KOVA_NOT_INITIALIZED);
}

// The one test that waits out the 5000 ms limit.
TEST_F(Lifecycle, LockHeldPastTheLimitGivesInternalAndTerminateClosesTheLog)
{
    ASSERT_EQ(initialize(3), KOVA_OK);
    vqsim_delay("get_sensor_list", 6500);
    std::uint32_t count = 1;
    KovaDeviceEntry entry;
    std::thread holder([&] { EXPECT_EQ(KovaGetDeviceList_N(&count, &entry), KOVA_OK); });
    while (vqsim_call_count("get_sensor_list") == 0) std::this_thread::yield(); // the holder is inside

    EXPECT_EQ(KovaTerminate(), KOVA_INTERNAL);
    std::string before_close = log_texts();
    EXPECT_NE(before_close.find("terminate:    Error=9000: Internal KOVA  \r\r\n"), std::string::npos);
    // The log was closed: the file can be moved away and the next line starts a new one.
    std::rename(log_path().c_str(), (log_path() + ".old").c_str());
    holder.join();
    vqsim_delay("get_sensor_list", 0);
    std::uint32_t handle = 0;
    EXPECT_EQ(KovaOpenDevice("missing", &handle), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_EQ(log_texts(), "open_device TFTManager open_device:    Error=8\r\r\n");
    EXPECT_EQ(KovaGetVersion(), KOVA_OK) << "the refused terminate changed nothing";
}

TEST_F(Lifecycle, NotificationsReachTheApplicationWithTheWholeSerialNumber)
{
    ASSERT_EQ(initialize(1, 0, record_first), KOVA_OK);
    const std::string long_serial = "QV3-" + std::string(250, '7');
    vqsim_usb_event(long_serial.c_str(), 1, 1);
    vqsim_usb_event("QV3-2", 0, 0);
    vqsim_power_event("QV3-3", 2, 1);
    vqsim_power_event("QV3-4", 3, 1);
    vqsim_usb_event(std::string(400, 's').c_str(), 0, 1);
    ASSERT_EQ(first_notifications.size(), 5u);
    EXPECT_EQ(first_notifications[0].serial_number, long_serial);
    EXPECT_EQ(first_notifications[0].state, 0);
    EXPECT_EQ(first_notifications[1].state, 1);
    EXPECT_EQ(first_notifications[2].state, 0);
    EXPECT_EQ(first_notifications[3].state, 1);
    EXPECT_EQ(first_notifications[4].serial_number, std::string(255, 's')) << "cut, but terminated";
    for (const Notification& n : first_notifications) EXPECT_EQ(n.kind, 6);

    std::string texts = log_texts();
    EXPECT_NE(texts.find("usb_device_notify event ,isPlugged =0 ,  serial_number " + long_serial +
                         "  isActivDevice = 1 \r\r\n"),
              std::string::npos);
    EXPECT_NE(texts.find("usb_device_notify event ,isPlugged =1 ,  serial_number QV3-2  isActivDevice = 0 \r\r\n"),
              std::string::npos);
    EXPECT_NE(texts.find("power_notify event ,isAwake =0 ,  serial_number QV3-3  isActivDevice = 1 \r\r\n"),
              std::string::npos);
    EXPECT_NE(texts.find("power_notify event ,isAwake =1 ,  serial_number QV3-4  isActivDevice = 1 \r\r\n"),
              std::string::npos);
}

TEST_F(Lifecycle, NotificationWithoutCallbackStillRaisesTheEvent)
{
    std::uint32_t handle = open_default();
    vqsim_usb_event(kova_test::default_serial, 1, 1);
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE);
    auto manager = get_shared_manager();
    EXPECT_TRUE(manager->device_unplugged.load());
    vqsim_usb_event(kova_test::default_serial, 0, 1);
    EXPECT_FALSE(manager->device_unplugged.load());
    EXPECT_EQ(KovaGetStatus(handle), KOVA_OK);
}

TEST_F(Lifecycle, CallbackMayTerminateFromInsideANotification)
{
    static std::atomic<KovaStatus> inner{0};
    ASSERT_EQ(initialize(3, 0,
                         [](int32_t, const char*, int32_t) { inner = KovaTerminate(); }),
              KOVA_OK);
    vqsim_usb_event("QV3-9", 1, 1);
    EXPECT_EQ(inner.load(), KOVA_OK);
    EXPECT_EQ(KovaGetVersion(), KOVA_NOT_INITIALIZED);
}

TEST_F(Lifecycle, EventsComeInOrderAlsoFromInsideACallbackAndAfterTerminate)
{
    // A notification that raises a further event of its own, delivered before the first returns.
    ASSERT_EQ(initialize(1, 0, [](int32_t, const char*, int32_t) { vqsim_log_text("raised inside"); }), KOVA_OK);
    vqsim_usb_event("QV3-9", 0, 1);
    vqsim_log_text("second");
    ASSERT_EQ(KovaTerminate(), KOVA_OK); // ends the stand-in's event thread
    ASSERT_EQ(initialize(1), KOVA_OK);
    vqsim_log_text("after terminate");
    std::string texts = log_texts();
    const std::size_t notified = texts.find("usb_device_notify event ,isPlugged =1"),
                      inside = texts.find("VQUAD Logs : raised inside"), second = texts.find("VQUAD Logs : second"),
                      after = texts.find("VQUAD Logs : after terminate");
    EXPECT_TRUE(notified < inside && inside < second && second < after && after != std::string::npos) << texts;
}
