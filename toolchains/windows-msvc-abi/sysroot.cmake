# SPDX-License-Identifier: MIT
# Makes, once, what the MSVC-ABI toolchain needs beside Debian's packages, in KOVA_SYSROOT:
#   bin/clang-cl        clang-16 under the name that puts it in cl mode
#   include/msvcrt      four of Wine's headers, patched where they differ from Microsoft's
#   include/windows
#   lib/*.lib           import libraries of the DLLs a module may import, from Wine's builds of them
# Included by toolchain.cmake, so also in every try_compile: it returns at once when the sysroot is
# complete.
set(KOVA_WINE_INCLUDE /usr/include/wine/wine)
set(KOVA_WINE_DLLS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
# Bump when what is made here changes.
set(stamp ${KOVA_SYSROOT}/complete-3)
if(EXISTS ${stamp})
  return()
endif()

foreach(need ${KOVA_WINE_INCLUDE}/msvcrt/stdlib.h ${KOVA_WINE_DLLS}/ucrtbase.dll)
  if(NOT EXISTS ${need})
    message(FATAL_ERROR "${need} is missing: install libwine-dev and wine64")
  endif()
endforeach()
find_program(KOVA_CLANG16 clang-16 REQUIRED)
find_program(KOVA_OBJDUMP16 llvm-objdump-16 REQUIRED)
find_program(KOVA_DLLTOOL16 llvm-dlltool-16 REQUIRED)

file(REMOVE_RECURSE ${KOVA_SYSROOT})
file(MAKE_DIRECTORY ${KOVA_SYSROOT}/bin ${KOVA_SYSROOT}/include/msvcrt ${KOVA_SYSROOT}/include/windows
  ${KOVA_SYSROOT}/lib)
file(CREATE_LINK ${KOVA_CLANG16} ${KOVA_SYSROOT}/bin/clang-cl SYMBOLIC)

# kova_patch_header(HEADER REGEX REPLACE): a copy of Wine's HEADER with the match replaced; fails
# when nothing matches, so a changed Wine header cannot slip through unpatched.
function(kova_patch_header header regex replace)
  file(READ ${KOVA_WINE_INCLUDE}/${header} text)
  string(REGEX REPLACE "${regex}" "${replace}" patched "${text}")
  if(patched STREQUAL text)
    message(FATAL_ERROR "patching ${header}: '${regex}' not found")
  endif()
  file(WRITE ${KOVA_SYSROOT}/include/${header} "${patched}")
endfunction()
# The Universal CRT's mbstate_t is the struct _Mbstatet (declared in the corecrt.h shim); the STL
# depends on its layout.
kova_patch_header(msvcrt/wchar.h "\ntypedef int mbstate_t;" "\n")
# Microsoft's atexit is not imported: each module keeps its own table, run when it unloads (the
# static runtime defines it).
kova_patch_header(msvcrt/stdlib.h "_ACRTIMP (int +__cdecl atexit\\()" "\\1")
# char16_t and char32_t are keywords of C++11, never typedefs there (the condition is GCC's).
kova_patch_header(msvcrt/uchar.h "#if !\\(defined\\(__cplusplus\\) && defined\\(__GXX_EXPERIMENTAL_CXX0X__\\)\\)[^\n]*\n[^\n]*\n[^\n]*\n"
  "#if !defined(__cplusplus)\n")
# clang knows _InterlockedCompareExchange128 as a builtin in MSVC mode: Wine must declare it only,
# as it does for Microsoft's compiler.
kova_patch_header(windows/winnt.h "#if defined\\(_MSC_VER\\) && !defined\\(__clang__\\)\n\n#pragma intrinsic\\(_InterlockedCompareExchange128\\)"
  "#if defined(_MSC_VER)\n\n#pragma intrinsic(_InterlockedCompareExchange128)")
# inline is a keyword of C++: Wine redefines it for Microsoft's C only.
kova_patch_header(windows/windef.h "#ifdef _MSC_VER\n# define inline __inline" "#if defined(_MSC_VER) && !defined(__cplusplus)\n# define inline __inline")

# Import libraries from the export tables (forwarded exports included: the loader resolves them).
foreach(dll ucrtbase vcruntime140 msvcp140 kernel32 shell32 ole32 bcrypt advapi32 user32 version ws2_32 mswsock dbghelp shlwapi)
  execute_process(COMMAND ${KOVA_OBJDUMP16} -p ${KOVA_WINE_DLLS}/${dll}.dll OUTPUT_VARIABLE dump
    COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCH "Export Table:.*" dump "${dump}")
  string(REGEX MATCHALL "\n +[0-9]+ +(0x[0-9a-f]+ +)?[^ \n]+" rows "${dump}")
  set(def "LIBRARY ${dll}.dll\nEXPORTS\n")
  foreach(row ${rows})
    string(REGEX REPLACE "^\n +[0-9]+ +(0x[0-9a-f]+ +)?" "" name "${row}")
    string(APPEND def "    \"${name}\"\n")
  endforeach()
  file(WRITE ${KOVA_SYSROOT}/lib/${dll}.def "${def}")
  execute_process(COMMAND ${KOVA_DLLTOOL16} -m i386:x86-64 -d ${KOVA_SYSROOT}/lib/${dll}.def
    -l ${KOVA_SYSROOT}/lib/${dll}.lib COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# The interface identifiers (FOLDERID_ProgramData...), a static library of Wine's.
file(COPY_FILE ${KOVA_WINE_DLLS}/libuuid.a ${KOVA_SYSROOT}/lib/uuid.lib)

file(TOUCH ${stamp})
unset(stamp)
