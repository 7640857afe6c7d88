#!/usr/bin/env bash
# Very long lines: a document with a 2 MB untagged line and a 20 MB line tagged red (all but
# its last 8 bytes) opens, its horizontal scrollbar reaches the end of the long line and comes
# back, and every paint shows the text where it belongs; the program neither crashes nor
# complains. (The in-process test has the 2 MB line tagged and the 20 MB one untagged.)
# Usage: test_long_lines.sh PATH/TO/glossmark
set -euo pipefail
bin=$(realpath "$1")
source "$(dirname "$0")/lib.sh"

doc="$E2E_TMP/long lines.txt"
first="short first line"
{
  printf '%s\n' "$first"
  head -c 2000000 /dev/zero | tr '\0' a; printf '\n'
  head -c 20000000 /dev/zero | tr '\0' b; printf '\nlast line\n'
} >"$doc"
# le32 N: the 4 little-endian bytes of N.
le32() { local shift; for shift in 0 8 16 24; do printf "\\x$(printf %02x $((($1 >> shift) & 255)))"; done; }
start=$((${#first} + 1 + 2000000 + 1))
{
  le32 1; le32 0; printf 'A'
  # The 20 MB line red, all but its last 8 bytes, which stay black; no note.
  le32 $start; le32 $((start + 20000000 - 8)); printf 'B'; le32 1000; le32 0
} >"$doc.tag"
size=$(stat -c %s "$doc")
tag_before=$(md5sum <"$doc.tag")

start_xvfb
start_app "$bin" "$doc"
# Opening a 20 MB line takes the toolkit seconds of measuring, more on a busy machine.
win=$(wait_window "^$doc\$" 40)
wait_line "$E2E_OUT" "cut size $size" 20
read -r wx wy < <(window_origin "$win")

# Rows of the Editor (text from window y 33, lines about 24 px tall); boxes inside the text
# area.
row_box() { echo 480 12 $((wx + 270)) $((wy + 33 + 24 * ($1 - 1) + 8)); }
is_red='r>0.7&&g<0.3&&b<0.3'
is_dark='r<0.3&&g<0.3&&b<0.3'
# expect_rows NAME DARK2 RED3 : waits until row 2 has dark pixels (DARK2 = yes) or none, and
# row 3 red ones (RED3 = yes) or none; row 2 is never red.
expect_rows() {
  local deadline=$((SECONDS + 15)) dark2 red2 red3 ok
  while :; do
    screenshot "$E2E_TMP/shot.png"
    dark2=$(count_pixels "$E2E_TMP/shot.png" $(row_box 2) "$is_dark")
    red2=$(count_pixels "$E2E_TMP/shot.png" $(row_box 2) "$is_red")
    red3=$(count_pixels "$E2E_TMP/shot.png" $(row_box 3) "$is_red")
    ok=1
    [ "$red2" -eq 0 ] || ok=0
    if [ "$2" = yes ]; then [ "$dark2" -gt 500 ] || ok=0; else [ "$dark2" -eq 0 ] || ok=0; fi
    if [ "$3" = yes ]; then [ "$red3" -gt 500 ] || ok=0; else [ "$red3" -eq 0 ] || ok=0; fi
    [ $ok -eq 1 ] && break
    [ $SECONDS -ge $deadline ] && fail "$1: row 2 dark $dark2 red $red2, row 3 red $red3"
    sleep 0.2
  done
  pass "$1: row 2 dark $dark2, row 3 red $red3"
}
expect_rows "opened at the start" yes yes

# The horizontal scrollbar lies along the Editor's bottom (window y 584..600, x 260..784);
# its slider starts right of the left arrow. Painting the long line takes a while, and the
# toolkit drops a motion that arrives together with the release: so the button is held until
# the screen shows the drag's end, and only then let go.
hbar_y=592
read -r _ _ bx by < <(row_box 3)
# line_end_shown: the last 8 bytes (black) at the right edge, red before them.
line_end_shown() {
  screenshot "$E2E_TMP/end.png"
  tail_dark=$(count_pixels "$E2E_TMP/end.png" 50 12 $((wx + 730)) "$by" "$is_dark")
  tail_red=$(count_pixels "$E2E_TMP/end.png" 50 12 $((wx + 730)) "$by" "$is_red")
  before_red=$(count_pixels "$E2E_TMP/end.png" 100 12 $((wx + 600)) "$by" "$is_red")
  [ "$tail_dark" -gt 50 ] && [ "$tail_red" -eq 0 ] && [ "$before_red" -gt 100 ]
}
xdotool mousemove --window "$win" 282 $hbar_y mousedown 1 sleep 0.1 \
  mousemove --window "$win" 600 $hbar_y sleep 0.1 mousemove --window "$win" 900 $hbar_y
deadline=$((SECONDS + 15))
until line_end_shown; do
  [ $SECONDS -ge $deadline ] && { xdotool mouseup 1; fail "line end: last bytes dark $tail_dark red $tail_red, before them red $before_red"; }
  sleep 0.2
done
xdotool mouseup 1
pass "dragged to the end: the line's last 8 bytes black at the right edge, red before them"
xdotool mousemove --window "$win" 400 -40   # keep the pointer off the text while painting
expect_rows "at the end of the long line" no yes

# Back to the start.
xdotool mousemove --window "$win" 780 $hbar_y mousedown 1 sleep 0.1 \
  mousemove --window "$win" 500 $hbar_y sleep 0.1 mousemove --window "$win" 100 $hbar_y
expect_rows "dragged back to the start" yes yes
xdotool mouseup 1
xdotool mousemove --window "$win" 400 -40

kill -0 "$E2E_APP_PID" || fail "the program died"
xdotool mousemove --window "$win" 400 300 key Escape
wait_app_exit 20 >"$E2E_TMP/rc"
rc=$(cat "$E2E_TMP/rc")
[ "$rc" -eq 0 ] || fail "exit code $rc"
[ ! -s "$E2E_ERR" ] || fail "standard error not empty"
[ "$(md5sum <"$doc.tag")" = "$tag_before" ] || fail "tag file changed without a save"
pass "left with exit 0, nothing on standard error, tag file untouched"
