# SPDX-License-Identifier: MIT
# Cross-build for 64-bit Windows in Microsoft's C++ ABI, the ABI of the maker's VQUAD.dll: Debian's
# clang-16 in cl mode against the MSVC STL headers (third_party/msvc-stl), Wine's C runtime and
# Windows headers (libwine-dev), lld-link, and import libraries of the Universal CRT and the Visual
# C++ runtime made from Wine's own DLLs. Programs run under Wine.
#   cmake -DCMAKE_TOOLCHAIN_FILE=toolchains/windows-msvc-abi/toolchain.cmake -DKOVA_WINDOWS_DEPS=<folder> ...
# KOVA_WINDOWS_DEPS receives the generated sysroot (patched headers, import libraries) at the first
# configure, and the static runtime and the cross-built dependencies from build.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10.0)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

if(NOT KOVA_WINDOWS_DEPS AND DEFINED ENV{KOVA_WINDOWS_DEPS})
  set(KOVA_WINDOWS_DEPS "$ENV{KOVA_WINDOWS_DEPS}")
endif()
if(NOT KOVA_WINDOWS_DEPS)
  message(FATAL_ERROR "toolchain.cmake needs KOVA_WINDOWS_DEPS: the folder of the Windows sysroot and dependencies")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KOVA_WINDOWS_DEPS)

set(KOVA_MSVC_ABI_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KOVA_MSVC_STL_DIR ${CMAKE_CURRENT_LIST_DIR}/../../third_party/msvc-stl)
get_filename_component(KOVA_MSVC_STL_DIR ${KOVA_MSVC_STL_DIR} ABSOLUTE)
set(KOVA_SYSROOT ${KOVA_WINDOWS_DEPS}/sysroot)
include(${KOVA_MSVC_ABI_DIR}/sysroot.cmake)

set(CMAKE_C_COMPILER ${KOVA_SYSROOT}/bin/clang-cl)
set(CMAKE_CXX_COMPILER ${KOVA_SYSROOT}/bin/clang-cl)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_LINKER lld-link-16)
set(CMAKE_AR llvm-lib-16)
set(CMAKE_RC_COMPILER llvm-rc-16)
set(CMAKE_MT llvm-mt-16)
set(CMAKE_OBJDUMP llvm-objdump-16 CACHE FILEPATH "objdump for PE files")
set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreadedDLL)

# Headers: the shims first (what Microsoft's vcruntime and UCRT headers give and Wine's lack), then
# the STL, then Wine's C runtime and Windows headers, each behind its patched copies. /X: nothing
# from the environment's INCLUDE.
set(flags "/X -fms-compatibility-version=19.36")
foreach(folder ${KOVA_MSVC_ABI_DIR}/include ${KOVA_MSVC_STL_DIR}/inc ${KOVA_SYSROOT}/include/msvcrt
    ${KOVA_WINE_INCLUDE}/msvcrt ${KOVA_SYSROOT}/include/windows ${KOVA_WINE_INCLUDE}/windows)
  string(APPEND flags " -imsvc ${folder}")
endforeach()
# Wine's WCHAR is wchar_t, as in Microsoft's headers; the STL's vectorised algorithms live in the
# static part of Microsoft's msvcprt.lib, which this toolchain does not have.
string(APPEND flags " /DWINE_UNICODE_NATIVE /D_USE_STD_VECTOR_ALGORITHMS=0")
# (A CMAKE_<LANG>_FLAGS given on the command line replaces these: add to CMAKE_<LANG>_FLAGS_RELEASE
# and the like instead.)
set(CMAKE_C_FLAGS_INIT "${flags}")
set(CMAKE_CXX_FLAGS_INIT "${flags}")
unset(flags)

# Linking: no default library of Microsoft's toolset; the runtime below instead.
set(link "/nodefaultlib /libpath:${KOVA_SYSROOT}/lib /libpath:${KOVA_WINDOWS_DEPS}/lib /manifest:no")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${link}")
unset(link)
if(EXISTS ${KOVA_WINDOWS_DEPS}/lib/kova_msvcrt.lib)
  # What every module of Microsoft's toolset links: the static runtime (entry points, operator
  # new, thread-safe statics...), the C++ library, vcruntime, the Universal CRT, kernel32.
  set(libs "kova_msvcrt.lib msvcp140.lib vcruntime140.lib ucrtbase.lib kernel32.lib")
  set(CMAKE_C_STANDARD_LIBRARIES "${libs}" CACHE STRING "" FORCE)
  set(CMAKE_CXX_STANDARD_LIBRARIES "${libs}" CACHE STRING "" FORCE)
  unset(libs)
else()
  # Building the static runtime itself: nothing can be linked yet.
  set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
endif()

set(CMAKE_FIND_ROOT_PATH ${KOVA_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages also where CMAKE_PREFIX_PATH names them as they are (an unpacked SDK archive), after the
# dependencies' folder.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# ctest runs the test programs through Wine, in a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_BINARY_DIR}/wineprefix")
