#!/usr/bin/env bash
# Installs, builds and starts Glossmark. Without a file argument it opens a copy of the
# bundled sample (with its tag file) in the user's data folder, so the repository's copy
# never changes when tags are saved.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
GLOSSMARK_TESTS=OFF "$root/scripts/build.sh" -DGLOSSMARK_TESTS=OFF -DGLOSSMARK_BENCH=OFF
bin=${GLOSSMARK_BUILD_DIR:-$root/build}/glossmark

if [ -z "${DISPLAY:-}" ]; then
  echo "glossmark: no X display (DISPLAY is not set); run it inside a desktop session or under xvfb-run." >&2
  exit 1
fi
if [ $# -eq 0 ]; then
  data=${XDG_DATA_HOME:-$HOME/.local/share}/glossmark
  mkdir -p "$data"
  if [ ! -e "$data/sample.txt" ]; then
    cp "$root/resources/sample.txt" "$root/resources/sample.txt.tag" "$data/"
  fi
  exec "$bin" "$data/sample.txt"
fi
exec "$bin" "$@"
