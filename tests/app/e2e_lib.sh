# Checks for the end-to-end scenarios, on top of the run harness of scripts/. Source this file;
# a scenario file defines scenario_NAME functions and ends with: e2e_run_scenario "$@"
# shellcheck source=../../scripts/sim_harness.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/sim_harness.sh"

# The window's verbs are vez15-remote's; boxes, file dialogs, menu keys and the screen reader's
# view the test driver's.
drv() {
  case $1 in
    box|filedialog|nodialog|keys|tree|set|do|focus|events|describe) wine "$E2E_DRIVER" "$@" 2>/dev/null | tr -d '\r' ;;
    *) remote "$@" ;;
  esac
}
e2e_log() { echo "[$(date +%H:%M:%S)] $*"; }
e2e_fail() { echo "FAIL: $*" >&2; E2E_FAILURES=$((${E2E_FAILURES:-0} + 1)); }
e2e_expect() {  # e2e_expect WHAT ACTUAL EXPECTED
  if [ "$2" == "$3" ]; then e2e_log "ok: $1 ($2)"; else e2e_fail "$1: got '$2', expected '$3'"; fi
}
# e2e_eventually EXPECTED COMMAND...: polls until COMMAND prints EXPECTED; prints the last output.
e2e_prints() { E2E_VALUE=$("${@:2}" 2>/dev/null); [ "$E2E_VALUE" == "$1" ]; }
e2e_eventually() { e2e_poll e2e_prints "$@"; echo "$E2E_VALUE"; }
e2e_expect_eventually() { e2e_expect "$1" "$(e2e_eventually "$2" "${@:3}")" "$2"; }  # WHAT EXPECTED COMMAND...
e2e_expect_gain() {  # e2e_expect_gain WHAT CH EXPECTED_DB TOLERANCE
  if e2e_measure_until "$2" "$3" "$4"; then e2e_log "ok: $1 ($(e2e_gain_db "$2") dB)"
  else e2e_fail "$1: gain $(e2e_gain_db "$2") dB on channel $2, expected $3 +- $4"; fi
}

# e2e_start_with_host NAME key=value...: a new session with the simulated host of these
# settings; the program starts, its window opens and it starts the host's stream.
e2e_start_with_host() {
  e2e_session "$E2E_WORK/$1"
  shift
  e2e_register_host "$E2E_SIMHOST"
  e2e_sim_config "$@"
  e2e_start_app
  e2e_open_window || { e2e_fail "the main window did not open"; return 1; }
  e2e_wait_measured 1 || { e2e_fail "the program did not start the host's stream"; return 1; }
}
# e2e_expect_exit WHAT: the program ends after WHAT with exit code 0. close_app closes through the
# window's own close path.
e2e_expect_exit() { e2e_wait_exit || e2e_fail "the program did not end after $1"; e2e_expect "exit code after $1" "$APP_RC" 0; }
close_app() { drv close >/dev/null; e2e_expect_exit WM_CLOSE; }
# settings_attr NAME [FILE]: record 1's attribute NAME in a settings file (the session's by default).
settings_attr() { sed -n "s/.*ch='1' .* $1='\([^']*\)'.*/\1/p" "${2:-$E2E_SETTINGS_FILE}"; }
# The Startup shortcut as a file of the session (Wine spells the folder "StartUp").
e2e_startup_link() {
  find "$E2E_USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs" -maxdepth 2 \
    -iname 'VEZ-15 (Kelmora).LNK' 2>/dev/null | head -n 1
}
# e2e_dialog TITLE PATH [ANSWER [CAPTION]]: types PATH into the file dialog, answers the box that
# follows (CAPTION, default the overwrite question; its text to E2E_BOX_TEXT and the log) and waits
# until the program is done with both. Failures carry the driver's account of the screen.
e2e_dialog() {
  local seen
  seen=$(drv filedialog "$1" "$E2E_DEADLINE" "$2") || e2e_fail "the file dialog \"$1\" did not close: $seen"
  [ -z "${3:-}" ] || { E2E_BOX_TEXT=$(drv box "${4:-File Exists}" "$E2E_DEADLINE" "$3") || e2e_fail "the box after \"$1\""; e2e_log "box: ${E2E_BOX_TEXT//$'\n'/ | }"; }
  e2e_no_dialog "\"$1\""
}
e2e_no_dialog() {  # e2e_no_dialog WHAT: waits until the program is done with WHAT's dialogs
  local seen
  seen=$(drv nodialog "$E2E_DEADLINE") || e2e_fail "the dialogs of $1 did not close: $seen"
}
# e2e_bus_cells SHOT: takes a screenshot and names the bus bar's cells, one letter each:
# S selected, N named, E empty, R the host-not-running notice.
e2e_bus_cells() {
  local w i fmt="" c cells=""
  e2e_shot "$1"
  read -r w _ <<<"$(e2e_info client)"
  for ((i = 0; i < 8; i++)); do
    c="p{$((10 + i * ((w - 20) / 8) + 4 + OX)),$((14 + OY))}"
    fmt+="%[fx:int(255*$c.r)],%[fx:int(255*$c.g)],%[fx:int(255*$c.b)] "
  done
  for c in $(convert "$E2E_DIR/$1.png" -format "$fmt" info: 2>/dev/null); do
    case $c in 100,240,240) cells+=S ;; 10,120,150) cells+=N ;; 5,5,30) cells+=E ;; 250,0,0) cells+=R ;; *) cells+="?" ;; esac
  done
  echo "$cells"
}

# e2e_run_scenario --program EXE --driver EXE --simhost DLL --partial-host DLL --work DIR NAME:
# runs scenario_NAME (dashes become underscores) and exits 1 when a check failed.
e2e_run_scenario() {
  while [ $# -gt 1 ]; do
    case $1 in
      --program) E2E_PROGRAM=$2 ;; --driver) E2E_DRIVER=$2 ;; --simhost) E2E_SIMHOST=$2 ;;
      --partial-host) E2E_PARTIAL_HOST=$2 ;; --work) E2E_WORK=$2 ;; *) break ;;
    esac
    shift 2
  done
  local name=${1:?usage: SCRIPT --program EXE --driver EXE --simhost DLL --partial-host DLL --work DIR SCENARIO}
  E2E_REMOTE=${E2E_REMOTE:-$(dirname "$E2E_DRIVER")/../../tools/vez15-remote/vez15-remote.exe}  # the build's
  declare -F "scenario_${name//-/_}" >/dev/null || { echo "e2e: unknown scenario $name" >&2; exit 2; }
  E2E_FAILURES=0
  e2e_display
  trap 'e2e_end_session; e2e_end_display' EXIT
  "scenario_${name//-/_}"
  [ "$E2E_FAILURES" -eq 0 ] || { echo "$name: $E2E_FAILURES check(s) failed"; exit 1; }
  echo "$name: all checks passed"
}
