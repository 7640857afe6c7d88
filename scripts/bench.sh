#!/usr/bin/env bash
# Installs what it needs, builds the benchmarks with optimisation (build-bench/, or
# $GLOSSMARK_BENCH_BUILD_DIR) and runs them, under a private Xvfb when there is no display.
# Arguments go to the benchmark program; without any, every benchmark runs five times and
# only the mean, median and spread are shown. The documents it measures (100 MB, 100,000
# tags) are made in the temporary directory and removed at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${GLOSSMARK_BENCH_BUILD_DIR:-$root/build-bench}
"$root/scripts/deps.sh" --with-tests
GLOSSMARK_BUILD_DIR=$build "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DGLOSSMARK_BENCH=ON -DGLOSSMARK_SANITIZE=OFF

args=("$@")
[ ${#args[@]} -eq 0 ] && args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
run=("$build/bench/glossmark_bench" "${args[@]}")
if [ -z "${DISPLAY:-}" ]; then
  exec "$root/scripts/with-xvfb.sh" "${run[@]}"
fi
exec "${run[@]}"
