#!/usr/bin/env bash
# Bad input with the real program: random bytes, a folder, a silent named pipe and a document
# too big for the memory at hand given as the document each give their line and an empty
# window; a document on a path with blanks, quotes, bytes that are not UTF-8 and over 260
# bytes shows its Tag and saves beside itself; with a tag file that cannot be written (in a
# folder that cannot be written either), leaving asks, the save fails, "ignore" leaves, and
# the old tag file is untouched.
# Usage: test_bad_input.sh PATH/TO/glossmark
set -euo pipefail
bin=$(realpath "$1")
source "$(dirname "$0")/lib.sh"
export LANG=C.UTF-8 LC_ALL=C.UTF-8

locked=()
unlock() {
  local path
  for path in "${locked[@]}"; do chattr -i "$path" 2>/dev/null || chmod u+w "$path"; done
  locked=()
}
trap 'unlock; e2e_cleanup' EXIT

is_red='r>0.7&&g<0.3&&b<0.3'
# Tag file bytes: header (top line, column, default style), then records.
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x00\\x00"; }
one_tag_file() {  # PATH: "alpha" red, no note
  { le32 1; le32 0; printf 'A'; le32 0; le32 5; printf 'B'; le32 100; le32 0; } >"$1"
}
# expect_refused PATH STDERR_LINE [LAUNCHER...]: the window opens empty and the line is on
# standard error.
expect_refused() {
  local path=$1 line=$2
  shift 2
  start_app "$@" "$bin" "$path"
  wait_window '^no file loaded$' >/dev/null
  wait_line "$E2E_ERR" "$line" 10
  kill -0 "$E2E_APP_PID" || fail "died on $path"
  kill "$E2E_APP_PID"; wait "$E2E_APP_PID" 2>/dev/null || true; E2E_APP_PID=""
}
# question_box: echoes the id of the visible question box of the program's window $win.
question_box() {
  local deadline=$((SECONDS + 10)) id
  while :; do
    for id in $(xdotool search --onlyvisible --classname glossmark 2>/dev/null); do
      [ "$id" -ne "$win" ] && [ $((id >> 21)) -eq $((win >> 21)) ] && { echo "$id"; return; }
    done
    [ $SECONDS -ge $deadline ] && fail "no question box"
    sleep 0.05
  done
}
# answer_return BOX: presses Return in it (its default button, b1).
answer_return() {
  local w h
  w=$(xwininfo -id "$1" | awk '/Width:/{print $2}')
  h=$(xwininfo -id "$1" | awk '/Height:/{print $2}')
  xdotool mousemove --window "$1" $((w / 2)) $((h / 3)) key Return
}
# remove_tag_at X Y: right click there (window coordinates) and pick "Remove tag".
remove_tag_at() {
  xdotool mousemove --window "$win" "$1" "$2" sleep 0.3 click 3
  pick_tag_popup_item 2
}
word_red() {  # pixels of red in "alpha" on the first row
  screenshot "$E2E_TMP/shot.png"
  count_pixels "$E2E_TMP/shot.png" 40 14 $((wx + 266)) $((wy + 41)) "$is_red"
}
wait_red() {  # wait_red -gt|-eq N
  local deadline=$((SECONDS + 10)) n
  until n=$(word_red); [ "$n" "$1" "$2" ]; do
    [ $SECONDS -ge $deadline ] && fail "word red: $n px, wanted $1 $2"
    sleep 0.1
  done
}

start_xvfb

# --- Documents that are refused -------------------------------------------------------------
head -c 65536 /dev/urandom >"$E2E_TMP/noise.bin"
printf '\xff\xfe' >>"$E2E_TMP/noise.bin"   # never UTF-8, whatever the random bytes were
expect_refused "$E2E_TMP/noise.bin" "Do not know file encoding. fail to convert."
grep -qx "Not UTF-8" "$E2E_OUT" || fail "no 'Not UTF-8' line"
pass "random bytes: 'Not UTF-8', refused, empty window"

mkdir "$E2E_TMP/folder.txt"
expect_refused "$E2E_TMP/folder.txt" "fread: Is a directory"
pass "a folder: 'fread: Is a directory', empty window"

