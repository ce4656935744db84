#!/bin/sh
# The recorder is transparent: every shipped scenario lists the same through it as without it, and a
# capture run through it (its scanner unplugged and plugged back mid-run) ends as it does without.
# Its recording, replayed by the stand-in, lists the same again, also when the recorded process was
# killed mid-run.
#   recorder_check.sh SOURCE_DIR KOVA_CAPTURE RECORDER STAND_IN
set -eu
source="$1"; tool="$2"; recorder="$3"; stand_in="$4"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PROGRAMDATA="$work" VQREC_TARGET="$stand_in"
record() { "$source/tools/kova-record" --recorder "$recorder" "$@"; }

# In place: a target it cannot load stops the run at once, with one line.
if VQREC_TARGET=/nonexistent record "$tool" --list > /dev/null 2> "$work/err"; then
    echo "the recorder was not in place"; exit 1
fi
grep -q '^VQUAD recorder: cannot load /nonexistent' "$work/err" || { cat "$work/err"; exit 1; }

for scenario in "$source"/simulator/scenarios/*.json; do
    name=$(basename "$scenario" .json)
    VQSIM_SCENARIO="$scenario" "$tool" --list --json > "$work/$name.direct" 2>&1 || true
    VQSIM_SCENARIO="$scenario" record "$tool" --list --json > "$work/$name.recorded" 2>&1 || true
    cmp -s "$work/$name.direct" "$work/$name.recorded" || {
        echo "$name lists otherwise through the recorder:"; diff "$work/$name.direct" "$work/$name.recorded"; exit 1; }
    VQSIM_SCENARIO="$scenario" VQREC_OUT="$work/$name.recording.json" record "$tool" --list --json >/dev/null 2>&1 || true
    VQSIM_SCENARIO="$work/$name.recording.json" "$tool" --list --json > "$work/$name.replayed" 2>&1 || true
    cmp -s "$work/$name.direct" "$work/$name.replayed" || {
        echo "$name lists otherwise replayed:"; diff "$work/$name.direct" "$work/$name.replayed"; exit 1; }
done

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
grep -q '"serial_number": "5A1C0042"' "$work/killed.replayed" || { cat "$work/killed.json"; exit 1; }

for way in direct recorded; do
    run="$tool"; [ "$way" = recorded ] && run="record $tool"
    VQSIM_SCENARIO="$source/simulator/scenarios/unplug-replug.json" $run --frames 50 --out "$work/$way" \
        > "$work/$way.run" 2>&1 || { cat "$work/$way.run"; exit 1; }
    grep -q "^frames 50/50" "$work/$way.run" || { cat "$work/$way.run"; exit 1; }
    grep -q 'reopened QV3-0001' "$work/$way.run" || { cat "$work/$way.run"; exit 1; }
done
echo "the recorder forwards every scenario unchanged, and its recordings replay"
