// SPDX-License-Identifier: MIT
// Live capture: delivery of images, capture faults, the registrations, start and stop.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "interface/shared_manager.h"
#include "manager/vantorquadrelv3_manager.h"
#include "tests/support/support.h"

namespace {

using nvr::vantorquadrelv3::get_shared_manager;
using nvr::vantorquadrelv3::vantorquadrelv3_manager;

using Sink = kova_test::FrameSink;

class Capture : public kova_test::KovaTest {
protected:
    void SetUp() override
    {
        KovaTest::SetUp();
        vqsim_set_frame_interval_us(0);
    }
    bool logged(const std::string& text) const { return log_texts().find(text) != std::string::npos; }
    // Runs capture until `frames` callbacks were made, then stops.
    void capture_frames(std::uint32_t handle, unsigned long long frames)
    {
        ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
        while (vqsim_frames_sent(handle) < frames) std::this_thread::yield();
        ASSERT_EQ(KovaStopVideo(handle), KOVA_OK);
    }
    Sink sink_;
};

} // namespace

TEST_F(Capture, GoodImagesReachTheCallbackAndNothingAfterStop)
{
    std::uint32_t handle = open_default();
    ASSERT_EQ(KovaRegisterQuadV3CaptureCallback(handle, Sink::deliver, &sink_), KOVA_OK);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    sink_.wait_for(5);
    ASSERT_EQ(KovaStopVideo(handle), KOVA_OK);
    EXPECT_EQ(sink_.count(), vqsim_frames_sent(handle)) << "every callback finished before stop returned";
    EXPECT_FALSE(sink_.null_pixels);
    EXPECT_EQ(log_texts(), "") << "the good-image path writes no line";
    EXPECT_FALSE(get_shared_manager()->event_pending.load());
}

TEST_F(Capture, DirtyAndTooBrightImagesAreDeliveredWithALine)
{
    std::uint32_t handle = open_default();
    KovaRegisterQuadV3CaptureCallback(handle, Sink::deliver, &sink_);
    vqsim_inject_capture_status(handle, 18);
    vqsim_inject_capture_status(handle, 20);
    capture_frames(handle, 4);
    EXPECT_EQ(sink_.count(), vqsim_frames_sent(handle));
    EXPECT_TRUE(logged("CommandCallback:    The device is Dirty 18. Capture goes on\r\r\n"));
    EXPECT_TRUE(logged("CommandCallback:    Error=20 is bypassed. Capture goes on\r\r\n"));
    EXPECT_FALSE(get_shared_manager()->event_pending.load()) << "tolerated statuses raise no event";
}

TEST_F(Capture, FaultsDropTheImageRaiseTheirFlagAndReachTheStatusWait)
{
    std::uint32_t handle = open_default();
    KovaRegisterQuadV3CaptureCallback(handle, Sink::deliver, &sink_);
    for (int status : {16, 21, -1, 1}) vqsim_inject_capture_status(handle, status);
    capture_frames(handle, 6);
    EXPECT_EQ(sink_.count(), vqsim_frames_sent(handle) - 4);
    std::string texts = log_texts();
    EXPECT_NE(texts.find("start_asynchronous_capture are generated an error : TFT_ERR_BROKEN_SCANNER \r\n"),
              std::string::npos);
    EXPECT_NE(texts.find("CommandCallback has returned a inexpected status : unknow error\r\r\n"), std::string::npos);
    EXPECT_NE(texts.find("CommandCallback has returned a inexpected status : TFT_ERR_FAILED\r\r\n"),
              std::string::npos);
    auto manager = get_shared_manager();
    EXPECT_TRUE(manager->scanner_broken.load());
    EXPECT_TRUE(manager->capture_failed.load());

    // Broken scanner first: restarted; then the capture failure, once, without a line.
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_EQ(vqsim_call_count("usbReboot_blocking"), 1u);
    EXPECT_TRUE(manager->capture_failed.load());
    manager->raise_event();
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_FALSE(manager->capture_failed.load());
    manager->raise_event();
    EXPECT_EQ(KovaGetStatus(handle), KOVA_OK);
}

TEST_F(Capture, OpeningClearsBrokenButNotCaptureFailed)
{
    std::uint32_t handle = open_default();
    vqsim_inject_capture_status(handle, 16);
    vqsim_inject_capture_status(handle, 7);
    capture_frames(handle, 3);
    ASSERT_EQ(KovaCloseDevice_N(handle), KOVA_OK);
    handle = 0;
    ASSERT_EQ(KovaOpenDevice(kova_test::default_sensor, &handle), KOVA_OK);
    auto manager = get_shared_manager();
    EXPECT_FALSE(manager->scanner_broken.load());
    EXPECT_TRUE(manager->capture_failed.load());
}

