# SPDX-License-Identifier: MIT
# Sourced by scripts/test for the Windows build in Microsoft's C++ ABI (toolchain.cmake beside it): the
# toolchain's packages, Wine, and what Debian has no Windows build of (the toolchain's static
# runtime, Boost, GoogleTest, zlib, libpng, cpp-httplib's header), built once from Debian's own
# sources into a cache outside the checkout.
KOVA_WINDOWS_PACKAGES="clang-16 lld-16 llvm-16 libwine-dev wine64 wine dpkg-dev xz-utils"
KOVA_WINE=/usr/lib/wine/wine64
KOVA_WINESERVER=/usr/lib/wine/wineserver
KOVA_TOOLCHAIN_DIR="$KOVA_ROOT/toolchains/windows-msvc-abi"
KOVA_WINDOWS_TOOLCHAIN="$KOVA_TOOLCHAIN_DIR/toolchain.cmake"
# Named after what goes into it (this script, the toolchain, its runtime, the dependencies' build),
# so that a change to any of them builds a fresh cache.
kova_windows_recipe=$(cd "$KOVA_TOOLCHAIN_DIR" && cat build.sh toolchain.cmake sysroot.cmake include/* runtime/* \
    deps/CMakeLists.txt | sha256sum | cut -c1-12)
KOVA_WINDOWS_DEPS="${KOVA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kovavantorquadrelv3}/windows-msvc-$kova_windows_recipe"

# apt-get source needs a deb-src entry: one for each mirror and suite that apt already uses.
kova_enable_deb_src() {
    grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
    [ "$(id -u)" -eq 0 ] || { echo "apt-get source needs a deb-src entry; run as root"; exit 1; }
    for list in /etc/apt/sources.list.d/*.sources; do
        [ -f "$list" ] || continue
        sed 's/^Types:.*/Types: deb-src/' "$list" > "/etc/apt/sources.list.d/kova-src-$(basename "$list")"
    done
    if [ -f /etc/apt/sources.list ]; then
        grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/kova-src.list
    fi
    apt-get update -qq
}

# kova_fetch_source PACKAGE FOLDER: the newest version of a source package that the mirrors serve
# (a mirror may list a version it does not have yet).
kova_fetch_source() {
    for version in $(apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -urV); do
        (cd "$2" && apt-get source --download-only -qq "$1=$version" >/dev/null 2>&1) && return 0
        rm -f "$2/$1_"*
    done
    echo "apt-get source $1 failed"; exit 1
}

# kova_cross_cmake SOURCE BUILD [options...]: configure, build and install into the cache.
kova_cross_cmake() {
    source="$1"; build="$2"; shift 2
    cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$KOVA_WINDOWS_TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$KOVA_WINDOWS_DEPS" \
        -DKOVA_WINDOWS_DEPS="$KOVA_WINDOWS_DEPS" "$@" >/dev/null
    cmake --build "$build" -j "$(nproc)" >/dev/null
    cmake --install "$build" >/dev/null
}

