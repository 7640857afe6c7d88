#!/usr/bin/env bash
# The accuracy benchmark of Tags following their text: installs what it needs, builds with
# optimisation (build-bench/, or $GLOSSMARK_BENCH_BUILD_DIR), makes the corpus of real texts
# (scripts/make-anchor-corpus.sh) and runs glossmark_anchor_accuracy on it. Arguments go to
# the program after the corpus: the number of rounds (default 2). Exits non-zero when a Tag
# was placed wrong.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${GLOSSMARK_BENCH_BUILD_DIR:-$root/build-bench}
"$root/scripts/deps.sh" --with-bench
GLOSSMARK_BUILD_DIR=$build "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DGLOSSMARK_BENCH=ON -DGLOSSMARK_SANITIZE=OFF
"$root/scripts/make-anchor-corpus.sh" "$build/anchor-corpus"
exec "$build/bench/glossmark_anchor_accuracy" "$build/anchor-corpus" "$@"
