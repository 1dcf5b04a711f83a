#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds everything with the address and
# undefined-behaviour sanitizers, and runs every test; then the tests of the
# exports under the thread sanitizer; then the Windows builds' tests under
# Wine (scripts/test-windows.sh). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
build=${BUILD_DIR:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOR_SANITIZE=ON
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
# The exports from many threads at once, under the thread sanitizer: any
# race it sees fails the run.
tsan=${TSAN_BUILD_DIR:-build/tsan}
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOR_SANITIZE_THREAD=ON
cmake --build "$tsan" -j "$(nproc)" --target many_threads_test wcx_exports_test
TSAN_OPTIONS="halt_on_error=1 exitcode=66" ctest --test-dir "$tsan" --output-on-failure \
  -R '^(ManyThreads|Exports)\.'
scripts/test-windows.sh "$build"
