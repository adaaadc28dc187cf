#!/usr/bin/env bash
# The panel in a real window under Wine and Xvfb: screenshots checked at chosen pixels, and
# xdotool driving a drag, the wheel, a double click, the popup value editor, the bypass switch
# and a bus cell, with the channel records read back from the program's state file.
#   panel_view_test.sh path/to/panel_view.exe
set -uo pipefail
exe=${1:?usage: panel_view_test.sh panel_view.exe}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../../scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
for tool in xdotool import convert wine; do
  command -v $tool >/dev/null || { echo "panel_view_test: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

work=$(mktemp -d)
state=$work/state.txt
commands=$work/command.txt
passed=0
failed=0
"$root/scripts/wine-run.sh" "$exe" "$(winepath -w "$state" 2>/dev/null || echo "$state")" \
  "$(winepath -w "$commands" 2>/dev/null || echo "$commands")" >"$work/program.log" 2>&1 &
program=$!
cleanup() { kill "$program" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

# Client origin on the screen and the slider area's origin (L, T) in screen pixels.
OX=40; OY=240; L=$((OX + 10)); T=$((OY + 70))

check() {  # check NAME CONDITION-RESULT(0/1) DETAIL
  if [ "$2" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1 ${3:-}"; fi
}
field() { awk -v k="$1" '$1 == k { $1 = ""; sub(/^ /, ""); print }' "$state" 2>/dev/null; }
record_value() {  # record_value RECORD(1|2) SLIDER(0..15) -> value; bypass is "b"
  local line; line=$(field "rec$1")
  if [ "$2" = b ]; then echo "$line" | awk '{print $1}'; else echo "$line" | awk -v i="$2" '{print $(i + 2)}'; fi
}
# Nothing assumes a speed: every wait polls for the thing itself, up to one generous deadline.
DEADLINE=${E2E_DEADLINE:-90}
wait_for() {  # wait_for COMMAND-THAT-SUCCEEDS
  local end=$((SECONDS + DEADLINE))
  until eval "$1"; do [ "$SECONDS" -lt "$end" ] || return 1; sleep 0.1; done
}
# soon NAME CONDITION [DETAIL-CODE]: CONDITION holds on a fresh screenshot within the deadline.
soon() { wait_for "shot; $2"; check "$1" $? "$(eval "${3:-true}")"; }
command_ack=0
send() {  # send COMMAND: run one command in the program and wait until it is done and painted
  command_ack=$((command_ack + 1))
  printf '%s' "$1" >"$commands"
  wait_for '[ "$(field ack)" = "$command_ack" ]' || { echo "panel_view_test: no answer to '$1'"; exit 1; }
}
shot() { import -window root "$work/shot.png" 2>/dev/null; }
pixel() {  # pixel X Y -> "r g b" from the last screenshot
  convert "$work/shot.png" -format '%[fx:int(255*p{'"$1"','"$2"'}.r)] %[fx:int(255*p{'"$1"','"$2"'}.g)] %[fx:int(255*p{'"$1"','"$2"'}.b)]' info:
}
expect_pixel() {  # expect_pixel NAME X Y "r g b"
  soon "$1" "[ \"\$(pixel $2 $3)\" = '$4' ]" "echo \"at ($2,$3): got '\$(pixel $2 $3)', expected '$4'\""
}
is_dark() { local p; p=($(pixel "$1" "$2")); [ "${p[0]}" -lt 40 ] && [ "${p[1]}" -lt 40 ] && [ "${p[2]}" -lt 40 ]; }
is_lit() { local p; p=($(pixel "$1" "$2")); [ "${p[1]}" -gt 120 ] || [ "${p[0]}" -gt 200 ]; }
expect_value() {  # expect_value NAME SLIDER VALUE: records 1 and 2 both hold it
  local v1 v2
  wait_for '[ "$(record_value 1 '"$2"')" = "'"$3"'" ]'
  v1=$(record_value 1 "$2"); v2=$(record_value 2 "$2")
  [ "$v1" = "$3" ] && [ "$v2" = "$3" ]; check "$1" $? "records 1/2 hold '$v1'/'$v2', expected '$3'"
}
knob_row() {  # knob_row SLIDER VALUE -> screen row of the knob's centre line
  local top h
  if [ "$1" = 15 ]; then top=$((T + 33)); h=111; else top=$((T + 25)); h=127; fi
  awk -v v="$2" -v h="$h" -v top="$top" 'BEGIN { a = int((v + 12) * h / 24); if (a < 0) a = 0; if (a > h) a = h; print top + h - a }'
}
knob_x() { if [ "$1" = 15 ]; then echo $((L + 592 + 11)); else echo $((L + 15 + 32 * $1 + 11)); fi; }
expect_knob() {  # expect_knob NAME SLIDER VALUE: dark centre line on the row, lit face 3 rows above
  local x y; x=$(knob_x "$2"); y=$(knob_row "$2" "$3")
  soon "$1" "is_dark $x $y && ! is_dark $x $((y - 3))" "echo 'knob of slider $2 not centred on row $y'"
}

wait_for '[ -s "$state" ]' || { echo "panel_view_test: the program did not start"; cat "$work/program.log"; exit 1; }
wait_for 'xdotool search --name "VEZ15 panel view" >/dev/null 2>&1' || { echo "panel_view_test: no window"; exit 1; }

# ---- the notice when there is no host, and the bus cells ----
send "buses 0 0"
expect_pixel "notice box" $((OX + 14)) $((OY + 14)) "250 0 0"
expect_pixel "notice box right end" $((OX + 674)) $((OY + 56)) "250 0 0"
white=$(convert "$work/shot.png" -crop 668x20+$((OX + 10))+$((OY + 25)) -format '%[fx:mean]' -fill black +opaque 'rgb(250,250,250)' -fill white -opaque 'rgb(250,250,250)' info: )
awk -v m="$white" 'BEGIN { exit !(m > 0.01) }'; check "notice text" $? "mean $white"

cell_x() { echo $((OX + 10 + 83 * $1 + 5)); }  # 688-pixel client: cells 83 wide
CELL_Y=$((OY + 14))
for layout in "2 1" "5 2" "8 7"; do
  set -- $layout
  send "buses $1 $2"
  for i in 0 1 2 3 4 5 6 7; do
    if [ "$i" -ge "$1" ]; then want="5 5 30"; elif [ "$i" = "$2" ]; then want="100 240 240"; else want="10 120 150"; fi
    expect_pixel "$1 buses, cell $i" "$(cell_x $i)" "$CELL_Y" "$want"
  done
done

# ---- knobs, meters, bypass key ----
# Slider 3 carries 40 dB as a settings file may: its knob stays at the top of the column.
send "set 0 12"; send "set 1 0"; send "set 2 -12"; send "set 3 40"; send "set 15 -12"
send "meters 0.2 1.0 0 0"
for knob in "0 12" "1 0" "2 -12" "3 40" "15 -12"; do expect_knob "knob at $knob" $knob; done
MX_IN=$((L + 521 + 4)); MX_OUT=$((L + 537 + 4)); MTOP=$((T + 33))
soon "input meter lights 96 rows at 0 dBFS" \
  "is_lit $MX_IN $((MTOP + 104)) && is_lit $MX_IN $((MTOP + 12)) && ! is_lit $MX_IN $((MTOP + 8))"
soon "silent output meter unlit" "! is_lit $MX_OUT $((MTOP + 104))"
send "meters 0 0 4.0 0"
soon "meter full above +6 dB, input silent" "is_lit $MX_OUT $MTOP && ! is_lit $MX_IN $((MTOP + 104))"
BX=$((L + 640)); BY=$((T + 150))
soon "bypass key grey when off" 'p=($(pixel $BX $BY)); [ $((p[2] - p[0])) -lt 20 ]' 'pixel $BX $BY'

# ---- pointer input ----
xdotool mousemove $BX $BY click 1
wait_for '[ "$(record_value 1 b)" = 1 ] && [ "$(record_value 2 b)" = 1 ]'; check "bypass click sets records 1 and 2" $?
soon "bypass key glows cyan" 'p=($(pixel $BX $BY)); [ "${p[2]}" -gt 200 ] && [ $((p[2] - p[0])) -gt 10 ]' 'pixel $BX $BY'
sleep 0.6   # past the double-click time: a second click, not a double click
xdotool mousemove $BX $BY click 1
wait_for '[ "$(record_value 1 b)" = 0 ]'; check "second bypass click clears it" $?

send "buses 5 0"
xdotool mousemove "$(cell_x 3)" $CELL_Y click 1
wait_for '[ "$(field bus)" = 3 ]'; check "bus cell click selects bus 3" $? "bus $(field bus)"
expect_pixel "selected cell redrawn" "$(cell_x 3)" $CELL_Y "100 240 240"

# Drag band 5 (slider 4) 30 pixels up from 0 dB in small steps, then 10 back down past the top.
SX=$(knob_x 4); SY=$(knob_row 4 0)
xdotool mousemove "$SX" "$SY" mousedown 1
for dy in 5 10 15 20 25 30; do xdotool mousemove "$SX" $((SY - dy)); sleep 0.05; done
expect_value "drag 30 pixels up gives 3 dB" 4 3.0000
xdotool mousemove $((SX + 200)) $((SY - 200))   # leaving the column and the window
expect_value "drag stops at +12" 4 12.0000
xdotool mousemove "$SX" $((SY - 190))
expect_value "moving back 10 pixels gives 11 at once" 4 11.0000
xdotool mouseup 1
expect_knob "knob redrawn at 11 dB" 4 11

# Wheel over the gain slider: one notch forward (+0.5 dB), then one back.
send "set 15 11.8"
GX=$(knob_x 15); GY=$((T + 120))
xdotool mousemove "$GX" "$GY" click 4
expect_value "wheel notch forward from 11.8 stops at 12" 15 12.0000
xdotool click 5
expect_value "wheel notch back gives 11.5" 15 11.5000

# Double click resets to 0.
xdotool mousemove "$SX" $((T + 100)) click --repeat 2 --delay 80 1
expect_value "double click sets 0 dB" 4 0.0000
expect_knob "knob back at 0 dB" 4 0

# The popup value editor: Enter confirms, Escape and a click outside cancel.
editor() {  # editor SLIDER TEXT KEY-OR-CLICK
  xdotool mousemove "$(knob_x "$1")" $((T + 60)) click 3
  wait_for '[ "$(field editor)" = 1 ]' || echo "panel_view_test: the editor did not open"
  xdotool type --delay 30 -- "$2"
  if [ "$3" = click ]; then xdotool mousemove $((OX + 100)) $((OY + 330)) click 1; else xdotool key "$3"; fi
  wait_for '[ "$(field editor)" = 0 ]' || echo "panel_view_test: the editor did not close"
}
editor 6 "5.25" Return
expect_value "typed 5.25 and Enter" 6 5.2500
editor 7 "3" Escape
expect_value "Escape cancels" 7 0.0000
editor 8 "4" click
expect_value "a click outside cancels" 8 0.0000
expect_knob "typed value drawn" 6 5.25

[ "$(field others_kept)" = 1 ]; check "records 3 to 8 untouched" $?

printf quit >"$commands"
echo "panel view: $passed passed, $failed failed"
[ "$failed" = 0 ]
