#!/bin/sh
# SPDX-License-Identifier: MIT
# No program the project ships imports a control of the stand-in (vqsim_*): each must also start
# beside the maker's device library, which has none.
#   check_no_stand_in_imports.sh MODULE...   a .exe or .dll read with llvm-objdump, else an ELF file
status=0
for module in "$@"; do
    case "$module" in
    *.exe|*.dll) names=$("${OBJDUMP:-llvm-objdump-16}" -p "$module" | sed -n '/Import Tables:/,/^Export Table:/p' |
                         sed -n 's/^ *[0-9][0-9]* *//p') ;;
    *) names=$(nm -D --undefined-only "$module" | awk '{print $NF}') ;;
    esac
    if [ -z "$names" ]; then
        echo "nothing read from $module"
        status=1
        continue
    fi
    found=$(echo "$names" | grep 'vqsim_')
    if [ -n "$found" ]; then
        echo "$module imports controls of the stand-in:"
        echo "$found"
        status=1
    fi
done
[ "$status" = 0 ] && echo "no control of the stand-in imported by $*"
exit "$status"
