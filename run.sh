#!/usr/bin/env bash
# Builds Selfpack (Release, in build/) and packs FOLDER (default: the sample folder samples/Sample)
# into a self-extracting executable in the current folder; prints its path and size.
set -euo pipefail
here=$(pwd)
repo=$(cd "$(dirname "$0")" && pwd)
folder=${1:-$repo/samples/Sample}
if [ ! -d "$folder" ]; then
  echo "run.sh: $folder is not a folder" >&2
  exit 1
fi
name=$(basename "$(cd "$folder" && pwd)")

cd "$repo"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"

cd "$here"
out="$here/$name.run"
"$repo/build/selfpack" -o "$out" "$folder"
echo "$out: $(stat -c %s "$out") bytes"
