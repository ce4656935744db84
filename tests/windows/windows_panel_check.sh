#!/bin/sh
# SPDX-License-Identifier: MIT
# The stand-in's panel on Windows: kova-capture.exe serves it under Wine, and the page and /state are
# requested from the Linux side over 127.0.0.1 while the tool captures.
#   windows_panel_check.sh WINE_RUN WINE_PREFIX KOVA_CAPTURE_EXE WORK_DIR
set -eu
run="$1"; prefix="$2"; tool="$3"; work="$4"
rm -rf "$work"
mkdir -p "$work"
"$run" "$prefix" "$tool" --panel 0 --frames 3000 --fast --out "$work/capture" > "$work/tool.log" 2>&1 &
tool=$!
. "$(dirname "$0")/../support/wait_for_panel.sh"
url=$(wait_for_panel "$work/tool.log" "$tool")
if [ -z "$url" ]; then
    cat "$work/tool.log"
    echo "the tool named no panel address"
    exit 1
fi
python3 - "$url" <<'PYTHON'
import json, sys, urllib.request
base = sys.argv[1].rstrip("/")
page = urllib.request.urlopen(base + "/", timeout=10).read().decode()
assert "<html" in page.lower(), page[:200]
state = json.loads(urllib.request.urlopen(base + "/state", timeout=10).read())
text = json.dumps(state)
assert "QV3-0001" in text, text[:400]
print("page of %d bytes and /state naming QV3-0001, from %s" % (len(page), sys.argv[1]))
PYTHON
wait "$tool"
tr -d '\r' < "$work/tool.log" | grep -q '^frames 3000/3000' || { cat "$work/tool.log"; echo "the capture did not finish"; exit 1; }
echo "the panel served the page and /state under Wine while the tool captured"
