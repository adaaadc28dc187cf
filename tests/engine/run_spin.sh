#!/usr/bin/env bash
# Exhaustive check of a Promela model: run_spin.sh MODEL.pml pass|fail [spin -D options...]
# "fail" marks a broken variant that the search must catch, which shows the check can fail.
set -euo pipefail
model=$1 expect=$2
shift 2
command -v spin >/dev/null || { echo "spin is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$model" "$work/model.pml" && cd "$work"
spin "$@" -a model.pml >spin.log 2>&1 && cc -O2 -DSAFETY -o pan pan.c 2>>spin.log || { cat spin.log; exit 1; }
./pan >pan.log 2>&1 || true
errors=$(sed -n 's/.*errors: \([0-9]*\).*/\1/p' pan.log | head -n 1)
[ -n "$errors" ] || { cat pan.log; echo "could not read pan's result" >&2; exit 1; }
echo "$(basename "$model") $*: $(sed -n 's/^ *\([0-9]*\) states, stored.*/\1/p' pan.log) states, $errors errors (expected: $expect)"
grep -m1 'assertion violated' pan.log || true
if [ "$expect" = fail ]; then [ "$errors" -gt 0 ] || { echo "the broken variant was not caught" >&2; exit 1; }; exit 0; fi
[ "$errors" -eq 0 ] || { spin "$@" -t -p model.pml | tail -n 40; exit 1; }
# Every step of both threads must have been reached, or the bounds are too small to mean much.
if grep -A1 'unreached in proctype' pan.log | grep -vE 'unreached in|\(0 of|^--' | grep -q .; then
  sed -n '/unreached in/,$p' pan.log
  echo "some protocol steps were never reached: raise P or K" >&2
  exit 1
fi
