#!/usr/bin/env bash
# register-simhost.sh [FOLDER]   (default: build/win32/tools/simhost)
# Registers the simulated OrluneRemote.dll in the Wine prefix as an installed host, the way the
# real installer would: an Uninstall entry whose "UninstallString" names an uninstaller in the
# host's folder. The program takes the folder from that string and loads OrluneRemote.dll there.
#   register-simhost.sh --remove   deletes the entry again
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
entry='Orlune Virtual Audio Mixer'   # kHostUninstallEntry in host/orlune_contract.h
key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$entry"
# The prefix is 64-bit and Uninstall is a redirected key: a 32-bit installer, and the 32-bit
# program, see the 32-bit view, so that is where the entry goes.
view=/reg:32

if [ "${1:-}" = "--remove" ]; then
  wine reg delete "$key" /f $view >/dev/null 2>&1 || true
  wineserver -w
  echo "removed $key"
  exit 0
fi

folder=$(cd "${1:-$here/../build/win32/tools/simhost}" && pwd)
[ -f "$folder/OrluneRemote.dll" ] || { echo "register-simhost: no OrluneRemote.dll in $folder; build the win32 preset first" >&2; exit 1; }
winfolder=$(winepath -w "$folder" 2>/dev/null)
[ -n "$winfolder" ] || { echo "register-simhost: winepath could not map $folder into the Wine prefix $WINEPREFIX" >&2; exit 1; }
wine reg add "$key" /v UninstallString /t REG_SZ /d "$winfolder\\uninstall.exe" /f $view >/dev/null
wineserver -w
echo "registered $key"
echo "  UninstallString = $winfolder\\uninstall.exe"
