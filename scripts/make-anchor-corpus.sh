#!/usr/bin/env bash
# Makes the corpus of the re-anchoring accuracy benchmark in DIR (default
# build-bench/anchor-corpus): real texts that Debian packages ship. Licence texts, manual
# pages rendered as plain text at 80 columns, and a book-length text (the Jargon File).
# Tags and edits are made on them by glossmark_anchor_accuracy, which knows where each tagged
# text went.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-bench/anchor-corpus}
"$root/scripts/deps.sh" --with-bench >/dev/null
rm -rf "$dir"
mkdir -p "$dir"

for licence in Apache-2.0 Artistic BSD GFDL-1.3 GPL-2 GPL-3 LGPL-2.1 LGPL-3 MPL-2.0; do
  src=/usr/share/common-licenses/$licence
  [ -f "$src" ] && cp "$src" "$dir/licence-$licence.txt"
done

for page in bash ls find grep sed tar gzip dpkg man cmake xdotool Xvfb; do
  # Rendered as a terminal would show it, without bold and underline overstrikes.
  if text=$(MANWIDTH=80 man -E UTF-8 "$page" 2>/dev/null | col -bx) && [ -n "$text" ]; then
    printf '%s\n' "$text" >"$dir/man-$page.txt"
  fi
done

zcat /usr/share/doc/jargon-text/jargon.txt.gz >"$dir/book-jargon.txt"

count=$(find "$dir" -name '*.txt' | wc -l)
echo "anchor corpus: $count texts, $(cat "$dir"/*.txt | wc -c) bytes in $dir"
