#!/usr/bin/env bash
# glossmark-tags as a process: usage and exit codes, list, export to a file and import into
# a copy of the document giving the same tag file, refused input leaving the tag file
# untouched with one line on standard error, and standard output holding only data.
# Usage: test_tags_tool.sh PATH/TO/glossmark (glossmark-tags is found beside it)
set -euo pipefail
tool=$(dirname "$(realpath "$1")")/glossmark-tags
source "$(dirname "$0")/lib.sh"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
cd "$E2E_TMP"

le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
# "Köln" (bytes 12..17 once CR LF reads as LF) in red with a two-line note, time 10^9.
printf 'Grüße aus Köln\r\nzweite Zeile\r\n' >doc.txt
{ le32 3; le32 0; printf 'E'; le32 12; le32 17; printf 'B'; le32 1000000000;
  le32 15; printf 'a <note>\nline2\0'; } >doc.txt.tag
cp doc.txt.tag saved.tag

rc=0
run() { rc=0; "$tool" "$@" >out.txt 2>err.txt || rc=$?; }
expect() {  # RC DESCRIPTION
  [ "$rc" = "$1" ] || { sed 's/^/  stderr: /' err.txt >&2; fail "$2: exit $rc, wanted $1"; }
}
one_error_line() {  # PREFIX: standard error is that one line and standard output is empty
  [ "$(wc -l <err.txt)" = 1 ] || { cat err.txt >&2; fail "not one line on standard error"; }
  grep -q "^glossmark-tags: $1" err.txt || { cat err.txt >&2; fail "wrong line"; }
  [ ! -s out.txt ] || fail "standard output is not empty"
}

run --help; expect 0 "--help"
grep -q '^Usage: glossmark-tags COMMAND DOCUMENT' out.txt && [ ! -s err.txt ] || fail "--help text"
for args in "" "frobnicate doc.txt" "list" "list doc.txt extra" "list doc.txt -o x" "export doc.txt -o" "html doc.txt --colour"; do
  # shellcheck disable=SC2086
  run $args; expect 2 "usage error for '$args'"
  grep -q '^Usage: glossmark-tags' err.txt && [ ! -s out.txt ] || fail "usage text for '$args'"
done
pass "usage: --help exits 0, usage errors exit 2 with the usage text"

run list doc.txt; expect 0 "list"
[ "$(cat out.txt)" = '12 17 B 2001-09-09T01:46:40Z a <note>\nline2' ] || fail "list line: $(cat out.txt)"
[ ! -s err.txt ] || fail "list wrote to standard error"
pass "list"

run export doc.txt -o doc.json; expect 0 "export"
[ ! -s out.txt ] && [ ! -s err.txt ] || fail "export -o wrote elsewhere"
grep -q '"type": "AnnotationCollection"' doc.json || fail "no collection"
grep -q '{"type":"TextPositionSelector","start":10,"end":14}' doc.json || fail "positions not in characters"
mkdir copy && cp doc.txt copy/
run import copy/doc.txt doc.json; expect 0 "import"
cmp copy/doc.txt.tag doc.txt.tag || fail "round trip changed the tag file"
run import copy/doc.txt - <doc.json; expect 0 "import again from standard input"
cmp copy/doc.txt.tag doc.txt.tag || fail "a second import changed the tag file"
pass "export, then import into a copy gives the same tag file byte for byte"

# An annotation whose quote is in two places and has no position: listed, not added.
printf '{"type":"Annotation","target":{"source":"doc.txt","selector":{"type":"TextQuoteSelector","exact":"e"}}}' >twice.json
run import doc.txt twice.json; expect 0 "import of an annotation that cannot be placed"
[ "$(cat err.txt)" = "not placed: annotation 1: its quote is not in the text, or not in one place" ] ||
  fail "unplaced listing: $(cat err.txt)"
cmp doc.txt.tag saved.tag || fail "nothing to add, yet the tag file changed"
pass "annotations that cannot be placed are listed on standard error"

printf '{not json' >bad.json
sed 's#/doc.txt#/other.txt#g' doc.json >other.json
printf '{"type":"AnnotationPage","items":[{"type":"Annotation"}]}' >shape.json
for input in bad.json other.json shape.json missing.json; do
  run import doc.txt "$input"; expect 1 "import $input"
  one_error_line ""
  cmp doc.txt.tag saved.tag || fail "import of $input touched the tag file"
done
run import doc.txt other.json
grep -q "^glossmark-tags: other.json: the annotations are for another document: file:///" err.txt ||
  fail "another document: $(cat err.txt)"
run html doc.txt -o doc.txt.tag; expect 1 "html over the tag file"
one_error_line "will not write over doc.txt.tag"
cmp doc.txt.tag saved.tag || fail "html wrote over the tag file"
run list nope.txt; expect 1 "missing document"
one_error_line "nope.txt: No such file or directory"
pass "refused input: exit 1, one line, tag file untouched"

# A document that is not UTF-8 in a UTF-8 locale: the loader's progress line ("Not UTF-8")
# must not reach standard output, which carries data.
printf 'caf\xe9\n' >latin1.txt
run export latin1.txt; expect 1 "export of a document that cannot be read"
[ ! -s out.txt ] || fail "progress lines on standard output: $(cat out.txt)"
grep -q '^Do not know file encoding' err.txt && tail -n1 err.txt | grep -q '^glossmark-tags: cannot open latin1.txt' ||
  fail "the loader's line and ours"
run -v export latin1.txt; expect 1 "verbose export"
grep -qx 'Not UTF-8' err.txt || fail "-v shows the progress lines on standard error"
pass "standard output carries only data"

run html doc.txt -o doc.html; expect 0 "html"
grep -qF '<a class="gm-s01" href="#tag-1" title="a &lt;note&gt;&#10;line2"><span id="at-1"></span>Köln</a>' doc.html || fail "tagged word in the page"
pass "html"
