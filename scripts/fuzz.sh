#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each for SECONDS seconds on seed corpora written now from the interoperability
# fixtures. Ends with "fuzz: N targets, M runs, K crashes" and exits non-zero when K > 0.
#
#   scripts/fuzz.sh SECONDS [TARGET...]     FUZZ_JOBS=2 runs two targets at a time
#
# Inputs that crash are kept in build-fuzz/crashes/; the corpora grow in build-fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(load_dir read_entry names stub)
jobs=${FUZZ_JOBS:-1}
build=build-fuzz

scripts/install-deps.sh --fuzz
CC=${FUZZ_CC:-clang-14} CXX=${FUZZ_CXX:-clang++-14} \
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSELFPACK_SANITIZE=ON -DSELFPACK_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_seeds $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

rm -rf "$build/seeds"
"$build/tests/fuzz/fuzz_seeds" "$build/seeds"
mkdir -p "$build/crashes" "$build/logs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Extracted files of the stub target go to a folder of the run's own.
export TMPDIR=$PWD/$build/tmp
rm -rf "$TMPDIR" && mkdir -p "$TMPDIR"

run_one() {
  local name=$1 seeds=archives
  [ "$name" = names ] && seeds=names
  mkdir -p "$build/corpus/$name"
  "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len=32768 -timeout=30 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/crashes/$name-" \
    "$build/corpus/$name" "$build/seeds/$seeds" >"$build/logs/$name.log" 2>&1 || true
}

before=$(find "$build/crashes" -type f | wc -l)
running=0
for name in "${targets[@]}"; do
  run_one "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

runs=0
for name in "${targets[@]}"; do
  # The final statistics give the run count; a target stopped by a crash has only its status lines.
  n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$name.log" | tail -1)
  [ -n "$n" ] || n=$(grep -ao '^#[0-9]*' "$build/logs/$name.log" | tail -1 | tr -d '#')
  n=${n:-0}
  echo "fuzz_$name: $n runs (log: $build/logs/$name.log)"
  runs=$((runs + n))
done
crashes=$(( $(find "$build/crashes" -type f | wc -l) - before ))
if [ "$crashes" -gt 0 ]; then
  find "$build/crashes" -type f -newer "$build/seeds" | sed 's/^/  crash: /'
fi
echo "fuzz: ${#targets[@]} targets, $runs runs, $crashes crashes"
[ "$crashes" -eq 0 ]
