#!/usr/bin/env bash
# `cmake --install` into a fresh prefix: exactly the files a Debian desktop looks for, each
# accepted by Debian's own checker, icons of the sizes their folders name, and the program
# started from PATH as its desktop entry says.
# Usage: test_install.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
source "$here/../e2e/lib.sh"
source "$here/installed.sh"

prefix="$E2E_TMP/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
icon_sizes=(16 32 48 64 128)
expected=(bin/glossmark share/applications/glossmark.desktop share/glossmark/help.txt
          share/man/man1/glossmark.1.gz share/man/man1/glossmark-tags.1.gz
          bin/glossmark-tags share/metainfo/org.example.glossmark.metainfo.xml)
for size in "${icon_sizes[@]}"; do expected+=("share/icons/hicolor/${size}x$size/apps/glossmark.png"); done
installed=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)
[ "$installed" = "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
  fail "installed files differ from the expected ones: $(diff <(printf '%s\n' "${expected[@]}" | sort) - <<<"$installed" | grep '^[<>]' | tr '\n' ' ')"
pass "installed ${#expected[@]} files where a Debian desktop looks for them"

for size in "${icon_sizes[@]}"; do
  got=$(identify -format '%wx%h %[channels]' "$prefix/share/icons/hicolor/${size}x$size/apps/glossmark.png")
  [ "$got" = "${size}x$size srgba" ] || fail "${size}x$size icon is '$got'"
done
pass "icons ${icon_sizes[*]} have their sizes and a transparent background"

report=$(desktop-file-validate "$prefix/share/applications/glossmark.desktop" 2>&1) &&
  [ -z "$report" ] || fail "desktop-file-validate: $report"
report=$(appstreamcli validate --no-net --strict \
           "$prefix/share/metainfo/org.example.glossmark.metainfo.xml" 2>&1) ||
  fail "appstreamcli validate: $report"
# The check Debian's lintian makes of a manual page.
for page in glossmark glossmark-tags; do
  report=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
             man --warnings -E UTF-8 -l -Tutf8 -Z "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null) &&
    [ -z "$report" ] || fail "manual page $page(1) warnings: $report"
done
pass "desktop entry, AppStream metainfo and manual page pass Debian's checkers"

PATH="$prefix/bin:$PATH" run_installed "$prefix"