TEST_F(Capture, NullContextWritesOneLineAndNothingElse)
{
    ASSERT_EQ(initialize(2), KOVA_OK);
    KovaRegisterQuadV3CaptureCallback(0, Sink::deliver, &sink_);
    Celdra::TFTManager::TFT_ImageClass image;
    vantorquadrelv3_manager::CommandCallback(image, nullptr, Celdra::TFTManager::TFT_ERR_BROKEN_SCANNER, nullptr);
    vantorquadrelv3_manager::CommandCallback(image, nullptr, Celdra::TFTManager::TFT_ERR_OK, nullptr);
    EXPECT_EQ(sink_.count(), 0u);
    EXPECT_EQ(log_texts(), "CommandCallback has returned a null context\r\r\n"
                           "CommandCallback has returned a null context\r\r\n");
    auto manager = get_shared_manager();
    EXPECT_FALSE(manager->scanner_broken.load());
    EXPECT_FALSE(manager->event_pending.load());
}

TEST_F(Capture, RegistrationBeforeInitialiseSurvivesTerminate)
{
    EXPECT_EQ(KovaUnRegisterQuadV3CaptureCallback(), KOVA_OK) << "nothing registered yet";
    ASSERT_EQ(KovaRegisterQuadV3CaptureCallback(0, Sink::deliver, &sink_), KOVA_OK);
    std::uint32_t handle = open_default();
    capture_frames(handle, 2);
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    auto before = sink_.count();
    handle = open_default();
    capture_frames(handle, 2);
    EXPECT_GT(sink_.count(), before);

    ASSERT_EQ(KovaUnRegisterQuadV3CaptureCallback(), KOVA_OK);
    before = sink_.count();
    capture_frames(handle, 2); // dropped without a line
    EXPECT_EQ(sink_.count(), before);
    EXPECT_EQ(log_texts(), "");
}

TEST_F(Capture, UserInterfaceRegistrationNeedsAnInitialisedManager)
{
    static int first_calls = 0, second_calls = 0;
    auto first = [](void*) { ++first_calls; };
    auto second = [](void*) { ++second_calls; };
    EXPECT_EQ(KovaVantorSetUICallBack(0, first, nullptr), KOVA_NOT_INITIALIZED);
    std::uint32_t handle = open_default();
    ASSERT_EQ(KovaVantorSetUICallBack(handle, first, nullptr), KOVA_OK);
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    EXPECT_EQ(KovaVantorSetUICallBack(handle, second, nullptr), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(log_texts(), "");
    handle = open_default();
    DevUIRecord record{};
    record.lamp3_word = 1;
    ASSERT_EQ(KovaVantorSetDevUI(handle, &record), KOVA_OK);
    EXPECT_EQ(first_calls, 1) << "the first registration survived terminate";
    EXPECT_EQ(second_calls, 0);
}

TEST_F(Capture, StartAndStopRefusals)
{
    EXPECT_EQ(KovaVantorStartVideo(1), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(KovaStopVideo(1), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(vqsim_call_count("start_asynchronous_capture"), 0u);

    std::uint32_t handle = open_default();
    vqsim_fail("start_asynchronous_capture", 4, 1);
    EXPECT_EQ(KovaVantorStartVideo(handle), KOVA_BAD_STATE);
    EXPECT_EQ(KovaStopVideo(handle), KOVA_BAD_STATE) << "nothing is running";
    EXPECT_EQ(KovaVantorStartVideo(handle + 1000), KOVA_BAD_PARAMETER);
    EXPECT_EQ(log_texts(), "start_video TFTManager start_asynchronous_capture:    Error=4\r\r\n"
                           "stop_video TFTManager stop_asynchronous_capture:    Error=4\r\r\n"
                           "start_video TFTManager start_asynchronous_capture:    Error=5\r\r\n");
}

namespace {

// Two registrations that must never be mixed: each callback checks that it got its own context.
std::atomic<unsigned long long> mixed{0}, calls_a{0}, calls_b{0};
int context_a, context_b;
void callback_a(unsigned char*, void* context)
{
    ++calls_a;
    if (context != &context_a) ++mixed;
}
void callback_b(unsigned char*, void* context)
{
    ++calls_b;
    if (context != &context_b) ++mixed;
}

} // namespace

TEST_F(Capture, RegistrationChangesWhileImagesArriveNeverMixCallbackAndContext)
{
    std::uint32_t handle = open_default();
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    std::thread switcher([] {
        for (int i = 0; i < 20000; ++i) {
            KovaRegisterQuadV3CaptureCallback(0, callback_a, &context_a);
            KovaRegisterQuadV3CaptureCallback(0, callback_b, &context_b);
            KovaUnRegisterQuadV3CaptureCallback();
        }
        KovaRegisterQuadV3CaptureCallback(0, callback_a, &context_a);
    });
    switcher.join();
    auto sent = vqsim_frames_sent(handle);
    while (vqsim_frames_sent(handle) < sent + 3) std::this_thread::yield();
    ASSERT_EQ(KovaStopVideo(handle), KOVA_OK);
    EXPECT_EQ(mixed.load(), 0u);
    EXPECT_GT(calls_a.load(), 0u);
}

TEST_F(Capture, UnregisterFromInsideTheCallbackAndStopFromAnotherThread)
{
    static std::atomic<int> deliveries{0};
    std::uint32_t handle = open_default();
    KovaRegisterQuadV3CaptureCallback(0, [](unsigned char*, void*) {
        ++deliveries;
        KovaUnRegisterQuadV3CaptureCallback();
    }, nullptr);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    while (vqsim_frames_sent(handle) < 5) std::this_thread::yield();
    std::thread stopper([handle] { EXPECT_EQ(KovaStopVideo(handle), KOVA_OK); });
    stopper.join();
    EXPECT_EQ(deliveries.load(), 1);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK) << "capture can start again";
    ASSERT_EQ(KovaStopVideo(handle), KOVA_OK);
}

TEST_F(Capture, StopFromInsideTheCallbackDoesNotDeadlock)
{
    static std::atomic<KovaStatus> stop_result{1};
    static std::uint32_t handle;
    handle = open_default();
    KovaRegisterQuadV3CaptureCallback(0, [](unsigned char*, void*) {
        KovaStatus expected = 1;
        stop_result.compare_exchange_strong(expected, KovaStopVideo(handle));
    }, nullptr);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    while (stop_result.load() == 1) std::this_thread::yield();
    EXPECT_EQ(stop_result.load(), KOVA_OK);
    EXPECT_EQ(KovaCloseDevice_N(handle), KOVA_OK);
}

// Holds the capture thread inside the callback until opened, so that a stop is still waiting for it
// when the scanner is unplugged.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;

    static void hold(unsigned char*, void* context)
    {
        auto* gate = static_cast<Gate*>(context);
        std::unique_lock<std::mutex> lock(gate->mutex);
        gate->entered = true;
        gate->changed.notify_all();
        gate->changed.wait(lock, [&] { return gate->open; });
    }
    void wait_entered()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return entered; });
    }
    void release()
    {
        std::lock_guard<std::mutex> guard(mutex);
        open = true;
        changed.notify_all();
    }
};

