#!/usr/bin/env bash
# Installs, builds and runs every test suite (unit, in-process GUI, end to end), under a
# private Xvfb when there is no display. Set GLOSSMARK_SANITIZE=1 to add the ASan/UBSan run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" --with-tests
"$root/scripts/make-test-locale.sh"
"$root/scripts/build.sh"
build=${GLOSSMARK_BUILD_DIR:-$root/build}

run_tests() {
  ctest --test-dir "$build" --output-on-failure -j 2 "$@"
}

if [ -z "${DISPLAY:-}" ]; then
  exec "$root/scripts/with-xvfb.sh" bash -c "$(declare -f run_tests); build='$build'; run_tests"
fi
run_tests
