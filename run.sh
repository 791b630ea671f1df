#!/usr/bin/env bash
# Builds Selfpack (Release, in build/) and packs FOLDER into a self-extracting executable.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
if [ -x build/selfpack ]; then
  folder=${1:-samples/Sample}
  build/selfpack "$folder"
else
  echo "built: the platform layer and the archive engine (build/platform/libplatform.a, build/engine/libengine.a)"
fi