TEST_F(Capture, UnplugRacingStopAndStartLeavesNoThreadWaiting)
{
    ASSERT_EQ(initialize(0), KOVA_OK);
    auto expected = [](KovaStatus status) {
        return status == KOVA_OK || status == KOVA_BAD_STATE || status == KOVA_UNPLUGGED;
    };
    for (int round = 0; round < 60; ++round) {
        // Every third round the unplug comes while a stop waits for a callback in flight.
        const bool held = round % 3 == 0;
        Gate gate;
        ASSERT_EQ(KovaRegisterQuadV3CaptureCallback(0, held ? Gate::hold : Sink::deliver,
                                                    held ? static_cast<void*>(&gate) : &sink_),
                  KOVA_OK);
        std::uint32_t handle = 0;
        ASSERT_EQ(KovaOpenDevice(kova_test::default_sensor, &handle), KOVA_OK);
        ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
        if (held) gate.wait_entered();
        const auto stops = vqsim_call_count("stop_asynchronous_capture");
        std::thread application([&] {
            for (int i = 0; i < 3; ++i) {
                EXPECT_PRED1(expected, KovaStopVideo(handle));
                EXPECT_PRED1(expected, KovaVantorStartVideo(handle));
            }
        });
        std::thread unplug([&] {
            if (held) {
                while (vqsim_call_count("stop_asynchronous_capture") == stops) std::this_thread::yield();
                std::this_thread::sleep_for(std::chrono::milliseconds(10)); // into its wait, most likely
            }
            EXPECT_EQ(vqsim_remove_sensor(kova_test::default_sensor), 0);
        });
        if (held) {
            while (vqsim_call_count("stop_asynchronous_capture") == stops) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            gate.release();
        }
        unplug.join();
        application.join();
        EXPECT_EQ(KovaStopVideo(handle), KOVA_UNPLUGGED);
        EXPECT_EQ(KovaCloseDevice_N(handle), KOVA_UNPLUGGED);
        ASSERT_EQ(vqsim_add_sensor(kova_test::default_sensor, kova_test::default_serial), 0);
    }
}
