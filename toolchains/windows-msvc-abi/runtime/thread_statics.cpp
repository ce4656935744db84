// SPDX-License-Identifier: MIT
// The module's TLS directory, the dynamic initialisation of its thread_local variables, and
// thread-safe function-local statics in Microsoft's protocol (a global epoch, a per-thread copy,
// _Init_thread_header/footer/abort around the initialiser).
#include <limits.h>

#include "runtime.h"

extern "C" {
struct kova_srwlock {
    void* state;
};
struct kova_condition {
    void* state;
};
__declspec(dllimport) void __stdcall AcquireSRWLockExclusive(kova_srwlock*);
__declspec(dllimport) void __stdcall ReleaseSRWLockExclusive(kova_srwlock*);
__declspec(dllimport) int __stdcall SleepConditionVariableSRW(kova_condition*, kova_srwlock*, unsigned long,
                                                             unsigned long);
__declspec(dllimport) void __stdcall WakeAllConditionVariable(kova_condition*);

// The TLS template lies between .tls and .tls$ZZZ; the loader copies it for every thread and calls
// the callbacks listed between .CRT$XLA and .CRT$XLZ. The linker points the PE header at _tls_used.
unsigned long _tls_index = 0;
__declspec(allocate(".tls")) char _tls_start = 0;
__declspec(allocate(".tls$ZZZ")) char _tls_end = 0;
typedef void(__stdcall* kova_tls_callback)(void*, unsigned long, void*);
__declspec(allocate(".CRT$XLA")) kova_tls_callback __xl_a = nullptr;
__declspec(allocate(".CRT$XLZ")) kova_tls_callback __xl_z = nullptr;
struct kova_tls_directory {
    unsigned long long start, end, index, callbacks;
    unsigned long zero_fill, characteristics;
};
extern const kova_tls_directory _tls_used = {reinterpret_cast<unsigned long long>(&_tls_start),
                                             reinterpret_cast<unsigned long long>(&_tls_end),
                                             reinterpret_cast<unsigned long long>(&_tls_index),
                                             reinterpret_cast<unsigned long long>(&__xl_a + 1), 0, 0};

// thread_local variables with a dynamic initialiser: the compiler lists their initialisers in
// .CRT$XDU and guards every access with the thread's __tls_guard, calling __dyn_tls_on_demand_init
// on a thread's first; a new thread runs them when it starts. Not at the process attach, which the
// loader sends the TLS callbacks before the module's own initialisers have run (Microsoft's order).
__declspec(allocate(".CRT$XDA")) kova_pvfv __xd_a = nullptr;
__declspec(allocate(".CRT$XDZ")) kova_pvfv __xd_z = nullptr;
__declspec(thread) bool __tls_guard = false;

void __stdcall __dyn_tls_init(void*, unsigned long reason, void*)
{
    constexpr unsigned long thread_attach = 2;
    if (reason != thread_attach || __tls_guard) return;
    __tls_guard = true;
    for (kova_pvfv* initialiser = &__xd_a + 1; initialiser != &__xd_z; ++initialiser)
        if (*initialiser != nullptr) (*initialiser)();
}

void __cdecl __dyn_tls_on_demand_init() noexcept
{
    __dyn_tls_init(nullptr, 2, nullptr);
}
__declspec(allocate(".CRT$XLC")) __attribute__((used)) extern const kova_tls_callback __xl_c = __dyn_tls_init;

// Their destructors, registered by each thread as it constructs them: run last first when the
// thread ends, and for the thread that unloads the module (or ends the process) at its detach.
struct kova_thread_destructors {
    kova_thread_destructors* next;
    int count;
    kova_pvfv functions[30];
};
__declspec(thread) kova_thread_destructors* thread_destructors = nullptr;

int __cdecl __tlregdtor(kova_pvfv function)
{
    kova_thread_destructors* block = thread_destructors;
    if (block == nullptr || block->count == 30) {
        auto* added = static_cast<kova_thread_destructors*>(HeapAlloc(GetProcessHeap(), 0, sizeof *block));
        if (added == nullptr) return -1;
        added->next = block;
        added->count = 0;
        thread_destructors = block = added;
    }
    block->functions[block->count++] = function;
    return 0;
}

static void __stdcall run_thread_destructors(void*, unsigned long reason, void*)
{
    constexpr unsigned long process_detach = 0, thread_detach = 3;
    if (reason != process_detach && reason != thread_detach) return;
    // A destructor may register another: the list is read afresh after each.
    while (kova_thread_destructors* block = thread_destructors) {
        if (block->count == 0) {
            thread_destructors = block->next;
            HeapFree(GetProcessHeap(), 0, block);
            continue;
        }
        block->functions[--block->count]();
    }
}
__declspec(allocate(".CRT$XLD")) __attribute__((used)) extern const kova_tls_callback __xl_d = run_thread_destructors;

// A static's guard holds 0 (not yet), -1 (being initialised) or the epoch of its initialisation. The
// compiler's inline check calls the header only while the guard is above the thread's epoch.
int _Init_global_epoch = INT_MIN;
__declspec(thread) int _Init_thread_epoch = INT_MIN;
static kova_srwlock guard_lock = {nullptr};
static kova_condition guard_changed = {nullptr};

void __cdecl _Init_thread_header(int* guard)
{
    AcquireSRWLockExclusive(&guard_lock);
    for (;;) {
        if (*guard == 0) {
            *guard = -1; // this thread initialises
            break;
        }
        if (*guard != -1) {
            _Init_thread_epoch = _Init_global_epoch; // done by another thread
            break;
        }
        SleepConditionVariableSRW(&guard_changed, &guard_lock, 0xFFFFFFFFu, 0);
    }
    ReleaseSRWLockExclusive(&guard_lock);
}

void __cdecl _Init_thread_footer(int* guard)
{
    AcquireSRWLockExclusive(&guard_lock);
    ++_Init_global_epoch;
    *guard = _Init_global_epoch;
    _Init_thread_epoch = _Init_global_epoch;
    ReleaseSRWLockExclusive(&guard_lock);
    WakeAllConditionVariable(&guard_changed);
}

// The initialiser threw: another thread may try again.
void __cdecl _Init_thread_abort(int* guard)
{
    AcquireSRWLockExclusive(&guard_lock);
    *guard = 0;
    ReleaseSRWLockExclusive(&guard_lock);
    WakeAllConditionVariable(&guard_changed);
}
} // extern "C"
