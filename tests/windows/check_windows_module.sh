#!/bin/sh
# SPDX-License-Identifier: MIT
# Reads a Windows module's tables with llvm-objdump.
#   check_windows_module.sh exports DLL HEADER   exactly the header's Kova functions, KovaGetAndroidStatus
#                                               under its decorated name only
#   check_windows_module.sh imports MODULE [DLL...]   the Universal CRT, the Visual C++ runtime,
#                                               Windows' own DLLs and the named ones, nothing else
#   check_windows_module.sh names MODULE LISTS   every name imported from the Visual C++ runtime is in
#                                               Microsoft's export list of that DLL (LISTS/DLL.x64.txt), and
#                                               every name from the Universal CRT and Windows' own DLLs in
#                                               the export list of mingw-w64's import library
#   check_windows_module.sh devicelib DLL DECLARATIONS OBJECT...   the DLL imports from VQUAD.dll exactly
#                                               the members of the device library's header (their
#                                               decorated names read from the compiler's DECLARATIONS,
#                                               a JSON syntax tree) that its OBJECTs call
set -u
objdump="${OBJDUMP:-llvm-objdump-16}"
mode="$1"; module="$2"; shift 2
table=$("$objdump" -p "$module") || { echo "cannot read $module"; exit 1; }

# same ACTUAL EXPECTED WHAT: fails, with the lines that differ, unless the two lists are equal.
same() {
    [ "$1" = "$2" ] && return 0
    echo "$3 (< actual, > expected):"
    actual_file=$(mktemp)
    echo "$1" > "$actual_file"
    echo "$2" | diff "$actual_file" -
    rm -f "$actual_file"
    exit 1
}

case "$mode" in
exports)
    header="$1"
    actual=$(echo "$table" | sed -n '/^Export Table:/,/^$/p' | sed -n 's/^ *[0-9][0-9]* *0x[0-9a-f]* *//p' | sort)
    expected=$( { grep -oE '^KOVA_API [^(]*[ *](Kova[A-Za-z0-9_]+)\(' "$header" | grep -oE 'Kova[A-Za-z0-9_]+\($' |
                  tr -d '(' | grep -vx KovaGetAndroidStatus
                  echo '?KovaGetAndroidStatus@@YAKIPEAX_KPEA_K@Z'; } | sort)
    same "$actual" "$expected" "the export table differs from the header"
    echo "$(echo "$actual" | wc -l) exports, exactly the header's"
    ;;
imports)
    # What a scanner PC has beside the maker's library: the Visual C++ 2015-2022 runtime and the
    # Universal CRT (under its own name or its API sets). Not msvcrt.dll, no MinGW runtime.
    allowed=$(printf '%s\n' kernel32.dll advapi32.dll shell32.dll ole32.dll bcrypt.dll user32.dll ucrtbase.dll \
        vcruntime140.dll msvcp140.dll "$@")
    imports=$(echo "$table" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
    [ -n "$imports" ] || { echo "no imports read from $module"; exit 1; }
    bad=$(echo "$imports" | grep -vixF "$allowed" | grep -viE '^api-ms-win-crt-[a-z0-9-]+\.dll$')
    echo "$imports" | grep -qiE '^(ucrtbase\.dll|api-ms-win-crt-.*)$' || { echo "$module does not use the Universal CRT"; exit 1; }
    if [ -n "$bad" ]; then echo "unexpected imports of $module:"; echo "$bad"; exit 1; fi
    for needed in "$@"; do
        echo "$imports" | grep -qixF "$needed" || { echo "$module does not import $needed"; exit 1; }
    done
    echo "$module imports:" $imports
    ;;
names)
    lists="$1"
    mingw="${KOVA_MINGW_LIB:-/usr/x86_64-w64-mingw32/lib}"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    missing=""
    checked=0
    for dll in $(echo "$table" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u); do
        base=$(echo "$dll" | tr 'A-Z' 'a-z' | sed 's/\.dll$//')
        case "$base" in
        vquad|kovavantorquadrelv3) continue ;; # the project's own
        msvcp140*|vcruntime140*) list="$lists/$base.x64.txt" ;;
        *)
            [ -f "$mingw/lib$base.a" ] || { echo "no export list for $dll (mingw-w64-x86-64-dev: lib$base.a)"; exit 1; }
            list="$work/$base.txt"
            llvm-nm-16 --defined-only "$mingw/lib$base.a" 2>/dev/null | awk 'NF >= 3 {print $3}' |
                sed 's/^__imp_//' | sort -u > "$list" ;;
        esac
        [ -s "$list" ] || { echo "no export list for $dll at $list"; exit 1; }
        names=$(echo "$table" | sed -n "/DLL Name: $dll\$/,/^\$/p" | sed -n 's/^ *[0-9][0-9]* *//p' | grep -v '^Name$' | sort -u)
        unknown=$(echo "$names" | grep -vxF -f "$list")
        [ -z "$unknown" ] || missing="$missing
$dll: $(echo "$unknown" | tr '\n' ' ')"
        checked=$((checked + $(echo "$names" | wc -l)))
    done
    if [ -n "$missing" ]; then echo "$module imports names that Microsoft's DLLs do not export:$missing"; exit 1; fi
    echo "$module: $checked imported names, each exported by Microsoft's DLL"
    ;;
devicelib)
    # clang's dump names no destructor's decoration: the header's are public and not virtual, so
    # ??1CLASS@TFTManager@Celdra@@QEAA@XZ.
    declared=$( { grep -o '"mangledName": "[^"]*"' "$1" | sed 's/.*: "//; s/"$//'
                  grep -o '"name": "~[A-Za-z_0-9]*"' "$1" | sed 's/.*: "~//; s/"$//; s/.*/??1&@TFTManager@Celdra@@QEAA@XZ/'
                } | sort -u)
    shift
    [ -n "$declared" ] || { echo "no declarations read"; exit 1; }
    # (ctest hands the objects over as one ;-separated list)
    called=$(printf '%s\n' "$@" | tr ';' '\n' | xargs llvm-nm-16 -u | awk '{print $NF}' | sed 's/^__imp_//' | grep -xF "$declared" | sort -u)
    imported=$(echo "$table" | sed -n '/DLL Name: VQUAD.dll/,/^$/p' | sed -n 's/^ *[0-9][0-9]* *//p' | grep -v '^Name$' | sort -u)
    [ -n "$imported" ] || { echo "$module imports nothing from VQUAD.dll"; exit 1; }
    same "$imported" "$called" "the imports from VQUAD.dll differ from the header's members the library calls"
    echo "$(echo "$imported" | wc -l) imports from VQUAD.dll, each a member of the header in Microsoft's decoration"
    ;;
*)
    echo "usage: check_windows_module.sh exports|imports|names|devicelib ..."; exit 2 ;;
esac
