#!/usr/bin/env bash
# End to end: "Import Correction..." and "Show Response..." of the system menu, with the
# simulated host under Wine and Xvfb. Same arguments as e2e.sh; scenarios: import response
set -uo pipefail
# shellcheck source=e2e_lib.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/e2e_lib.sh"

import_file() {  # import_file PATH: chooses PATH in the dialog; the result box's text goes to E2E_BOX_TEXT
  drv syscmd 14 >/dev/null
  e2e_dialog "Import Correction" "$1" ok "Import Correction"
}
scenario_import() {
  e2e_start_with_host features-import type=1 signal.0=sine:1000:-20 signal.1=sine:250:-20 || return
  printf 'Preamp: -6 dB\nFilter 1: ON PK Fc 1000 Hz Gain six dB Q 2\n' >"$WINEPREFIX/drive_c/bad.txt"
  printf '\xEF\xBB\xBF# measured\r\nPreamp: -6,5 dB\r\nFilter 1: ON PK Fc 1000 Hz Gain 6 dB BW Oct 0,6667\r\n' \
    >"$WINEPREFIX/drive_c/hd600.txt"
  import_file 'C:\bad.txt'
  e2e_expect "a bad file names itself and its line" "$(tr '\n' '|' <<<"$E2E_BOX_TEXT" | grep -c 'bad.txt:|line 2: ')" 1
  e2e_expect_gain "a bad file changes nothing" 0 0 0.05
  import_file 'C:\hd600.txt'
  e2e_expect "the summary" "$(grep -cE '^text=Imported 1 filter: RMS error 0\.[0-9] dB, largest [0-9.]+ dB at [0-9.]+ k?Hz\. Output gain -6\.[0-9] dB\.$' <<<"$E2E_BOX_TEXT")" 1
  local gain=$(sed -n 's/.*Output gain \(-[0-9.]*\) dB\.$/\1/p' <<<"$E2E_BOX_TEXT")
  e2e_expect_gain "1 kHz: the correction's +6 dB less the output gain" 0 "$(awk -v o="$gain" 'BEGIN { print 6 + o }')" 0.3
  e2e_expect_gain "250 Hz: the output gain alone" 1 "$gain" 0.3
  close_app
}

# The response window's client area: RX RY (screen), RW RH. Its plot frame runs from x 44 to
# RW - 15 and from y 28 down by a whole multiple of 8 rows (a 6 dB grid step each) from +24 dB.
response_windows() { xdotool search --onlyvisible --name '^GEQ15 Response$' 2>/dev/null | wc -l; }
locate_response() {
  [ "$(e2e_eventually 1 response_windows)" == 1 ] || { e2e_fail "no response window"; return 1; }
  local geometry=$(xdotool getwindowgeometry "$(xdotool search --onlyvisible --name '^GEQ15 Response$')")
  read -r RX RY RW RH <<<"$(sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p; s/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p' <<<"$geometry" | tr '\n' ' ')"
}
marker_row() {  # marker_row SHOT HZ: the middle row of the band marker in the column of HZ
  local x
  x=$(awk -v w="$RW" -v f="$2" 'BEGIN { printf "%d", 44 + log(f / 20) / log(1000) * (w - 59) + 0.5 }')
  convert "$E2E_DIR/$1.png" -crop "1x$RH+$((RX + x))+$RY" txt:- 2>/dev/null |
    awk -F'[,:]' '/#F0DC3C/ { s += $2; n++ } END { if (n) printf "%d\n", s / n + 0.5 }'
}
shot_row() { e2e_shot "$1"; marker_row "$@"; }
scenario_response() {
  e2e_start_with_host features-response type=1 || return
  drv syscmd 15 >/dev/null
  locate_response || return
  local step=$(((RH - 53) / 8)) flat=$((28 + 4 * ((RH - 53) / 8)))
  e2e_expect "band 9 marker on the 0 dB row" "$(e2e_eventually "$flat" shot_row response-flat 1000)" "$flat"
  e2e_drag $((10 + 15 + 32 * 8 + 11)) 159 -60   # band 9 up 60 pixels: +6 dB
  e2e_expect "band 9 at +6 dB: its marker one grid step up" \
    "$(e2e_eventually $((flat - step)) shot_row response-raised 1000)" $((flat - step))
  e2e_expect "band 1 stays" "$(marker_row response-raised 24.8031)" "$flat"
  drv syscmd 13 >/dev/null && drv box "New Matrix" "$E2E_DEADLINE" yes >/dev/null
  e2e_expect "after reset the marker is back" "$(e2e_eventually "$flat" shot_row response-reset 1000)" "$flat"
  drv syscmd 15 >/dev/null   # a second "Show Response..." keeps the one window
  e2e_no_dialog "the second \"Show Response...\""   # the window's thread has handled the command
  e2e_expect "one response window" "$(response_windows)" 1
  drv close "GEQ15 Response" >/dev/null
  e2e_expect "closing the response window" "$(e2e_eventually 0 response_windows)" 0
  e2e_expect "the program still runs" "$(e2e_info visible)" 1
  close_app
}

e2e_run_scenario "$@"
