#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the plug-in and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
build=${BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc)"
# The main job: a sample folder packed into a new compound file through the
# plug-in, listed, tested, extracted and compared with the original.
exec tools/wcxhost/round_trip.sh "$build/src/wcxhost" "$build/src/qorStorageWCX.wcx"
