#!/usr/bin/env bash
# End-to-end scenarios: VEZ-15 with the simulated host under Wine and Xvfb.
#   e2e.sh --program VEZ-15.exe --driver e2e-driver.exe --simhost OrluneRemote.dll \
#          --partial-host OrluneRemote.dll --work DIR SCENARIO
# Scenarios: startup sysmenu tray persistence failures; import response (the system menu's curve
# features); access (keys and screen readers). Every check is what a user would see on the screen,
# what a screen reader reads or what the simulated host measured; the rules behind them are
# tested natively.
set -uo pipefail
# shellcheck source=e2e_lib.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/e2e_lib.sh"

reg_switch() { wine reg query 'HKCU\Kelmora\Orlune' /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {print $3}'; }
e2e_position() { e2e_info rect | cut -d' ' -f1,2; }
# Band 9 (1 kHz, child 17): knob column x = 10 + 15 + 32 * 8, knob centre at 0 dB y = 159; 10 px per dB.
BAND9_X=292 BAND9_Y=159
reset_eq() { drv syscmd 13 >/dev/null && drv box "New Matrix" "$E2E_DEADLINE" "$1"; }  # reset_eq yes|no: "Reset GEQ15" answered
save_as() { drv syscmd 12 >/dev/null; e2e_dialog "Save Current Graphic EQ Configuration..." "$@"; }  # save_as PATH [ANSWER]

scenario_startup() {
  e2e_start_with_host startup "type=2" || return
  e2e_expect "window size" "$(e2e_info size)" "688 290"
  e2e_expect_eventually "bus bar of five buses" SNNNNEEE e2e_bus_cells start
  # The timer asks the host every 0.8 s: a stopped host shows the notice, a host back its buses.
  e2e_control stop
  e2e_expect_eventually "host stopped: the notice" RRRRRRRR e2e_bus_cells stopped
  e2e_control back
  e2e_expect_eventually "host back: the bus bar" SNNNNEEE e2e_bus_cells back
  close_app
}

scenario_sysmenu() {
  e2e_start_with_host sysmenu "type=3" "signal=white:-20" "signal.0=sine:1000:-20" "signal.1=sine:1000:-20" || return
  e2e_drag $BAND9_X $BAND9_Y -30             # +3 dB, measured after the reset answered No
  local saved="$WINEPREFIX/drive_c/eq.xml" on
  save_as 'C:\eq.txt'
  e2e_expect_eventually "saved through the dialog as eq.xml, band 9" 3.00000 settings_attr g9 "$saved"

  e2e_expect "reset question" "$(reset_eq no)" $'text=Entire Matrix will be initialized.\nPlease Confirm reset All?'
  e2e_no_dialog "the reset question"
  e2e_expect_gain "band 9 dragged up 30 pixels, and the reset answered No: +3 dB" 0 3.0 0.1
  reset_eq yes >/dev/null
  e2e_expect_gain "reset answered Yes flattens the EQ" 0 0 0.05

  # Saving the flat EQ as "eq" targets eq.xml, which holds band 9 at +3 dB: declined, it stays.
  save_as 'C:\eq' no
  e2e_expect "overwrite question" "$E2E_BOX_TEXT" $'text=File already exists.\nDo you Want To Replace it ?'
  e2e_expect "declined overwrite left the file" "$(settings_attr g9 "$saved")" 3.00000
  save_as 'C:\eq.xml' yes
  e2e_expect_eventually "accepted overwrite replaced the file" 0.00000 settings_attr g9 "$saved"

  sed -i "s/g9='0.00000'/g9='-6.00000'/g" "$saved"
  drv syscmd 11 >/dev/null
  e2e_dialog - 'C:\eq.xml'
  e2e_expect_gain "loaded file with band 9 at -6 dB" 0 -6.0 0.1

  for on in 1 0; do
    drv syscmd 59 >/dev/null
    e2e_expect_eventually "Always Visible $on: topmost" $on e2e_info topmost
    e2e_expect_eventually "Always Visible $on: stored" 0x$on reg_switch GEQ15_ShowOnTop
  done
  drv syscmd 61 >/dev/null
  e2e_expect_eventually "Show App On Startup stored" 0x1 reg_switch GEQ15_SysTrayShowOnRun
  drv syscmd 70 >/dev/null
  e2e_expect_exit '"Shut Down GEQ15"'
}

tray_menu() { drv tray 516 >/dev/null; drv keys "$@" >/dev/null; }  # right button on the icon, then keys
link_present() { [ -n "$(e2e_startup_link)" ] && echo 1 || echo 0; }
tray_switch() {  # tray_switch 0|1: toggles tray mode; the switch and the Startup shortcut follow
  drv syscmd 60 >/dev/null
  e2e_expect_eventually "tray mode $1 stored" "0x$1" reg_switch GEQ15_SysTray
  e2e_expect_eventually "Startup shortcut present" "$1" link_present
}
scenario_tray() {
  # A first start in tray mode, without a settings file: hidden until the tray icon is clicked,
  # then centred on the (1280 x 1024) screen.
  e2e_session "$E2E_WORK/tray"
  e2e_register_host "$E2E_SIMHOST"
  e2e_sim_config "type=2"
  wine reg add 'HKCU\Kelmora\Orlune' /v GEQ15_SysTray /t REG_DWORD /d 1 /f >/dev/null 2>&1
  e2e_start_app
  e2e_wait_measured 1 || { e2e_fail "the program did not start the host's stream"; return; }
  e2e_expect "tray mode start is hidden" "$(e2e_info visible)" 0
  drv tray 513 >/dev/null                   # left button on the icon
  e2e_expect_eventually "tray icon click shows the window" 1 e2e_info visible
  e2e_expect_eventually "shown centred on the screen" "295 366" e2e_position
  tray_switch 0
  tray_switch 1
  drv close >/dev/null
  e2e_expect_eventually "close in tray mode hides" 0 e2e_info visible
  tray_menu down return                     # "Show GEQ15": the program still runs
  e2e_expect_eventually "tray menu Show" 1 e2e_info visible
  tray_menu down down return                # "Hide GEQ15"
  e2e_expect_eventually "tray menu Hide" 0 e2e_info visible
  tray_switch 0
  tray_menu up up return                    # bottom up: Exit Menu, Shut Down
  e2e_expect_exit "the tray menu's \"Shut Down GEQ15\""
}

scenario_persistence() {
  e2e_start_with_host persistence "type=3" || return
  e2e_drag $BAND9_X $BAND9_Y -30
  e2e_click $((10 + 82 * 2 + 20)) 35        # bus 2; input is handled in order, the drag first
  e2e_expect_eventually "bus 2 selected" NNSNNNNN e2e_bus_cells selected
  local x0 y0 r b
  read -r x0 y0 r b <<<"$(e2e_info rect)"
  wine "$E2E_PROGRAM" >/dev/null 2>&1
  e2e_expect "second instance exit code (-1)" "$?" 255
  close_app                                 # which also shows the first instance still ran
  e2e_expect "saved bus and placement" "$(grep -o '<GEQ15Configuration .*/>' "$E2E_SETTINGS_FILE")" \
    "<GEQ15Configuration nBus='2' x0='$x0' y0='$y0' dx='$((r - x0))' dy='$((b - y0))' />"
  e2e_expect "saved band 9" "$(settings_attr g9)" 3.00000

  # The next start restores the bus; a saved position off the screen comes back onto the
  # monitor, one pixel inside its right and bottom edges (688 x 290 window).
  sed -i "s/x0='[-0-9]*' y0='[-0-9]*'/x0='5000' y0='3000'/" "$E2E_SETTINGS_FILE"
  e2e_start_app
  e2e_open_window || e2e_fail "the main window did not open again"
  e2e_expect_eventually "restored bus" NNSNNNNN e2e_bus_cells restored
  e2e_expect_eventually "off-screen position kept on the monitor" "591 733" e2e_position
  close_app
  e2e_expect "band 9 kept through a second run" "$(settings_attr g9)" 3.00000
}

# Each start-up failure: the Init Error box, then "Failed to create window...", exit code 0,
# and a stored settings file left exactly as it was.
scenario_failures() {
  local name host config text v
  e2e_session "$E2E_WORK/failures"
  # Read from fd 3: Wine programs in the loop may read standard input. The shared prefix may carry
  # a registered host: "none" removes it from both registry views.
  while IFS='|' read -r name host config text <&3; do
    case $host in
      none) for v in 32 64; do wine reg delete "$E2E_HOST_UNINSTALL" /reg:$v /f >/dev/null 2>&1; done ;;
      partial) e2e_register_host "$E2E_PARTIAL_HOST" ;;
      sim) e2e_register_host "$E2E_SIMHOST"; e2e_sim_config "$config" ;;
    esac
    mkdir -p "$(dirname "$E2E_SETTINGS_FILE")"
    echo "keep me" >"$E2E_SETTINGS_FILE"
    e2e_start_app
    e2e_expect "$name: Init Error box" "$(drv box "Init Error" "$E2E_DEADLINE" ok)" "text=$(printf '%b' "$text")"
    e2e_expect "$name: Sorry box" "$(drv box "Sorry" "$E2E_DEADLINE" ok)" "text=Failed to create window..."
    e2e_wait_exit
    e2e_expect "$name: exit code" "$APP_RC" 0
    e2e_expect "$name: settings file untouched" "$(cat "$E2E_SETTINGS_FILE")" "keep me"
  done 3<<'CASES'
