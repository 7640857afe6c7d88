#!/usr/bin/env bash
# "Open uri with external program" hands the selected text to the desktop's handler as one
# argument, without a shell: a stand-in xdg-open first on PATH records its arguments, and a
# selection full of shell syntax runs nothing else. A text without a known scheme is refused.
# Usage: test_open_uri.sh PATH/TO/glossmark
set -euo pipefail
bin=$(realpath "$1")
source "$(dirname "$0")/lib.sh"

handler_dir="$E2E_TMP/bin"
record="$E2E_TMP/handler.txt"
mkdir -p "$handler_dir"
cat >"$handler_dir/xdg-open" <<HANDLER
#!/bin/sh
{ echo "argc=\$#"; for a in "\$@"; do printf 'arg=%s\n' "\$a"; done; } >"$record.part"
mv "$record.part" "$record"
HANDLER
chmod +x "$handler_dir/xdg-open"

marker="$E2E_TMP/PWNED"
uri='http://x/?a=1;touch '"$marker"'&b=$(id)`id`|id>'"$marker"' "q" '\''s'\'
doc="$E2E_TMP/uri.txt"
printf '%s' "$uri" >"$doc"

start_xvfb
PATH="$handler_dir:$PATH" start_app "$bin" "$doc"
win=$(wait_window "^$doc\$")

# choose_open_uri: select the whole text and pick the popup's last row, "Open uri with
# external program" (the menu opens with its last pick under the pointer: aim by geometry).
choose_open_uri() {
  # A click gives the Editor the keyboard focus; Ctrl+A then selects everything.
  xdotool mousemove --window "$win" 500 300 click 1 key ctrl+a
  xdotool click 3
  pick_tag_popup_item 6
}

choose_open_uri
deadline=$((SECONDS + 10))
until [ -f "$record" ]; do
  [ $SECONDS -ge $deadline ] && fail "the handler was not started"
  sleep 0.02
done
expected=$(printf 'argc=1\narg=%s' "$uri")
[ "$(cat "$record")" = "$expected" ] || fail "handler got: $(cat "$record")"
sleep 0.5   # anything a shell had started would have had its time
[ ! -e "$marker" ] || fail "a command in the selection ran"
pass "the selection reached the handler as its one argument; nothing else ran"

# A text without a scheme the toolkit knows is not handed to anyone.
xdotool mousemove --window "$win" 400 300 key Escape
wait_app_exit 10 >"$E2E_TMP/rc"   # not in $(...): only this shell may collect the exit code
[ "$(cat "$E2E_TMP/rc")" -eq 0 ] || fail "exit code $(cat "$E2E_TMP/rc")"
rm -f "$record"
printf '%s' 'touch '"$marker"'; id' >"$doc.2"
PATH="$handler_dir:$PATH" start_app "$bin" "$doc.2"
win=$(wait_window "^$doc.2\$")
choose_open_uri
sleep 0.5
[ ! -e "$record" ] || fail "handler started for a text without a scheme: $(cat "$record")"
[ ! -e "$marker" ] || fail "a command in the selection ran"
kill -0 "$E2E_APP_PID" || fail "the program died"
pass "a text without a known scheme started nothing"
