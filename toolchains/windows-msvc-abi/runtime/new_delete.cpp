// SPDX-License-Identifier: MIT
// The replaceable operator new and delete, on the Universal CRT's heap, so that every module of the
// process allocates from and frees to the one heap. Compiled once per KOVA_NEW_PART, one operator
// per object file, so that a program that replaces some of them (a test that makes allocations
// fail) still links the others from here, as with Microsoft's own runtime.
#include <malloc.h>
#include <stdlib.h>

#include "runtime.h"

#define PART(n) (KOVA_NEW_PART == n)
#if PART(1)
void* __CRTDECL operator new(size_t size)
{
    for (;;) {
        if (void* block = malloc(size != 0 ? size : 1)) return block;
        if (_callnewh(size) == 0) throw std::bad_alloc();
    }
}
#elif PART(2)
void* __CRTDECL operator new(size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
#elif PART(3)
void* __CRTDECL operator new[](size_t size) { return operator new(size); }
#elif PART(4)
void* __CRTDECL operator new[](size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new[](size);
    } catch (...) {
        return nullptr;
    }
}
#elif PART(5)
void __CRTDECL operator delete(void* block) noexcept { free(block); }
#elif PART(6)
void __CRTDECL operator delete(void* block, const std::nothrow_t&) noexcept { operator delete(block); }
#elif PART(7)
void __CRTDECL operator delete[](void* block) noexcept { operator delete(block); }
#elif PART(8)
void __CRTDECL operator delete[](void* block, const std::nothrow_t&) noexcept { operator delete[](block); }
#elif PART(9)
void __CRTDECL operator delete(void* block, size_t) noexcept { operator delete(block); }
#elif PART(10)
void __CRTDECL operator delete[](void* block, size_t) noexcept { operator delete[](block); }
#elif PART(11)
void* __CRTDECL operator new(size_t size, std::align_val_t alignment)
{
    for (;;) {
        if (void* block = _aligned_malloc(size != 0 ? size : 1, static_cast<size_t>(alignment))) return block;
        if (_callnewh(size) == 0) throw std::bad_alloc();
    }
}
#elif PART(12)
void* __CRTDECL operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size, alignment);
    } catch (...) {
        return nullptr;
    }
}
#elif PART(13)
void* __CRTDECL operator new[](size_t size, std::align_val_t alignment) { return operator new(size, alignment); }
#elif PART(14)
void* __CRTDECL operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    try {
        return operator new[](size, alignment);
    } catch (...) {
        return nullptr;
    }
}
#elif PART(15)
void __CRTDECL operator delete(void* block, std::align_val_t) noexcept { _aligned_free(block); }
#elif PART(16)
void __CRTDECL operator delete(void* block, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    operator delete(block, alignment);
}
#elif PART(17)
void __CRTDECL operator delete[](void* block, std::align_val_t alignment) noexcept { operator delete(block, alignment); }
#elif PART(18)
void __CRTDECL operator delete[](void* block, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    operator delete[](block, alignment);
}
#elif PART(19)
void __CRTDECL operator delete(void* block, size_t, std::align_val_t alignment) noexcept
{
    operator delete(block, alignment);
}
#elif PART(20)
void __CRTDECL operator delete[](void* block, size_t, std::align_val_t alignment) noexcept
{
    operator delete[](block, alignment);
}
#elif PART(21)
// std::nothrow itself.
namespace std {
const nothrow_t nothrow{};
}
#endif
