#!/bin/sh
# SPDX-License-Identifier: MIT
# The recorder on Windows, under Wine: copied beside the capture tool as VQUAD.dll, it forwards to
# the stand-in that VQREC_TARGET names. Every shipped scenario lists the same through it; its
# recording, replayed, lists the same again; a capture run with an unplug and a replug ends alike.
#   recorder_windows_check.sh SOURCE_DIR WINE_RUN WINE_PREFIX BIN_DIR WORK_DIR
set -eu
source="$1"; run="$2"; prefix="$3"; bin="$4"; work="$5"
rm -rf "$work"
mkdir -p "$work/app"
windows() { echo "Z:$1" | tr / '\\'; }
fail() { echo "$1"; shift; for file in "$@"; do echo "--- $file"; cat "$file"; done; exit 1; }

# The device library's interface exactly: the stand-in's exports without its controls.
exports() {
    "${OBJDUMP:-llvm-objdump-16}" -p "$1" | sed -n '/^Export Table:/,/^$/p' |
        sed -n 's/^ *[0-9][0-9]* *0x[0-9a-f]* *//p' | grep -v '^vqsim_' | sort
}
exports "$bin/VQUAD-recorder.dll" > "$work/recorder.exports"
exports "$bin/VQUAD.dll" > "$work/stand-in.exports"
[ -s "$work/stand-in.exports" ] && cmp -s "$work/recorder.exports" "$work/stand-in.exports" ||
    { diff "$work/recorder.exports" "$work/stand-in.exports"; fail "the recorder exports otherwise"; }

# The application's folder: the tool and the library, the recorder in the device library's place.
for file in "$bin"/*.dll; do
    case "$(basename "$file")" in VQUAD.dll|VQUAD-recorder.dll) ;; *) cp "$file" "$work/app/" ;; esac
done
cp "$bin/kova-capture.exe" "$work/app/"
cp "$bin/VQUAD-recorder.dll" "$work/app/VQUAD.dll"
export VQREC_TARGET="$(windows "$bin/VQUAD.dll")"
direct() { "$run" "$prefix" "$bin/kova-capture.exe" "$@" 2>&1 | tr -d '\r'; }
recorded() { "$run" "$prefix" "$work/app/kova-capture.exe" "$@" 2>&1 | tr -d '\r'; }

for scenario in "$source"/simulator/scenarios/*.json; do
    name=$(basename "$scenario" .json)
    export VQSIM_SCENARIO="$(windows "$scenario")"
    direct --list --json > "$work/$name.direct" || true
    VQREC_OUT="$(windows "$work/$name.json")" recorded --list --json > "$work/$name.recorded" || true
    cmp -s "$work/$name.direct" "$work/$name.recorded" || fail "$name lists otherwise through the recorder" \
        "$work/$name.direct" "$work/$name.recorded"
    VQSIM_SCENARIO="$(windows "$work/$name.json")" direct --list --json > "$work/$name.replayed" || true
    cmp -s "$work/$name.direct" "$work/$name.replayed" || fail "$name lists otherwise replayed" \
        "$work/$name.replayed" "$work/$name.json"
done

export VQSIM_SCENARIO="$(windows "$source/simulator/scenarios/unplug-replug.json")"
VQREC_OUT="$(windows "$work/unplug.json")" recorded --frames 40 --out "$(windows "$work/out")" \
    > "$work/unplug.run" || fail "the capture run failed" "$work/unplug.run"
grep -q '^frames 40/40' "$work/unplug.run" && grep -q '^reopened QV3-0001' "$work/unplug.run" ||
    fail "the capture run did not end alike" "$work/unplug.run"
grep -q '"replug_after_ms"' "$work/unplug.json" || fail "no unplug recorded" "$work/unplug.json"
echo "the recorder forwards under Wine, and its recordings replay"
