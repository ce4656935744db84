// SPDX-License-Identifier: MIT
// The DllMain of a DLL that has none: taken from the library only when the module defines none.
extern "C" int __stdcall DllMain(void*, unsigned long, void*) { return 1; }
