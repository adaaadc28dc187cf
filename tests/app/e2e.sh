#!/usr/bin/env bash
# End-to-end scenarios: VEZ-15 with the simulated host under Wine and Xvfb.
#   e2e.sh --program VEZ-15.exe --driver e2e-driver.exe --simhost OrluneRemote.dll \
#          --partial-host OrluneRemote-partial.dll --work DIR SCENARIO
# Scenarios: startup sysmenu tray persistence failures. Every check is what a user would see on
# the screen or what the simulated host measured; the rules behind them are tested natively.
set -uo pipefail
# shellcheck source=e2e_lib.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/e2e_lib.sh"

reg_switch() { wine reg query 'HKCU\Kelmora\Orlune' /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {print $3}'; }
e2e_position() { e2e_info rect | cut -d' ' -f1,2; }
# Band 9 (1 kHz): knob column x = 10 + 15 + 32 * 8, knob centre at 0 dB y = 159; 10 px per dB.
BAND9_X=292 BAND9_Y=159

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
  e2e_expect "the other channels: exact copies, every output written" \
    "$(e2e_report non_equalized_exact) $(e2e_report untouched_total)" "1 0"
  local saved="$WINEPREFIX/drive_c/eq.xml" title="Save Current Graphic EQ Configuration..." on
  drv syscmd 12 >/dev/null
  e2e_dialog "$title" 'C:\eq.txt'
  e2e_expect_eventually "saved through the dialog as eq.xml, band 9" 3.00000 settings_attr g9 "$saved"

  drv syscmd 13 >/dev/null
  e2e_expect "reset question" "$(drv box "New Matrix" "$E2E_DEADLINE" no)" \
    $'text=Entire Matrix will be initialized.\nPlease Confirm reset All?'
  e2e_no_dialog "the reset question"
  e2e_expect_gain "band 9 dragged up 30 pixels, and the reset answered No: +3 dB" 0 3.0 0.1
  drv syscmd 13 >/dev/null
  drv box "New Matrix" "$E2E_DEADLINE" yes >/dev/null
  e2e_expect_gain "reset answered Yes flattens the EQ" 0 0 0.05

  # Saving the flat EQ as "eq" targets eq.xml, which holds band 9 at +3 dB: declined, it stays.
  drv syscmd 12 >/dev/null
  e2e_dialog "$title" 'C:\eq' no
  e2e_expect "overwrite question" "$E2E_BOX_TEXT" $'text=File already exists.\nDo you Want To Replace it ?'
  e2e_expect "declined overwrite left the file" "$(settings_attr g9 "$saved")" 3.00000
  drv syscmd 12 >/dev/null
  e2e_dialog "$title" 'C:\eq.xml' yes
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
  drv syscmd 70 >/dev/null                  # "Shut Down GEQ15"
  e2e_wait_exit || e2e_fail "Shut Down GEQ15 did not end the program"
  e2e_expect "exit code after Shut Down" "$APP_RC" 0
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
  tray_menu up up return                    # "Shut Down GEQ15" (bottom up: Exit Menu, Shut Down)
  e2e_wait_exit || e2e_fail "the tray menu's Shut Down did not end the program"
  e2e_expect "exit code after tray Shut Down" "$APP_RC" 0
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

e2e_run_scenario "$@"
