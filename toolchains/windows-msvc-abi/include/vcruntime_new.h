// SPDX-License-Identifier: MIT
/* Stand-in for MSVC's <vcruntime_new.h>: declarations of the replaceable operator new/delete. */
#pragma once
#include <vcruntime.h>
#pragma pack(push, 8)
#pragma push_macro("new")
#undef new
extern "C++" {
namespace std {
struct nothrow_t { explicit nothrow_t() = default; };
extern nothrow_t const nothrow;
#ifdef __cpp_aligned_new
enum class align_val_t : size_t {};
#endif
} // namespace std
#ifndef __NOTHROW_T_DEFINED
#define __NOTHROW_T_DEFINED
#endif
_NODISCARD _VCRT_ALLOCATOR void *__CRTDECL operator new(size_t _Size);
_NODISCARD _VCRT_ALLOCATOR void *__CRTDECL operator new(size_t _Size, ::std::nothrow_t const &) noexcept;
_NODISCARD _VCRT_ALLOCATOR void *__CRTDECL operator new[](size_t _Size);
_NODISCARD _VCRT_ALLOCATOR void *__CRTDECL operator new[](size_t _Size, ::std::nothrow_t const &) noexcept;
void __CRTDECL operator delete(void *_Block) noexcept;
void __CRTDECL operator delete(void *_Block, ::std::nothrow_t const &) noexcept;
void __CRTDECL operator delete[](void *_Block) noexcept;
void __CRTDECL operator delete[](void *_Block, ::std::nothrow_t const &) noexcept;
void __CRTDECL operator delete(void *_Block, size_t _Size) noexcept;
void __CRTDECL operator delete[](void *_Block, size_t _Size) noexcept;
#ifdef __cpp_aligned_new
_NODISCARD _VCRT_ALLOCATOR void *__CRTDECL operator new(size_t _Size, ::std::align_val_t _Al);
_NODISCARD _VCRT_ALLOCATOR void *__CRTDECL operator new(size_t _Size, ::std::align_val_t _Al, ::std::nothrow_t const &) noexcept;
_NODISCARD _VCRT_ALLOCATOR void *__CRTDECL operator new[](size_t _Size, ::std::align_val_t _Al);
_NODISCARD _VCRT_ALLOCATOR void *__CRTDECL operator new[](size_t _Size, ::std::align_val_t _Al, ::std::nothrow_t const &) noexcept;
void __CRTDECL operator delete(void *_Block, ::std::align_val_t _Al) noexcept;
void __CRTDECL operator delete(void *_Block, ::std::align_val_t _Al, ::std::nothrow_t const &) noexcept;
void __CRTDECL operator delete[](void *_Block, ::std::align_val_t _Al) noexcept;
void __CRTDECL operator delete[](void *_Block, ::std::align_val_t _Al, ::std::nothrow_t const &) noexcept;
void __CRTDECL operator delete(void *_Block, size_t _Size, ::std::align_val_t _Al) noexcept;
void __CRTDECL operator delete[](void *_Block, size_t _Size, ::std::align_val_t _Al) noexcept;
#endif
#ifndef __PLACEMENT_NEW_INLINE
#define __PLACEMENT_NEW_INLINE
_NODISCARD inline void *__CRTDECL operator new(size_t _Size, void *_Where) noexcept { (void)_Size; return _Where; }
inline void __CRTDECL operator delete(void *, void *) noexcept {}
#endif
#ifndef __PLACEMENT_VEC_NEW_INLINE
#define __PLACEMENT_VEC_NEW_INLINE
_NODISCARD inline void *__CRTDECL operator new[](size_t _Size, void *_Where) noexcept { (void)_Size; return _Where; }
inline void __CRTDECL operator delete[](void *, void *) noexcept {}
#endif
} // extern "C++"
#pragma pop_macro("new")
#pragma pack(pop)
