#!/usr/bin/env bash
# Crash safety of saving: a helper saves a large tag file again and again, alternating two
# versions, and is killed with SIGKILL at random moments, 30 times. After every kill the tag
# file is byte for byte one whole version, never a mix, a stub or nothing.
# Usage: test_kill_during_save.sh PATH/TO/glossmark   (the helper save_loop is built beside
# the test executables; GLOSSMARK_SAVE_LOOP names it when set)
set -euo pipefail
bin=$(realpath "$1")
source "$(dirname "$0")/lib.sh"
helper=${GLOSSMARK_SAVE_LOOP:-$(dirname "$bin")/tests/save_loop}
[ -x "$helper" ] || fail "no save_loop helper at $helper"

dir="$E2E_TMP/folder"
mkdir "$dir"
tags="$dir/doc.txt.tag"
# 30,000 Tags with notes: a file of about 1.6 MB.
"$helper" --make 30000 "$tags" || fail "could not make the tag file"

rounds=30
first_seen=0
second_seen=0
deadline=$((SECONDS + 60))
for round in $(seq 1 $rounds); do
  [ $SECONDS -lt $deadline ] || fail "ran out of time after $((round - 1)) rounds"
  "$helper" "$tags" "$E2E_TMP/first" "$E2E_TMP/second" >"$E2E_TMP/loop.out" 2>"$E2E_ERR" &
  pid=$!
  until grep -q '^saved' "$E2E_TMP/loop.out"; do
    kill -0 $pid 2>/dev/null || fail "the helper stopped: $(cat "$E2E_ERR")"
    sleep 0.01
  done
  sleep "0.$(printf "%03d" $((RANDOM % 150)))"   # a few dozen saves long
  kill -KILL $pid
  wait $pid 2>/dev/null || true
  if cmp -s "$tags" "$E2E_TMP/first"; then
    first_seen=$((first_seen + 1))
  elif cmp -s "$tags" "$E2E_TMP/second"; then
    second_seen=$((second_seen + 1))
  else
    fail "round $round: the tag file is neither version ($(stat -c %s "$tags") bytes, after $(tail -n1 "$E2E_TMP/loop.out"))"
  fi
done
# The helper starts from the file as left: either version may be "the first" of a round, so
# only wholeness is checked, and that the kills met both.
[ $((first_seen + second_seen)) -eq $rounds ] || fail "counted $first_seen + $second_seen rounds"
[ "$first_seen" -gt 0 ] && [ "$second_seen" -gt 0 ] || fail "the kills always met the same version"
left=$(find "$dir" -name 'doc.txt.tag.tmp-*' | wc -l)
pass "$rounds kills during saves: the tag file was always whole ($first_seen / $second_seen); $left unfinished temporary files left beside it"
