#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the plug-in and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
build=${BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc)"
plugin="$build/src/qorStorageWCX.wcx"
echo "Built $plugin"
python3 - "$plugin" <<'PY'
import ctypes, sys
plugin = ctypes.CDLL(sys.argv[1])
caps = plugin.GetPackerCaps()
names = ["NEW", "MODIFY", "MULTIPLE", "DELETE", "OPTIONS", "MEMPACK", "BY_CONTENT",
         "SEARCHTEXT", "HIDE", "ENCRYPT"]
print("capabilities: %d (%s)" % (caps, " ".join(n for i, n in enumerate(names) if caps >> i & 1)))
PY
