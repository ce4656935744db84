// SPDX-License-Identifier: MIT
// The application terminates and initialises again from inside a callback, on each of the stand-in's
// threads that deliver callbacks. A teardown reached from one of those threads must neither join that
// thread nor wait for another one waiting its turn behind it.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "tests/support/support.h"
#if defined(KOVA_TEST_PANEL)
#include "tests/support/panel_client.h"
#endif

namespace {

struct Reentry {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    KovaStatus terminated = 0, initialised = 0;
    std::atomic<bool> armed{false};
};
Reentry reentry;

void reenter_once();

void notified(std::int32_t, const char*, std::int32_t)
{
    reenter_once();
}

void reenter_once()
{
    if (!reentry.armed.exchange(false)) return;
    const KovaStatus terminated = KovaTerminate();
    const KovaStatus initialised = KovaInitialize_N(notified, 3, 0);
    std::lock_guard<std::mutex> guard(reentry.mutex);
    reentry.terminated = terminated;
    reentry.initialised = initialised;
    reentry.done = true;
    reentry.changed.notify_all();
}

class Reentering : public kova_test::KovaTest {
protected:
    void SetUp() override
    {
        KovaTest::SetUp();
        std::lock_guard<std::mutex> guard(reentry.mutex);
        reentry.done = false;
        reentry.terminated = reentry.initialised = 0;
        reentry.armed.store(true);
    }
    void TearDown() override
    {
        reentry.armed.store(false);
        KovaTest::TearDown();
    }

    // A hang here cannot be undone from the test's thread: the watchdog ends the process.
    void expect_reentered(const char* where)
    {
        std::unique_lock<std::mutex> lock(reentry.mutex);
        if (!reentry.changed.wait_for(lock, std::chrono::seconds(60), [] { return reentry.done; })) {
            std::fprintf(stderr, "watchdog: no return from terminate and initialise inside %s\n", where);
            std::fflush(stderr);
            std::abort();
        }
        EXPECT_EQ(reentry.terminated, KOVA_OK) << where;
        EXPECT_EQ(reentry.initialised, KOVA_OK) << where;
        lock.unlock();
        EXPECT_EQ(KovaGetVersion(), KOVA_OK) << where << ": initialised again";
    }
};

TEST_F(Reentering, FromTheCaptureThread)
{
    std::uint32_t handle = open_default();
    ASSERT_EQ(KovaRegisterQuadV3CaptureCallback(handle, [](unsigned char*, void*) { reenter_once(); }, nullptr),
              KOVA_OK);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    expect_reentered("a frame callback");
}

TEST_F(Reentering, FromTheUnplugThreadAlsoWithAnotherUnplugWaitingItsTurn)
{
    ASSERT_EQ(vqsim_add_sensor("QV3-0002", "QV3-5A1C0043"), 0);
    ASSERT_EQ(initialize(3, 0, notified), KOVA_OK);
    // Two unplug threads: one delivers its event, the other's waits behind it.
    ASSERT_EQ(vqsim_unplug(kova_test::default_sensor, 60000), 0);
    ASSERT_EQ(vqsim_unplug("QV3-0002", 60000), 0);
    expect_reentered("an unplug notification");
}

TEST_F(Reentering, FromTheEventThreadAndTheTimeline)
{
    // Timed events go out on the event thread; a timed unplug on an unplug thread of its own.
    ASSERT_EQ(vqsim_add_timeline_event(R"({"event":"sleep","at_ms":0})"), 0);
    ASSERT_EQ(vqsim_add_timeline_event(R"({"event":"unplug","at_ms":0,"replug_after_ms":0})"), 0);
    ASSERT_EQ(initialize(3, 0, notified), KOVA_OK);
    expect_reentered("a timeline's notification");
}

#if defined(KOVA_TEST_PANEL)
TEST_F(Reentering, FromThePanelsActions)
{
    // The panel's buttons: an unplug on a thread of its own, a sleep on the event thread. The
    // terminate inside the callback ends the panel too.
    for (const char* action : {"unplug", "sleep"}) {
        const int port = vqsim_start_panel("127.0.0.1:0");
        ASSERT_GT(port, 0);
        ASSERT_EQ(initialize(3, 0, notified), KOVA_OK);
        httplib::Client client("127.0.0.1", port);
        {
            std::lock_guard<std::mutex> guard(reentry.mutex);
            reentry.done = false;
            reentry.armed.store(true);
        }
        ASSERT_EQ(kova_test::panel_action(client, std::string("sensor=QV3-0001&do=") + action), 204);
        expect_reentered(action);
        ASSERT_EQ(KovaTerminate(), KOVA_OK);
        vqsim_reset();
        vqsim_add_sensor(kova_test::default_sensor, kova_test::default_serial);
    }
}
#endif

} // namespace
