#!/usr/bin/env bash
# End-to-end scenarios: VEZ-15 with the simulated host under Wine and Xvfb.
#   e2e.sh --program VEZ-15.exe --driver e2e-driver.exe --simhost OrluneRemote.dll \
#          --partial-host OrluneRemote-partial.dll --work DIR SCENARIO
# Scenarios: startup panel sysmenu tray persistence host-life failures
# Every check is what a user would see on the screen or what the simulated host measured.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=e2e_lib.sh
source "$here/e2e_lib.sh"

while [ $# -gt 1 ]; do
  case $1 in
    --program) E2E_PROGRAM=$2 ;;
    --driver) E2E_DRIVER=$2 ;;
    --simhost) E2E_SIMHOST=$2 ;;
    --partial-host) E2E_PARTIAL_HOST=$2 ;;
    --work) E2E_WORK=$2 ;;
    *) break ;;
  esac
  shift 2
done
scenario=${1:?usage: e2e.sh --program EXE --driver EXE --simhost DLL --partial-host DLL --work DIR SCENARIO}
E2E_FAILURES=0
e2e_display
trap 'e2e_end_session; e2e_end_display' EXIT

# Starts a session with the simulated host of the given settings and waits for the window and
# for the first complete measurement.
start_with_host() {
  e2e_session "$E2E_WORK/$1"
  shift
  e2e_register_host "$E2E_SIMHOST"
  e2e_sim_config "$@"
  e2e_start_app
  drv wait 30 >/dev/null || { e2e_fail "the main window did not appear"; return 1; }
  e2e_origin
}

sine_on() {  # sine_on CH...: 1 kHz at -20 dBFS on the given channels
  local c
  for c in "$@"; do echo "signal.$c=sine:1000:-20"; done
}

# Closes through the window's own close path and expects a clean exit.
close_app() {
  drv close >/dev/null
  e2e_wait_exit 20 || e2e_fail "the program did not end after WM_CLOSE"
  e2e_expect "exit code after close" "$APP_RC" 0
}
# Starts the program again in the same session and waits for its window.
restart_app() { e2e_start_app; drv wait 30 >/dev/null; e2e_origin; sleep 1.5; }
syscmd() { drv syscmd "$1" >/dev/null; sleep 0.5; }
reg_switch() { wine reg query 'HKCU\Kelmora\Orlune' /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {print $3}'; }
# expect_eventually NAME EXPECTED COMMAND...: COMMAND prints EXPECTED within 5 s.
expect_eventually() { local name=$1 want=$2; shift 2; e2e_expect "$name" "$(e2e_wait_value 5 "$want" "$@")" "$want"; }
settings_line() { sed -n "s/.*ch='1' .* g9='\([^']*\)'.*/\1/p" "$1"; }  # record 1's g9 in a settings file

# ---------------------------------------------------------------------------------------------
scenario_startup() {
  local type buses expected
  for type in 1 2 3; do
    case $type in 1) buses=2 expected=SNEEEEEE ;; 2) buses=5 expected=SNNNNEEE ;; 3) buses=8 expected=SNNNNNNN ;; esac
    start_with_host "startup-$type" "type=$type" $(sine_on 0 1) "wav_out=C:\\first.wav" "settle=0" "window=0.5" || continue
    e2e_expect "type $type: title" "$(e2e_info title)" "Kelmora Graphic EQ 15 (Version: 1.0.0.0)"
    e2e_expect "type $type: window size" "$(e2e_info size)" "688 290"
    expect_eventually "type $type: visible" 1 e2e_info visible
    e2e_wait_measured 1 20
    e2e_expect "type $type: host type seen by the host" "$(e2e_report host_type)" "$type"
    e2e_expect "type $type: channels" "$(e2e_report channels)" $((buses * 8))
    e2e_expect "type $type: other channels copied exactly" "$(e2e_report non_equalized_exact)" 1
    e2e_expect "type $type: no output left unwritten" "$(e2e_report untouched_total)" 0
    sleep 1
    e2e_shot "startup-$type"
    e2e_expect "type $type: bus bar" "$(e2e_bus_cells "startup-$type")" "$expected"
    # The stream's first block starts silent and rises to the input's level.
    python3 - "$WINEPREFIX/drive_c/first.wav" <<'PY' || e2e_fail "type $type: output does not fade in"