nohost|none||Orlune is not installed
entry|partial||Failed To Link To OrluneRemote.dll
login|sim|login_result=-3|Failed To Login
busy|sim|busy_client=Other Mixer Insert|Orlune Output Insert already in use by:\nOther Mixer Insert
CASES
}

# ---- "Import Correction..." and "Show Response..." of the system menu ----

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
  e2e_expect_eventually "band 9 marker on the 0 dB row" "$flat" shot_row response-flat 1000
  e2e_drag $((10 + 15 + 32 * 8 + 11)) 159 -60   # band 9 up 60 pixels: +6 dB
  e2e_expect_eventually "band 9 at +6 dB: its marker one grid step up" $((flat - step)) shot_row response-raised 1000
  reset_eq yes >/dev/null
  e2e_expect_eventually "after reset the marker is back" "$flat" shot_row response-reset 1000
  drv syscmd 15 >/dev/null   # a second "Show Response..." keeps the one window
  e2e_no_dialog "the second \"Show Response...\""   # the window's thread has handled the command
  e2e_expect "one response window" "$(response_windows)" 1
  drv close "GEQ15 Response" >/dev/null
  e2e_expect_eventually "closing the response window" 0 response_windows
  e2e_expect "the program still runs" "$(e2e_info visible)" 1
  close_app
}

