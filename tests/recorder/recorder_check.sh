#!/bin/sh
# SPDX-License-Identifier: MIT
# The recorder against the stand-in played as the real device library.
# - Transparent: every shipped scenario lists, and runs a capture, the same through it as without.
# - Its recordings replay: the stand-in reading one shows the capture tool the same listing, the same
#   status, notification and main lines, the same failing calls.
# - A recording survives the recorded process being killed; kept frames come back bit for bit; a long
#   session's scenario stays small; every file it writes is its owner's only.
#   recorder_check.sh SOURCE_DIR KOVA_CAPTURE RECORDER STAND_IN
set -eu
source="$1"; tool="$2"; recorder="$3"; stand_in="$4"
work=$(mktemp -d)
trap '[ -n "${KOVA_KEEP:-}" ] || rm -rf "$work"' EXIT
export PROGRAMDATA="$work" VQREC_TARGET="$stand_in"
record() { "$source/tools/kova-record" --recorder "$recorder" "$@"; }
fail() { echo "$1"; shift; for file in "$@"; do echo "--- $file"; cat "$file"; done; exit 1; }

# The device library's interface exactly: the stand-in's exports in its namespace.
interface() { nm -D --defined-only "$1" | awk '{ print $3 }' | grep -E '^_ZN?K?6Celdra' | sort; }
[ -n "$(interface "$stand_in")" ] && [ "$(interface "$recorder")" = "$(interface "$stand_in")" ] ||
    fail "the recorder exports otherwise than the device library"

# In place: a target it cannot load stops the run at once, with one line.
if VQREC_TARGET=/nonexistent record "$tool" --list > /dev/null 2> "$work/err"; then
    echo "the recorder was not in place"; exit 1
fi
grep -q '^VQUAD recorder: cannot load /nonexistent' "$work/err" || fail "no reason given" "$work/err"

# What a capture run showed, thread by thread (lines of different threads interleave as they will),
# without what timing or folders decide.
shown() {
    # The device's reports. Answers about the application's own handle (woken, closed, unplugged,
    # not initialised) depend on where its other thread is, and are left out.
    grep '^status thread: KovaGetStatus' "$1" | grep -vE -- '-> (0|9101|9109|9110) \(' > "$1.status" || true
    grep '^notification:' "$1" > "$1.notification" || true
    grep -v -e '^status thread:' -e '^notification:' -e '^frames [0-9]*/[0-9]*' -e ' read in [0-9]* ms$' \
         -e '^wrote ' -e '^files in ' -e '^log file: ' "$1" > "$1.main" || true
    grep '^frames 60/60' "$1" | cut -c1-12 >> "$1.main" || true
}
alike() {
    for part in $parts; do
        cmp -s "$1.$part" "$2.$part" || { diff "$1.$part" "$2.$part"; fail "$3: $part lines differ"; }
    done
}

