#!/usr/bin/env bash
# Crash safety of saving, by both routes: a helper saves a large tag file again and again,
# alternating two versions, and is killed with SIGKILL at random moments, 20 times a route.
# A plain tag file is replaced by renaming a temporary: after every kill it is byte for byte
# one whole version. A hard-linked one is written in place behind a recovery copy: after
# every kill, the next open of the document leaves it one whole version (restoring the copy
# when the kill cut the write short). Each open also removes the killed save's temporary.
# Usage: test_kill_during_save.sh PATH/TO/glossmark   (the helper save_loop is built beside
# the test executables; GLOSSMARK_SAVE_LOOP names it when set)
set -euo pipefail
bin=$(realpath "$1")
source "$(dirname "$0")/lib.sh"
helper=${GLOSSMARK_SAVE_LOOP:-$(dirname "$bin")/tests/save_loop}
[ -x "$helper" ] || fail "no save_loop helper at $helper"
export XDG_STATE_HOME="$E2E_TMP/state"
copies="$XDG_STATE_HOME/glossmark/recovery"

dir="$E2E_TMP/folder"
mkdir "$dir"
doc="$dir/doc.txt"
tags="$doc.tag"
head -c 400000 /dev/zero | tr '\0' 'x' >"$doc"
# 30,000 Tags with notes: a file of about 1.6 MB.
"$helper" --make 30000 "$tags" || fail "could not make the tag file"

# whole FILE: which version FILE is, if it is one.
whole() {
  if cmp -s "$1" "$E2E_TMP/first"; then echo first
  elif cmp -s "$1" "$E2E_TMP/second"; then echo second
  fi
}

# kill_rounds ROUTE: 20 saves killed at random moments; after each the document is opened
# and the tag file checked (by the rename route, before the open too).
kill_rounds() {
  local route=$1 rounds=20 round pid version first_seen=0 second_seen=0 restored=0 left=0
  local deadline=$((SECONDS + 50))
  for round in $(seq 1 $rounds); do
    [ $SECONDS -lt $deadline ] || fail "$route: ran out of time after $((round - 1)) rounds"
    "$helper" "$tags" "$E2E_TMP/first" "$E2E_TMP/second" >"$E2E_TMP/loop.out" 2>"$E2E_ERR" &
    pid=$!
    until grep -q '^saved' "$E2E_TMP/loop.out"; do
      kill -0 $pid 2>/dev/null || fail "the helper stopped: $(cat "$E2E_ERR")"
      sleep 0.01
    done
    sleep "0.$(printf "%03d" $((RANDOM % 150)))"   # a few dozen saves long
    kill -KILL $pid
    wait $pid 2>/dev/null || true
    if [ "$route" = "rename" ]; then
      [ -n "$(whole "$tags")" ] || fail "$route, round $round: the tag file is neither version ($(stat -c %s "$tags") bytes)"
    fi
    local torn=0
    [ -n "$(whole "$tags")" ] || torn=1
    left=$((left + $(temporaries)))
    "$helper" --open "$doc" >"$E2E_OUT" 2>>"$E2E_ERR" || fail "round $round: the document did not open"
    if [ $torn = 1 ]; then
      restored=$((restored + 1))
      grep -qxF "Warning: an interrupted save had left $tags incomplete; restored it from its recovery copy" "$E2E_OUT" ||
        fail "round $round: no line told of the restored tag file"
    fi
    [ -z "$(ls -A "$copies" 2>/dev/null)" ] || fail "round $round: a recovery copy stayed after the open"
    [ "$(temporaries)" -eq 0 ] || fail "round $round: temporaries of the killed save stayed after the open"
    version=$(whole "$tags")
    case $version in
      first) first_seen=$((first_seen + 1)) ;;
      second) second_seen=$((second_seen + 1)) ;;
      *) fail "$route, round $round: after opening, the tag file is neither version ($(stat -c %s "$tags") bytes)" ;;
    esac
    [ "$(stat -c %h "$tags")" = "$links" ] || fail "$route, round $round: the tag file lost a name"
  done
  # The helper starts from the file as left: either version may be "the first" of a round,
  # so only wholeness is checked, and that the kills met both.
  [ "$first_seen" -gt 0 ] && [ "$second_seen" -gt 0 ] || fail "$route: the kills always met the same version"
  pass "$route: $rounds kills during saves, the tag file always whole ($first_seen / $second_seen; $restored restored and $left temporaries removed on opening)"
}

temporaries() { find "$dir" -name 'doc.txt.tag.tmp-*' | wc -l; }

links=1
kill_rounds "rename"

ln "$tags" "$dir/second-name.tag"
links=2
kill_rounds "in place"
cmp -s "$tags" "$dir/second-name.tag" || fail "the two names of the tag file differ"
