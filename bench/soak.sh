#!/usr/bin/env bash
# Soak: VEZ-15 with the simulated host at pacing=fast for at least MINUTES of audio (default 30),
# under random pointer, wheel, keyboard and menu actions and toggles of the response window
# (at least ACTIONS, default 3000), under Wine and Xvfb. Not part of the test command.
# The audio comes in streams of one measurement window each (WINDOW seconds of audio, default 60):
# every batch of actions runs while the host restarts the stream and sends a window's audio as
# fast as the program takes it. At the end:
#   - the program still equalizes: one more window, with no action during it, measures the 1 kHz
#     tone on the equalized bus, and that gain must be what the settings the program then saves
#     make of 1 kHz (geq15-tool response on the saved file), within 0.1 dB;
#   - no setting was lost: the program, started again on the saved file, plays the same gain and
#     saves the same bus and channel records; the three registry switches are the same before
#     and after that start, and the window's topmost style is what the "Always Visible" switch
#     says, before and after;
#   - memory: the process's resident set after the last batch exceeds the one after the first
#     batch (every window, editor and menu has been used once by then) by at most BOUND_MB
#     (default 16).
# Usage: bench/soak.sh [MINUTES] [ACTIONS]   (environment: WINDOW, BOUND_MB, SEED)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
minutes=${1:-30}
want_actions=${2:-3000}
window=${WINDOW:-60}
bound_mb=${BOUND_MB:-16}
RANDOM=${SEED:-15}
build=$root/build/win32
E2E_PROGRAM=$build/app/VEZ-15.exe
E2E_REMOTE=$build/tools/vez15-remote/vez15-remote.exe
tool=$build/tools/geq15-tool/geq15-tool.exe
[ -f "$build/CMakeCache.txt" ] || cmake --preset win32 >/dev/null
cmake --build "$build" -j 2 --target vez15 simhost vez15-remote geq15-tool >/dev/null
# shellcheck source=../scripts/sim_harness.sh
source "$root/scripts/sim_harness.sh"
E2E_DEADLINE=300  # a window of audio may take a while on a busy machine
E2E_SETTLE=0.5
out=$root/build/soak
e2e_display
trap 'e2e_end_session >/dev/null 2>&1; e2e_end_display' EXIT
e2e_session "$out"
e2e_register_host "$build/tools/simhost/OrluneRemote.dll"
tones=()
for bus in 0 1 2 3 4 5 6 7; do tones+=("signal.$((bus * 8))=sine:1000:-20" "signal.$((bus * 8 + 1))=sine:1000:-20"); done
config=("type=3" "rate=48000" "signal=pink:-30" "${tones[@]}")
e2e_sim_config "${config[@]}"
sed -i "s/^window=.*/window=$window/" "$E2E_HOST_DIR/OrluneRemote.ini"
started=$SECONDS

e2e_start_app
e2e_open_window || { echo "soak: VEZ-15 did not open its window" >&2; exit 1; }
e2e_wait_measured 1 || exit 1
# The program's own process: the first child of Wine's launcher that runs VEZ-15.exe.
pid=$(pgrep -P "$APP_PID" -f 'VEZ-15.exe' | head -n 1 || true)
[ -n "$pid" ] || pid=$APP_PID
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$pid/status"; }

# ---- the actions ----
# Client coordinates: bus bar y 4..24; sliders x 40 + 42 * i (band 1..15, output gain last),
# y 73..243; the bypass switch at 646,40.
actions=0 response=0  # response: the response window is open
key_names=(Tab shift+Tab Up Down shift+Up shift+Down Prior Next Home End Delete 0 Left Right space Return F2 Escape)
slider_x() { echo $((40 + 42 * (RANDOM % 16))); }
act() {
  local r=$((RANDOM % 100)) x y
  x=$((RANDOM % 680 + 4)) y=$((RANDOM % 282 + 4))
  if [ $r -lt 25 ]; then    # a click anywhere: bus cells, knobs, the switch, the empty panel
    xdotool mousemove $((x + OX)) $((y + OY)) click 1
  elif [ $r -lt 40 ]; then  # a drag of a slider
    x=$(slider_x) y=$((RANDOM % 170 + 73))
    xdotool mousemove $((x + OX)) $((y + OY)) mousedown 1 mousemove $((x + OX)) $((y + OY + RANDOM % 121 - 60)) mouseup 1
  elif [ $r -lt 55 ]; then  # wheel notches over a slider
    xdotool mousemove $(($(slider_x) + OX)) $((RANDOM % 170 + 73 + OY)) click --repeat $((RANDOM % 3 + 1)) $((RANDOM % 2 + 4))
  elif [ $r -lt 60 ]; then  # a double click: that slider back to 0 dB
    xdotool mousemove $(($(slider_x) + OX)) $((RANDOM % 170 + 73 + OY)) click --repeat 2 --delay 60 1
  elif [ $r -lt 63 ]; then  # a right click: the value editor, which a later key may fill or close
    xdotool mousemove $(($(slider_x) + OX)) $((RANDOM % 170 + 73 + OY)) click 3
  elif [ $r -lt 90 ]; then  # keys, as README's "Keyboard and screen readers" lists them
    xdotool key "${key_names[RANDOM % ${#key_names[@]}]}"
  else                      # the menus: the switches, show and hide, the response window
    case $((RANDOM % 7)) in
      0|1|2) remote syscmd $((59 + RANDOM % 3)) ;;  # always visible, tray mode, show on start-up
      3) remote command 72 ;;  # "Hide GEQ15"
      4) remote command 71 ;;  # "Show GEQ15"
      5) remote syscmd 15; response=1 ;;  # "Show Response..."
      6) [ $response == 0 ] || remote close "GEQ15 Response"; response=0 ;;
    esac
    e2e_origin
  fi
  actions=$((actions + 1))
  echo "$actions $r $x $y" >>"$out/actions.log"
}
# The switches as the registry holds them: always visible, tray mode, show on start-up.
read_switch() {
  local v
  v=$(wine reg query 'HKCU\Kelmora\Orlune' /v "$1" 2>/dev/null | tr -d '\r' | awk '/REG_DWORD/ {print $3}')
  echo $((${v:-0} != 0))
}
switches() { echo "$(read_switch GEQ15_ShowOnTop) $(read_switch GEQ15_SysTray) $(read_switch GEQ15_SysTrayShowOnRun)"; }

