// The Windows DLL as an application meets it: loaded by name, its functions found by name, the
// status wait only under its decorated name, all of it working against the stand-in.
#include <windows.h>

#include <gtest/gtest.h>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "simulator/vqsim.h"

namespace {

template <class Function>
Function find(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

TEST(Dll, LoadsByNameAndAnswersTheDecoratedStatusWaitThroughTheStandIn)
{
    vqsim_reset();
    ASSERT_EQ(vqsim_add_sensor("QV3-0001", "QV3-5A1C0042"), 0);
    HMODULE dll = ::LoadLibraryA("kovavantorquadrelv3.dll");
    ASSERT_NE(dll, nullptr) << ::GetLastError();

    EXPECT_EQ(find<FARPROC>(dll, "KovaGetAndroidStatus"), nullptr);
    EXPECT_EQ(find<FARPROC>(dll, "_Z20KovaGetAndroidStatusjPvyPy"), nullptr);
    auto android_status = find<KovaGetAndroidStatusFunction>(dll, KOVA_ANDROID_STATUS_EXPORT);
    auto initialize = find<decltype(&KovaInitialize_N)>(dll, "KovaInitialize_N");
    auto open = find<decltype(&KovaOpenDevice)>(dll, "KovaOpenDevice");
    auto close = find<decltype(&KovaCloseDevice_N)>(dll, "KovaCloseDevice_N");
    auto terminate = find<decltype(&KovaTerminate)>(dll, "KovaTerminate");
    ASSERT_TRUE(android_status && initialize && open && close && terminate);

    unsigned long long reserved = 0;
    EXPECT_EQ(android_status(0, nullptr, 0, &reserved), KOVA_NOT_INITIALIZED);
    ASSERT_EQ(initialize(nullptr, 0, 0), KOVA_OK);
    std::uint32_t handle = 0;
    ASSERT_EQ(open("QV3-0001", &handle), KOVA_OK);
    // An unplug event is pending, so the wait answers at once.
    vqsim_usb_event("QV3-5A1C0042", 1, 1);
    EXPECT_EQ(android_status(handle, nullptr, 0, &reserved), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_EQ(close(handle), KOVA_OK);
    EXPECT_EQ(terminate(), KOVA_OK);
    EXPECT_EQ(android_status(handle, nullptr, 0, &reserved), KOVA_NOT_INITIALIZED);
    EXPECT_NE(::FreeLibrary(dll), FALSE);
}

} // namespace