for scenario in "$source"/simulator/scenarios/*.json; do
    name=$(basename "$scenario" .json)
    run="$work/$name"
    VQSIM_SCENARIO="$scenario" "$tool" --list --json > "$run.list.direct" 2>&1 || true
    VQSIM_SCENARIO="$scenario" VQREC_OUT="$run.json" record "$tool" --list --json > "$run.list.recorded" 2>&1 || true
    cmp -s "$run.list.direct" "$run.list.recorded" || fail "$name lists otherwise through the recorder" "$run.list.recorded"
    VQSIM_SCENARIO="$run.json" "$tool" --list --json > "$run.list.replayed" 2>&1 || true
    cmp -s "$run.list.direct" "$run.list.replayed" || fail "$name lists otherwise replayed" "$run.list.replayed" "$run.json"

    # 60 frames at 15 a second: every shipped event falls well inside the run or well outside it.
    VQSIM_SCENARIO="$scenario" "$tool" --frames 60 --out "$run.out" > "$run.direct" 2>&1 || true
    VQSIM_SCENARIO="$scenario" VQREC_OUT="$run.json" record "$tool" --frames 60 --out "$run.out" \
        > "$run.recorded" 2>&1 || true
    VQSIM_SCENARIO="$run.json" "$tool" --frames 60 --out "$run.out" > "$run.replayed" 2>&1 || true
    for way in direct recorded replayed; do shown "$run.$way"; done
    # Events at a time after initialize land on whichever frame the capture has reached by then, so
    # the application's own lines vary from run to run even without the recorder; their
    # notifications do not.
    parts="status notification main"
    grep -q '"at_ms"' "$scenario" && parts=notification
    alike "$run.direct" "$run.recorded" "$name through the recorder"
    alike "$run.direct" "$run.replayed" "$name replayed from $run.json"
done

# Capture parameters: the values read before any setting are where the scanner started, and a
# replay starts there too (the shipped scenarios leave them at their defaults).
if [ -n "${KOVA_PYTHON:-}" ]; then
    printf '{"scanners": [{"sensor_id": "QV3-0001", "parameters": {"exposure_us": 20000, "analog_gain": 8}}]}\n' \
        > "$work/input.parameters"
    parameters() {
        "$@" "$KOVA_PYTHON" -c 'import kovavantorquadrelv3 as kova
with kova.Library(log_level=0) as lib, lib.open("QV3-0001") as scanner:
    before = (scanner.parameter(1), scanner.parameter(2))
    scanner.set_parameter(2, 12)
    print(before, scanner.parameter(2))'
    }
    VQSIM_SCENARIO="$work/input.parameters" parameters > "$work/parameters.direct"
    VQSIM_SCENARIO="$work/input.parameters" VQREC_OUT="$work/parameters.recorded.json" parameters record \
        > "$work/parameters.recorded"
    VQSIM_SCENARIO="$work/parameters.recorded.json" parameters > "$work/parameters.replayed"
    grep -qx '(20000, 8) 12' "$work/parameters.direct" || fail "parameters" "$work/parameters.direct"
    cmp -s "$work/parameters.direct" "$work/parameters.recorded" || fail "parameters through the recorder" "$work/parameters.recorded"
    cmp -s "$work/parameters.direct" "$work/parameters.replayed" ||
        fail "parameters replayed" "$work/parameters.replayed" "$work/parameters.recorded.json"
fi

# Everything the recorder wrote is its owner's only.
modes=$(stat -c '%a' "$work"/*.json "$work"/*.raw | sort -u)
[ "$modes" = 600 ] || fail "files the recorder wrote have modes $modes"

# Killed mid-capture: the recording so far is whole and replays.
VQSIM_SCENARIO="$source/simulator/scenarios/two-scanners.json" VQREC_OUT="$work/killed.json" \
    record "$tool" --frames 100000 --out "$work/killed" > /dev/null 2>&1 &
run=$!
tries=0
until grep -q calibration "$work/killed.json" 2>/dev/null; do
    tries=$((tries + 1)); [ $tries -lt 6000 ] || { echo "nothing recorded"; kill -9 $run; exit 1; }
    sleep 0.01
done
kill -9 $run
wait $run 2>/dev/null || true
VQSIM_SCENARIO="$work/killed.json" "$tool" --list --json > "$work/killed.replayed" 2>&1
grep -q '"serial_number": "5A1C0042"' "$work/killed.replayed" || fail "the killed run's recording" "$work/killed.json"

# Kept frames come back bit for bit: the replay, recorded in turn, keeps the same images.
mkdir "$work/frames"
VQSIM_SCENARIO="$source/simulator/scenarios/one-scanner.json" VQREC_FRAMES=3 VQREC_OUT="$work/frames/first.json" \
    record "$tool" --frames 5 --out "$work/frames" > "$work/frames/first.run" 2>&1 || fail "first" "$work/frames/first.run"
VQSIM_SCENARIO="$work/frames/first.json" VQREC_FRAMES=3 VQREC_OUT="$work/frames/again.json" \
    record "$tool" --frames 5 --out "$work/frames" > "$work/frames/again.run" 2>&1 || fail "again" "$work/frames/again.run"
[ "$(ls "$work"/frames/first.*.frame-*.raw | wc -l)" = 3 ] || fail "not 3 frames kept" "$work/frames/first.json"
for frame in 1 2 3; do
    first=$(ls "$work"/frames/first.*.frame-$frame.raw) again=$(ls "$work"/frames/again.*.frame-$frame.raw)
    cmp -s "$first" "$again" || fail "frame $frame came back otherwise"
done
cmp -s "$first" "$(ls "$work"/frames/first.*.frame-1.raw)" &&
    fail "two synthesised frames alike: the check proves nothing"

# A long session (9000 frames, ten minutes at 15 a second, here as fast as the stand-in goes) writes
# a scenario of a few kilobytes and no file per frame.
printf '{"scanners": [{"sensor_id": "QV3-0001"}], "frame_interval_us": 100}\n' > "$work/fast.json"
mkdir "$work/long"
VQSIM_SCENARIO="$work/fast.json" VQREC_OUT="$work/long/long.json" record "$tool" --frames 9000 --out "$work/long" \
    > "$work/long.run" 2>&1 || fail "the long session" "$work/long.run"
grep -q "^frames 9000/9000" "$work/long.run" || fail "the long session ended early" "$work/long.run"
size=$(stat -c %s "$work/long/long.json")
[ "$size" -lt 1048576 ] || fail "a long session's scenario holds $size bytes"
[ "$(ls "$work"/long/long.*.raw | wc -l)" = 2 ] || fail "files other than the two calibration images" 
echo "the recorder forwards every scenario unchanged, and its recordings replay"
