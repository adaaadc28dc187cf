#!/usr/bin/env bash
# check_installer.sh BUILD_DIR OBJDUMP --driver e2e-driver.exe --simhost OrluneRemote.dll --work DIR installer
# Both packages as the package target makes them: the zip's files, and programs that need no DLL
# beyond Windows' own; the installer under Wine in a fresh prefix: silent setup; the installed VEZ-15
# equalizing the simulated host; setup again (in place) and the silent uninstall, each shutting VEZ-15
# down through its own close path.
set -uo pipefail
build=$(cd "$1" && pwd) objdump=$2 && shift 2
# shellcheck source=../app/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../app/e2e_lib.sh"

entry() {  # the uninstall entry as sorted NAME=VALUE lines, in the 32-bit view a 32-bit setup writes
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VEZ-15' /reg:32 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *\([A-Za-z]*\) *REG_[A-Z]* *\(.*\)$/\1=\2/p' | sort
}
names() { tr -d '\000' <"$1" 2>/dev/null | grep -qaF "$2" && echo "$2"; }  # names SHORTCUT TARGET
closes_running() {  # closes_running WHAT COMMAND...: COMMAND ends the running VEZ-15, which saves its settings on the way out
  echo stale >"$E2E_SETTINGS_FILE"
  "${@:2}"
  e2e_expect "$1: exit code" $? 0
  e2e_wait_exit
  e2e_expect "$1: VEZ-15's exit code, the band 9 it saved" "$APP_RC $(settings_attr g9)" "0 0.85658"
}

scenario_installer() {
  rm -rf "$E2E_WORK" && mkdir -p "$E2E_WORK"
  cpack -G "ZIP;NSIS" --config "$build/CPackConfig.cmake" -B "$E2E_WORK" >"$E2E_WORK/cpack.log" 2>&1 || { cat "$E2E_WORK/cpack.log"; return 1; }
  local setup=$(ls "$E2E_WORK"/VEZ-15-*-win32-setup.exe) dir='C:\Program Files (x86)\Kelmora\VEZ-15' program menu want exe imports
  local zip=${setup%-setup.exe}
  e2e_expect "the zip's files" "$(cmake -E tar tf "$zip.zip" | LC_ALL=C sort | tr '\n' ' ')" "$(printf "${zip##*/}/%s " README.txt VEZ-15.exe geq15-tool.exe)"
  WINEPREFIX=$E2E_WORK/session/prefix "$E2E_ROOT/scripts/wine-prefix.sh" >/dev/null && e2e_session "$E2E_WORK/session" keep || return 1
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"  # no menu entries on this machine's desktop
  grep -q '^#arch=win32' "$WINEPREFIX/system.reg" && dir='C:\Program Files\Kelmora\VEZ-15'  # else a 32-bit program on 64-bit Windows
  wine "$setup" /S
  e2e_expect "silent setup: exit code" $? 0
  program=$(winepath -u "$dir" 2>/dev/null) menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/VEZ-15"
  e2e_expect "installed files" "$(ls "$program" | tr '\n' ' ')" "README.txt Uninstall.exe VEZ-15.exe geq15-tool.exe "
  # DLLs every Windows since 7 carries; anything else (libgcc_s_*.dll, libstdc++-6.dll,
  # libwinpthread-1.dll, ...) would have to be shipped beside the program.
  for exe in VEZ-15.exe geq15-tool.exe; do
    imports=$("$objdump" -p "$program/$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]')
    [ -n "$imports" ] || imports="(no imports read)"
    e2e_expect "$exe needs no DLL beyond Windows' own" "$(grep -vE '^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|oleacc|comdlg32|comctl32|msvcrt|shlwapi|ws2_32|winmm|version)\.dll$' <<<"$imports" | tr '\n' ' ')" ""
  done
  e2e_expect "Start menu shortcuts" "$(names "$menu/VEZ-15.lnk" "$dir\\VEZ-15.exe") $(names "$menu/VEZ-15 Windows guide.lnk" "$dir\\README.txt")" \
    "$dir\\VEZ-15.exe $dir\\README.txt"
  want=${setup##*/VEZ-15-}
  e2e_expect "uninstall entry" "$(entry)" "$(printf '%s\n' "DisplayIcon=$dir\\VEZ-15.exe,0" "DisplayName=Kelmora Graphic EQ 15" \
    "DisplayVersion=${want%-win32-setup.exe}" "EstimatedSize=$(printf 0x%x $(($(cat "$program"/* | wc -c) / 1024)))" "InstallLocation=$dir" \
    NoModify=0x1 NoRepair=0x1 Publisher=Kelmora "QuietUninstallString=\"$dir\\Uninstall.exe\" /S" "UninstallString=\"$dir\\Uninstall.exe\"")"

  # One measurement: a 1 kHz tone through the installed VEZ-15, as the installed geq15-tool reads its settings.
  E2E_PROGRAM=$program/VEZ-15.exe
  mkdir -p "${E2E_SETTINGS_FILE%/*}" && cp "$E2E_ROOT/examples/parametric-correction.xml" "$E2E_SETTINGS_FILE"
  want=$(wine "$program/geq15-tool.exe" response --settings "$(winepath -w "$E2E_SETTINGS_FILE")" 1000 2>/dev/null | tr -d '\r' | cut -d' ' -f2)
  e2e_register_host "$E2E_SIMHOST"
  e2e_sim_config type=1 signal.0=sine:1000:-20 signal.1=sine:1000:-20
  e2e_start_app
  e2e_wait_measured 1
  e2e_expect "1 kHz through the installed VEZ-15: $want dB, as geq15-tool.exe computes, within 0.1 dB" \
    "$(awk -v g="$(e2e_gain_db 0)" -v w="$want" 'BEGIN { print (g - w < 0.1 && w - g < 0.1) ? "yes" : g }')" yes
  drv syscmd 60 >/dev/null  # tray mode: closing the window would only hide it; start-up by the Startup shortcut
  e2e_poll eval '[ -n "$(e2e_startup_link)" ]' || e2e_fail "tray mode made no Startup shortcut"

  # Setup again, then the quiet uninstall command as registered, each with VEZ-15 running. The
  # uninstaller goes on from a copy of itself; the entry goes last.
  closes_running "setup again, in place, over a running VEZ-15" wine "$setup" /S
  e2e_start_app
  drv wait >/dev/null
  [[ $(entry) =~ QuietUninstallString=\"([^\"]+)\"\ ([^[:cntrl:]]*) ]] &&
    closes_running "silent uninstall with VEZ-15 running" wine "${BASH_REMATCH[1]}" ${BASH_REMATCH[2]}
  e2e_poll eval '[ -z "$(entry)" ]' || e2e_fail "the uninstall entry is still there"
  e2e_expect "left after the uninstall: only the settings" "$(ls -d "$program" "${program%/*}" "$menu" "$(e2e_startup_link)" \
    "$E2E_SETTINGS_FILE" 2>/dev/null)" "$E2E_SETTINGS_FILE"
}

e2e_run_scenario "$@"
