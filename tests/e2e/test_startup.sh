#!/usr/bin/env bash
# Start-up of the real program: no display gives one plain line; with one, the document from
# the command line appears under its path, with its icons and its tagged word painted red;
# F1 opens the help file beside the program; Escape leaves with nothing to save; a toolkit
# option after the path (-geometry) shapes the real window.
# Usage: test_startup.sh PATH/TO/glossmark
set -euo pipefail
bin=$(realpath "$1")
source "$(dirname "$0")/lib.sh"

# --- No display ------------------------------------------------------------------------
rc=0
env -u DISPLAY "$bin" >"$E2E_TMP/nodisplay.out" 2>"$E2E_TMP/nodisplay.err" || rc=$?
[ "$rc" -ne 0 ] || fail "started without a display"
[ ! -s "$E2E_TMP/nodisplay.out" ] || fail "printed to stdout without a display"
[ "$(wc -l <"$E2E_TMP/nodisplay.err")" -eq 1 ] || fail "expected one line: $(cat "$E2E_TMP/nodisplay.err")"
grep -q 'cannot open X display (DISPLAY not set)' "$E2E_TMP/nodisplay.err" ||
  fail "unclear message: $(cat "$E2E_TMP/nodisplay.err")"

rc=0
env -u DISPLAY "$bin" -display :987 >/dev/null 2>"$E2E_TMP/baddisplay.err" || rc=$?
[ "$rc" -ne 0 ] || fail "started with an unreachable display"
grep -q 'cannot open X display ":987"' "$E2E_TMP/baddisplay.err" ||
  fail "message does not name the display: $(cat "$E2E_TMP/baddisplay.err")"
pass "no display: one clear line, exit $rc"

# --- A document with one red word -------------------------------------------------------
# Line 1 holds the tagged word, line 3 the same word untagged, so both sit at the same x.
word=MMMMMMMMMMMMMMMMMMMM
doc="$E2E_TMP/start up.txt"
printf '%s\n\n%s and more\n' "$word" "$word" >"$doc"
size=$(stat -c %s "$doc")
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x00\\x00"; }
{
  le32 1; le32 0; printf 'A'                      # top line 1, column 0, untagged 'A'
  le32 0; le32 ${#word}; printf 'B'; le32 100; le32 0   # [0, 20) red, no note
} >"$doc.tag"
tag_before=$(md5sum <"$doc.tag")

start_xvfb
start_app "$bin" "$doc"
win=$(wait_window "^$E2E_TMP/start up.txt\$")
wait_line "$E2E_OUT" "cut size $size"
pass "window titled with the document path, 'cut size $size' printed"

icons=$(xprop -id "$win" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | tr '\n' ' ')
[ "$icons" = "Icon (16 x 16) Icon (32 x 32) " ] || fail "window icons: '$icons'"
pass "window carries the 16x16 and 32x32 icons"

read -r wx wy < <(window_origin "$win")
# The Editor's text starts at window (263, 33); its lines are as tall as the largest style
# (about 24 px), and size-14 glyphs sit in the lower part of each line. The boxes lie inside
# the first 20 'M's of line 1 (tagged) and line 3 (untagged).
tagged_box=(230 14 $((wx + 266)) $((wy + 41)))
untagged_box=(230 14 $((wx + 266)) $((wy + 89)))
is_red='r>0.7&&g<0.3&&b<0.3'
is_dark='r<0.3&&g<0.3&&b<0.3'
# Wait for the first full paint instead of sleeping.
deadline=$((SECONDS + 10))
while :; do
  screenshot "$E2E_TMP/shot.png"
  red=$(count_pixels "$E2E_TMP/shot.png" "${tagged_box[@]}" "$is_red")
  [ "$red" -gt 300 ] && break
  [ $SECONDS -ge $deadline ] && fail "tagged word not red: $red red pixels"
  sleep 0.1
done
untagged_red=$(count_pixels "$E2E_TMP/shot.png" "${untagged_box[@]}" "$is_red")
untagged_dark=$(count_pixels "$E2E_TMP/shot.png" "${untagged_box[@]}" "$is_dark")
[ "$untagged_red" -eq 0 ] || fail "untagged word has $untagged_red red pixels"
[ "$untagged_dark" -gt 300 ] || fail "untagged word not drawn: $untagged_dark dark pixels"
pass "tagged word red ($red px), untagged word black ($untagged_dark px, 0 red)"

# --- F1: help.txt from the program's directory ------------------------------------------
help="$(dirname "$bin")/help.txt"
[ -f "$help" ] || fail "no help.txt beside the program"
xdotool mousemove --window "$win" 400 300
xdotool key F1
wait_window "^$help\$" >/dev/null
pass "F1 opened $help"

# --- Escape: nothing unsaved, so the program just ends ----------------------------------
xdotool key Escape
# Not in $(...): only this shell, the program's parent, can collect its exit code.
wait_app_exit 10 >"$E2E_TMP/rc"
rc=$(cat "$E2E_TMP/rc")
[ "$rc" -eq 0 ] || fail "exit code $rc after Escape"
[ "$(md5sum <"$doc.tag")" = "$tag_before" ] || fail "tag file changed without a save"
pass "Escape left with exit 0, tag file untouched"

# --- A toolkit option after the path reaches the real window ----------------------------
start_app "$bin" "$doc" -geometry 640x480+10+10
win=$(wait_window "^$E2E_TMP/start up.txt\$")
read -r ww wh < <(xwininfo -id "$win" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w, h}')
[ "$ww x $wh" = "640 x 480" ] || fail "-geometry 640x480+10+10 gave a window of $ww x $wh"
xdotool mousemove --window "$win" 300 300 key Escape
wait_app_exit 10 >"$E2E_TMP/rc"
[ "$(cat "$E2E_TMP/rc")" -eq 0 ] || fail "exit code $(cat "$E2E_TMP/rc") after Escape"
pass "-geometry 640x480+10+10 after the path: a 640 x 480 window"