kova_windows_deps() {
    [ -f "$KOVA_WINDOWS_DEPS/complete" ] && return 0
    echo "building the Windows dependencies into $KOVA_WINDOWS_DEPS (once)"
    work="$KOVA_WINDOWS_DEPS.work"
    # Caches of earlier recipes are of no more use.
    rm -rf "$work" "$(dirname "$KOVA_WINDOWS_DEPS")"/windows-msvc-* "$(dirname "$KOVA_WINDOWS_DEPS")"/windows-deps-*
    mkdir -p "$work/src" "$KOVA_WINDOWS_DEPS/include"

    # The toolchain's own static runtime first: everything after it links against it.
    kova_cross_cmake "$KOVA_TOOLCHAIN_DIR/runtime" "$work/runtime-build"

    kova_enable_deb_src
    kova_fetch_source boost1.74 "$work/src"
    kova_fetch_source zlib "$work/src"
    kova_fetch_source libpng1.6 "$work/src"
    kova_fetch_source cpp-httplib "$work/src"
    kova_fetch_source benchmark "$work/src"

    # Boost: only the compiled parts, against the installed headers; zlib with Debian's patches.
    tar -xJf "$work"/src/boost1.74_*.orig.tar.xz -C "$work" --wildcards \
        'boost/libs/system/src/*' 'boost/libs/chrono/src/*' 'boost/libs/thread/src/*' \
        'boost/libs/filesystem/src/*' 'boost/libs/atomic/src/*' 'boost/libs/date_time/src/*'
    ln -s /usr/include/boost "$KOVA_WINDOWS_DEPS/include/boost"
    (cd "$work/src" && dpkg-source -q -x zlib_*.dsc zlib >/dev/null 2>&1) || { echo "unpacking zlib failed"; exit 1; }
    kova_cross_cmake "$KOVA_TOOLCHAIN_DIR/deps" "$work/deps-build" \
        -DBOOST_SOURCE="$work/boost" -DBOOST_HEADERS="$KOVA_WINDOWS_DEPS/include" -DZLIB_SOURCE="$work/src/zlib"

    # GoogleTest and GoogleMock, from the sources Debian installs with them, on the shared runtime;
    # their own warning flags (-WX among them) are meant for Microsoft's compiler. Their old policies
    # take the runtime from the flags (/MD), not from CMAKE_MSVC_RUNTIME_LIBRARY.
    kova_cross_cmake /usr/src/googletest "$work/googletest-build" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON \
        -Dgtest_force_shared_crt=ON "-DCMAKE_CXX_FLAGS_RELEASE=/MD /O2 /DNDEBUG /w"

    # libpng with Debian's patches, static.
    (cd "$work/src" && dpkg-source -q -x libpng1.6_*.dsc png >/dev/null 2>&1) || { echo "unpacking libpng failed"; exit 1; }
    kova_cross_cmake "$work/src/png" "$work/png-build" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_FILES=ON "-DCMAKE_C_FLAGS_RELEASE=/MD /O2 /DNDEBUG /w" -DZLIB_LIBRARY="$KOVA_WINDOWS_DEPS/lib/zlibstatic.lib" \
        -DZLIB_INCLUDE_DIR="$KOVA_WINDOWS_DEPS/include"

    # Google Benchmark, for the benchmarks' Windows figures (under Wine), on the shared runtime; its
    # version and the checks it cannot run in a cross-build given (as Debian's own build gives them).
    (cd "$work/src" && dpkg-source -q -x benchmark_*.dsc benchmark >/dev/null 2>&1) || { echo "unpacking benchmark failed"; exit 1; }
    kova_cross_cmake "$work/src/benchmark" "$work/benchmark-build" -DBENCHMARK_ENABLE_TESTING=OFF \
        -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_INSTALL_DOCS=OFF \
        -DBENCHMARK_ENABLE_LTO=OFF -DGIT_VERSION=1.7.1 -DHAVE_STD_REGEX=ON -DHAVE_STEADY_CLOCK=ON \
        "-DCMAKE_CXX_FLAGS_RELEASE=/MD /O2 /DNDEBUG /w"

    # cpp-httplib, the panel tests' HTTP client: Debian builds it as a library for Linux only, but its
    # sources hold the single header.
    mkdir -p "$work/httplib" "$KOVA_WINDOWS_DEPS/share/cpp-httplib"
    tar -xJf "$work"/src/cpp-httplib_*.orig.tar.xz -C "$work/httplib" --strip-components=1 --wildcards \
        '*/httplib.h' '*/LICENSE'
    cp "$work/httplib/httplib.h" "$KOVA_WINDOWS_DEPS/include/"
    cp "$work/httplib/LICENSE" "$KOVA_WINDOWS_DEPS/share/cpp-httplib/"

    rm -rf "$work"
    touch "$KOVA_WINDOWS_DEPS/complete"
}

# One persistent Wine server for the whole test run, in the build's own prefix.
kova_wine_start() {
    export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY
    mkdir -p "$WINEPREFIX"
    "$KOVA_WINESERVER" -k 2>/dev/null || true
    "$KOVA_WINESERVER" -p
    # Makes the prefix if needed and starts Wine's own background processes now, so that none of
    # them is born later holding a test's output open.
    "$KOVA_WINE" wineboot --init >/dev/null 2>&1 || true
}

kova_wine_stop() {
    "$KOVA_WINESERVER" -k 2>/dev/null || true
}
