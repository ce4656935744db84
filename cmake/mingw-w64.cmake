# Cross-build for 64-bit Windows with Debian's mingw-w64 (POSIX threads flavour), run under Wine.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DKOVA_WINDOWS_DEPS=<prefix> ...
# KOVA_WINDOWS_DEPS is where Boost, GoogleTest and libpng were cross-built (scripts/windows-deps.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KOVA_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${KOVA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOVA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KOVA_MINGW}-windres)
set(CMAKE_OBJDUMP ${KOVA_MINGW}-objdump CACHE FILEPATH "objdump for PE files")

if(NOT KOVA_WINDOWS_DEPS AND DEFINED ENV{KOVA_WINDOWS_DEPS})
  set(KOVA_WINDOWS_DEPS "$ENV{KOVA_WINDOWS_DEPS}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KOVA_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${KOVA_MINGW} ${KOVA_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW runtime DLL beside ours: libgcc, libstdc++ and winpthread go into each module.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# Windows keeps the stack 16-byte aligned only, so 32- and 64-byte vector spills must not use
# aligned moves.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# ctest runs the test programs through Wine, in a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_BINARY_DIR}/wineprefix")