# ---- the panel without a pointer: keys into the window (xdotool) with the host's measurements
# and the focus rectangle on the screen, then a screen reader's view from another process
# (the test driver, through oleacc) ----

keys() { xdotool key --delay 150 "$@"; }
key_gain() { keys "${@:3}"; e2e_expect_gain "$1" 0 "$2" 0.1; }  # key_gain WHAT DB KEY...: band 9 measured
saw() { grep -c "^$1\$" "$E2E_DIR/events.txt"; }  # how often the program fired an event
# frame_diff A B: pixels of the client area that differ between two shots, the meters left out:
# "ON OFF", those on the outline of band 9's focus rectangle (x 278 to 305, y 73 to 243), and the rest.
frame_diff() {
  convert "$E2E_DIR/$1.png" "$E2E_DIR/$2.png" -compose difference -composite -crop "688x290+$OX+$OY" +repage txt:- |
    awk -F'[,: ]+' 'NR > 1 && !/#000000/ && !($1 >= 531 && $1 < 558 && $2 >= 103 && $2 < 209) {
      if ((($1 == 278 || $1 == 305) && $2 >= 73 && $2 <= 243) || (($2 == 73 || $2 == 243) && $1 >= 278 && $1 <= 305)) on++
      else off++ } END { print on + 0, off + 0 }'
}

