#!/usr/bin/env bash
# Builds the sanitizer test build in build-test/ and runs every test; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh --test
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DSELFPACK_SANITIZE=ON -DSELFPACK_TESTS=ON >/dev/null
cmake --build build-test -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-test --output-on-failure -j"$(nproc)"
