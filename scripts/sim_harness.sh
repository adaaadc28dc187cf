# Runs VEZ-15 with the simulated host under Wine and Xvfb and reads what the host measured.
# Source this file (scripts/run.sh, the benchmarks and the end-to-end tests do); set E2E_PROGRAM,
# and E2E_REMOTE when vez15-remote is not in the build folder beside the program's.
# Each session gets its own Wine prefix (hard links to the shared one, with private copies of
# the registry files), so registry switches, the settings file and the Startup shortcut of one
# session never leak into another or into the shared prefix.
# Nothing here assumes a speed: every wait polls for the thing itself until E2E_DEADLINE.

E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export E2E_DEADLINE=${E2E_DEADLINE:-90}  # seconds any one wait may take (vez15-remote's and the test driver's too)
E2E_SETTLE=${E2E_SETTLE:-0.3}
E2E_PACING=${E2E_PACING:-fast}
E2E_HOST_UNINSTALL='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Orlune Virtual Audio Mixer'

# e2e_poll COMMAND...: runs COMMAND every 0.2 s until it succeeds; 1 after E2E_DEADLINE seconds.
e2e_poll() {
  local end=$((SECONDS + E2E_DEADLINE))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.2
  done
}

# e2e_session DIR [keep]: a fresh private prefix in DIR/prefix; with "keep" an existing one is
# used again, so registry switches and the settings file survive from run to run.
e2e_session() {
  E2E_DIR=$1
  if [ "${2:-}" != keep ] || [ ! -f "$E2E_DIR/prefix/system.reg" ]; then
    rm -rf "$E2E_DIR"
    mkdir -p "$E2E_DIR"
    local shared=${GEQ15_SHARED_PREFIX:-$E2E_ROOT/build/wineprefix} f link
    WINEPREFIX=$shared "$E2E_ROOT/scripts/wine-prefix.sh" || return 1
    cp -al "$shared" "$E2E_DIR/prefix"
    # Wine rewrites its registry files; they must not be links into the shared prefix.
    for f in system.reg user.reg userdef.reg; do
      rm -f "$E2E_DIR/prefix/$f"
      cp "$shared/$f" "$E2E_DIR/prefix/$f"
    done
    # Documents and the like must be folders of this prefix, not links to the home folder.
    for link in "$E2E_DIR/prefix/drive_c/users/$(id -un)"/*; do
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
e2e_display() { [ -n "${DISPLAY:-}" ] || source "$E2E_ROOT/scripts/xvfb.sh"; }
e2e_end_display() { [ -z "${GEQ15_XVFB_PID:-}" ] || kill "$GEQ15_XVFB_PID" 2>/dev/null; true; }

# e2e_register_host DLL: installs DLL as the host's OrluneRemote.dll and enters the host in
# the 32-bit registry view, where a 32-bit host's installer puts it and the program looks.
e2e_register_host() {
  cp "$1" "$E2E_HOST_DIR/OrluneRemote.dll"
  wine reg add "$E2E_HOST_UNINSTALL" /v UninstallString /t REG_SZ /d 'C:\Program Files\Orlune\uninstall.exe' \
    /reg:32 /f >/dev/null 2>&1
}
# e2e_sim_config key=value...: the simulated host's settings for the next login.
e2e_sim_config() {
  rm -f "$E2E_CONTROL" "$E2E_REPORT"
  printf '%s\n' "pacing=$E2E_PACING" "settle=$E2E_SETTLE" "window=1.0" "$@" >"$E2E_HOST_DIR/OrluneRemote.ini"
}
e2e_control() { printf '%s\n' "$1" >>"$E2E_CONTROL"; }

# ---- the program and its window ----
e2e_start_app() {
  wine "$E2E_PROGRAM" >"$E2E_DIR/app.log" 2>&1 &
  APP_PID=$!
}
e2e_app_running() { [ -n "${APP_PID:-}" ] && kill -0 "$APP_PID" 2>/dev/null; }
# e2e_wait_exit: APP_RC is the program's exit code as the shell sees it (-1 is 255).
e2e_wait_exit() {
  APP_RC=timeout
  e2e_poll eval '! e2e_app_running' || return 1
  wait "$APP_PID"
  APP_RC=$?
  APP_PID=""
}
# remote VERB...: vez15-remote on the program's window (wait, info, syscmd, command, tray, close).
remote() {
  wine "${E2E_REMOTE:-$(dirname "$E2E_PROGRAM")/../tools/vez15-remote/vez15-remote.exe}" "$@" 2>/dev/null | tr -d '\r'
}
# e2e_info KEY: one line of the window report (title visible topmost rect size client origin).
e2e_info() { remote info | sed -n "s/^$1=//p"; }
# e2e_open_window: waits until the window is shown where the program put it; OX, OY = the
# client area's top-left corner on the screen.
e2e_open_window() {
  remote wait "$E2E_DEADLINE" >/dev/null && e2e_poll eval '[ "$(e2e_info visible)" == 1 ]' || return 1
  e2e_origin
}
e2e_origin() { read -r OX OY <<<"$(e2e_info origin)"; }
e2e_shot() { import -window root "$E2E_DIR/$1.png" 2>/dev/null; }
# Pointer actions in client coordinates.
e2e_click() { xdotool mousemove $(($1 + OX)) $(($2 + OY)) sleep 0.2 click "${3:-1}"; }
e2e_drag() {  # e2e_drag X Y DY
  # Hover first: the press must find the pointer already inside the window.
  xdotool mousemove $(($1 + OX + 2)) $(($2 + OY + 2)) sleep 0.2 mousemove $(($1 + OX)) $(($2 + OY)) sleep 0.2
  xdotool mousedown 1 sleep 0.1
  local step
  for step in 1 2 3; do xdotool mousemove $(($1 + OX)) $(($2 + OY + $3 * step / 3)) sleep 0.1; done
  xdotool mouseup 1
}

# ---- the simulated host's report ----
e2e_report() { [ -f "$E2E_REPORT" ] && sed -n "s/^$1=//p" "$E2E_REPORT" | head -n 1; }
e2e_channel() {  # e2e_channel CH FIELD
  [ -f "$E2E_REPORT" ] && sed -n "s/^channel=$1 .*\b$2=\([^ ]*\).*/\1/p" "$E2E_REPORT" | head -n 1
}
# e2e_wait_measured STARTS: wait for a complete measurement window of stream start STARTS.
e2e_measured() { [ "$(e2e_report starts)" == "$1" ] && [ "$(e2e_report window_complete)" == 1 ]; }
e2e_wait_measured() {
  e2e_poll e2e_measured "$1" && return
  echo "no complete measurement of stream start $1 within $E2E_DEADLINE s (starts=$(e2e_report starts))" >&2
  return 1
}
# A fresh measurement of the current settings: ask the host to restart the stream.
e2e_measure_again() {
  local next=$(($(e2e_report starts) + 1))
  e2e_control restart
  e2e_wait_measured "$next"
}
# e2e_gain_db CH: output minus input RMS of a channel in the last window, in dB.
e2e_gain_db() {
  awk -v i="$(e2e_channel "$1" in_rms_db)" -v o="$(e2e_channel "$1" out_rms_db)" \
    'BEGIN { if (i == "" || o == "") exit 1; printf "%.3f\n", o - i }'
}
# e2e_measure_until CH DB TOLERANCE: measures again until channel CH's gain is DB within
# TOLERANCE. The program takes pointer input in its own time, so a change may reach the host
# after the next stream start; what counts is that it arrives.
e2e_measure_until() {
  local end=$((SECONDS + E2E_DEADLINE)) g
  while e2e_measure_again; do
    g=$(e2e_gain_db "$1") && awk -v g="$g" -v e="$2" -v t="$3" 'BEGIN { exit !(g - e <= t && e - g <= t) }' && return 0
    [ "$SECONDS" -lt "$end" ] || return 1
  done
  return 1
}
