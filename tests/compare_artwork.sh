#!/usr/bin/env bash
# compare_artwork.sh PYTHON OUT: regenerates the artwork into OUT and compares every file with the
# committed one in resources/, byte for byte.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd) out=$2 stale=""
rm -rf "$out" && "$1" "$root/tools/artwork/generate_artwork.py" "$out" >/dev/null || { echo "the artwork generator failed" >&2; exit 1; }
files=("$out"/*)
[ ${#files[@]} -ge 8 ] || { echo "the generator wrote ${#files[@]} files, expected the icon and 7 bitmaps" >&2; exit 1; }
for f in "${files[@]}"; do cmp -s "$f" "$root/resources/${f##*/}" || stale+=" ${f##*/}"; done
[ -z "$stale" ] || { printf '%s\n' "committed artwork differs from the generator's output (or is missing):$stale" \
  "Run: python3 tools/artwork/generate_artwork.py resources" >&2; exit 1; }
echo "${#files[@]} artwork files match the generator"
