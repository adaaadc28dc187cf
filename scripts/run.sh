#!/usr/bin/env bash
# The main job. Until the Windows program itself is assembled, this shows the engine's work
# through geq15-tool: the coefficients designed for +12 dB at 1 kHz at 48 kHz.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target geq15-tool >/dev/null
build/native/tools/geq15-tool/geq15-tool design --rate 48000 --gains 0,0,0,0,0,0,0,0,12,0,0,0,0,0,0