import struct, sys
data = open(sys.argv[1], 'rb').read()
pos, samples, channels = 12, None, 1
while pos + 8 <= len(data):
    tag, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
    if tag == b'fmt ':
        channels = struct.unpack('<H', data[pos + 10:pos + 12])[0]
    if tag == b'data':
        samples = struct.unpack('<%df' % (size // 4), data[pos + 8:pos + 8 + size])
    pos += 8 + size + (size & 1)
left = [abs(s) for s in samples[::channels]]
head, tail = max(left[:16]), max(left[4096:8192])
print('fade-in: first 16 samples peak %.4f, later peak %.4f' % (head, tail))
sys.exit(0 if head < 0.25 * tail and abs(tail - 0.1) < 0.01 else 1)
PY
    close_app
    e2e_end_session
  done
}

# ---------------------------------------------------------------------------------------------
# Band 9 (1 kHz) of the panel: knob column x = 10 + 15 + 32 * 8, knob centre at 0 dB y = 159.
BAND9_X=292 BAND9_Y=159
scenario_panel() {
  start_with_host panel "type=3" $(sine_on 0 1 8 9) || return
  e2e_wait_measured 1 20
  e2e_expect_gain "flat at start" 0 0 0.05

  e2e_drag $BAND9_X $BAND9_Y -30
  e2e_measure_again && e2e_expect_gain "band 9 dragged up 30 pixels: +3 dB at 1 kHz" 0 3.0 0.1
  e2e_expect_gain "right channel follows" 1 3.0 0.1

  e2e_click $BAND9_X $((BAND9_Y - 30)) 4   # one notch away from the user: +0.5 dB
  e2e_measure_again && e2e_expect_gain "wheel notch up" 0 3.5 0.1

  xdotool mousemove $((BAND9_X + OX)) $((BAND9_Y - 35 + OY)) click --repeat 2 --delay 80 1
  sleep 0.5
  e2e_measure_again && e2e_expect_gain "double click back to 0" 0 0 0.05

  e2e_click $BAND9_X $BAND9_Y 3            # right press opens the value editor
  sleep 0.5
  xdotool type --delay 50 "6"
  xdotool key Return
  sleep 0.5
  e2e_measure_again && e2e_expect_gain "typed 6 in the editor" 0 6.0 0.1

  e2e_click 650 220                        # bypass on
  e2e_measure_again && e2e_expect_gain "bypass: output equals input" 0 0 0.01
  e2e_click 650 220                        # bypass off again
  e2e_measure_again && e2e_expect_gain "bypass off: the EQ is back" 0 6.0 0.1

  local cell=$(((682 - 20) / 8))
  e2e_click $((10 + cell + 20)) 35         # bus cell 1
  e2e_measure_again
  e2e_expect_gain "bus 1 selected: its first channel is equalized" 8 6.0 0.1
  e2e_expect "bus 0 is copied through" "$(e2e_channel 0 exact_copy)" 1
  e2e_shot panel-bus1
  e2e_expect "bus bar after the click" "$(e2e_bus_cells panel-bus1)" NSNNNNNN
  close_app
}

# ---------------------------------------------------------------------------------------------
scenario_sysmenu() {
  start_with_host sysmenu "type=3" $(sine_on 0 1) || return
  e2e_wait_measured 1 20
  e2e_drag $BAND9_X $BAND9_Y -30
  local saved="$WINEPREFIX/drive_c/eq.xml"

  drv syscmd 12 >/dev/null
  e2e_dialog "Save Current Graphic EQ Configuration..." 'C:\eq.txt'
  e2e_expect "saved through the dialog as eq.xml, band 9" "$(e2e_wait_value 10 3.00000 settings_line "$saved")" 3.00000

  syscmd 13
  e2e_expect "reset question" "$(drv box "New Matrix" 10 no)" \
    'text=Entire Matrix will be initialized.\nPlease Confirm reset All?'
  sleep 0.5
  e2e_measure_again && e2e_expect_gain "reset answered No keeps the EQ" 0 3.0 0.1
  syscmd 13
  drv box "New Matrix" 10 yes >/dev/null
  sleep 0.5
  e2e_measure_again && e2e_expect_gain "reset answered Yes flattens the EQ" 0 0 0.05

  # Saving the flat EQ as "eq" targets eq.xml, which holds band 9 at +3 dB: declined, it stays.
  syscmd 12
  e2e_dialog "Save Current Graphic EQ Configuration..." 'C:\eq' no
  e2e_expect "overwrite question" "$E2E_BOX_TEXT" 'text=File already exists.\nDo you Want To Replace it ?'
  e2e_expect "declined overwrite left the file" "$(settings_line "$saved")" 3.00000
  syscmd 12
  e2e_dialog "Save Current Graphic EQ Configuration..." 'C:\eq.xml' yes
  e2e_expect "accepted overwrite replaced the file" "$(e2e_wait_value 10 0.00000 settings_line "$saved")" 0.00000

  sed -i "s/g9='0.00000'/g9='-6.00000'/g" "$saved"
  syscmd 11
  e2e_dialog - 'C:\eq.xml'
  e2e_measure_again && e2e_expect_gain "loaded file with band 9 at -6 dB" 0 -6.0 0.1

  local on
  for on in 1 0; do
    syscmd 59
    expect_eventually "Always Visible $on: topmost" $on e2e_info topmost
    expect_eventually "Always Visible $on: stored" 0x$on reg_switch GEQ15_ShowOnTop
  done
  syscmd 61
  expect_eventually "Show App On Startup stored" 0x1 reg_switch GEQ15_SysTrayShowOnRun
  drv syscmd 70 >/dev/null                  # "Shut Down GEQ15"
  e2e_wait_exit 20 || e2e_fail "Shut Down GEQ15 did not end the program"
  e2e_expect "exit code after Shut Down" "$APP_RC" 0
}

# ---------------------------------------------------------------------------------------------
tray_menu() { drv tray 516 >/dev/null; sleep 0.5; drv keys "$@" >/dev/null; sleep 0.5; }  # right button on the icon
tray_click() { drv tray 513 >/dev/null; sleep 0.5; }                                        # left button on the icon
scenario_tray() {
  start_with_host tray "type=2" || return
  syscmd 60
  expect_eventually "tray mode stored" 0x1 reg_switch GEQ15_SysTray
  local link
  link=$(e2e_startup_link)
  [ -n "$link" ] && e2e_log "ok: Startup shortcut created: ${link##*/}" || e2e_fail "no Startup shortcut in the session"
  drv close >/dev/null
  sleep 1
  expect_eventually "close in tray mode hides" 0 e2e_info visible
  e2e_app_running && e2e_log "ok: still running after close" || e2e_fail "the program ended on close in tray mode"
  tray_menu down return                     # "Show GEQ15"
  expect_eventually "tray menu Show" 1 e2e_info visible
  tray_menu down down return                # "Hide GEQ15"
  expect_eventually "tray menu Hide" 0 e2e_info visible
  tray_click
  expect_eventually "tray icon click shows" 1 e2e_info visible
  tray_menu up up return                    # "Shut Down GEQ15" (bottom up: Exit Menu, Shut Down)
  e2e_wait_exit 20 || e2e_fail "the tray menu's Shut Down did not end the program"
  e2e_expect "exit code after tray Shut Down" "$APP_RC" 0

  # Tray on, show on start-up off: the next start is hidden with only the tray icon.
  restart_app
  expect_eventually "tray mode start is hidden" 0 e2e_info visible
  tray_click
  expect_eventually "tray icon click shows the hidden window" 1 e2e_info visible
  syscmd 60
  expect_eventually "tray mode off stored" 0x0 reg_switch GEQ15_SysTray
  [ -n "$(e2e_startup_link)" ] && e2e_fail "the Startup shortcut is still there" || e2e_log "ok: Startup shortcut deleted"
  close_app
}

# ---------------------------------------------------------------------------------------------
expected_settings() {  # expected_settings BUS X0 Y0 DX DY G9: the thirteen lines
  python3 - "$@" <<'PY'
import sys
bus, x0, y0, dx, dy = (int(v) for v in sys.argv[1:6])
g9 = float(sys.argv[6])
out = ['<?xml version="1.0" encoding="utf-8"?>\n', '<KelmoraOrluneGEQ15>\n',
       "<GEQ15Configuration nBus='%i' x0='%i' y0='%i' dx='%i' dy='%i' />\n" % (bus, x0, y0, dx, dy)]
for ch in range(1, 9):
    g = [0.0] * 15
    if ch <= 2:
        g[8] = g9
    bands = ' '.join("g%i='%0.5f'" % (i + 1, g[i]) for i in range(15))
    out.append("\t<GEQ15param ch='%i' bypass='0' gain='%0.5f' %s />\n" % (ch, 0.0, bands))
out += ['</GEQ15Configuration>\n', '</KelmoraOrluneGEQ15>\n']
sys.stdout.write(''.join(out))
PY
}
scenario_persistence() {
  start_with_host persistence "type=3" || return
  e2e_drag $BAND9_X $BAND9_Y -30
  e2e_click $((10 + 82 * 2 + 20)) 35        # bus 2
  local rect x0 y0 r b
  read -r x0 y0 r b <<<"$(e2e_info rect)"

  # A second instance ends at once with -1; the first keeps running.
  wine "$E2E_PROGRAM" >/dev/null 2>&1
  e2e_expect "second instance exit code (-1)" "$?" 255
  e2e_app_running && e2e_log "ok: the first instance still runs" || e2e_fail "the first instance ended"

  close_app
  expected_settings 2 "$x0" "$y0" $((r - x0)) $((b - y0)) 3.0 >"$E2E_DIR/expected.xml"
  if cmp -s "$E2E_DIR/expected.xml" "$E2E_SETTINGS_FILE"; then
    e2e_log "ok: settings file byte for byte"
  else
    e2e_fail "settings file differs from the expected thirteen lines"
    diff "$E2E_DIR/expected.xml" "$E2E_SETTINGS_FILE" | head -n 20
  fi

  # The next start restores bus and band 9 (+3 dB: knob 30 pixels above its 0 dB place).
  restart_app
  e2e_shot restored
  e2e_expect "restored bus" "$(e2e_bus_cells restored)" NNSNNNNN
  e2e_expect "restored window position" "$(e2e_position)" "$x0 $y0"
  close_app
  e2e_expect "settings unchanged through a second run" "$(settings_line "$E2E_SETTINGS_FILE")" 3.00000

  # A saved position off the screen: the window comes back onto the monitor, one pixel inside
  # its right and bottom edges (1280 x 1024 screen, 688 x 290 window).
  sed -i "s/x0='[-0-9]*' y0='[-0-9]*'/x0='5000' y0='3000'/" "$E2E_SETTINGS_FILE"
  restart_app
  expect_eventually "off-screen position kept on the monitor" "591 733" e2e_position
  close_app
}
e2e_position() { e2e_info rect | cut -d' ' -f1,2; }

# ---------------------------------------------------------------------------------------------
scenario_host_life() {
  start_with_host host-life "type=2" || return
  e2e_wait_measured 1 20
  e2e_control stop
  sleep 2                                   # 16 ticks are 0.8 s
  e2e_shot stopped
  e2e_expect "host stopped: the notice" "$(e2e_bus_cells stopped)" RRRRRRRR
  e2e_control back
  sleep 2
  e2e_shot back
  e2e_expect "host back: the bus bar" "$(e2e_bus_cells back)" SNNNNEEE
  local before
  before=$(e2e_report starts)
  e2e_control restart
  e2e_wait_measured $((before + 1)) 20 && e2e_log "ok: the restart request led to a new stream start"
  e2e_expect "restart requests seen" "$(e2e_report restart_requests)" 1
  close_app
}

# ---------------------------------------------------------------------------------------------
# expect_start_failure NAME TEXT: the Init Error box, then "Failed to create window...", exit 0,
# and a stored settings file left exactly as it was.
expect_start_failure() {
  mkdir -p "$(dirname "$E2E_SETTINGS_FILE")"
  echo "keep me" >"$E2E_SETTINGS_FILE"
  e2e_start_app
  e2e_expect "$1: Init Error box" "$(drv box "Init Error" 30 ok)" "text=$2"
  e2e_expect "$1: Sorry box" "$(drv box "Sorry" 10 ok)" "text=Failed to create window..."
  e2e_wait_exit 20
  e2e_expect "$1: exit code" "$APP_RC" 0
  e2e_expect "$1: settings file untouched" "$(cat "$E2E_SETTINGS_FILE")" "keep me"
}
scenario_failures() {
  local name host config text
  # Read from fd 3: Wine programs in the loop may read standard input.
  while IFS='|' read -r name host config text <&3; do
    e2e_session "$E2E_WORK/fail-$name"
    case $host in
      none) e2e_unregister_host ;;
      partial) e2e_register_host "$E2E_PARTIAL_HOST" ;;
      sim) e2e_register_host "$E2E_SIMHOST"; e2e_sim_config "$config" ;;
    esac
    expect_start_failure "$name" "$text"
    e2e_end_session
  done 3<<'CASES'
nohost|none||Orlune is not installed
entry|partial||Failed To Link To OrluneRemote.dll
login|sim|login_result=-3|Failed To Login
busy|sim|busy_client=Other Mixer Insert|Orlune Output Insert already in use by:\nOther Mixer Insert
CASES
}

case $scenario in
  startup) scenario_startup ;;
  panel) scenario_panel ;;
  sysmenu) scenario_sysmenu ;;
  tray) scenario_tray ;;
  persistence) scenario_persistence ;;
  host-life) scenario_host_life ;;
  failures) scenario_failures ;;
  *) echo "e2e: unknown scenario $scenario" >&2; exit 2 ;;
esac
if [ "$E2E_FAILURES" -gt 0 ]; then
  echo "$scenario: $E2E_FAILURES check(s) failed"
  exit 1
fi
echo "$scenario: all checks passed"
