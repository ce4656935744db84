#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs kova-capture with the panel against the stand-in and drives the page with headless Chromium.
#   run_browser_test.sh KOVA-CAPTURE NODE-MODULES-PARENT OUT-DIR
set -eu
tool=$1 modules=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out"
mkdir -p "$out/programdata"
PROGRAMDATA="$out/programdata" "$tool" --panel 0 --frames 1000000 --out "$out/capture" > "$out/tool.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT
. "$here/../../support/wait_for_panel.sh"
url=$(wait_for_panel "$out/tool.log" "$pid")
if [ -z "$url" ]; then
    echo "kova-capture did not start its panel:"
    cat "$out/tool.log"
    exit 1
fi
status=0
NODE_PATH="$modules/node_modules" node "$here/browser_test.cjs" "$url" "$out/tool.log" "$out/panel.png" || status=$?
[ "$status" -eq 0 ] || { echo "--- kova-capture:"; cat "$out/tool.log"; }
exit "$status"
