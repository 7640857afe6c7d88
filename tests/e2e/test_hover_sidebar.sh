#!/usr/bin/env bash
# Hover tips, the Editor's mouse buttons and the sidebar toggle with real pointer moves, clicks
# and keys: resting on a tagged range shows its note in a borderless window 14 px right of and
# below the pointer, as large as the note plus 16 px; untagged text and the vertical scrollbar
# show none; a right click over the text or a scrollbar opens the tag popup menu and keeps the
# selection; Ctrl+B hides the sidebar (the text moves to the left edge) and brings it back; a
# left press on the scrollbar scrolls.
# Usage: test_hover_sidebar.sh PATH/TO/glossmark
set -euo pipefail
bin=$(realpath "$1")
source "$(dirname "$0")/lib.sh"

# Line 1: ten M's with a one-line note, then 190 W's (running under the vertical scrollbar)
# with a two-line note twice as wide. Then 40 untagged lines, enough for both scrollbars.
doc="$E2E_TMP/hover.txt"
{
  printf 'MMMMMMMMMM%s\n' "$(printf 'W%.0s' $(seq 190))"
  for i in $(seq 40); do echo "plain text line number $i"; done
} >"$doc"
short_note="MMMMMMMMMM"
long_note=$'MMMMMMMMMMMMMMMMMMMM\nMMMMMMMMMMMMMMMMMMMM'
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x00\\x00"; }
note_record() {  # START END STYLE TIME NOTE
  le32 "$1"; le32 "$2"; printf '%s' "$3"; le32 "$4"; le32 $((${#5} + 1)); printf '%s\0' "$5"
}
{
  le32 0; le32 0; printf 'A'
  note_record 0 10 C 100 "$short_note"
  note_record 10 200 D 101 "$long_note"
} >"$doc.tag"

start_xvfb
start_app "$bin" "$doc"
win=$(wait_window "^$doc\$")
read -r wx wy < <(window_origin "$win")

# The pointer, moved with point X Y (screen). The toolkit's own tooltips are override windows
# too; they sit right below the pointer, the tips 14 px to its right.
pointer_x=-1
point() {
  pointer_x=$1
  xdotool mousemove "$1" "$2"
}

# "X Y W H" of each mapped override-redirect window of the program, one a line.
windows() {
  local id
  for id in $(override_windows_of "$win"); do
    # A tip replaced meanwhile is gone by now: skip it.
    xwininfo -id "$id" 2>/dev/null |
      awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2}
           /Height:/{h=$2} END{if (x != "") print x, y, w, h}' || true
  done
}
# The same without tooltips.
tips() { windows | awk -v px="$pointer_x" '$1 != px' || true; }
# Waits for exactly one tip with its corner at X Y; echoes "W H".
wait_tip_at() {
  local deadline=$((SECONDS + 10)) found
  while :; do
    found=$(tips)
    if [ "$(wc -l <<<"$found")" -eq 1 ] && [ "$(cut -d' ' -f1,2 <<<"$found")" = "$1 $2" ]; then
      cut -d' ' -f3,4 <<<"$found"
      return
    fi
    [ $SECONDS -ge $deadline ] && fail "no tip at $1,$2; windows: ${found:-none}"
    sleep 0.02
  done
}
wait_no_tip() {
  local deadline=$((SECONDS + 10))
  until [ -z "$(tips)" ]; do
    [ $SECONDS -ge $deadline ] && fail "tip still shown $1: $(tips)"
    sleep 0.02
  done
}
# Absence is only meaningful after a few ticks: watch for half a second (five ticks).
stays_without_tip() {
  local until_ms=$(($(date +%s%3N) + 500))
  while [ "$(date +%s%3N)" -lt $until_ms ]; do
    [ -z "$(tips)" ] || fail "a tip appeared $1: $(tips)"
    sleep 0.05
  done
}

# The Editor starts at window x 260, y 30; its first text line lies within y 33..50.
line1_y=$((wy + 42))
px=$((wx + 300)) # inside the ten M's
point "$px" "$line1_y"
read -r w1 h1 < <(wait_tip_at $((px + 14)) $((line1_y + 14)))
pass "resting on the first tag shows its tip at the pointer + 14 (${w1}x$h1)"

# Moving within the same Tag keeps the tip where it was.
point $((px + 20)) "$line1_y"
stays=$(tips)
for _ in 1 2 3 4 5; do
  sleep 0.1
  [ "$(tips)" = "$stays" ] || fail "tip moved within one Tag: '$stays' became '$(tips)'"
done
pass "moving within the Tag keeps the tip in place"

px2=$((wx + 600)) # inside the W's
point "$px2" "$line1_y"
read -r w2 h2 < <(wait_tip_at $((px2 + 14)) $((line1_y + 14)))
# The size is the measured note plus 16: twice the line length doubles the text width,
# two lines double its height.
[ $((w2 - 16)) -eq $((2 * (w1 - 16))) ] || fail "widths ${w1} and ${w2} are not note widths + 16"
[ $((h2 - 16)) -eq $((2 * (h1 - 16))) ] || fail "heights ${h1} and ${h2} are not note heights + 16"
[ $((w1 - 16)) -ge 60 ] && [ $((w1 - 16)) -le 200 ] || fail "implausible width $w1 for ten M's"
pass "the neighbouring Tag's two-line note replaces it (${w2}x$h2): sizes are note + 16"

point $((wx + 400)) $((wy + 300))
wait_no_tip "over untagged text"
stays_without_tip "over untagged text"
pass "untagged text removes the tip"

point "$px2" "$line1_y"
wait_tip_at $((px2 + 14)) $((line1_y + 14)) >/dev/null
point $((wx + 800 - 8)) "$line1_y" # the vertical scrollbar, beside tagged text
wait_no_tip "over the vertical scrollbar"
stays_without_tip "over the vertical scrollbar"
pass "over the vertical scrollbar there is no tip"

# --- Right and left presses over the Editor ----------------------------------------------
# Lines are 24 px high (the largest style); document line n has its middle at window y
# 33 + 24 (n - 1) + 12. Lines 5 and 11 begin with the word "plain".
line_y() { echo $((wy + 33 + 24 * ($1 - 1) + 12)); }
is_selected='r<0.2&&g<0.2&&b>0.35' # the selection's dark blue
selected_in_line() {               # LINE : selected pixels over the word "plain" of that line
  screenshot "$E2E_TMP/shot.png"
  count_pixels "$E2E_TMP/shot.png" 28 12 $((wx + 267)) $(($(line_y "$1") - 6)) "$is_selected"
}
menu_open() { windows | awk '$4 >= 100' | grep -q .; }
wait_menu() { # open|closed
  local deadline=$((SECONDS + 10))
  until { [ "$1" = open ] && menu_open; } || { [ "$1" = closed ] && ! menu_open; }; do
    [ $SECONDS -ge $deadline ] && fail "the tag popup menu is not $1: $(windows)"
    sleep 0.02
  done
}
wait_selected() { # LINE MIN : polls until that many selected pixels are there
  local deadline=$((SECONDS + 10)) n
  until n=$(selected_in_line "$1"); [ "$n" -ge "$2" ]; do
    [ $SECONDS -ge $deadline ] && fail "selection on line $1: $n pixels"
    sleep 0.1
  done
}

[ "$(selected_in_line 5)" -eq 0 ] || fail "a selection before any click"
point $((wx + 280)) "$(line_y 5)"
xdotool click --repeat 2 --delay 50 1
wait_selected 5 200
pass "a left double click selects a word"

point $((wx + 800 - 8)) $((wy + 300))
xdotool click 3
wait_menu open
xdotool key Escape
wait_menu closed
wait_selected 5 200
pass "a right click on the vertical scrollbar opens the tag popup menu; the selection stays"

point $((wx + 280)) "$(line_y 11)"
xdotool click 3
wait_menu open
xdotool key Escape
wait_menu closed
wait_selected 5 200
[ "$(selected_in_line 11)" -eq 0 ] || fail "the right click selected where it was made"
pass "a right click on other text opens the menu and leaves the selection where it was"

# --- Ctrl+B -----------------------------------------------------------------------------
# Far down the left side: the empty part of the tag browser, or the Editor's lines of text
# once the sidebar is hidden. The other box lies where the Editor's text starts normally.
left_box=(120 100 $((wx + 8)) $((wy + 300)))
editor_box=(120 100 $((wx + 268)) $((wy + 300)))
is_dark='r<0.3&&g<0.3&&b<0.3'
dark_in() {  # BOX... : dark pixels in the box on a fresh screenshot
  screenshot "$E2E_TMP/shot.png"
  count_pixels "$E2E_TMP/shot.png" "$@" "$is_dark"
}
wait_dark() {  # WHAT MIN|0 BOX... : polls until the box has text (MIN or more) or none (0)
  local what=$1 min=$2 deadline=$((SECONDS + 10)) n
  shift 2
  while :; do
    n=$(dark_in "$@")
    if [ "$min" -eq 0 ]; then [ "$n" -eq 0 ] && return; else [ "$n" -ge "$min" ] && return; fi
    [ $SECONDS -ge $deadline ] && fail "$what: $n dark pixels"
    sleep 0.1
  done
}
wait_dark "sidebar at start" 0 "${left_box[@]}"
wait_dark "text at start" 200 "${editor_box[@]}"

# Click untagged text first, so the key goes to the Editor rather than the search input.
point $((wx + 500)) $((wy + 400))
xdotool click 1
xdotool key ctrl+b
wait_dark "text at the left edge after Ctrl+B" 200 "${left_box[@]}"
pass "Ctrl+B hides the sidebar: the text starts at the left edge"

xdotool key ctrl+b
wait_dark "sidebar back after the second Ctrl+B" 0 "${left_box[@]}"
wait_dark "text back beside the sidebar" 200 "${editor_box[@]}"
pass "Ctrl+B again brings the sidebar back"

# A left press on the scrollbar below its thumb pages down: line 1 leaves the top.
is_red='r>0.6&&g<0.3&&b<0.3'
red_on_line1() {
  screenshot "$E2E_TMP/shot.png"
  count_pixels "$E2E_TMP/shot.png" 110 14 $((wx + 266)) $((wy + 37)) "$is_red"
}
[ "$(red_on_line1)" -gt 100 ] || fail "the red Tag of line 1 is not at the top"
point $((wx + 800 - 8)) $((wy + 500))
xdotool click 1
deadline=$((SECONDS + 10))
until [ "$(red_on_line1)" -eq 0 ]; do
  [ $SECONDS -ge $deadline ] && fail "a left press on the scrollbar did not scroll"
  sleep 0.1
done
pass "a left press on the vertical scrollbar scrolls the text"

[ ! -s "$E2E_ERR" ] || fail "unexpected standard error output"
