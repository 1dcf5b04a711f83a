#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds everything with the address and
# undefined-behaviour sanitizers, and runs every test; then the same for the
# Windows builds under Wine (scripts/test-windows.sh). Exits non-zero on any
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
build=${BUILD_DIR:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOR_SANITIZE=ON
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
scripts/test-windows.sh "$build"
