#!/usr/bin/env bash
# The sidebar and the About box with real events: a word typed into the search input is found
# far down a long document and a click on its hit scrolls the Editor there and marks it;
# Ctrl+L lists the Tags and a click on one selects its text (Ctrl+C puts it on the
# clipboard); "About" shows one window however often it is chosen, and Escape and Enter hide it.
# Usage: test_search_about.sh PATH/TO/glossmark
set -euo pipefail
bin=$(realpath "$1")
source "$(dirname "$0")/lib.sh"

# --- A long document: a tag on line 1, the only 'zanzibar' on line 2400, a tag on line 2800 --
doc="$E2E_TMP/long.txt"
for ((i = 1; i <= 3000; i++)); do
  case $i in
    1) echo "TAGGED TEXT on the first line" ;;
    2400) echo "line $i holds the zanzibar word" ;;
    2800) echo "the FAR TAG of line $i" ;;
    *) echo "line $i of plain filler words" ;;
  esac
done >"$doc"
far_start=$(($(head -n 2799 "$doc" | wc -c) + 4))
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x00"; }
{
  le32 1; le32 0; printf 'A'
  le32 0; le32 11; printf 'B'; le32 100; le32 11; printf 'first note\0'
  le32 "$far_start"; le32 $((far_start + 7)); printf 'B'; le32 101; le32 9; printf 'far note\0'
} >"$doc.tag"

start_xvfb
start_app "$bin" "$doc"
win=$(wait_window "^$doc\$")
wait_line "$E2E_OUT" "cut size $(stat -c %s "$doc")"
read -r wx wy < <(window_origin "$win")

# Screen boxes (W H X Y): the Editor's text area, its first line, the tag browser's first two
# lines. Browser lines in size 14 are 18 px apart, the first one centred at window y 70.
editor_box=(510 550 $((wx + 265)) $((wy + 34)))
first_line_box=(200 20 $((wx + 265)) $((wy + 36)))
browser_line1=(250 14 $((wx + 4)) $((wy + 63)))
browser_line2=(250 14 $((wx + 4)) $((wy + 81)))
is_red='r>0.7&&g<0.3&&b<0.3'
is_marked='b>r+0.15&&b>0.6'  # the text buffer's highlight: a light blue-grey background
is_ink='r<0.6||g<0.6||b<0.6'

# until_pixels BOX... EXPR MIN : screenshots until at least MIN pixels of the box match.
until_pixels() {
  local expr=${*: -2:1} min=${*: -1} deadline=$((SECONDS + 10)) n
  while :; do
    screenshot "$E2E_TMP/shot.png"
    n=$(count_pixels "$E2E_TMP/shot.png" "${@:1:4}" "$expr")
    [ "$n" -ge "$min" ] && { echo "$n"; return 0; }
    [ $SECONDS -ge $deadline ] && fail "box ${*:1:4}: $n pixels of '$expr', wanted $min"
    sleep 0.1
  done
}

until_pixels "${first_line_box[@]}" "$is_red" 100 >/dev/null
marked=$(count_pixels "$E2E_TMP/shot.png" "${editor_box[@]}" "$is_marked")
[ "$marked" -eq 0 ] || fail "something is marked before the search: $marked px"
pass "the first screen shows the red tag on line 1 and nothing marked"

# --- Search, click the hit ---------------------------------------------------------------
xdotool mousemove --window "$win" 100 45 click 1
xdotool type --delay 30 zanzibar
until_pixels "${browser_line1[@]}" "$is_ink" 20 >/dev/null
xdotool mousemove --window "$win" 60 70 click 1
marked=$(until_pixels "${editor_box[@]}" "$is_marked" 300)
red=$(count_pixels "$E2E_TMP/shot.png" "${editor_box[@]}" "$is_red")
[ "$red" -eq 0 ] || fail "line 1 still on screen after the click ($red red px)"
pass "the hit scrolled the Editor away from line 1 and marks the word ($marked px)"

# --- Ctrl+L, click a Tag's line, copy ----------------------------------------------------
xdotool mousemove --window "$win" 130 300 key ctrl+l
until_pixels "${browser_line2[@]}" "$is_ink" 20 >/dev/null
xdotool mousemove --window "$win" 60 88 click 1
xdotool mousemove --window "$win" 500 300 key ctrl+c
deadline=$((SECONDS + 10))
until [ "$(timeout 2 xclip -o -selection clipboard 2>/dev/null || true)" = "FAR TAG" ]; do
  [ $SECONDS -ge $deadline ] &&
    fail "clipboard holds '$(timeout 2 xclip -o -selection clipboard 2>/dev/null || true)'"
  sleep 0.1
done
pass "Ctrl+L then a click on the far Tag's line selects its text 'FAR TAG'"

# --- About -------------------------------------------------------------------------------
# The Help menu through Alt+H over the main window (the About box, placed at the top left
# without a window manager, may cover the menu bar), then a click on its first item.
choose_about() {
  local deadline=$((SECONDS + 10)) menu="" id geometry
  xdotool mousemove --window "$win" 600 400 key alt+h
  while [ -z "$menu" ]; do
    for id in $(override_windows_of "$win"); do
      geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
                                          /Width/{w=$2} /Height/{h=$2} END{print x, y, w, h}')
      read -r mx my mw mh <<<"$geometry"
      if [ "$mh" -gt 40 ]; then menu=$id; break; fi  # the item list, not the lit title
    done
    [ -n "$menu" ] && break
    [ $SECONDS -ge $deadline ] && fail "the Help menu did not open"
    sleep 0.05
  done
  xdotool mousemove $((mx + mw / 2)) $((my + 2 + (mh - 4) / 6)) click 1
}
about_windows() { xdotool search --name '^About Glossmark$' 2>/dev/null | wc -l; }
until_about_gone() {
  local deadline=$((SECONDS + 10))
  until [ "$(about_windows)" -eq 0 ]; do
    [ $SECONDS -ge $deadline ] && fail "the About box stays after $1"
    sleep 0.05
  done
}

choose_about
about=$(wait_window '^About Glossmark$')
for i in 2 3; do
  choose_about
  sleep 0.3  # give a second window, if one were made, the time to appear
  [ "$(about_windows)" -eq 1 ] || fail "$(about_windows) About windows after $i choices"
done
[ "$(xdotool search --onlyvisible --name '^About Glossmark$')" = "$about" ] ||
  fail "another About window is shown"
xwininfo -id "$about" | grep -q 'Width: 320' || fail "About box is not 320 wide"
pass "About chosen three times: one window"

# It has the keyboard: Escape with the pointer over the main window hides it, nothing more.
xdotool mousemove --window "$win" 600 400
wait_focus "$about"
xdotool key Escape
until_about_gone Escape
kill -0 "$E2E_APP_PID" 2>/dev/null || fail "Escape for the About box ended the program"
choose_about
about=$(wait_window '^About Glossmark$')
xdotool mousemove --window "$about" 160 120 key Return
until_about_gone Return
pass "Escape and Enter hide the About box; About shows it again"

[ ! -s "$E2E_ERR" ] || fail "unexpected errors"
