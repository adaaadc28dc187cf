# Helpers for running VEZ-15 with the simulated host under Wine and Xvfb. Source this file.
# Each session gets its own Wine prefix (hard links to the shared one, with private copies of
# the registry files), so registry switches, the settings file and the Startup shortcut of one
# session never leak into another or into the shared prefix.

E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_HOST_UNINSTALL='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Orlune Virtual Audio Mixer'
E2E_SETTLE=${E2E_SETTLE:-0.3}

e2e_log() { echo "[$(date +%H:%M:%S)] $*"; }
e2e_fail() {
  echo "FAIL: $*" >&2
  E2E_FAILURES=$((${E2E_FAILURES:-0} + 1))
}
# e2e_expect "what" actual expected
e2e_expect() {
  if [ "$2" == "$3" ]; then e2e_log "ok: $1 ($2)"; else e2e_fail "$1: got '$2', expected '$3'"; fi
}

# e2e_session DIR [keep]: a fresh private prefix in DIR/prefix; with "keep" an existing one is
# used again, so registry switches and the settings file survive from run to run.
e2e_session() {
  E2E_DIR=$1
  if [ "${2:-}" != keep ] || [ ! -f "$E2E_DIR/prefix/system.reg" ]; then
    rm -rf "$E2E_DIR"
    mkdir -p "$E2E_DIR"
    local shared=${GEQ15_SHARED_PREFIX:-$E2E_ROOT/build/wineprefix}
    WINEPREFIX=$shared "$E2E_ROOT/scripts/wine-prefix.sh" || return 1
    cp -al "$shared" "$E2E_DIR/prefix"
    # Wine rewrites its registry files; they must not be links into the shared prefix.
    local f
    for f in system.reg user.reg userdef.reg; do
      rm -f "$E2E_DIR/prefix/$f"
      cp "$shared/$f" "$E2E_DIR/prefix/$f"
    done
    # Wine links Documents, Desktop and the like to the Linux home folder; the session's
    # settings file must not land there, so each becomes a folder of the prefix's own.
    local user_dir link
    user_dir="$E2E_DIR/prefix/drive_c/users/$(id -un)"
    for link in "$user_dir"/*; do
      if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
    done
  fi
  export WINEPREFIX=$E2E_DIR/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
  E2E_HOST_DIR="$WINEPREFIX/drive_c/Program Files/Orlune"
  E2E_USER_DIR="$WINEPREFIX/drive_c/users/$(id -un)"
  E2E_SETTINGS_FILE="$E2E_USER_DIR/Documents/Orlune/GEQ15Config.xml"
  E2E_REPORT="$E2E_HOST_DIR/OrluneRemote-report.txt"
  E2E_CONTROL="$E2E_HOST_DIR/OrluneRemote.control"
  mkdir -p "$E2E_HOST_DIR"
  APP_PID=""
}

e2e_end_session() {
  [ -n "${APP_PID:-}" ] && kill "$APP_PID" 2>/dev/null
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null || true
}

# e2e_display: a private Xvfb unless a display is set; it ends with the calling script.
e2e_display() {
  if [ -z "${DISPLAY:-}" ]; then
    # shellcheck source=../../scripts/xvfb.sh
    source "$E2E_ROOT/scripts/xvfb.sh"
  fi
}
e2e_end_display() {
  [ -n "${GEQ15_XVFB_PID:-}" ] && kill "$GEQ15_XVFB_PID" 2>/dev/null
  true
}

# e2e_register_host DLL: installs DLL as the host's OrluneRemote.dll and enters the host in
# the 32-bit registry view, where a 32-bit host's installer puts it and the program looks.
e2e_register_host() {
  cp "$1" "$E2E_HOST_DIR/OrluneRemote.dll"
  wine reg add "$E2E_HOST_UNINSTALL" /v UninstallString /t REG_SZ /d 'C:\Program Files\Orlune\uninstall.exe' \
    /reg:32 /f >/dev/null 2>&1
}

# The shared prefix may carry a registered host (scripts/register-simhost.sh): a session that
# needs no host removes the entry from both registry views.
e2e_unregister_host() {
  wine reg delete "$E2E_HOST_UNINSTALL" /reg:32 /f >/dev/null 2>&1
  wine reg delete "$E2E_HOST_UNINSTALL" /reg:64 /f >/dev/null 2>&1
  true
}

# e2e_sim_config key=value...: the simulated host's settings for the next login.
e2e_sim_config() {
  rm -f "$E2E_CONTROL" "$E2E_REPORT"
  printf '%s\n' "settle=$E2E_SETTLE" "window=1.0" "$@" >"$E2E_HOST_DIR/OrluneRemote.ini"
}
e2e_control() { printf '%s\n' "$1" >>"$E2E_CONTROL"; }

# The Startup shortcut as a file of the session (Wine spells the folder "StartUp").
e2e_startup_link() {
  find "$E2E_USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs" -maxdepth 2 \
    -iname 'VEZ-15 (Kelmora).LNK' 2>/dev/null | head -n 1
}

e2e_start_app() {
  wine "$E2E_PROGRAM" >"$E2E_DIR/app.log" 2>&1 &
  APP_PID=$!
}
# e2e_wait_exit SECONDS: APP_RC is the program's exit code as the shell sees it (-1 is 255).
e2e_wait_exit() {
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      wait "$APP_PID"
      APP_RC=$?
      APP_PID=""
      return 0
    fi
    sleep 0.1
  done
  APP_RC=timeout
  return 1
}
e2e_app_running() { [ -n "${APP_PID:-}" ] && kill -0 "$APP_PID" 2>/dev/null; }

drv() { wine "$E2E_DRIVER" "$@" 2>/dev/null | tr -d '\r'; }
# e2e_info KEY: one line of the driver's window report.
e2e_info() { drv info | sed -n "s/^$1=//p"; }

# ---- the simulated host's report ----
e2e_report() { [ -f "$E2E_REPORT" ] && sed -n "s/^$1=//p" "$E2E_REPORT" | head -n 1; }
# e2e_channel CH FIELD
e2e_channel() {
  [ -f "$E2E_REPORT" ] || return
  sed -n "s/^channel=$1 .*\b$2=\([^ ]*\).*/\1/p" "$E2E_REPORT" | head -n 1
}
# e2e_wait_measured STARTS SECONDS: wait for a complete measurement window of stream start STARTS.
e2e_wait_measured() {
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    if [ "$(e2e_report starts)" == "$1" ] && [ "$(e2e_report window_complete)" == 1 ]; then return 0; fi
    sleep 0.1
  done
  e2e_fail "no complete measurement of stream start $1 within $2 s (starts=$(e2e_report starts))"
  return 1
}
# A fresh measurement of the current settings: ask the host to restart the stream.
e2e_measure_again() {
  local next=$(($(e2e_report starts) + 1))
  e2e_control restart
  e2e_wait_measured "$next" 20
}
# e2e_gain_db CH: output minus input RMS of a channel in the last window, in dB.
e2e_gain_db() {
  python3 -c "import sys; print('%.3f' % (float(sys.argv[2]) - float(sys.argv[1])))" \
    "$(e2e_channel "$1" in_rms_db)" "$(e2e_channel "$1" out_rms_db)"
}
e2e_expect_gain() {  # e2e_expect_gain WHAT CH EXPECTED_DB TOLERANCE
  local g
  g=$(e2e_gain_db "$2")
  if awk -v g="$g" -v e="$3" -v t="$4" 'BEGIN { d = g - e; exit !(g != "" && d <= t && -d <= t) }'; then
    e2e_log "ok: $1 ($g dB)"
  else
    e2e_fail "$1: gain $g dB, expected $3 +- $4"
  fi
}

