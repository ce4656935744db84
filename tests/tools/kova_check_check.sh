#!/bin/sh
# SPDX-License-Identifier: MIT
# kova-check against device libraries made for the test: the stand-in and the maker-shaped one bind;
# PE modules (written by make_modules.py) with one member's integer type changed, one member
# missing, the debug or a static C++ runtime, a 32-bit or ARM64 machine, and files that are no PE,
# or a cut one, do not, and each says why. With a C compiler, ELF libraries too.
#   kova_check_check.sh WORK MSVC_LIST ITANIUM_LIST STAND_IN MAKER_SHAPED
# Environment: KOVA_CHECK (the command, perhaps through an emulator), KOVA_PATH_PREFIX (prepended
# to each path given to it: Z: under Wine), CC (builds the ELF cases when set), PYTHON.
work="$1" msvc="$2" itanium="$3" stand_in="$4" maker="$5"
python="${PYTHON:-python3}"
here=$(dirname "$0")
rm -rf "$work" && mkdir -p "$work" || exit 1
failed=0

# expect NAME CODE PATTERN FILE [OPTION]: kova-check FILE exits CODE and prints a line matching PATTERN.
expect() {
    name="$1" code="$2" pattern="$3" file="$4"; shift 4
    out=$($KOVA_CHECK "$@" "$KOVA_PATH_PREFIX$file" 2>&1)
    rc=$?
    printf '%s\n' "$out" > "$work/$name.out"
    if [ "$rc" != "$code" ] || ! printf '%s\n' "$out" | tr -d '\r' | grep -qE -- "$pattern"; then
        echo "$name: exit $rc (wanted $code), or no line matching: $pattern"
        printf '%s\n' "$out" | sed 's/^/    /' | head -40
        failed=1
    else
        echo "$name: as expected"
    fi
}
members() { grep -vc '^#' "$1"; }
# binds NAME FILE LIST: exit 0, and every member of LIST reported exported.
binds() {
    expect "$1" 0 "^verdict: the system will bind" "$2"
    exported=$(tr -d '\r' < "$work/$1.out" | grep -c '^exported: ')
    [ "$exported" = "$(members "$3")" ] || { echo "$1: $exported members exported, not $(members "$3")"; failed=1; }
}
pe() { out="$work/$1"; shift; "$python" "$here/make_modules.py" "$out" --names "$msvc" "$@" || failed=1; }

open_msvc=$(grep 'open_sensor' "$msvc")
close_msvc=$(grep 'close_sensor' "$msvc")
runtime="--import msvcp140.dll --import vcruntime140.dll --import kernel32.dll"

binds stand_in "$stand_in" "$([ "${stand_in%.dll}" != "$stand_in" ] && echo "$msvc" || echo "$itanium")"
binds maker_shaped "$maker" "$([ "${maker%.dll}" != "$maker" ] && echo "$msvc" || echo "$itanium")"

pe good.dll $runtime
binds pe_good "$work/good.dll" "$msvc"
pe changed.dll $runtime --replace "$open_msvc" "$(echo "$open_msvc" | sed 's/PEAI_N/PEAK_N/')"
expect pe_changed_type 1 'missing: .*open_sensor: the library.s takes `unsigned long ?\*`, the system passes `unsigned int ?\*`' "$work/changed.dll"
expect pe_changed_type_json 1 '"library_signature": ".*open_sensor.*unsigned long' "$work/changed.dll" --json
"$python" -c 'import json,sys; r=json.load(open(sys.argv[1])); assert not r["binds"] and any(f["kind"]=="missing" for f in r["findings"])' \
    "$work/pe_changed_type_json.out" || { echo "pe_changed_type_json: not the JSON wanted"; failed=1; }
pe missing.dll $runtime --drop "$close_msvc"
expect pe_missing_member 1 'missing: .*close_sensor: the library exports no member of this name' "$work/missing.dll"
pe debug.dll --import msvcp140d.dll --import vcruntime140d.dll --import ucrtbased.dll
expect pe_debug_runtime 1 '^refused: the library uses the debug C\+\+ runtime \(msvcp140d.dll\)' "$work/debug.dll"
pe static.dll --import kernel32.dll
expect pe_static_runtime 1 '^refused: the library links its C\+\+ runtime statically' "$work/static.dll"
pe x86.dll --machine x86 $runtime
expect pe_32_bit 1 '^refused: the library is built for x86 \(32-bit\)' "$work/x86.dll"
pe arm64.dll --machine arm64 $runtime
expect pe_arm64 1 '^refused: the library is built for ARM64' "$work/arm64.dll"
pe cut.dll $runtime --truncate 700
expect pe_truncated 1 'truncated PE' "$work/cut.dll"
echo "not a library" > "$work/text.dll"
expect not_a_module 1 'not a PE or ELF file' "$work/text.dll"

if [ -n "${CC:-}" ]; then
    # Real shared libraries: each name an alias of one function, linked with the C++ runtime.
    elf() {
        out="$1"; shift
        grep -v '^#' "$itanium" | "$python" -c '
import sys
drop, old, new = sys.argv[1:4]
print("void kova_member(void) {}")
for name in sys.stdin.read().split():
    if name == drop: continue
    if name == old: name = new
    print("__asm__(\".globl %s\\n.set %s, kova_member\");" % (name, name))' "$@" > "$out.c"
        $CC -shared -fPIC -o "$out" "$out.c" -lstdc++ || failed=1
    }
    open_itanium=$(grep 'open_sensor' "$itanium")
    elf "$work/libgood.so" - - -
    binds elf_good "$work/libgood.so" "$itanium"
    elf "$work/libchanged.so" - "$open_itanium" "$(echo "$open_itanium" | sed 's/EPjb$/EPmb/')"
    expect elf_changed_type 1 'open_sensor: the library.s takes `unsigned long ?\*`, the system passes `unsigned int ?\*`' "$work/libchanged.so"
    elf "$work/libmissing.so" "$(grep 'close_sensor' "$itanium")" - -
    expect elf_missing_member 1 'close_sensor: the library exports no member of this name' "$work/libmissing.so"
fi
exit "$failed"