mkfifo "$E2E_TMP/pipe.txt"
expect_refused "$E2E_TMP/pipe.txt" "fopen:: Connection timed out"
pass "a named pipe nobody writes to: no hang, 'fopen:: Connection timed out'"

truncate -s 1G "$E2E_TMP/huge.txt"  # sparse: no disk used
expect_refused "$E2E_TMP/huge.txt" "Warning: fail to realloc, stop to read now: Cannot allocate memory" \
  bash -c 'ulimit -v 700000 && exec "$@"' limited
pass "1 GiB under a 700 MB memory limit: the read stops with its line, empty window, no crash"

# --- A path with blanks, quotes, stray bytes, over 260 bytes ------------------------------
folder="$E2E_TMP"
while [ ${#folder} -lt 300 ]; do folder="$folder/a \"quoted\" 'folder' caf$(printf '\xe9') $(printf '\xff')"; done
mkdir -p "$folder"
doc="$folder/my \"odd\" 'doc'.txt"
printf 'alpha beta gamma\n' >"$doc"
one_tag_file "$doc.tag"
start_app "$bin" "$doc"
win=$(wait_window "'doc'\\.txt\$")
read -r wx wy < <(window_origin "$win")
wait_red -gt 40
title=$(xdotool getwindowname "$win")
printf '%s' "$title" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1 || fail "title is not UTF-8"
case "$title" in *$'\xef\xbf\xbd'*) ;; *) fail "title without replacement characters: $title" ;; esac
pass "a ${#doc}-byte path with blanks, quotes and stray bytes opened with its Tag; title in UTF-8"

remove_tag_at 280 45
wait_red -eq 0
deadline=$((SECONDS + 10))
until [ "$(stat -c %s "$doc.tag")" -eq 9 ]; do   # Save Tag wakes up within 0.1 s
  [ $SECONDS -ge $deadline ] && fail "Ctrl+S did not save beside the document"
  xdotool mousemove --window "$win" 400 300 key ctrl+s
  sleep 0.1
done
pass "Remove tag and Ctrl+S rewrote the tag file on that path"
xdotool key Escape
wait_app_exit 10 >"$E2E_TMP/rc"
[ "$(cat "$E2E_TMP/rc")" -eq 0 ] || fail "exit code $(cat "$E2E_TMP/rc")"

# --- A tag file that cannot be written, in a folder that cannot be written -----------------
ro="$E2E_TMP/read only"
mkdir "$ro"
doc="$ro/doc.txt"
printf 'alpha beta gamma\n' >"$doc"
one_tag_file "$doc.tag"
before=$(md5sum <"$doc.tag")
# Root passes over permission bits; the immutable flag stops it (where the file system has it).
for path in "$doc.tag" "$ro"; do
  if [ "$(id -u)" -eq 0 ]; then chattr +i "$path" 2>/dev/null || true; else chmod a-w "$path"; fi
  locked+=("$path")
done
if touch "$ro/probe" 2>/dev/null || { : >>"$doc.tag"; } 2>/dev/null; then
  echo "skip: cannot make a folder and a file unwritable here"
  exit 0
fi

start_app "$bin" "$doc"
win=$(wait_window "^$doc\$")
read -r wx wy < <(window_origin "$win")
wait_red -gt 40
remove_tag_at 280 45
wait_red -eq 0
xdotool mousemove --window "$win" 400 300 key Escape
answer_return "$(question_box)"                 # "No save since last change!": save
wait_line "$E2E_ERR" "error: fail to save tag file!"
answer_return "$(question_box)"                 # "Fail to save!": ignore
wait_app_exit 10 >"$E2E_TMP/rc"
[ "$(cat "$E2E_TMP/rc")" -eq 0 ] || fail "exit code $(cat "$E2E_TMP/rc")"
grep -q '^fopen: ' "$E2E_ERR" || fail "no fopen line"
[ "$(md5sum <"$doc.tag")" = "$before" ] || fail "the old tag file changed"
[ "$(ls -A "$ro" | wc -l)" -eq 2 ] || fail "files left in the folder: $(ls -A "$ro")"
pass "unwritable tag file and folder: the save failed, 'ignore' left with 0, the old tag file untouched"
