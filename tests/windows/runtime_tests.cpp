// SPDX-License-Identifier: MIT
// The cross-build's static runtime behaves as Microsoft's does: a module's statics, atexit table,
// type_info names and thread_local variables across loads and unloads, a failed attach, and
// exceptions that leave one module for another.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// (Windows' own declaration, which Wine's headers lack.)
extern "C" __declspec(dllimport) BOOL WINAPI GetProcessHandleCount(HANDLE process, PDWORD count);

namespace {

constexpr const char* probe = "runtime_probe.dll";

template <class Function>
Function find(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// What the probe noted while the test ran (KOVA_PROBE_LOG), line by line.
class ProbeLog {
public:
    ProbeLog()
    {
        char folder[MAX_PATH];
        ::GetTempPathA(sizeof folder, folder);
        path_ = std::string(folder) + "kova_runtime_probe_" + std::to_string(::GetCurrentProcessId()) + ".txt";
        std::remove(path_.c_str());
        ::SetEnvironmentVariableA("KOVA_PROBE_LOG", path_.c_str());
    }
    ~ProbeLog()
    {
        ::SetEnvironmentVariableA("KOVA_PROBE_LOG", nullptr);
        std::remove(path_.c_str());
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> read;
        std::ifstream file(path_);
        for (std::string line; std::getline(file, line);) read.push_back(line);
        return read;
    }

private:
    std::string path_;
};

TEST(ModuleRuntime, AFailedAttachDetachesDllMainAndDestroysEachStaticOnce)
{
    ProbeLog log;
    ::SetEnvironmentVariableA("KOVA_PROBE_FAIL_ATTACH", "1");
    HMODULE module = ::LoadLibraryA(probe);
    ::SetEnvironmentVariableA("KOVA_PROBE_FAIL_ATTACH", nullptr);
    EXPECT_EQ(module, nullptr);
    // As Microsoft's dispatch does it: DllMain sees the detach that undoes its failed attach, then
    // the statics go, once, whatever the loader sends afterwards.
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"constructed", "attach refused", "detached", "destroyed"}));
}

TEST(ModuleRuntime, AThousandLoadsAndUnloadsKeepMemoryAndHandles)
{
    // Private bytes and handles after n loads, each naming types (64 in DllMain, one here).
    auto cycle = [](int n) {
        for (int i = 0; i < n; ++i) {
            HMODULE module = ::LoadLibraryA(probe);
            ASSERT_NE(module, nullptr) << ::GetLastError();
            auto name = find<const char* (*)()>(module, "probe_type_name");
            ASSERT_NE(name, nullptr);
            ASSERT_NE(std::string(name()).find("Named<7>"), std::string::npos) << name();
            ASSERT_NE(::FreeLibrary(module), FALSE);
        }
    };
    auto private_bytes = [] {
        PROCESS_MEMORY_COUNTERS counters{}; // PagefileUsage: the private bytes committed
        counters.cb = sizeof counters;
        ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
        return static_cast<long long>(counters.PagefileUsage);
    };
    auto handles = [] {
        DWORD count = 0;
        ::GetProcessHandleCount(::GetCurrentProcess(), &count);
        return static_cast<long long>(count);
    };
    cycle(50); // the loader's and the heap's own first growth
    const long long bytes_before = private_bytes();
    const long long handles_before = handles();
    cycle(1000);
    // 65 names a load would keep some 4 MiB over a thousand loads; the loader's noise is far below.
    EXPECT_LT(private_bytes() - bytes_before, 1 << 20);
    EXPECT_LE(handles() - handles_before, 2);
}

TEST(ModuleRuntime, AnExceptionThrownInAnotherModuleIsCaughtByItsType)
{
    HMODULE module = ::LoadLibraryA(probe);
    ASSERT_NE(module, nullptr);
    auto raise = find<void (*)(const char*)>(module, "probe_throw");
    ASSERT_NE(raise, nullptr);
    std::string caught;
    try {
        raise("thrown in the probe");
    } catch (const std::runtime_error& error) {
        caught = error.what();
    }
    EXPECT_EQ(caught, "thrown in the probe");
    ::FreeLibrary(module);
}

TEST(ModuleRuntime, ThreadLocalsAreInitialisedOnEachThreadAndDestroyedWhenItEnds)
{
    ProbeLog log;
    HMODULE module = ::LoadLibraryA(probe);
    ASSERT_NE(module, nullptr);
    auto state = find<int (*)()>(module, "probe_thread_state");
    ASSERT_NE(state, nullptr);
    auto expected = [] { return static_cast<int>(::GetCurrentThreadId() % 1000) + 1; };
    EXPECT_EQ(state(), expected());
    int on_thread = 0, wanted = -1;
    std::thread([&] {
        on_thread = state();
        wanted = expected();
    }).join();
    EXPECT_EQ(on_thread, wanted);
    auto destroyed = [&] {
        int count = 0;
        for (const std::string& line : log.lines()) count += line == "thread state destroyed";
        return count;
    };
    EXPECT_EQ(destroyed(), 1); // the thread's, when it ended
    ::FreeLibrary(module);
    EXPECT_EQ(destroyed(), 2); // and this thread's, when the module went
}

} // namespace