# ---- the screen ----
# e2e_origin: OX, OY = the client area's top-left corner on the screen.
e2e_origin() { read -r OX OY <<<"$(e2e_info origin)"; }
e2e_shot() { import -window root "$E2E_DIR/$1.png" 2>/dev/null; }
# e2e_pixel SHOT X Y (client coordinates): "r,g,b"
e2e_pixel() {
  convert "$E2E_DIR/$1.png" -format "%[fx:int(255*p{$(($2 + OX)),$(($3 + OY))}.r)],%[fx:int(255*p{$(($2 + OX)),$(($3 + OY))}.g)],%[fx:int(255*p{$(($2 + OX)),$(($3 + OY))}.b)]" info: 2>/dev/null
}
# Pointer actions in client coordinates.
e2e_click() { xdotool mousemove $(($1 + OX)) $(($2 + OY)) sleep 0.2 click "${3:-1}"; sleep 0.3; }
# e2e_dialog TITLE PATH [yes|no]: types PATH into the file dialog, answers the overwrite question
# when one is given (its text goes to E2E_BOX_TEXT) and waits until the dialog has done its work.
e2e_dialog() {
  drv filedialog "$1" 10 "$2" >/dev/null || e2e_fail "no file dialog \"$1\""
  [ -n "${3:-}" ] && E2E_BOX_TEXT=$(drv box "File Exists" 10 "$3")
  drv nodialog 15 >/dev/null || e2e_fail "the file dialog \"$1\" did not close"
  # Wine hides the dialog well before the call returns to the program.
  sleep 3
}
# e2e_wait_value SECONDS EXPECTED COMMAND...: polls until COMMAND prints EXPECTED; prints the last.
e2e_wait_value() {
  local seconds=$1 expected=$2 value="" i
  shift 2
  for ((i = 0; i < seconds * 5; i++)); do
    value=$("$@" 2>/dev/null)
    [ "$value" == "$expected" ] && break
    sleep 0.2
  done
  echo "$value"
}
e2e_drag() {  # e2e_drag X Y DY
  # Hover first: the press must find the pointer already inside the window.
  xdotool mousemove $(($1 + OX + 2)) $(($2 + OY + 2)) sleep 0.2 mousemove $(($1 + OX)) $(($2 + OY)) sleep 0.2
  xdotool mousedown 1 sleep 0.1
  local step
  for step in 1 2 3; do xdotool mousemove $(($1 + OX)) $(($2 + OY + $3 * step / 3)) sleep 0.1; done
  xdotool mouseup 1
  sleep 0.3
}

# Cells of the bus bar in a screenshot: one letter per cell, S selected, N named, E empty.
e2e_bus_cells() {
  local shot=$1 width i cells="" px
  width=$(read -r w _ <<<"$(e2e_info client)"; echo "$w")
  local cell=$(((width - 20) / 8))
  for ((i = 0; i < 8; i++)); do
    px=$(e2e_pixel "$shot" $((10 + i * cell + 4)) 14)
    case $px in
      100,240,240) cells+=S ;;
      10,120,150) cells+=N ;;
      5,5,30) cells+=E ;;
      250,0,0) cells+=R ;;
      *) cells+="?" ;;
    esac
  done
  echo "$cells"
}
