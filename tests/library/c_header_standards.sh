#!/bin/sh
# SPDX-License-Identifier: MIT
# Compiles the C header check as C99, C11, C17 and C2x with every C compiler at hand (gcc, clang),
# strictly, so that a prototype one standard reads otherwise fails here.
#   c_header_standards.sh SOURCE_DIR GENERATED_DIR
set -u
source="$1"; generated="$2"
checked=0; failed=0
for cc in gcc clang clang-16; do
    command -v "$cc" >/dev/null 2>&1 || continue
    for std in c99 c11 c17 c2x; do
        # clang 16 counts () as deprecated before C23 under -pedantic; it is checked in C2x alone.
        [ "$cc" = clang-16 ] && [ "$std" != c2x ] && continue
        checked=$((checked + 1))
        if ! "$cc" -std="$std" -pedantic-errors -Werror -Wall -Wextra -fsyntax-only \
            -I"$source/interface" -I"$source/simulator" -I"$generated" "$source/tests/library/c_header_check.c"; then
            echo "$cc -std=$std refuses the header"
            failed=$((failed + 1))
        fi
    done
done
echo "$checked compilations, $failed refused"
[ "$checked" -ge 8 ] && [ "$failed" -eq 0 ]
