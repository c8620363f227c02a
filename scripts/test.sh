#!/usr/bin/env bash
# Builds everything and runs the whole test suite: a normal build, then the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
jobs=${JOBS:-2}
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" -j"$jobs" --output-on-failure --timeout 300 -LE slow
}
run_suite build
run_suite build-asan -DSHARE_SANITIZE=address
