#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the Debian packages and checks what each holds, what it depends on and the library's SONAME.
#   package_check.sh BUILD_DIR
set -eu
build="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work" >/dev/null)
version=$(sed -n 's/^#define KOVA_VERSION_STRING "\(.*\)"/\1/p' "$build/generated/kova_version.h")

contents() { dpkg-deb -c "$work/$1_${version}_"*.deb | awk '{print $6}'; }
expect() { # package path-pattern...
    package="$1"; shift
    list=$(contents "$package")
    for pattern in "$@"; do
        echo "$list" | grep -qE "$pattern" || { echo "$package lacks $pattern"; echo "$list"; exit 1; }
    done
}
expect libkovavantorquadrelv3-1 '/lib/libkovavantorquadrelv3\.so\.1\.0\.0$' '/lib/libkovavantorquadrelv3\.so\.1$'
expect libkovavantorquadrelv3-dev '/include/kovavantorquadrelv3/kovavantorquadrelv3\.h$' \
    '/include/kovavantorquadrelv3/kova_version\.h$' '/lib/libkovavantorquadrelv3\.so$' \
    'kovavantorquadrelv3Config\.cmake$' 'kovavantorquadrelv3ConfigVersion\.cmake$' '/pkgconfig/kovavantorquadrelv3\.pc$'
expect kovavantorquadrelv3-standin '/lib/libVQUAD\.so\.1$' '/include/kovavantorquadrelv3/vqsim\.h$' \
    '/bin/kova-capture$' '/man1/kova-capture\.1' '/bin/kova-record$' '/lib/.*libVQUAD-recorder\.so$'
expect python3-kovavantorquadrelv3 '/usr/lib/python3/dist-packages/kovavantorquadrelv3/__init__\.py$' \
    '/usr/lib/python3/dist-packages/kovavantorquadrelv3/_header\.py$'
expect libkovavantorquadrelv3-cil '/lib/cli/kovavantorquadrelv3/Kovavantorquadrelv3\.Net\.dll$' \
    '/lib/cli/kovavantorquadrelv3/Kovavantorquadrelv3\.Net\.dll\.config$'
expect libkovavantorquadrelv3-doc '/usr/share/doc/kovavantorquadrelv3/api/index\.html$' \
    '/usr/share/doc/kovavantorquadrelv3/api/kovavantorquadrelv3_8h\.html$'
# Each package carries the project's licence as its copyright file.
for package in libkovavantorquadrelv3-1 libkovavantorquadrelv3-dev kovavantorquadrelv3-standin \
    python3-kovavantorquadrelv3 libkovavantorquadrelv3-cil libkovavantorquadrelv3-doc; do
    expect "$package" "/usr/share/doc/$package/copyright$"
done
dpkg-deb -f "$work/python3-kovavantorquadrelv3_${version}_"*.deb Depends | grep -q 'python3-numpy'
# The library alone holds no stand-in, no headers, no tool.
if contents libkovavantorquadrelv3-1 | grep -E 'VQUAD|\.h$|kova-capture'; then echo "runtime package holds too much"; exit 1; fi

dpkg-deb -f "$work/libkovavantorquadrelv3-1_${version}_"*.deb Depends | tee "$work/depends"
grep -q 'libboost-filesystem1.74.0' "$work/depends"
grep -q 'libboost-chrono1.74.0' "$work/depends"
dpkg-deb -x "$work/libkovavantorquadrelv3-1_${version}_"*.deb "$work/root"
library=$(find "$work/root" -name 'libkovavantorquadrelv3.so.1.0.0')
readelf -d "$library" | grep -q 'SONAME.*\[libkovavantorquadrelv3\.so\.1\]' || { echo "wrong SONAME"; exit 1; }
if readelf -d "$library" | grep -E 'RUNPATH|RPATH' | grep -v '\[\$ORIGIN\]'; then echo "a build-tree run path"; exit 1; fi
echo "six packages, their files, dependencies and SONAME as expected"
