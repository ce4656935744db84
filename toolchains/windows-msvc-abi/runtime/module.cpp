// SPDX-License-Identifier: MIT
// What Microsoft's toolset links statically into every module beside its entry point: the
// module's own atexit table, the stack-protector cookie, the C++ initialiser sections' bounds,
// type_info's vtable, _fltused and __chkstk.
#include <intrin.h>

#include "runtime.h"

extern "C" {

// The bounds of the initialiser tables: the linker sorts .CRT$XIA < .CRT$XI* < .CRT$XIZ, the
// compiler puts each C++ dynamic initialiser into .CRT$XCU.
__declspec(allocate(".CRT$XIA")) kova_pifv __xi_a[] = {nullptr};
__declspec(allocate(".CRT$XIZ")) kova_pifv __xi_z[] = {nullptr};
__declspec(allocate(".CRT$XCA")) kova_pvfv __xc_a[] = {nullptr};
__declspec(allocate(".CRT$XCZ")) kova_pvfv __xc_z[] = {nullptr};

// A module's atexit functions (and its static destructors) run when that module ends: at exit for
// a program, when it unloads for a DLL. Hence no import of the CRT's process-wide atexit. The table
// is made ready before anything can register in it (the Universal CRT encodes its pointers, so a
// zeroed table is not an empty one), and run once.
kova_onexit_table kova_module_atexit = {};
static bool atexit_ready = false;
static bool atexit_done = false;

static bool prepare_atexit()
{
    if (!atexit_ready) atexit_ready = _initialize_onexit_table(&kova_module_atexit) == 0;
    return atexit_ready;
}

int __cdecl atexit(kova_pvfv function)
{
    if (!prepare_atexit()) return -1;
    return _register_onexit_function(&kova_module_atexit, reinterpret_cast<kova_onexit>(function)) == 0 ? 0 : -1;
}

// /GS: a cookie that differs from process to process, set before any protected frame returns.
// Microsoft's default value, which the check would accept from an uninitialised module, is never
// kept; the top 16 bits stay clear as in Microsoft's runtime.
constexpr unsigned long long default_cookie = 0x00002B992DDFA232ull;
unsigned long long __security_cookie = default_cookie;
unsigned long long __security_cookie_complement = ~default_cookie;

void __cdecl __security_init_cookie(void)
{
    if (__security_cookie != default_cookie) return;
    unsigned long long value = 0;
    unsigned long long time = 0;
    GetSystemTimeAsFileTime(&time);
    long long counter = 0;
    QueryPerformanceCounter(&counter);
    value ^= time;
    value ^= static_cast<unsigned long long>(GetCurrentThreadId()) << 32;
    value ^= GetCurrentProcessId();
    value ^= static_cast<unsigned long long>(counter) << 32 ^ static_cast<unsigned long long>(counter);
    value ^= reinterpret_cast<unsigned long long>(&value);
    value &= 0x0000FFFFFFFFFFFFull;
    if (value == default_cookie || value == 0) value = default_cookie + 1;
    __security_cookie = value;
    __security_cookie_complement = ~value;
}

void __cdecl __security_check_cookie(unsigned long long cookie)
{
    if (cookie != __security_cookie) __fastfail(2); // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
}

// The list head of the names type_info::name() makes (an SLIST_HEADER: 16 bytes, 16-aligned).
struct alignas(16) __type_info_node {
    unsigned long long header[2];
};
__type_info_node __type_info_root_node = {};
__declspec(dllimport) void __cdecl __std_type_info_destroy_list(__type_info_node*);

// Referenced by every object that uses floating point.
int _fltused = 0x9875;

// The instruction set the STL may count on (its bit operations test it): 1 the x64 baseline, 2 with
// SSE4.2 and POPCNT, 5 with AVX2 (whose registers the system saves) and BMI1, as Microsoft's runtime
// grades it.
int __isa_available = 1;

static void grade_instruction_set()
{
    int r[4];
    __cpuid(r, 0);
    const int highest = r[0];
    __cpuid(r, 1);
    const unsigned ecx = static_cast<unsigned>(r[2]);
    if ((ecx & (1u << 20)) == 0 || (ecx & (1u << 23)) == 0) return;
    __isa_available = 2;
    const bool avx_state = (ecx & (1u << 27)) != 0 && (ecx & (1u << 28)) != 0 && (_xgetbv(0) & 0x6) == 0x6;
    if (!avx_state || highest < 7) return;
    __cpuidex(r, 7, 0);
    const unsigned ebx = static_cast<unsigned>(r[1]);
    if ((ebx & (1u << 5)) != 0 && (ebx & (1u << 3)) != 0) __isa_available = 5;
}

} // extern "C"

bool kova_initialize_module()
{
    if (!prepare_atexit()) return false;
    __security_init_cookie();
    grade_instruction_set();
    if (_initterm_e(__xi_a, __xi_z) != 0) return false;
    _initterm(__xc_a, __xc_z);
    return true;
}

void kova_finish_module()
{
    if (atexit_done) return;
    atexit_done = true;
    if (atexit_ready) _execute_onexit_table(&kova_module_atexit);
    // The names type_info::name() made for this module, which would otherwise outlive it.
    __std_type_info_destroy_list(&__type_info_root_node);
}

type_info::~type_info() noexcept {}

// Every type descriptor that RTTI and exceptions emit points at type_info's vtable, but clang emits
// a vtable only where a constructor runs, and type_info has none. So it is laid out here: slot -1
// the (absent) complete-object locator, slot 0 the scalar deleting destructor.
extern "C" void* kova_type_info_deleting_destructor(type_info* self, unsigned flags)
{
    self->~type_info();
    if (flags & 1) ::operator delete(self);
    return self;
}
__asm__(".section .rdata,\"dr\"\n"
        ".p2align 3\n"
        ".quad 0\n"
        ".globl \"??_7type_info@@6B@\"\n"
        "\"??_7type_info@@6B@\":\n"
        ".quad kova_type_info_deleting_destructor\n"
        ".text\n");

// __chkstk: called with the frame size in rax before a frame of more than a page is opened; it
// touches each page in turn so the guard page grows the stack, and changes no register but flags.
__asm__(".text\n"
        ".globl __chkstk\n"
        "__chkstk:\n"
        "  pushq %rcx\n"
        "  pushq %rax\n"
        "  cmpq $0x1000, %rax\n"
        "  leaq 24(%rsp), %rcx\n"
        "  jb 1f\n"
        "2:\n"
        "  subq $0x1000, %rcx\n"
        "  testq %rcx, (%rcx)\n"
        "  subq $0x1000, %rax\n"
        "  cmpq $0x1000, %rax\n"
        "  ja 2b\n"
        "1:\n"
        "  subq %rax, %rcx\n"
        "  testq %rcx, (%rcx)\n"
        "  popq %rax\n"
        "  popq %rcx\n"
        "  ret\n");
