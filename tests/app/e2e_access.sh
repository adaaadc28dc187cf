#!/usr/bin/env bash
# End to end: the panel without a pointer. Same arguments as e2e.sh; one scenario, access: keys
# into the window (xdotool) with the host's measurements and the focus rectangle on the screen,
# then a screen reader's view from another process (access-client, through oleacc).
set -uo pipefail
# shellcheck source=e2e_lib.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/e2e_lib.sh"

BAND9_X=292 BAND9_Y=159  # band 9 (1 kHz, child 17) at 0 dB
acc() { wine "$E2E_ACCESS_CLIENT" "$@" 2>/dev/null | tr -d '\r'; }
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
  acc events "$E2E_DIR/events.txt" &
  e2e_expect_eventually "the event listener is ready" ready head -n 1 "$E2E_DIR/events.txt"
  xdotool mousemove $((BAND9_X + OX)) $((BAND9_Y + OY)) sleep 0.3  # the pointer rests on band 9 in every shot
  e2e_shot untouched
  e2e_click $BAND9_X $BAND9_Y
  e2e_expect_eventually "a press on band 9 gives it the focus" 1 saw "focus 17"
  # One child of each kind (the others are named and their states set by the same code, natively
  # tested), the reading order and a hit test at every child's centre.
  e2e_expect "the children as a screen reader reads them" "$(acc tree | sed -E 's/"[-+][0-9]+\.[0-9] dB", read only/"LEVEL", read only/' |
    grep -E '^(count|order|hit|1|6|9|17|24|25|26|27) ')" "$(cat <<'TREE'
count 27
1 radio button "BUS A1" "", checked, focusable [Check]
6 radio button "" "", unavailable, focusable
9 slider "Band 25 Hz" "+0.0 dB", focusable
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
  e2e_expect_eventually "the editor's field is named after its slider" 'Band 1 kHz' acc describe
  key_gain "3 typed into the editor opened by Enter" 3.0 3 Return
  acc set 17 6
  e2e_expect_gain "band 9 set to 6 through the accessible object" 0 6.0 0.1
  e2e_expect_eventually "value events of the keys, the editor and the set" 7 saw "value 17"
  acc do 25
  e2e_expect_gain "the switch's default action: bypassed" 0 0 0.05
  e2e_expect_eventually "state events of the switch" 3 saw "state 25"
  acc do 2
  e2e_expect_eventually "a bus cell's default action chooses its bus" NSNNNEEE e2e_bus_cells chosen
  e2e_expect_eventually "the state events of both cells" "1 1" eval 'echo $(saw "state 1") $(saw "state 2")'
  acc focus 24
  e2e_expect_eventually "the focus taken to the output gain (Tab passed it twice)" 3 saw "focus 24"
  drv syscmd 13 >/dev/null && drv box "New Matrix" "$E2E_DEADLINE" yes >/dev/null
  e2e_expect_eventually "reset: a value event" 8 saw "value 17"
  acc set 17 6
  drv syscmd 15 >/dev/null
  e2e_expect_eventually "the response window described" \
    $'GEQ15 Response\nResponse from 20 Hz to 20 kHz at 48000 Hz, output gain +0.0 dB. Peak +6.0 dB at 1 kHz: loud input will clip.' \
    acc describe "GEQ15 Response"
  drv close "GEQ15 Response" >/dev/null
  keys alt+F4  # a system key: the window closes as through its close box
  e2e_wait_exit || e2e_fail "Alt+F4 did not end the program"
  e2e_expect "exit code after Alt+F4" "$APP_RC" 0
}

e2e_run_scenario "$@"