# ---- the soak ----
audio=0  # seconds of audio in completed windows
batch=0 rss_start="" next=0 count=0
target=$((minutes * 60))
while [ "$audio" -lt "$target" ] || [ "$actions" -lt "$want_actions" ]; do
  next=$(($(e2e_report starts) + 1))
  e2e_control restart
  # Actions while the window's audio flows: a share of what is left, at least one.
  count=$(((want_actions - actions) / ((target - audio) / window + 1)))
  for ((i = 0; i < (count > 0 ? count : 1); i++)); do act; done
  e2e_wait_measured "$next" || { echo "soak: no measurement after $actions actions" >&2; exit 1; }
  audio=$((audio + $(e2e_report buffers) * $(e2e_report block) / 48000))
  batch=$((batch + 1))
  [ -n "$rss_start" ] || rss_start=$(rss_kb)
  printf '\rbatch %d: %d actions, %d s of audio, %d s wall, %d kB resident ' "$batch" "$actions" "$audio" \
    $((SECONDS - started)) "$(rss_kb)"
done
echo
rss_end=$(rss_kb)

# ---- the checks ----
failures=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi; }
# The last actions done with: the editor closed, the response window too, and what the program
# may still have queued given time, so that the window measures one setting.
xdotool key Escape
[ $response == 0 ] || remote close "GEQ15 Response" >/dev/null
sleep 2
e2e_measure_again || exit 1
measured() {  # the 1 kHz gain on the equalized bus of settings file $1 and the last window
  local bus
  bus=$(sed -n "s/.*nBus='\([0-9]*\)'.*/\1/p" "$1")
  e2e_gain_db $((bus * 8))
}
expected() { wine "$tool" response --settings "$(winepath -w "$1" 2>/dev/null)" 1000 2>/dev/null | tr -d '\r' | awk '{print $2}'; }
within() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "" && b != "" && a - b <= 0.1 && b - a <= 0.1) }'; }
switches_before=$(switches) topmost_before=$(e2e_info topmost)
remote syscmd 70 >/dev/null  # "Shut Down GEQ15": saves the settings
e2e_wait_exit || { echo "soak: VEZ-15 did not end" >&2; exit 1; }
cp "$E2E_SETTINGS_FILE" "$out/soaked.xml"
gain=$(measured "$out/soaked.xml") want=$(expected "$out/soaked.xml")
check "still equalizes: 1 kHz measured $gain dB, its saved settings give $want dB" 'within "$gain" "$want"'
check "the program ended with exit code 0 (got $APP_RC)" '[ "$APP_RC" == 0 ]'

e2e_sim_config "${config[@]}"  # a fresh report; short windows from here on
e2e_start_app  # in tray mode without show on start-up it starts hidden: its window is not waited for
remote wait "$E2E_DEADLINE" >/dev/null || { echo "soak: VEZ-15 did not start again" >&2; exit 1; }
e2e_wait_measured 1 || exit 1
again=$(measured "$out/soaked.xml") topmost_after=$(e2e_info topmost)
remote syscmd 70 >/dev/null
e2e_wait_exit || true
records() { grep -o "nBus='[0-9]*'\|<GEQ15param.*" "$1"; }
check "no setting lost: started again it plays $again dB" 'within "$again" "$want"'
check "no setting lost: the bus and the eight channel records saved again unchanged" \
  '[ "$(records "$out/soaked.xml")" == "$(records "$E2E_SETTINGS_FILE")" ]'
check "no setting lost: the switches (always visible, tray mode, show on start-up: $switches_before) kept" \
  '[ "$(switches)" == "$switches_before" ]'
check "no setting lost: the window topmost ($topmost_before, then $topmost_after) as always visible says" \
  '[ "$topmost_before $topmost_after" == "${switches_before%% *} ${switches_before%% *}" ]'
grow=$(((rss_end - rss_start) / 1024))
check "memory: resident $((rss_start / 1024)) MB after the first batch, $((rss_end / 1024)) MB after the last (+$grow MB, bound $bound_mb MB)" \
  '[ "$grow" -le "$bound_mb" ]'
echo "soak: $((audio / 60)) min $((audio % 60)) s of audio in $batch windows, $actions actions, $((SECONDS - started)) s wall"
[ "$failures" -eq 0 ]
