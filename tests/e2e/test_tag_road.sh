#!/usr/bin/env bash
# The road of one tag with real mouse and keys: select a word, right-click, "New tag" (Escape
# closes it at once), again "New tag", type a note, preview a style, double-click another; the
# word is painted and resting on it shows the note; Ctrl+S writes it; Ctrl+Z and Ctrl+R take it
# back and bring it again; leaving asks about the unsaved change and Enter saves; reopening
# shows it painted, scrolled as left.
# Usage: test_tag_road.sh PATH/TO/glossmark
set -euo pipefail
bin=$(realpath "$1")
source "$(dirname "$0")/lib.sh"

# --- The document: 60 lines, the word to tag alone at the start of line 8 ------------------
word=MMMMMMMMMMMMMMMMMMMM
target_line=8
doc="$E2E_TMP/road.txt"
for i in $(seq 1 60); do
  if [ "$i" -eq "$target_line" ]; then echo "$word and the rest"; else echo "line $i of filler"; fi
done >"$doc"
start=$(head -n $((target_line - 1)) "$doc" | wc -c)
end=$((start + ${#word}))
note="first note"

# Little-endian fields of the tag file.
u32_at() { od -An -tu4 -j"$2" -N4 "$1" | tr -d ' '; }
byte_at() { od -An -c -j"$2" -N1 "$1" | tr -d ' '; }
bytes_at() { dd if="$1" bs=1 skip="$2" count="$3" status=none; }

is_red='r>0.7&&g<0.3&&b<0.3'
is_blue='b>0.7&&r<0.3&&g<0.3'
is_dark='r<0.3&&g<0.3&&b<0.3'

start_xvfb
start_app "$bin" "$doc"
win=$(wait_window "^$doc\$")
read -r wx wy < <(window_origin "$win")

# The Editor's text starts at window (263, 33); lines are 24 px apart (the tallest style).
# word_box ROW: the box inside the 20 'M's when the word is on the ROW-th visible line.
word_box() { echo 230 14 $((wx + 266)) $((wy + 41 + 24 * ($1 - 1))); }
word_y() { echo $((33 + 12 + 24 * ($1 - 1))); }


black=$(wait_pixels shot0.png "$(word_box $target_line)" "$is_dark" -gt 300) ||
  fail "word not drawn: $black dark pixels"

# --- Select the word (double click), right-click it, choose "New tag" ------------------------
xdotool mousemove --window "$win" 400 "$(word_y $target_line)" click --repeat 2 --delay 50 1
# new_tag_dialog: right-click where the pointer rests, pick "New tag"; echoes the dialog's id.
new_tag_dialog() {
  xdotool click 3
  pick_tag_popup_item 0
  wait_window '^New tag$'
}
# Escape right away, the pointer still over the main window: the new dialog has the keyboard,
# so only the dialog goes, not the program.
dialog=$(new_tag_dialog)
wait_focus "$dialog"
xdotool key Escape
wait_line "$E2E_OUT" "ok"
deadline=$((SECONDS + 10))
while xwininfo -id "$dialog" 2>/dev/null | grep -q IsViewable; do
  [ $SECONDS -ge $deadline ] && fail "Escape left the new dialog open"
  sleep 0.05
done
kill -0 "$E2E_APP_PID" 2>/dev/null || fail "Escape in the new dialog ended the program"
pass "Escape in a freshly opened dialog closed the dialog (\"ok\"), not the program"

dialog=$(new_tag_dialog)
read -r dx dy < <(window_origin "$dialog")
# A window manager places windows as it sees fit.
[ -n "$E2E_WM" ] || [ "$dx $dy" = "300 200" ] || fail "New tag dialog at $dx,$dy"
pass "double click selected the word; the popup's \"New tag\" opened the dialog at $dx,$dy"

# --- Write the note; the chooser draws each line in its style --------------------------------
xdotool mousemove $((dx + 350)) $((dy + 150)) click 1
xdotool type --delay 20 "$note"
screenshot "$E2E_TMP/dialog.png"
chooser_blue=$(count_pixels "$E2E_TMP/dialog.png" 170 200 "$dx" "$dy" "$is_blue")
[ "$chooser_blue" -gt 20 ] || fail "no blue line ('E') in the chooser: $chooser_blue px"
# The preselected line ('B', line 2) has the selection colour; measure the line height from it.
read -r sel_top sel_bottom < <(convert "$E2E_TMP/dialog.png" -crop 1x200+$((dx + 160))+"$dy" +repage \
  -depth 8 txt:- |
  awk -F'[,:() ]+' 'NR > 1 && $3 < 40 && $4 < 40 && $5 > 90 && $5 < 170 {
                      if (first == "") first = $2; last = $2 } END { print first, last }')
[ -n "$sel_top" ] || fail "no selected line in the chooser"
line_h=$((sel_bottom - sel_top + 1))
[ "$line_h" -ge 14 ] && [ "$line_h" -le 30 ] || fail "selected band $sel_top..$sel_bottom"
line_y() { echo $((dy + sel_top + line_h * ($1 - 2) + line_h / 2)); }
pass "note typed; chooser lines in their colours ($chooser_blue blue px), line height $line_h"

# A single click on 'E' (blue) previews the note in blue; the dialog stays.
xdotool mousemove $((dx + 60)) "$(line_y 5)" click 1
preview=$(wait_pixels preview.png "300 60 $((dx + 200)) $dy" "$is_blue" -gt 20) ||
  fail "the note is not previewed in blue: $preview px"
pass "single click on 'E' previews the note in blue ($preview px)"

# A double click on 'B' (red) makes the Tag from the selection and closes the dialog.
xdotool mousemove $((dx + 60)) "$(line_y 2)" click --repeat 2 --delay 50 1
deadline=$((SECONDS + 10))
while xwininfo -id "$dialog" 2>/dev/null | grep -q IsViewable; do
  [ $SECONDS -ge $deadline ] && fail "the dialog stayed after the double click"
  sleep 0.05
done
# A click on blank space clears the selection, which would hide the word's colour.
xdotool mousemove --window "$win" 700 "$(word_y 20)" click 1
red=$(wait_pixels tagged.png "$(word_box $target_line)" "$is_red" -gt 300) ||
  fail "the word is not painted red: $red px"
pass "double click on 'B' painted the selected word red ($red px)"

# --- Resting on the word shows the note in a tip window --------------------------------------
xdotool mousemove --window "$win" 400 "$(word_y $((target_line + 3)))"
sleep 0.3
[ -z "$(override_windows_of "$win")" ] || fail "a tip over untagged text"
xdotool mousemove --window "$win" 380 "$(word_y $target_line)"
tip=$(wait_override_window 5 "no tip window over the tagged word")
read -r tx ty < <(window_origin "$tip")
tw=$(xwininfo -id "$tip" | awk '/Width:/{print $2}')
th=$(xwininfo -id "$tip" | awk '/Height:/{print $2}')
screenshot "$E2E_TMP/tip.png"
tip_ink=$(count_pixels "$E2E_TMP/tip.png" "$tw" "$th" "$tx" "$ty" "$is_dark")
[ "$tip_ink" -gt 20 ] || fail "the tip shows no text: $tip_ink dark px"
pass "resting on the word shows the tip (${tw}x$th at $tx,$ty, $tip_ink px of text)"

# --- Ctrl+S writes the tag file --------------------------------------------------------------
tag="$doc.tag"
before=$(date +%s)
xdotool mousemove --window "$win" 400 500 key ctrl+s
deadline=$((SECONDS + 10))
until [ -s "$tag" ]; do
  [ $SECONDS -ge $deadline ] && fail "Ctrl+S wrote no tag file"
  sleep 0.05
done
size=$(stat -c %s "$tag")
[ "$size" -eq $((9 + 17 + ${#note} + 1)) ] || fail "tag file of $size bytes"
[ "$(u32_at "$tag" 0)" -eq 1 ] || fail "top line $(u32_at "$tag" 0)"
[ "$(u32_at "$tag" 9)" -eq "$start" ] && [ "$(u32_at "$tag" 13)" -eq "$end" ] ||
  fail "range $(u32_at "$tag" 9)..$(u32_at "$tag" 13), want $start..$end"
[ "$(byte_at "$tag" 17)" = B ] || fail "style $(byte_at "$tag" 17)"
time=$(u32_at "$tag" 18)
[ $((before - time)) -ge 0 ] && [ $((before - time)) -le 60 ] || fail "time $time, now $before"
[ "$(u32_at "$tag" 22)" -eq $((${#note} + 1)) ] || fail "textsize $(u32_at "$tag" 22)"
[ "$(bytes_at "$tag" 26 ${#note})" = "$note" ] || fail "note '$(bytes_at "$tag" 26 ${#note})'"
[ "$(od -An -tu1 -j$((26 + ${#note})) -N1 "$tag" | tr -d ' ')" -eq 0 ] || fail "note not ended by 0"
record=$(bytes_at "$tag" 9 1000 | md5sum)
pass "Ctrl+S wrote [$start,$end) 'B', time $((before - time)) s ago, \"$note\", textsize $((${#note} + 1))"

# --- Ctrl+Z takes the Tag back, Ctrl+R brings it again ---------------------------------------
xdotool key ctrl+z
n=$(wait_pixels undo.png "$(word_box $target_line)" "$is_red" -eq 0) || fail "Ctrl+Z left $n red px"
xdotool key ctrl+r
n=$(wait_pixels redo.png "$(word_box $target_line)" "$is_red" -gt 300) || fail "Ctrl+R: $n red px"
pass "Ctrl+Z unpainted the word, Ctrl+R painted it again ($n px)"

# --- Scroll down one wheel notch, leave: the question comes, Enter saves ---------------------
xdotool click 5 key Escape
question=""
deadline=$((SECONDS + 10))
until [ -n "$question" ]; do
  for id in $(xdotool search --onlyvisible --classname glossmark 2>/dev/null); do
    [ "$id" -ne "$win" ] && [ $((id >> 21)) -eq $((win >> 21)) ] && question=$id
  done
  [ $SECONDS -ge $deadline ] && fail "no question on leaving with unsaved tags"
  sleep 0.05
done
kill -0 "$E2E_APP_PID" 2>/dev/null || fail "left without asking"
read -r qx qy < <(window_origin "$question")
qw=$(xwininfo -id "$question" | awk '/Width:/{print $2}')
qh=$(xwininfo -id "$question" | awk '/Height:/{print $2}')
screenshot "$E2E_TMP/question.png"
[ "$(count_pixels "$E2E_TMP/question.png" "$qw" "$qh" "$qx" "$qy" "$is_dark")" -gt 100 ] ||
  fail "the question box shows no text"
pass "Escape with unsaved tags asks first (${qw}x$qh box)"
xdotool mousemove --window "$question" $((qw / 2)) $((qh / 3)) key Return
wait_app_exit 10 >"$E2E_TMP/rc"
rc=$(cat "$E2E_TMP/rc")
[ "$rc" -eq 0 ] || fail "exit code $rc after saving"
top=$(u32_at "$tag" 0)
[ "$top" -gt 1 ] || fail "the scrolled view was not saved: top line $top"
[ "$(bytes_at "$tag" 9 1000 | md5sum)" = "$record" ] || fail "the saved Tag changed on the way out"
pass "Enter saved and left with 0; top line $top"

# --- Reopen: the word is painted, at the row of the saved top line ---------------------------
start_app "$bin" "$doc"
win=$(wait_window "^$doc\$")
read -r wx wy < <(window_origin "$win")
row=$((target_line - top + 1))
red=$(wait_pixels reopen.png "$(word_box $row)" "$is_red" -gt 300) ||
  fail "reopened: the word is not red on row $row ($red px)"
stray=$(count_pixels "$E2E_TMP/reopen.png" $(word_box $target_line) "$is_red")
[ "$stray" -eq 0 ] || fail "reopened: red on row $target_line, the view did not scroll"
pass "reopened scrolled to line $top with the word red on row $row ($red px)"
