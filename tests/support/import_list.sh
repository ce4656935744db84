#!/bin/sh
# SPDX-License-Identifier: MIT
# The device-library members the system's library imports, against the list kova-check carries
# (devicelib/imports-*.txt). With --write, writes the list from the library instead.
#   import_list.sh itanium|msvc LIBRARY LIST [--write]
kind="$1" library="$2" list="$3"
case "$kind" in
itanium) names=$(nm -D --undefined-only "$library" | awk '{print $NF}' | grep 'Celdra') ;;
msvc) names=$("${OBJDUMP:-llvm-objdump-16}" -p "$library" | sed -n '/DLL Name: VQUAD.dll/,/^$/p' |
                sed -n 's/^ *[0-9][0-9]* *//p' | grep -v '^Name$') ;;
*) echo "usage: import_list.sh itanium|msvc LIBRARY LIST [--write]"; exit 2 ;;
esac
names=$(echo "$names" | LC_ALL=C sort -u)
[ -n "$names" ] || { echo "no device-library member imported by $library"; exit 1; }
if [ "${4:-}" = --write ]; then
    { echo "# SPDX-License-Identifier: MIT"
      echo "# The device library's members the system imports ($kind decoration), written by"
      echo "# tests/support/import_list.sh from the build's library; kova-check carries this list."
      echo "$names"; } > "$list"
    exit 0
fi
listed=$(grep -v '^#' "$list" | LC_ALL=C sort -u)
if [ "$names" != "$listed" ]; then
    echo "$library imports other device-library members than $list lists:"
    printf '%s\n' "$names" | grep -vxF "$listed" | sed 's/^/  imported, not listed: /'
    printf '%s\n' "$listed" | grep -vxF "$names" | sed 's/^/  listed, not imported: /'
    echo "rewrite it: sh tests/support/import_list.sh $kind LIBRARY $list --write"
    exit 1
fi
echo "$(echo "$names" | wc -l) members imported, as $list lists"
