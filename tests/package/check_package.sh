#!/usr/bin/env bash
# check_package.sh BUILD_DIR OBJDUMP WORK: makes the zip as the package target does, unpacks it
# and checks its files and every program's imported DLLs.
set -uo pipefail
build=$(cd "$1" && pwd) objdump=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work" >cpack.log 2>&1 || { cat cpack.log; exit 1; }
zip=$(ls VEZ-15-*-win32.zip 2>/dev/null) || { echo "no VEZ-15-*-win32.zip"; exit 1; }
cmake -E tar xf "$zip" || exit 1
failures=0
for f in VEZ-15.exe geq15-tool.exe README.txt; do
  [ -s "${zip%.zip}/$f" ] || { echo "FAIL: $f is not in $zip"; failures=$((failures + 1)); }
done
# DLLs every Windows since 7 carries; anything else (libgcc_s_*.dll, libstdc++-6.dll,
# libwinpthread-1.dll, ...) would have to be shipped beside the program.
system='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|oleacc|comdlg32|comctl32|msvcrt|shlwapi|ws2_32|winmm|version)\.dll$'
for exe in "${zip%.zip}"/*.exe; do
  imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  [ -n "$imports" ] || { echo "FAIL: no imports read from $exe"; failures=$((failures + 1)); }
  for dll in $imports; do
    if ! tr '[:upper:]' '[:lower:]' <<<"$dll" | grep -qE "$system"; then
      echo "FAIL: $(basename "$exe") needs $dll, which Windows does not have"
      failures=$((failures + 1))
    fi
  done
  echo "$(basename "$exe"): $(echo $imports)"
done
[ "$failures" -eq 0 ] && echo "package ok: $zip"
exit $((failures > 0))
