#!/usr/bin/env bash
# The main job: VEZ-15 equalizing the simulated Orlune host's audio.
# Installs what is missing, builds the Windows program and the simulated host, registers the
# host in a private Wine prefix (build/run/prefix, kept from run to run so the program's
# settings and switches persist) and starts VEZ-15 while the host plays a 1 kHz tone on the
# first two channels of every bus and pink noise on the others.
#   With DISPLAY set: the window is yours; the run ends when you shut the program down.
#   Without DISPLAY: a short run under Xvfb that raises band 9 (1 kHz) by 6 dB, saves a
#   screenshot and the host's level report, and closes the program through its own close path.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

"$root/scripts/install-deps.sh"
# The win32 preset's folder unless GEQ15_WIN32_BUILD names another.
build=${GEQ15_WIN32_BUILD:-build/win32}
mkdir -p build
echo "Building the Windows program and the simulated host ($build)..."
{ cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release &&
  cmake --build "$build" -j "$(nproc)" --target vez15 simhost vez15-remote; } >build/build-run.log 2>&1 ||
  { tail -n 40 build/build-run.log; echo "run: the build failed (log: build/build-run.log)" >&2; exit 1; }

E2E_PROGRAM=$root/$build/app/VEZ-15.exe
E2E_REMOTE=$root/$build/tools/vez15-remote/vez15-remote.exe
# shellcheck source=sim_harness.sh
source "$root/scripts/sim_harness.sh"
out=$root/build/run
interactive=${DISPLAY:+yes}
# You listen and watch the meters: the host plays in real time. The short run only measures.
[ -n "$interactive" ] && E2E_PACING=realtime
E2E_SETTLE=0.5
e2e_display
trap 'e2e_end_session >/dev/null 2>&1; e2e_end_display' EXIT

e2e_session "$out" keep
e2e_register_host "$root/$build/tools/simhost/OrluneRemote.dll"
tones=()
for bus in 0 1 2 3 4 5 6 7; do tones+=("signal.$((bus * 8))=sine:1000:-20" "signal.$((bus * 8 + 1))=sine:1000:-20"); done
e2e_sim_config "type=3" "rate=48000" "signal=pink:-30" "${tones[@]}"

labels=("BUS A1" "BUS A2" "BUS A3" "BUS A4" "BUS A5" "BUS B1" "BUS B2" "BUS B3")
summary() {  # what the host saw on the first channel of the equalized bus in the last window
  local bus=$1 ch=$(($1 * 8))
  printf 'host type %s, %s Hz, blocks of %s frames; %s: 1 kHz in %.1f dB RMS, out %.1f dB RMS (%+.1f dB)\n' \
    "$(e2e_report host_type)" "$(e2e_report rate)" "$(e2e_report block)" "${labels[$bus]:-bus $bus}" \
    "$(e2e_channel $ch in_rms_db)" "$(e2e_channel $ch out_rms_db)" "$(e2e_gain_db $ch)"
}

echo "Starting VEZ-15 with the simulated host (prefix $WINEPREFIX)"
e2e_start_app
e2e_open_window || { echo "VEZ-15 did not open its window; see $E2E_DIR/app.log" >&2; exit 1; }

if [ -n "$interactive" ]; then
  echo "VEZ-15 is running on $DISPLAY. Shut it down from its system menu (or close it) to end."
  E2E_DEADLINE=$((100 * 365 * 24 * 3600)) e2e_wait_exit || true
  echo "VEZ-15 ended with exit code $APP_RC."
  [ -f "$E2E_REPORT" ] && cp "$E2E_REPORT" "$out/host-report.txt" && echo "Host report: $out/host-report.txt"
  exit 0
fi

e2e_wait_measured 1 || exit 1
bus=$(sed -n "s/.*nBus='\([0-9]*\)'.*/\1/p" "$E2E_SETTINGS_FILE" 2>/dev/null || true)
bus=${bus:-0}
# Band 9 (1 kHz): knob column at x 292. A double click sets it to 0 dB, whatever an earlier
# run left, so "Before" is always the flat equalizer; dragging 60 pixels up then adds 6 dB.
# The program takes the pointer in its own time: measure until the change has arrived.
xdotool mousemove $((292 + OX)) $((159 + OY)) click --repeat 2 --delay 80 1
e2e_measure_until $((bus * 8)) 0 0.05 || echo "run: band 9 did not come back to 0 dB" >&2
echo "Before: $(summary "$bus")"
e2e_drag 292 159 -60
e2e_measure_until $((bus * 8)) 6 0.1 || echo "run: the drag did not reach +6 dB" >&2
e2e_shot screenshot
read -r cw ch <<<"$(e2e_info client)"
convert "$out/screenshot.png" -crop "${cw}x${ch}+${OX}+${OY}" +repage "$out/screenshot.png"
cp "$E2E_REPORT" "$out/host-report.txt"
echo "After:  $(summary "$bus")"
remote close >/dev/null
e2e_wait_exit || { echo "VEZ-15 did not end after the close request" >&2; exit 1; }
echo "VEZ-15 closed with exit code $APP_RC; its settings: $E2E_SETTINGS_FILE"
echo "Screenshot: $out/screenshot.png"
echo "Host report: $out/host-report.txt"
