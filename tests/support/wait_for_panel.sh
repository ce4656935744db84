# SPDX-License-Identifier: MIT
# Sourced by the panel's end-to-end tests: wait_for_panel LOG PID prints the panel's address once
# kova-capture (PID, writing LOG) has named it, waiting at most 60 s; nothing when the tool ended or
# never named one.
wait_for_panel() {
    for _ in $(seq 1 600); do
        url=$(tr -d '\r' < "$1" | sed -n 's|^panel: \(http://127\.0\.0\.1:[0-9]*/\)$|\1|p')
        [ -n "$url" ] && { echo "$url"; return 0; }
        kill -0 "$2" 2>/dev/null || return 0
        sleep 0.1
    done
}
