#!/usr/bin/env bash
# VEZ-15's equalizer against sox running the same fifteen peaking filters (equalizer F 0.6667o G
# at the fifteen centre frequencies, the same gains), in one run on this machine:
#   1. speed on 60 s of stereo 48 kHz audio as float WAV, 16-bit WAV and FLAC: the whole
#      `geq15-tool render` command against sox, the median of PAIRS interleaved pairs (render, sox,
#      render, sox ...) with the fastest and slowest run beside it, and the engine alone (Google
#      Benchmark of the block processing, scaled to the file); the processor, the processing path
#      and the load average before and after are printed with the figures;
#   2. the engine on every path and the insert callback's share of a core, in the 64-bit build
#      and in the 32-bit Windows program users run (under Wine, which runs the i686 code directly
#      on the processor), side by side;
#   3. agreement: single sine tones at the band centres and half-way between them (on the log
#      scale) through both, levels compared; they must agree within 0.1 dB.
# Builds what it needs in build/compare and build/compare-win32 (Release flags as the presets),
# installs sox and the rest through scripts/install-deps.sh when missing. Work files go to
# build/compare/work. Other work on the machine slows both commands by chance: compare figures
# taken at a low load average (printed), and look at the spread, not only the median.
# Usage: bench/compare.sh [seconds]   (default 60; PAIRS=15 in the environment by default)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
build="$root/build/compare"
build32="$root/build/compare-win32"
work="$build/work"

command -v sox >/dev/null && command -v cmake >/dev/null || "$root/scripts/install-deps.sh"

echo "building geq15-tool and geq15_bench in $build ..."
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGEQ15_TESTS=OFF >"$build.log" 2>&1 \
  && cmake --build "$build" --target geq15-tool geq15_bench geq15_timing -j "$(nproc)" >>"$build.log" 2>&1 \
  || { tail -n 40 "$build.log"; echo "compare: the build failed (log: $build.log)" >&2; exit 1; }
echo "building the 32-bit geq15_timing.exe in $build32 ..."
cmake -S "$root" -B "$build32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release -DGEQ15_TESTS=ON \
  >"$build32.log" 2>&1 \
  && cmake --build "$build32" --target geq15_timing -j "$(nproc)" >>"$build32.log" 2>&1 \
  || { tail -n 40 "$build32.log"; echo "compare: the 32-bit build failed (log: $build32.log)" >&2; exit 1; }
"$root/scripts/wine-prefix.sh" >/dev/null
tool="$build/tools/geq15-tool/geq15-tool"
bench="$build/bench/geq15_bench"
mkdir -p "$work"

# Every band away from 0 dB, so every filter really works.
gains=(6 -4 3 -6 5 -3 4 -5 6 -2 3 -4 5 -6 2)
freqs=(24.8031 39.3725 62.5 99.2125 157.4901 250 396.8502 629.9605 1000 1587.401 2519.8421 4000
       6349.6042 10079.3684 16000)

settings="$work/settings.xml"
{
  echo '<?xml version="1.0" encoding="utf-8"?>'
  echo '<KelmoraOrluneGEQ15>'
  echo "<GEQ15Configuration nBus='0' x0='-2147483648' y0='-2147483648' dx='688' dy='290' />"
  for ch in 1 2 3 4 5 6 7 8; do
    line="	<GEQ15param ch='$ch' bypass='0' gain='0.00000'"
    for i in "${!gains[@]}"; do
      g=0
      [ "$ch" -le 2 ] && g=${gains[$i]}
      line+=" g$((i + 1))='$(printf '%.5f' "$g")'"
    done
    echo "$line />"
  done
  echo '</GEQ15Configuration>'
  echo '</KelmoraOrluneGEQ15>'
} >"$settings"
sox_effects=()
for i in "${!freqs[@]}"; do sox_effects+=(equalizer "${freqs[$i]}" 0.6667o "${gains[$i]}"); done

# ---- speed ----
pairs=${PAIRS:-15}
[ "$pairs" -ge 1 ] || { echo "compare: PAIRS must be a positive number" >&2; exit 2; }
declare -A inputs=([float]="$work/noise-${seconds}s.wav" [pcm16]="$work/noise-${seconds}s-16.wav"
                   [flac]="$work/noise-${seconds}s.flac")
