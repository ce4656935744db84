# SPDX-License-Identifier: MIT
# Shared by scripts/demo and scripts/test: install what is missing, configure and build.
set -eu

KOVA_ROOT=$(cd "$(dirname "$0")/.." && pwd)
# What the library, the stand-in and the capture tool need; the tests and benchmarks need more.
KOVA_PACKAGES="cmake make g++ binutils libboost-thread-dev libboost-filesystem-dev libboost-system-dev libboost-chrono-dev libpng-dev nlohmann-json3-dev libcpp-httplib-dev pkg-config llvm-16-dev"
KOVA_TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev clang clang-16 dpkg-dev python3-numpy python3-pytest python3-build python3-setuptools python3-wheel python3-venv python3-mypy mono-mcs mono-runtime doxygen nuget unzip"

kova_install_packages() {
    missing=""
    for package in $KOVA_PACKAGES; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "installing:$missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq $missing >/dev/null
    else
        echo "missing packages; run as root:"
        echo "  apt-get install -y$missing"
        exit 1
    fi
}

# kova_build DIR [cmake options...]
kova_build() {
    dir="$1"; shift
    cmake -S "$KOVA_ROOT" -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}
