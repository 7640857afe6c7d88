#!/usr/bin/env bash
# The page of glossmark-tags html in a real browser (headless Chromium): the tagged word is
# drawn in its colour, and neither a note nor the document, both holding script elements,
# runs a script.
# Usage: test_tags_html_browser.sh PATH/TO/glossmark (glossmark-tags is found beside it)
set -euo pipefail
tool=$(dirname "$(realpath "$1")")/glossmark-tags
source "$(dirname "$0")/lib.sh"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
cd "$E2E_TMP"
command -v chromium >/dev/null || fail "chromium is not installed (scripts/deps.sh --with-tests)"

le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x00\\x00"; }
printf 'Marked words here.\n</pre><script>document.body.setAttribute("data-ran","text")</script>\n' >doc.txt
note='<script>document.body.setAttribute("data-ran","note")</script>'
# "Marked" in style j (red, bold italic 20) with the note above.
{ le32 1; le32 0; printf 'A'; le32 0; le32 6; printf 'j'; le32 1000000000;
  le32 $((${#note} + 1)); printf '%s\0' "$note"; } >doc.txt.tag
"$tool" html doc.txt -o tagged.html
cp doc.txt plain.txt
"$tool" html plain.txt -o plain.html 2>/dev/null  # no tag file: the loader says so

browser() {  # ARGS... : headless Chromium with a fresh profile and no network chatter
  timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$E2E_TMP/profile-$RANDOM" --window-size=800,400 "$@" 2>/dev/null
}
red_pixels() { convert "$1" -fx '(r>0.7&&g<0.3&&b<0.3)?1:0' -format '%[fx:round(mean*w*h)]' info:; }

browser --screenshot="$E2E_TMP/tagged.png" "file://$E2E_TMP/tagged.html" >/dev/null
browser --screenshot="$E2E_TMP/plain.png" "file://$E2E_TMP/plain.html" >/dev/null
tagged=$(red_pixels tagged.png) plain=$(red_pixels plain.png)
[ "$tagged" -gt 100 ] && [ "$plain" -eq 0 ] || fail "red pixels: $tagged tagged, $plain untagged"
pass "the tagged word is red ($tagged pixels), the untagged page has none"

browser --dump-dom "file://$E2E_TMP/tagged.html" >dom.html
grep -q 'Marked' dom.html || fail "the DOM was not dumped"
! grep -qi '<script' dom.html || fail "a script element made it into the DOM"
! grep -q 'data-ran=' dom.html || fail "a script ran"
grep -q 'title="[^"]*script' dom.html || fail "the note is not in the hover title"
pass "no script element and no script ran; the note is plain text"