[ -f "${inputs[float]}" ] || sox -n -r 48000 -c 2 -b 32 -e floating-point "${inputs[float]}" synth "$seconds" pinknoise vol 0.3
[ -f "${inputs[pcm16]}" ] || sox "${inputs[float]}" -b 16 "${inputs[pcm16]}"
[ -f "${inputs[flac]}" ] || sox "${inputs[pcm16]}" "${inputs[flac]}"

# PAIRS runs of each command, the two taking turns so that both meet the same load. Prints the
# first command's median, fastest and slowest wall seconds and median CPU seconds (user +
# system), the same for the second, then the median, lowest and highest ratio of the second's
# wall time to the first's within a pair. The files named in FRESH are removed before every run,
# so the commands write new files.
timed() {
  python3 - "$pairs" "$@" <<'EOF'
import os, resource, statistics, subprocess, sys, time
fresh = os.environ.get("FRESH", "").split()
pairs, args = int(sys.argv[1]), sys.argv[2:]
split = args.index("--")
commands = [args[:split], args[split + 1:]]
runs = [[], []]
for _ in range(pairs):
    for i, command in enumerate(commands):
        for path in fresh:
            if os.path.exists(path):
                os.remove(path)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        runs[i].append((wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)))
figures = []
for r in runs:
    walls = [w for w, _ in r]
    figures += [statistics.median(walls), min(walls), max(walls), statistics.median(c for _, c in r)]
ratios = [b[0] / a[0] for a, b in zip(*runs)]
figures += [statistics.median(ratios), min(ratios), max(ratios)]
print(" ".join(f"{v:.4f}" for v in figures))
EOF
}

