#!/bin/sh
# SPDX-License-Identifier: MIT
# Fails when the library exports anything but the Kova functions.
lib="$1"
symbols=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
[ -n "$symbols" ] || { echo "no exported symbols in $lib"; exit 1; }
bad=$(echo "$symbols" | grep -v -e '^Kova' -e '^_Z20KovaGetAndroidStatusjPvyPy$')
if [ -n "$bad" ]; then
  echo "unexpected exports:"; echo "$bad"; exit 1
fi
for expected in KovaInitialize_N KovaTerminate KovaGetStatus _Z20KovaGetAndroidStatusjPvyPy KovaSubmitVideoRequest; do
  echo "$symbols" | grep -qx "$expected" || { echo "missing export $expected"; exit 1; }
done
if echo "$symbols" | grep -qx KovaGetAndroidStatus; then echo "KovaGetAndroidStatus has a plain name"; exit 1; fi
echo "$(echo "$symbols" | wc -l) exports, all Kova"
