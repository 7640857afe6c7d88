#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb that goes away afterwards. -noreset: the
# server would otherwise reset each time its last client leaves (as each test process does)
# and refuse whoever connects meanwhile.
set -euo pipefail
fifo=$(mktemp -u); mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true; rm -f "$fifo"' EXIT
read -r -t 10 n <"$fifo"
export DISPLAY=:$n
"$@"
