// SPDX-License-Identifier: MIT
// Failures below the interface: whichever allocation fails inside an operation, the call answers
// 9001, throws nothing out and leaves no lock held.
#include "tests/support/support.h"

#include <atomic>
#include <cstdlib>
#include <functional>
#include <future>
#include <new>
#include <stdexcept>
#include <thread>

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The k-th allocation from arming fails, in the whole process where the platform lets a program
// replace operator new for its libraries too.
static std::atomic<int> fail_countdown{0};

void* operator new(std::size_t size)
{
    if (fail_countdown.load(std::memory_order_relaxed) > 0 && fail_countdown.fetch_sub(1) == 1) throw std::bad_alloc();
    if (void* block = std::malloc(size != 0 ? size : 1)) return block;
    throw std::bad_alloc();
}
// The replacement pair allocates with malloc, so it frees with free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop

namespace {

KovaStatus list_devices()
{
    std::uint32_t count = 4;
    KovaDeviceEntry entries[4];
    return KovaGetDeviceList_N(&count, entries);
}

class NoThrow : public kova_test::KovaTest {};

TEST_F(NoThrow, EveryFailedAllocationInsideAnOperationAnswers9001AndFreesTheLock)
{
    ASSERT_EQ(initialize(0), KOVA_OK);
    std::uint32_t handle = 0;
    ASSERT_EQ(KovaOpenDevice(kova_test::default_sensor, &handle), KOVA_OK);
    KovaDeviceInfo info;
    KovaCapabilities caps;
    std::uint32_t value = 0;
    DevUIRecord lamps{};
    lamps.zone_word[0] = 0x3;
    const std::pair<const char*, std::function<KovaStatus()>> calls[] = {
        {"KovaGetDeviceList_N", list_devices},
        {"KovaOpenDevice", [] { std::uint32_t h = 0; return KovaOpenDevice("QV3-0002", &h); }},
        // An id too long to be kept without an allocation.
        {"KovaOpenDevice (long id)", [] { std::uint32_t h = 0; return KovaOpenDevice("QV3-0002 of the second desk", &h); }},
        {"KovaVantorGetDeviceInfo", [&] { return KovaVantorGetDeviceInfo(handle, &info); }},
        {"KovaVantorMGGetDeviceInfo", [&] { return KovaVantorMGGetDeviceInfo(kova_test::default_sensor, nullptr, &info); }},
        {"KovaVantorGetCapabilities", [&] { return KovaVantorGetCapabilities(handle, 1, &caps); }},
        {"KovaVantorQuadrelGetParameters", [&] { return KovaVantorQuadrelGetParameters(handle, 2, &value); }},
        {"KovaVantorQuadrelSetParameters", [&] { return KovaVantorQuadrelSetParameters(handle, 2, 20); }},
        {"KovaVantorSetDevUI", [&] { lamps.zone_word[0] ^= 0x1; return KovaVantorSetDevUI(handle, &lamps); }},
        {"KovaVantorSetBuzzer", [&] { return KovaVantorSetBuzzer(handle, 1); }},
        {"KovaVantorStartVideo", [&] {
             KovaStatus status = KovaVantorStartVideo(handle);
             // The stop's allocations are not the start's: they neither fail nor count.
             const int left = fail_countdown.exchange(0);
             KovaStopVideo(handle);
             fail_countdown = left;
             return status;
         }},
    };
    ASSERT_EQ(vqsim_add_sensor("QV3-0002", "QV3-5A1C0043"), 0);
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        for (int failing = 1; failing < 60; ++failing) {
            fail_countdown = failing;
            const KovaStatus status = call();
            const bool failed = fail_countdown.exchange(0) == 0;
            if (!failed) break; // the call needs fewer allocations: every one of them has failed once
            EXPECT_EQ(status, KOVA_OUT_OF_RESOURCE) << "allocation " << failing;
            // Another thread gets the method lock at once: nothing was left locked.
            EXPECT_EQ(std::async(std::launch::async, list_devices).get(), KOVA_OK) << "allocation " << failing;
            // Undo what a call that got through may have left (a second open device).
            std::uint32_t second = 0;
            if (KovaOpenDevice("QV3-0002", &second) == KOVA_BUSY_DEVICE) KovaCloseDevice_N(second);
        }
    }
}

} // namespace
#endif

namespace {

// An application's callbacks that throw: nothing of it unwinds into the device library's threads.
struct Thrown {
    std::atomic<int> images{0}, notifications{0};
};
Thrown thrown;

void throwing_capture(unsigned char*, void*)
{
    thrown.images.fetch_add(1);
    throw std::runtime_error("from the capture callback");
}

void throwing_notification(int32_t, const char*, int32_t)
{
    thrown.notifications.fetch_add(1);
    throw std::runtime_error("from the notification callback");
}

class Callbacks : public kova_test::KovaTest {};

TEST_F(Callbacks, ExceptionsOfTheApplicationsCallbacksStopAtTheLibrary)
{
    ASSERT_EQ(initialize(3, 0, throwing_notification), KOVA_OK);
    std::uint32_t handle = 0;
    ASSERT_EQ(KovaOpenDevice(kova_test::default_sensor, &handle), KOVA_OK);
    vqsim_usb_event(kova_test::default_serial, 1, 1);
    vqsim_power_event(kova_test::default_serial, 2, 1);
    EXPECT_EQ(thrown.notifications.load(), 2);
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE);

    vqsim_set_frame_interval_us(0);
    ASSERT_EQ(KovaRegisterQuadV3CaptureCallback(handle, throwing_capture, nullptr), KOVA_OK);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    while (thrown.images.load() < 3) std::this_thread::yield();
    EXPECT_EQ(KovaStopVideo(handle), KOVA_OK);
    EXPECT_EQ(KovaCloseDevice_N(handle), KOVA_OK);
}

} // namespace
