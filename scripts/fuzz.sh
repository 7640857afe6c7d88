#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (or $GLOSSMARK_FUZZ_BUILD_DIR) and
# runs each one for SECONDS (default 60) on a scratch copy of its checked-in corpus, which
# therefore never grows. Exits non-zero when a target finds a crash, a hang or a failed
# check; the input that did it is kept in the build folder's crashes/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${GLOSSMARK_FUZZ_BUILD_DIR:-$root/build-fuzz}
targets=(fuzz_tag_file fuzz_anchor_file fuzz_document fuzz_document_latin1 fuzz_painter
         fuzz_import)

"$root/scripts/deps.sh" --with-tests
"$root/scripts/make-test-locale.sh"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DGLOSSMARK_FUZZ=ON \
      -DGLOSSMARK_TESTS=OFF -DGLOSSMARK_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzzers -j "$(nproc)"

# The targets write files for every input: tmpfs keeps that off the disk.
base=/tmp
[ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/glossmark-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
crashes="$build/crashes"
mkdir -p "$crashes"

corpus_of() {
  case $1 in
    fuzz_document_latin1) echo fuzz_document ;;  # one loader, two locales
    *) echo "$1" ;;
  esac
}

failed=()
for target in "${targets[@]}"; do
  corpus="$work/corpus-$target"
  mkdir "$corpus"
  cp "$root/fuzz/corpus/$(corpus_of "$target")"/* "$corpus/"
  log="$work/$target.log"
  if TMPDIR="$work" "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
       -artifact_prefix="$crashes/$target-" "$corpus" >"$log" 2>&1; then
    echo "$target: $(grep -E '^Done [0-9]+ runs' "$log")"
  else
    echo "$target: FAILED" >&2
    grep -v -E '^(INFO:|#[0-9]+\s+(NEW|REDUCE|pulse|RELOAD))' "$log" | tail -n 60 >&2
    failed+=("$target")
  fi
done

echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]} (inputs in $crashes)" >&2
  exit 1
fi
