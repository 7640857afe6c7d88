# Helpers for end-to-end tests: a private Xvfb, the real program, xdotool, screenshots.
# Source it from a test script; call e2e_cleanup on exit (installed as the EXIT trap).
# GLOSSMARK_E2E_WM=openbox runs the X server with that window manager, as users have one;
# unset or empty, bare.
set -euo pipefail

E2E_TMP=$(mktemp -d)
E2E_XVFB_PID=""
E2E_WM_PID=""
E2E_WM=${GLOSSMARK_E2E_WM:-}
E2E_APP_PID=""
E2E_OUT="$E2E_TMP/stdout.txt"
E2E_ERR="$E2E_TMP/stderr.txt"

e2e_cleanup() {
  [ -n "$E2E_APP_PID" ] && kill "$E2E_APP_PID" 2>/dev/null || true
  [ -n "$E2E_WM_PID" ] && kill "$E2E_WM_PID" 2>/dev/null || true
  [ -n "$E2E_XVFB_PID" ] && kill "$E2E_XVFB_PID" 2>/dev/null || true
  rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

fail() { echo "FAIL: $*" >&2; [ -f "$E2E_OUT" ] && sed 's/^/  stdout: /' "$E2E_OUT" >&2; [ -f "$E2E_ERR" ] && sed 's/^/  stderr: /' "$E2E_ERR" >&2; exit 1; }
pass() { echo "ok: $*"; }

# Starts a private X server and exports DISPLAY; then the window manager, if one is asked
# for, and waits until it manages the screen.
start_xvfb() {
  local fifo="$E2E_TMP/displayfd" n deadline
  mkfifo "$fifo"
  # -noreset: the program and xdotool come and go; a server resetting behind the last of
  # them would refuse the next.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  E2E_XVFB_PID=$!
  read -r -t 10 n <"$fifo" || fail "Xvfb did not start"
  export DISPLAY=":$n"
  [ -n "$E2E_WM" ] || return 0
  case $E2E_WM in
    openbox) HOME=$E2E_TMP openbox --sm-disable >"$E2E_TMP/wm.log" 2>&1 & ;;
    *) fail "unknown window manager '$E2E_WM'" ;;
  esac
  E2E_WM_PID=$!
  deadline=$((SECONDS + 10))
  until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    [ $SECONDS -ge $deadline ] && fail "$E2E_WM did not start: $(cat "$E2E_TMP/wm.log")"
    sleep 0.05
  done
  wait_wm_manages
}

# The check window comes early in a window manager's start: a window mapped before the
# manager handles maps can stay unmapped for good (seen under load). A probe window, made
# again until one is managed, shows that it does.
wait_wm_manages() {
  local deadline=$((SECONDS + 20)) probe id tries
  while :; do
    xmessage -name wm-probe -title wm-probe probe >/dev/null 2>&1 &
    probe=$!
    for tries in $(seq 40); do
      id=$(xdotool search --onlyvisible --name '^wm-probe$' 2>/dev/null | head -n1) || true
      if [ -n "$id" ] && xprop -id "$id" WM_STATE 2>/dev/null | grep -q Normal; then
        kill "$probe" 2>/dev/null; wait "$probe" 2>/dev/null || true
        while xwininfo -id "$id" >/dev/null 2>&1; do sleep 0.02; done
        return 0
      fi
      sleep 0.05
    done
    kill "$probe" 2>/dev/null; wait "$probe" 2>/dev/null || true
    [ $SECONDS -ge $deadline ] && fail "$E2E_WM manages no window: $(cat "$E2E_TMP/wm.log")"
  done
}

# wait_focus ID : waits until window ID has the keyboard focus.
wait_focus() {
  local deadline=$((SECONDS + 5))
  until [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; do
    [ $SECONDS -ge $deadline ] && fail "window $1 did not get the keyboard focus"
    sleep 0.02
  done
}

# start_app BINARY ARGS... : runs the program with stdout/stderr captured.
start_app() {
  : >"$E2E_OUT"; : >"$E2E_ERR"
  "$@" >"$E2E_OUT" 2>"$E2E_ERR" &
  E2E_APP_PID=$!
}

# Waits until the app exits; echoes its exit code.
wait_app_exit() {
  local deadline=$((SECONDS + ${1:-10})) rc=0
  while kill -0 "$E2E_APP_PID" 2>/dev/null; do
    [ $SECONDS -ge $deadline ] && fail "program did not exit"
    sleep 0.02
  done
  wait "$E2E_APP_PID" || rc=$?
  E2E_APP_PID=""
  echo "$rc"
}

# wait_window TITLE_REGEX [SECONDS] : echoes the window id of the visible window with that
# title. The default is generous: on a busy machine a window manager may take seconds to map.
# Polled rather than one `search --sync`: a search that meets a window being destroyed under
# it (a window manager's frames come and go) may die of the X error and never retry.
wait_window() {
  local id="" deadline=$((SECONDS + ${2:-30}))
  until id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1) && [ -n "$id" ]; do
    [ $SECONDS -ge $deadline ] && fail "no window titled /$1/; $(describe_screen)"
    sleep 0.05
  done
  echo "$id"
}

