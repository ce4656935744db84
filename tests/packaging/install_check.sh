#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the build into a temporary prefix and builds applications on it as a user would: the
# examples with find_package, one of them with pkg-config. Each runs against the installed stand-in
# with no LD_LIBRARY_PATH, and must list, capture from and watch the stand-in's scanner.
#   install_check.sh BUILD_DIR SOURCE_DIR
set -eu
build="$1"; source="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH
export PROGRAMDATA="$work/programdata"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for file in include/kovavantorquadrelv3/kovavantorquadrelv3.h include/kovavantorquadrelv3/kova_status.h \
            include/kovavantorquadrelv3/kova_version.h include/kovavantorquadrelv3/vqsim.h include/kovavantorquadrelv3/vqsim_lookup.h bin/kova-capture bin/kova-check; do
    [ -e "$work/prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
libdir=$(dirname "$(find "$work/prefix" -name libkovavantorquadrelv3.so.1 | head -n 1)")
if readelf -d "$libdir/libkovavantorquadrelv3.so.1" "$work/prefix/bin/kova-capture" "$work/prefix/bin/kova-check" | grep -F "$build"; then
    echo "an installed file points into the build tree"; exit 1
fi

# find_package
cmake -S "$source/examples" -B "$work/examples" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/examples" >/dev/null
sh "$source/tests/support/check_no_stand_in_imports.sh" "$work/examples/list_scanners" "$work/examples/capture_frames" \
    "$work/examples/status_loop" "$work/examples/raii_capture"
"$work/examples/list_scanners" | tee "$work/list.txt"
grep -q '^QV3-0001$' "$work/list.txt"
grep -q 'serial number: ' "$work/list.txt"
"$work/examples/capture_frames" 3 | tee "$work/frames.txt"
[ "$(grep -c '^frame [0-9]*: min' "$work/frames.txt")" -eq 3 ]
# The unplug is seen as 9005 and then 9110, or at once as 9110; the loop ends once reopened.
"$work/examples/status_loop" --demo-unplug 10 | tee "$work/status.txt"
grep -q 'unplugged / asleep' "$work/status.txt"
grep -q '^reopened QV3-0001' "$work/status.txt"
# The C++ example: the interface in RAII, every object undone on the way out.
"$work/examples/raii_capture" 3 | tee "$work/raii.txt"
grep -q '^CELDRA QUADRELV3, serial number ' "$work/raii.txt"
[ "$(grep -c '^frame [0-9]*: corrected mean' "$work/raii.txt")" -eq 3 ]

# pkg-config, with the run path a user's build would give it
export PKG_CONFIG_PATH="$libdir/pkgconfig"
[ "$(pkg-config --modversion kovavantorquadrelv3)" = "$(sed -n 's/^#define KOVA_VERSION_STRING "\(.*\)"/\1/p' \
    "$work/prefix/include/kovavantorquadrelv3/kova_version.h")" ]
cc -std=c99 -pedantic-errors -Wall -Werror "$source/examples/list_scanners.c" -o "$work/list_pkgconfig" \
    $(pkg-config --cflags --libs kovavantorquadrelv3) -Wl,-rpath,"$(pkg-config --variable=libdir kovavantorquadrelv3)"
"$work/list_pkgconfig" | grep -q '^QV3-0001$'

"$work/prefix/bin/kova-capture" --version
# The installed field check finds the installed device library (here the stand-in) and the system's.
"$work/prefix/bin/kova-check" | grep -q '^host: scanner QV3-0001' || { echo "installed kova-check fails"; exit 1; }
# The installed recorder, found by the installed script, in front of the installed stand-in.
if [ -e "$work/prefix/bin/kova-record" ]; then
    VQREC_TARGET="$libdir/libVQUAD.so.1" VQREC_OUT="$work/recorded.json" \
        "$work/prefix/bin/kova-record" "$work/prefix/bin/kova-capture" --list > /dev/null
    grep -q '"sensor_id": "QV3-0001"' "$work/recorded.json"
fi
echo "installed, built on with find_package and pkg-config, and run"
