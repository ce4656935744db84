#!/bin/sh
# Reads a Windows module's tables with objdump.
#   check_windows_module.sh exports DLL HEADER   exactly the header's Kova functions, KovaGetAndroidStatus
#                                               under its decorated name only
#   check_windows_module.sh imports MODULE [DLL...]   Windows' own DLLs and the named ones, nothing else
set -u
objdump="${OBJDUMP:-x86_64-w64-mingw32-objdump}"
mode="$1"; module="$2"; shift 2
table=$("$objdump" -p "$module") || { echo "cannot read $module"; exit 1; }

case "$mode" in
exports)
    header="$1"
    actual=$(echo "$table" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort)
    expected=$( { grep -oE '^KOVA_API [^(]*[ *](Kova[A-Za-z0-9_]+)\(' "$header" | grep -oE 'Kova[A-Za-z0-9_]+\($' |
                  tr -d '(' | grep -vx KovaGetAndroidStatus
                  echo '?KovaGetAndroidStatus@@YAKIPEAX_KPEA_K@Z'; } | sort)
    if [ "$actual" != "$expected" ]; then
        echo "export table differs from the header (< exported, > declared):"
        exported=$(mktemp)
        echo "$actual" > "$exported"
        echo "$expected" | diff "$exported" -
        rm -f "$exported"
        exit 1
    fi
    echo "$(echo "$actual" | wc -l) exports, exactly the header's"
    ;;
imports)
    allowed=$(printf '%s\n' KERNEL32.dll msvcrt.dll ADVAPI32.dll SHELL32.dll ole32.dll bcrypt.dll USER32.dll "$@")
    imports=$(echo "$table" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
    [ -n "$imports" ] || { echo "no imports read from $module"; exit 1; }
    bad=$(echo "$imports" | grep -vixF "$allowed")
    if [ -n "$bad" ]; then echo "unexpected imports of $module:"; echo "$bad"; exit 1; fi
    for needed in "$@"; do
        echo "$imports" | grep -qixF "$needed" || { echo "$module does not import $needed"; exit 1; }
    done
    echo "$module imports:" $imports
    ;;
*)
    echo "usage: check_windows_module.sh exports|imports ..."; exit 2 ;;
esac
