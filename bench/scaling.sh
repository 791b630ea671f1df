#!/usr/bin/env bash
# Shows how Selfpack's time and memory grow with the work: packs and unpacks the benchmark corpus once
# and ten times over, one 1 GiB file, and 100,000 small files, and prints the wall time, the processor
# time (user + system, which a busy machine disturbs less) and the peak memory of each step, with the
# input and output sizes. Time should grow in step with the bytes (or files); memory should stay flat.
# Usage: bench/scaling.sh [CORPUS]   (default /tmp/selfpack-corpus, made by make-corpus.sh when missing)
# Env:   SELFPACK=path/to/selfpack (default build/selfpack)  SELFPACK_ARGS='--best'  CASES='1x 10x 1g small'
#        WORK=folder for the inputs and outputs (default a new folder in /tmp; about 4 GB are needed)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-/tmp/selfpack-corpus}
if [ ! -d "$corpus" ]; then
  maker=${MAKE_CORPUS:-$repo/../shared/bench/make-corpus.sh}
  [ -f "$maker" ] || { echo "scaling: no corpus at $corpus and no make-corpus.sh (set MAKE_CORPUS)" >&2; exit 1; }
  bash "$maker" "$corpus" >/dev/null
fi
corpus=$(cd "$corpus" && pwd)
selfpack=${SELFPACK:-$repo/build/selfpack}
[ -x "$selfpack" ] || { echo "scaling: $selfpack is not built (cmake --build build --target selfpack)" >&2; exit 1; }
selfpack=$(cd "$(dirname "$selfpack")" && pwd)/$(basename "$selfpack")
cases=${CASES:-1x 10x 1g small}
work=${WORK:-$(mktemp -d /tmp/selfpack-scaling.XXXXXX)}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# make_input CASE DIR: fills DIR with the input of one case.
make_input() {
  local dir=$2
  mkdir -p "$dir"
  case $1 in
    1x) cp -al "$corpus" "$dir/c0" ;;
    # Ten copies as hard links: the same bytes, ten times the files to read and write.
    10x) for i in 0 1 2 3 4 5 6 7 8 9; do cp -al "$corpus" "$dir/c$i"; done ;;
    # One file of 1 GiB made of the corpus's own bytes, over and over, so that it compresses like them.
    1g) find "$corpus" -type f -print0 | sort -z | xargs -0 cat | head -c 67108864 >"$work/chunk"
        for _ in $(seq 16); do cat "$work/chunk"; done >"$dir/big.bin"
        rm -f "$work/chunk" ;;
    # 100,000 files of 200 to 2,000 bytes in 100 folders, cut from the corpus's text.
    small) python3 - "$corpus" "$dir" <<'EOF'
import os, sys
corpus, dest = sys.argv[1], sys.argv[2]
text = b""
for root, _, files in sorted(os.walk(corpus)):
    for f in sorted(files):
        if f.endswith((".js", ".ts", ".md", ".json")):
            with open(os.path.join(root, f), "rb") as h:
                text += h.read()
    if len(text) > 8 << 20:
        break
pos = 0
for i in range(100000):
    folder = os.path.join(dest, "d%03d" % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(folder)
    size = 200 + (i * 7919) % 1800
    if pos + size > len(text):
        pos = 0
    with open(os.path.join(folder, "f%05d.txt" % i), "wb") as h:
        h.write(text[pos:pos + size])
    pos += size
EOF
    ;;
    *) echo "scaling: unknown case $1" >&2; exit 1 ;;
  esac
}

# measure COMMAND...: runs it in $work, prints "wall_s cpu_s peak_kb"
measure() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/.t" "$@" >/dev/null 2>"$work/.err" \
    || { echo "scaling: '$*' failed:" >&2; cat "$work/.err" >&2; exit 1; }
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/.t"
}

printf '%-6s %7s %11s %8s %8s %9s %11s %8s %8s %9s\n' case files input_bytes build_s b_cpu_s build_kb output_bytes unpack_s u_cpu_s unpack_kb
for c in $cases; do
  input=$work/in-$c
  make_input "$c" "$input"
  files=$(find "$input" -type f | wc -l)
  bytes=$(find "$input" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  sync
  read -r bw bc bm < <(cd "$work" && measure "$selfpack" ${SELFPACK_ARGS:-} -o "$work/$c.run" "$input")
  out=$(stat -c %s "$work/$c.run")
  rm -rf "$work/$c"
  read -r uw uc um < <(cd "$work" && measure "./$c.run")
  diff -rq "$input" "$work/$c" >/dev/null || { echo "scaling: the unpacked $c differs from its input" >&2; exit 1; }
  printf '%-6s %7s %11s %8s %8s %9s %11s %8s %8s %9s\n' "$c" "$files" "$bytes" "$bw" "$bc" "$bm" "$out" "$uw" "$uc" "$um"
  rm -rf "$input" "$work/$c" "$work/$c.run"
done
