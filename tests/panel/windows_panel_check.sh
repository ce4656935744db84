#!/bin/sh
# The stand-in's panel on Windows: kova-capture.exe serves it under Wine, and the page and /state are
# requested from the Linux side over 127.0.0.1 while the tool captures.
#   windows_panel_check.sh WINE_RUN WINE_PREFIX KOVA_CAPTURE_EXE WORK_DIR
set -eu
run="$1"; prefix="$2"; tool="$3"; work="$4"
rm -rf "$work"
mkdir -p "$work"
"$run" "$prefix" "$tool" --panel 0 --frames 3000 --fast --out "$work/capture" > "$work/tool.log" 2>&1 &
tool=$!
# The tool names its port once the panel listens (waited for at most 60 s).
port=""
for attempt in $(seq 1 600); do
    port=$(sed -n 's|.*panel: http://127\.0\.0\.1:\([0-9][0-9]*\)/.*|\1|p' "$work/tool.log" | head -n 1)
    [ -n "$port" ] && break
    kill -0 "$tool" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$port" ]; then
    cat "$work/tool.log"
    echo "the tool named no panel port"
    exit 1
fi
python3 - "$port" <<'PYTHON'
import json, sys, urllib.request
base = "http://127.0.0.1:%s" % sys.argv[1]
page = urllib.request.urlopen(base + "/", timeout=10).read().decode()
assert "<html" in page.lower(), page[:200]
state = json.loads(urllib.request.urlopen(base + "/state", timeout=10).read())
text = json.dumps(state)
assert "QV3-0001" in text, text[:400]
print("page of %d bytes and /state naming QV3-0001, from port %s" % (len(page), sys.argv[1]))
PYTHON
wait "$tool"
tr -d '\r' < "$work/tool.log" | grep -q '^frames 3000/3000' || { cat "$work/tool.log"; echo "the capture did not finish"; exit 1; }
echo "the panel served the page and /state under Wine while the tool captured"
