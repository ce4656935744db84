// SPDX-License-Identifier: MIT
// A DLL that exercises what the static runtime gives every module: its static objects' construction
// and destruction around DllMain, type_info names, thread_local variables with a dynamic
// initialiser and a destructor, and an exception that leaves the module.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <typeinfo>
#include <utility>

namespace {

// One line into the file KOVA_PROBE_LOG names, so the test can read what the module did after it
// is gone.
void note(const char* line)
{
    char path[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableA("KOVA_PROBE_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr) return;
    std::fprintf(file, "%s\n", line);
    std::fclose(file);
}

struct Static {
    Static() { note("constructed"); }
    ~Static() { note("destroyed"); }
} static_object;

} // namespace

// (Outside the anonymous namespace, whose decoration Wine's undecorator does not take.)
namespace probe {
template <int N>
struct Named {};
} // namespace probe
using probe::Named;

namespace {
// Each name type_info::name() makes is kept in the module's list until it unloads.
template <int... N>
void name_types(std::integer_sequence<int, N...>)
{
    (static_cast<void>(typeid(Named<N>).name()), ...);
}

struct ThreadState {
    int value;
    ThreadState() : value(static_cast<int>(::GetCurrentThreadId() % 1000) + 1) {}
    ~ThreadState() { note("thread state destroyed"); }
};
thread_local ThreadState thread_state;

} // namespace

extern "C" __declspec(dllexport) void probe_throw(const char* what)
{
    throw std::runtime_error(what);
}

// The calling thread's thread_local, initialised on that thread: its identifier, mod 1000, plus 1.
extern "C" __declspec(dllexport) int probe_thread_state()
{
    return thread_state.value;
}

extern "C" __declspec(dllexport) const char* probe_type_name()
{
    return typeid(Named<7>).name();
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        name_types(std::make_integer_sequence<int, 64>{});
        if (::GetEnvironmentVariableA("KOVA_PROBE_FAIL_ATTACH", nullptr, 0) != 0) {
            note("attach refused");
            return FALSE;
        }
    }
    if (reason == DLL_PROCESS_DETACH) note("detached");
    return TRUE;
}
