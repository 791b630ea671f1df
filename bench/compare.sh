#!/usr/bin/env bash
# Builds the Release maker and runs the workplace's comparison benchmark with it: packs a real corpus
# with Selfpack and with zip + unzipsfx, makeself and 7z, unpacks each, and prints times, peak memory,
# sizes and Selfpack's ratios. Usage: bench/compare.sh [FOLDER]  (RUNS=3 WITH_7Z=1 as the script takes)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
compare=${COMPARE:-$repo/../shared/bench/compare.sh}
[ -x "$compare" ] || [ -f "$compare" ] || { echo "bench: $compare not found (set COMPARE)" >&2; exit 1; }
"$repo/scripts/install-deps.sh"
for t in makeself unzipsfx 7z npm; do
  command -v "$t" >/dev/null || { echo "bench: $t is missing (Debian: makeself unzip 7zip npm)" >&2; exit 1; }
done
cmake -S "$repo" -B "$repo/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$repo/build" -j"$(nproc)" --target selfpack >/dev/null
SELFPACK="$repo/build/selfpack" bash "$compare" "$@"
