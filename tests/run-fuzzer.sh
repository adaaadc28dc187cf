#!/usr/bin/env bash
# run-fuzzer.sh FUZZER SEED_CORPUS WORK_DIR SECONDS
# Replays the committed seed corpus, then fuzzes for a bounded time with a scratch copy of it,
# so new inputs never land in the repository. Any crash, leak or sanitizer report fails.
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=$4
rm -rf "$work" && mkdir -p "$work"
cp -r "$seeds"/. "$work"/
"$fuzzer" -runs=0 "$seeds"
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" "$work" 2>&1 | tail -n 25
exit "${PIPESTATUS[0]}"
