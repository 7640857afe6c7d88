# run_installed PREFIX: the program installed under PREFIX, started the way its desktop entry
# says (PATH must lead to it), opens a document under the document's path as window title,
# with the window class the entry names; F1 opens the installed help text; Escape leaves with
# status 0. Source it after tests/e2e/lib.sh.
run_installed() {
  local prefix=$1 entry="$1/share/applications/glossmark.desktop" help="$1/share/glossmark/help.txt"
  local doc="$E2E_TMP/installed doc.txt" command win class rc
  [ "$(command -v glossmark)" = "$prefix/bin/glossmark" ] ||
    fail "glossmark on PATH is '$(command -v glossmark)', not $prefix/bin/glossmark"
  printf 'Opened by the installed program.\n' >"$doc"
  command=$(sed -n 's/^Exec=//p' "$entry")
  [ "$command" = "glossmark %f" ] || fail "desktop entry runs '$command'"

  [ -n "$E2E_XVFB_PID" ] || start_xvfb
  start_app glossmark "$doc"
  win=$(wait_window "^$doc\$")
  wait_line "$E2E_OUT" "cut size $(stat -c %s "$doc")"
  class=$(xprop -id "$win" WM_CLASS | sed 's/.*= "[^"]*", "\([^"]*\)"$/\1/')
  [ "$class" = "$(sed -n 's/^StartupWMClass=//p' "$entry")" ] ||
    fail "window class '$class' is not the desktop entry's StartupWMClass"
  pass "glossmark from PATH opened '$doc' (window class $class)"

  xdotool mousemove --window "$win" 400 300 key F1
  wait_window "^$help\$" >/dev/null
  pass "F1 opened $help"

  xdotool key Escape
  wait_app_exit 10 >"$E2E_TMP/rc"
  rc=$(cat "$E2E_TMP/rc")
  [ "$rc" -eq 0 ] || fail "exit status $rc after Escape"
  [ ! -e "$help.tag" ] || fail "leaving wrote $help.tag"
  pass "Escape left with status 0"
}
