#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds every configuration and runs its tests.
#   native  portable core, geq15-tool, unit tests
#   win32   cross-built Windows programs and tests, run under Wine (private prefix, own Xvfb)
#   asan    native tests under AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan    the concurrency tests under ThreadSanitizer
#   fuzz    libFuzzer targets: corpus replay plus a bounded run each
# Pass stage names to run only those (e.g. scripts/test.sh native win32). Exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

"$root/scripts/install-deps.sh" || { echo "test: installing the build dependencies failed" >&2; exit 1; }

stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(native win32 asan tsan fuzz)
jobs=$(nproc)
failed=()

build() {  # build PRESET; the log stays in build/ for a look after a failure
  local log="build/build-$1.log"
  cmake --preset "$1" >"$log" 2>&1 && cmake --build --preset "$1" -j "$jobs" >>"$log" 2>&1 \
    || { tail -n 60 "$log"; return 1; }
}

run_stage() {
  local preset=$1
  echo "== $preset: build"
  if ! build "$preset"; then failed+=("$preset build"); return; fi
  echo "== $preset: test"
  local args=(--test-dir "build/$preset" --output-on-failure -j "$jobs")
  case $preset in
    win32)
      export WINEPREFIX="$root/build/wineprefix"
      "$root/scripts/wine-prefix.sh" || { failed+=("wine prefix"); return; }
      # shellcheck source=xvfb.sh
      source "$root/scripts/xvfb.sh"
      # A wineserver left from an earlier run is tied to the display it started on; windows
      # created through it would fail once that display is gone.
      wineserver -k 2>/dev/null || true
      args=(--test-dir build/win32 --output-on-failure -j 1) ;;   # one Wine program at a time
    tsan) args+=(-L concurrency) ;;
  esac
  ctest "${args[@]}" || failed+=("$preset tests")
}

mkdir -p build
for s in "${stages[@]}"; do
  case $s in
    native|win32|asan|tsan|fuzz) run_stage "$s" ;;
    *) echo "test: unknown stage '$s' (native, win32, asan, tsan, fuzz)" >&2; exit 2 ;;
  esac
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]} (build logs in build/build-*.log)"
  exit 1
fi
echo "All stages passed: ${stages[*]}"