# What a failed wait saw: whether the program runs, the named windows and their map states.
describe_screen() {
  local alive=exited
  [ -n "$E2E_APP_PID" ] && kill -0 "$E2E_APP_PID" 2>/dev/null && alive=running
  echo "program $alive; windows:"
  xwininfo -root -tree 2>&1 | grep -v 'has no name' | sed -n '1,40p'
  for id in $(xdotool search --name . 2>/dev/null); do
    echo "$id $(xwininfo -id "$id" 2>/dev/null | grep -o 'Map State: .*') $(xprop -id "$id" WM_STATE 2>/dev/null | tr '\n' ' ')"
  done
  [ -f "$E2E_TMP/wm.log" ] && sed 's/^/wm: /' "$E2E_TMP/wm.log"
  return 0
}

# wait_line FILE FIXED_STRING [SECONDS] : polls until a line equal to the string appears.
wait_line() {
  local deadline=$((SECONDS + ${3:-10}))
  until grep -qxF -- "$2" "$1"; do
    [ $SECONDS -ge $deadline ] && fail "no line '$2' in $(basename "$1")"
    sleep 0.02
  done
}

# window_origin ID : echoes "X Y" of the window's top-left corner on the screen.
window_origin() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} END{print x, y}'
}

screenshot() { import -window root "$1"; }

# count_pixels PNG W H X Y FX : number of pixels in the box W x H at X,Y (screen) for which
# the ImageMagick expression FX is true, e.g. 'r>0.7&&g<0.3&&b<0.3' for clear red.
count_pixels() {
  convert "$1" -crop "${2}x${3}+${4}+${5}" +repage -fx "($6)?1:0" -format '%[fx:round(mean*w*h)]' info:
}

# Mapped override-redirect windows (menus, tips) of the same X client as window ID.
override_windows_of() {
  local main=$1 id
  for id in $(xwininfo -root -children | awk '/^ +0x/{print $1}'); do
    [ $(( id >> 21 )) -eq $(( main >> 21 )) ] || continue
    xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' || continue
    xwininfo -id "$id" 2>/dev/null | grep -q 'Override Redirect State: yes' && echo "$id"
  done
  return 0
}

# wait_override_window SECONDS MESSAGE: echoes the first mapped menu or tip window of $win,
# failing with MESSAGE when none comes within SECONDS.
wait_override_window() {
  local id="" deadline=$((SECONDS + $1))
  until [ -n "$id" ]; do
    id=$(override_windows_of "$win" | head -n1)
    [ -n "$id" ] && break
    [ $SECONDS -ge $deadline ] && fail "$2"
    sleep 0.05
  done
  echo "$id"
}

# pick_tag_popup_item ROW: with the tag popup menu of window $win just asked for (a right
# click), clicks its ROW-th item (0 is "New tag"). The menu opens with its last pick under the
# pointer, so the item is aimed at by the menu's geometry (7 rows).
pick_tag_popup_item() {
  local menu mx my mh item_h
  menu=$(wait_override_window 10 "the tag popup menu did not open")
  read -r mx my < <(window_origin "$menu")
  mh=$(xwininfo -id "$menu" | awk '/Height:/{print $2}')
  item_h=$(((mh - 4) / 7))
  xdotool mousemove $((mx + 30)) $((my + 2 + $1 * item_h + item_h / 2)) click 1
}

# wait_pixels PNG_NAME BOX TEST OP LIMIT: screenshots until the count of TEST pixels in BOX
# ("W H X Y") satisfies OP LIMIT (-gt, -eq...); echoes the count.
wait_pixels() {
  local box=($2) deadline=$((SECONDS + 10)) n
  while :; do
    screenshot "$E2E_TMP/$1"
    n=$(count_pixels "$E2E_TMP/$1" "${box[@]}" "$3")
    [ "$n" "$4" "$5" ] && { echo "$n"; return 0; }
    [ $SECONDS -ge $deadline ] && { echo "$n"; return 1; }
    sleep 0.1
  done
}
