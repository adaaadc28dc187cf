#!/usr/bin/env bash
# Installs whatever the build and the tests need on Debian 12 and is quiet when all is there.
set -euo pipefail

packages=(g++ cmake make libgtest-dev libbenchmark-dev g++-mingw-w64-i686 wine wine32 wine64
          xvfb xdotool imagemagick fonts-liberation sox clang libclang-rt-14-dev spin
          libsndfile1-dev python3 nsis)

missing=()
for p in "${packages[@]}"; do
  arch_pkg=$p
  [ "$p" = wine32 ] && arch_pkg=wine32:i386
  dpkg-query -W -f='${Status}' "$arch_pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$arch_pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
# wine32 is an i386 package: Wine runs our 32-bit Windows programs with it.
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
