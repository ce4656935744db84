// SPDX-License-Identifier: MIT
// The Windows DLL as an application meets it: loaded by name, its functions found by name, the
// status wait only under its decorated name, all of it working against the stand-in.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

// A string of the module's version resource, as Windows shows it in the file's properties.
std::string version_string(const char* module, const char* name)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(module, &ignored);
    if (size == 0) return "(no version resource)";
    std::vector<char> data(size);
    if (!::GetFileVersionInfoA(module, 0, size, data.data())) return "(unreadable)";
    void* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueA(data.data(), path.c_str(), &value, &length) || length == 0) return "(missing)";
    return static_cast<const char*>(value);
}

// The binary version an installer compares: major.minor in the high word pair, patch.build below.
std::pair<DWORD, DWORD> fixed_version(const char* module, bool product)
{
    DWORD ignored = 0;
    std::vector<char> data(::GetFileVersionInfoSizeA(module, &ignored));
    void* value = nullptr;
    UINT length = 0;
    if (data.empty() || !::GetFileVersionInfoA(module, 0, static_cast<DWORD>(data.size()), data.data()) ||
        !::VerQueryValueA(data.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
        return {0, 0};
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    return product ? std::make_pair(info->dwProductVersionMS, info->dwProductVersionLS)
                   : std::make_pair(info->dwFileVersionMS, info->dwFileVersionLS);
}

TEST(Dll, VersionResourcesNameTheVersionAndTheStandInSaysWhatItIs)
{
    const std::string version = KOVA_VERSION_STRING "." + std::to_string(KOVA_BUILD_NUMBER);
    const std::pair<DWORD, DWORD> fixed{(KOVA_VERSION_MAJOR << 16) | KOVA_VERSION_MINOR,
                                        (KOVA_VERSION_PATCH << 16) | KOVA_BUILD_NUMBER};
    for (const char* module : {"kovavantorquadrelv3.dll", "VQUAD.dll"}) {
        SCOPED_TRACE(module);
        EXPECT_EQ(version_string(module, "FileVersion"), version);
        EXPECT_EQ(version_string(module, "ProductVersion"), version);
        EXPECT_EQ(fixed_version(module, false), fixed);
        EXPECT_EQ(fixed_version(module, true), fixed);
        EXPECT_NE(version_string(module, "ProductName").find("kovavantorquadrelv3"), std::string::npos);
        EXPECT_NE(version_string(module, "LegalCopyright").find("Copyright"), std::string::npos);
        EXPECT_EQ(version_string(module, "OriginalFilename"), module);
    }
    EXPECT_EQ(version_string("kovavantorquadrelv3.dll", "FileDescription").find("tand-in"), std::string::npos);
    EXPECT_NE(version_string("VQUAD.dll", "FileDescription").find("Stand-in"), std::string::npos);
}

} // namespace
