#!/usr/bin/env bash
# The Debian package end to end. It installs and removes packages as root, so run it on a
# throwaway Debian 12 system:   ../shared/fresh-machine.sh tests/install/check_deb.sh
# Builds dist/glossmark_*.deb, installs it with apt-get, runs `glossmark` from PATH under
# Xvfb as its desktop entry says (window title = document path, F1 = the installed help
# text), then removes it and finds nothing of it left: no file, no folder, no cache entry.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "check_deb.sh: run it as root on a throwaway system" >&2; exit 2; }
# Xvfb and xdotool, and the desktop tools whose dpkg triggers index the desktop entry.
"$root/scripts/deps.sh" --with-tests
"$root/scripts/package.sh" >/dev/null
source "$root/tests/e2e/lib.sh"
source "$root/tests/install/installed.sh"

# Paths named after the program that were there before the package (say, the data folder
# ./scripts/run.sh makes): the removal must leave exactly these.
named_paths() {
  find / -xdev \( -path /proc -o -path "$root" -o -path /tmp \) -prune -o -name '*glossmark*' -print |
    sort
}
named_before=$(named_paths)

debs=("$root"/dist/glossmark_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one package in dist/: ${debs[*]}"
(cd "$root" && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./dist/glossmark_*.deb) \
  >"$E2E_TMP/apt.log" 2>&1 ||
  fail "apt-get install failed: $(cat "$E2E_TMP/apt.log")"
pass "apt-get install ./dist/$(basename "${debs[0]}")"

[ "$(man -w glossmark)" = /usr/share/man/man1/glossmark.1.gz ] || fail "man finds '$(man -w glossmark)'"
grep -q '^text/plain=.*glossmark\.desktop' /usr/share/applications/mimeinfo.cache ||
  fail "text/plain files are not offered to glossmark.desktop"
pass "man glossmark finds the page; text/plain files are offered to Glossmark"
run_installed /usr

files=$(dpkg-query -L glossmark)
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq glossmark >"$E2E_TMP/apt.log" 2>&1 ||
  fail "apt-get remove failed: $(cat "$E2E_TMP/apt.log")"
status=$(dpkg-query -W -f='${Status}' glossmark 2>/dev/null || true)
case $status in *not-installed* | "") ;; *) fail "after removal dpkg says '$status'" ;; esac
while read -r path; do
  [ ! -e "$path" ] || [ -d "$path" ] || fail "$path is still there"
done <<<"$files"
left=$(comm -13 <(echo "$named_before") <(named_paths))
[ -z "$left" ] || fail "left behind: $left"
cached=$(grep -rIl glossmark /usr/share/applications /usr/share/icons /usr/share/metainfo 2>/dev/null || true)
[ -z "$cached" ] || fail "still named in: $cached"
pass "apt-get remove glossmark left no file, folder or cache entry behind"
