#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds every configuration and runs its tests.
#   native  portable core, geq15-tool, benchmarks (built, not run), unit tests, the exchange
#           models (spin) and the artwork check
#   win32   cross-built Windows programs and tests, run under Wine (private prefix, own Xvfb):
#           the portable tests again on i686, the Win32 layer, the end-to-end scenarios, the
#           zip and the installer (installed, run and uninstalled in a fresh prefix of its own)
#   asan    the native unit tests under AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan    the concurrency tests under ThreadSanitizer (only they are built)
#   fuzz    libFuzzer targets (only they are built): corpus replay plus a bounded run each,
#           GEQ15_FUZZ_SECONDS (default 10) per target
# Pass stage names to run only those (e.g. scripts/test.sh native win32). Exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

"$root/scripts/install-deps.sh" || { echo "test: installing the build dependencies failed" >&2; exit 1; }

stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(native win32 asan tsan fuzz)
jobs=$(nproc)
failed=()

# build PRESET [LABEL]: with LABEL only the targets of the tests so labelled (their test names
# are their target names). The log stays in build/ for a look after a failure.
build() {
  local log="build/build-$1.log" targets=()
  cmake --preset "$1" -DGEQ15_FUZZ_SECONDS="${GEQ15_FUZZ_SECONDS:-10}" >"$log" 2>&1 || { tail -n 60 "$log"; return 1; }
  if [ -n "${2:-}" ]; then
    mapfile -t targets < <(ctest --test-dir "build/$1" -N -L "$2" | sed -n 's/^ *Test *#[0-9]*: //p')
    targets=(--target "${targets[@]}")
  fi
  cmake --build --preset "$1" -j "$jobs" "${targets[@]}" >>"$log" 2>&1 || { tail -n 60 "$log"; return 1; }
}

run_stage() {
  local preset=$1 label=""
  case $preset in tsan) label=concurrency ;; fuzz) label=fuzz ;; esac
  echo "== $preset: build ($(date +%T))"
  if ! build "$preset" $label; then failed+=("$preset build"); return; fi
  echo "== $preset: test ($(date +%T))"
  local args=(--test-dir "build/$preset" --output-on-failure -j "$jobs")
  [ -z "$label" ] || args+=(-L "$label")
  case $preset in
    win32)
      export WINEPREFIX="$root/build/wineprefix"
      "$root/scripts/wine-prefix.sh" || { failed+=("wine prefix"); return; }
      # shellcheck source=xvfb.sh
      source "$root/scripts/xvfb.sh"
      # A wineserver left from an earlier run is tied to the display it started on; windows
      # created through it would fail once that display is gone.
      wineserver -k 2>/dev/null || true
      # One server for the whole stage rather than one started per test. Its services start
      # here, with no output: a service holding a test's output open would keep CTest waiting.
      wineserver -p && wine cmd /c exit >/dev/null 2>&1 </dev/null
      # The Windows tests mostly wait on Wine and the screen: they run (one Wine program at a
      # time) beside the next stages' builds, and their output follows at the end.
      ctest --test-dir build/win32 --output-on-failure -j 1 >build/test-win32.log 2>&1 &
      win32_tests=$!
      return ;;
    # The models and the artwork check run no code of ours: once, in the native stage, is enough.
    asan) args+=(-E '_exchange_model|artwork_regenerates') ;;
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

if [ -n "${win32_tests:-}" ]; then
  wait "$win32_tests" || failed+=("win32 tests")
  echo "== win32: test results ($(date +%T))"
  cat build/test-win32.log
  wineserver -k 2>/dev/null || true
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]} (build logs in build/build-*.log)"
  exit 1
fi
echo "All stages passed: ${stages[*]} ($(date +%T))"
