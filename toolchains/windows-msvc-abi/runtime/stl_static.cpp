// SPDX-License-Identifier: MIT
// The pieces of Microsoft's msvcprt.lib that live in each module rather than in msvcp140.dll.
#include <cstdlib>
#include <xfacet>

// Locale facets created by this module, deleted when it ends.
namespace {
struct facet_node {
    facet_node* next;
    std::_Facet_base* facet;
};
facet_node* facets = nullptr;
void __cdecl delete_facets()
{
    while (facets != nullptr) {
        facet_node* node = facets;
        facets = node->next;
        delete node->facet;
        delete node;
    }
}
} // namespace

_STD_BEGIN
void __CLRCALL_PURE_OR_CDECL _Facet_Register(_Facet_base* facet)
{
    if (facets == nullptr) atexit(delete_facets);
    facets = new facet_node{facets, facet};
}
_STD_END

// std::call_once under clang reaches the one-time initialisation of kernel32 through these
// forwarders (Microsoft's compiler binds them with /ALTERNATENAME instead).
extern "C" {
__declspec(dllimport) int __stdcall InitOnceBeginInitialize(void**, unsigned long, int*, void**);
__declspec(dllimport) int __stdcall InitOnceComplete(void**, unsigned long, void*);
int __stdcall __std_init_once_begin_initialize_clr(void** once, unsigned long flags, int* pending,
                                                  void** context) noexcept
{
    return InitOnceBeginInitialize(once, flags, pending, context);
}
int __stdcall __std_init_once_complete_clr(void** once, unsigned long flags, void* context) noexcept
{
    return InitOnceComplete(once, flags, context);
}
[[noreturn]] void __stdcall __std_init_once_link_alternate_names_and_abort() noexcept { abort(); }
}