processor=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
"$bench" --benchmark_filter='BM_ProcessSteady/(-1|0)$' --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_format=json >"$work/bench.json" 2>/dev/null
read -r engine_path engine_cpu reference_cpu < <(python3 - "$work/bench.json" "$seconds" <<'EOF'
import json, sys
data = json.load(open(sys.argv[1]))
seconds = float(sys.argv[2])
blocks = seconds * 48000 / 512
def cpu(name):
    for b in data["benchmarks"]:
        if b["name"] == name + "_median":
            return b["cpu_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3}[b["time_unit"]] * blocks, b.get("label", "")
cpu_auto, label = cpu("BM_ProcessSteady/-1")
cpu_ref, _ = cpu("BM_ProcessSteady/0")
print(label.split(":")[-1].strip() or "auto", f"{cpu_auto:.4f}", f"{cpu_ref:.4f}")
EOF
)

echo "processor: $processor ($(nproc) cores); render runs the automatic processing path: $engine_path"
echo "timing on $seconds s of stereo 48 kHz, $pairs pairs (render and sox taking turns), load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
ratio() { python3 -c "print(f'{$1 / $2:.1f}x')"; }
ms() { python3 -c "print(' '.join(f'{float(v) * 1000:.1f}' for v in '$*'.split()))"; }
row() { printf '%-46s %24s %8s %s\n' "$@"; }
echo
row "what (whole command, new file; wall ms)" "median (fastest slowest)" "CPU ms" "sox / render (pairs' range)"
for kind in float pcm16 flac; do
  in=${inputs[$kind]}
  render=("$tool" render --settings "$settings" --no-fade "$in" "$work/out-vez.wav")
  sox_run=(sox "$in" -e floating-point -b 32 "$work/out-sox.wav" "${sox_effects[@]}")
  read -r tw tmin tmax tcpu sw smin smax scpu r rmin rmax < <(FRESH="$work/out-vez.wav $work/out-sox.wav" timed "${render[@]}" -- "${sox_run[@]}")
  name=$(basename "$in")
  [ "$kind" = float ] && sox_float_cpu=$scpu
  row "sox, $name" "$(ms "$sw") ($(ms "$smin" "$smax"))" "$(ms "$scpu")" "1.0x"
  row "geq15-tool render, $name" "$(ms "$tw") ($(ms "$tmin" "$tmax"))" "$(ms "$tcpu")" \
    "$(ratio "$sw" "$tw") ($(printf '%.1fx to %.1fx' "$rmin" "$rmax"))"
done
# Replacing the file of the run before: render renames its finished file over the old one, which
# makes ext4 write the new file out at once (so that a crash cannot leave an empty file); sox
# writes over the old file in place.
render=("$tool" render --settings "$settings" --no-fade "${inputs[float]}" "$work/out-vez.wav")
sox_run=(sox "${inputs[float]}" -e floating-point -b 32 "$work/out-sox.wav" "${sox_effects[@]}")
read -r tw tmin tmax tcpu sw smin smax scpu r rmin rmax < <(timed "${render[@]}" -- "${sox_run[@]}")
row "sox, float, replacing its last output" "$(ms "$sw") ($(ms "$smin" "$smax"))" "$(ms "$scpu")" "1.0x"
row "geq15-tool render, replacing its last output" "$(ms "$tw") ($(ms "$tmin" "$tmax"))" "$(ms "$tcpu")" \
  "$(ratio "$sw" "$tw") ($(printf '%.1fx to %.1fx' "$rmin" "$rmax"))"
row "engine alone, $engine_path (benchmark)" "-" "$(ms "$engine_cpu")" "$(ratio "$sox_float_cpu" "$engine_cpu") of sox's CPU"
row "engine alone, reference path (benchmark)" "-" "$(ms "$reference_cpu")" "$(ratio "$sox_float_cpu" "$reference_cpu") of sox's CPU"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "(whole command: medians of wall time; engine: median CPU time of the block processing on"
echo " 2 x 512-frame blocks, times the file's blocks, against sox's median CPU time on the float file)"

# ---- the 64-bit build and the 32-bit program ----
echo
echo "every path, 64-bit build and 32-bit Windows program (under Wine), fastest of 300 rounds each ..."
"$build/bench/geq15_timing" >"$work/timing64.txt"
"$root/scripts/wine-run.sh" "$build32/bench/geq15_timing.exe" | tr -d '\r' >"$work/timing32.txt"
python3 - "$work/timing64.txt" "$work/timing32.txt" <<'EOF'
import sys
def read(path):
    return {tuple(line.split()[:-1]): float(line.split()[-1]) for line in open(path) if line.strip()}
b64, b32 = read(sys.argv[1]), read(sys.argv[2])
print(f"{'2 x 512 frames at 48 kHz, ns per channel sample':<50} {'64-bit':>8} {'32-bit':>8} {'32 / 64':>8}")
for key, a in b64.items():
    if key[0] == "path":
        b = b32.get(key)
        print(f"{key[1] + ' path':<50} {a:>8.2f} " + (f"{b:>8.2f} {b / a:>7.2f}x" if b else f"{'-':>8} {'-':>8}"))
a, b = b64[("callback64",)], b32[("callback64",)]
print(f"{'insert callback, 64 channels: % of one core':<50} {a:>7.3f}% {b:>7.3f}% {b / a:>7.2f}x")
EOF

# ---- agreement ----
# A tone long enough for the 25 Hz band to settle; levels over its last second.
level() { sox "$1" -n trim 2 stats 2>&1 | awk '/RMS lev dB/ {print $4}'; }
echo
echo "agreement: tone levels through both (dB relative to the input tone)"
printf '%12s %10s %10s %10s\n' "Hz" "VEZ-15" "sox" "diff"
worst=0
check=()
for i in "${!freqs[@]}"; do
  check+=("${freqs[$i]}")
  [ "$i" -lt 14 ] && check+=("$(python3 -c "import math; print(f'{math.sqrt(${freqs[$i]} * ${freqs[$((i + 1))]}):.4f}')")")
done
for f in "${check[@]}"; do
  tone="$work/tone.wav"
  sox -n -r 48000 -c 2 -b 32 -e floating-point "$tone" synth 3 sine "$f" vol 0.25
  "$tool" render --settings "$settings" --no-fade "$tone" "$work/tone-vez.wav" 2>/dev/null
  sox "$tone" -e floating-point -b 32 "$work/tone-sox.wav" "${sox_effects[@]}"
  in=$(level "$tone") vez=$(level "$work/tone-vez.wav") sx=$(level "$work/tone-sox.wav")
  read -r dv ds diff < <(python3 -c "v=$vez-$in; s=$sx-$in; print(f'{v:.3f} {s:.3f} {v-s:+.3f}')")
  printf '%12s %10s %10s %10s\n' "$f" "$dv" "$ds" "$diff"
  worst=$(python3 -c "print(max($worst, abs($diff)))")
done
echo "largest difference: $worst dB"
python3 -c "import sys; sys.exit(0 if $worst < 0.1 else 1)" \
  || { echo "compare: VEZ-15 and sox differ by $worst dB (limit 0.1)" >&2; exit 1; }
