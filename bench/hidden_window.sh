#!/usr/bin/env bash
# What the program costs on the user-interface thread while it runs with the simulated host
# (real-time pacing, 48 kHz) for N seconds shown and N seconds hidden in tray mode, under Wine
# and Xvfb. Prints the CPU time of that thread (Linux's count for the Wine thread, the same the
# driver hands to GetThreadTimes) in each state.
# Usage: bench/hidden_window.sh [seconds] [program.exe]   (default 30 s, build/win32's VEZ-15.exe)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-30}
build=$root/build/win32
E2E_PROGRAM=${2:-$build/app/VEZ-15.exe}
E2E_REMOTE=$build/tools/vez15-remote/vez15-remote.exe
cmake --build "$build" -j 2 --target vez15 simhost vez15-remote >/dev/null
# shellcheck source=../scripts/sim_harness.sh
source "$root/scripts/sim_harness.sh"
e2e_display
trap 'e2e_end_session >/dev/null 2>&1; e2e_end_display' EXIT
e2e_session "$root/build/hidden-window"
e2e_register_host "$build/tools/simhost/OrluneRemote.dll"
e2e_sim_config "type=3" "rate=48000" "pacing=realtime" "signal=pink:-20"
# Tray mode: closing the window only hides it.
wine reg add 'HKCU\Kelmora\Orlune' /v GEQ15_SysTray /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add 'HKCU\Kelmora\Orlune' /v GEQ15_SysTrayShowOnRun /t REG_DWORD /d 1 /f >/dev/null 2>&1
e2e_start_app
remote wait 30 >/dev/null || { echo "hidden_window: VEZ-15 did not open its window" >&2; exit 1; }
e2e_wait_measured 1 30 >/dev/null || { echo "hidden_window: the host did not start the stream" >&2; exit 1; }

# The window's thread is the process's first: the one whose id is the process id.
pid=$(pgrep -P "$APP_PID" -f 'VEZ-15.exe' | head -n 1 || true)
[ -n "$pid" ] || pid=$APP_PID
ticks() { awk '{print $14 + $15}' "/proc/$pid/task/$pid/stat"; }
hz=$(getconf CLK_TCK)
measure() {
  local before after
  before=$(ticks)
  sleep "$seconds"
  after=$(ticks)
  python3 -c "import sys; t = ($after - $before) / $hz; print(f'{t * 1000:.0f} ms of CPU in $seconds s ({t / $seconds * 100:.2f} % of a core)')"
}
echo "shown:  $(measure)"
remote close >/dev/null
sleep 1
[ "$(e2e_info visible)" != 1 ] || echo "hidden_window: the window did not hide" >&2
echo "hidden: $(measure)"