scenario_access() {
  e2e_start_with_host access type=2 signal.0=sine:1000:-20 signal.1=sine:1000:-20 || return
  drv events "$E2E_DIR/events.txt" &
  e2e_expect_eventually "the event listener is ready" ready head -n 1 "$E2E_DIR/events.txt"
  xdotool mousemove $((BAND9_X + OX)) $((BAND9_Y + OY)) sleep 0.3  # the pointer rests on band 9 in every shot
  e2e_shot untouched
  e2e_click $BAND9_X $BAND9_Y
  e2e_expect_eventually "a press on band 9 gives it the focus" 1 saw "focus 17"
  # One child of each kind (the others are named and their states set by the same code, natively
  # tested), the reading order and a hit test at every child's centre.
  e2e_expect "the children as a screen reader reads them" "$(drv tree | sed -E 's/"[-+][0-9]+\.[0-9] dB", read only/"LEVEL", read only/' |
    grep -E '^(count|order|hit|1|6|17|24|25|26|27) ')" "$(cat <<'TREE'
count 27
1 radio button "BUS A1" "", checked, focusable [Check]
6 radio button "" "", unavailable, focusable
17 slider "Band 1 kHz" "+0.0 dB", focused, focusable
24 slider "Output gain" "+0.0 dB", focusable
25 check button "Bypass" "", focusable [Check]
26 progress bar "Input level" "LEVEL", read only
27 progress bar "Output level" "LEVEL", read only
order 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 26 27 24 25
hit test misses: none
TREE
)"
  e2e_shot pointer  # after the tree's many calls, whatever the press made the window repaint is done
  e2e_expect "pointer use draws what it always drew" "$(frame_diff untouched pointer)" "0 0"
  key_gain "Page Up twice" 6.0 Prior Prior
  key_gain "Down" 5.5 Down
  key_gain "End" -12.0 End
  key_gain "Space on the bypass switch: flat" 0 Tab Tab Tab Tab Tab Tab Tab Tab space
  key_gain "bypass off again, back on band 9, Delete" 0 space shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab \
    shift+Tab shift+Tab shift+Tab Delete
  outline() { e2e_shot keyboard; frame_diff pointer keyboard | awk '{ print ($1 >= 100 ? "outline" : $1), $2 }'; }
  e2e_expect_eventually "after keys: the focus rectangle around band 9 and nothing else changed" "outline 0" outline

  keys Return  # opens the value editor; the key's release lands in it and must not confirm it
  e2e_expect_eventually "the editor's field is named after its slider" 'Band 1 kHz' drv describe
  key_gain "3 typed into the editor opened by Enter" 3.0 3 Return
  drv set 17 6
  e2e_expect_gain "band 9 set to 6 through the accessible object" 0 6.0 0.1
  e2e_expect_eventually "value events of the keys, the editor and the set" 7 saw "value 17"
  drv do 25
  e2e_expect_gain "the switch's default action: bypassed" 0 0 0.05
  e2e_expect_eventually "state events of the switch" 3 saw "state 25"
  drv do 2
  e2e_expect_eventually "a bus cell's default action chooses its bus" NSNNNEEE e2e_bus_cells chosen
  e2e_expect_eventually "the state events of both cells" "1 1" eval 'echo $(saw "state 1") $(saw "state 2")'
  drv focus 24
  e2e_expect_eventually "the focus taken to the output gain (Tab passed it twice)" 3 saw "focus 24"
  reset_eq yes >/dev/null
  e2e_expect_eventually "reset: a value event" 8 saw "value 17"
  drv set 17 6
  drv syscmd 15 >/dev/null
  e2e_expect_eventually "the response window described" \
    $'GEQ15 Response\nResponse from 20 Hz to 20 kHz at 48000 Hz, output gain +0.0 dB. Peak +6.0 dB at 1 kHz: loud input will clip.' \
    drv describe "GEQ15 Response"
  drv close "GEQ15 Response" >/dev/null
  keys alt+F4  # a system key: the window closes as through its close box
  e2e_expect_exit Alt+F4
}

e2e_run_scenario "$@"
