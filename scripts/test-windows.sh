#!/usr/bin/env bash
# The Windows builds, cross-compiled with mingw-w64: the x86 and x64 plug-ins
# and wcxhost, their tests under Wine (x86's where 32-bit Wine is installed),
# their DLLs checked as Total Commander loads them, interop both ways with the
# Linux build given, and the packages. Exits non-zero on any failure.
# Usage: scripts/test-windows.sh LINUX_BUILD
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=$(cd "${1:?usage: test-windows.sh LINUX_BUILD}" && pwd)
scripts/setup-windows-builds.sh
win32=$(mkdir -p "${WIN32_BUILD_DIR:-build/win32}" && cd "${WIN32_BUILD_DIR:-build/win32}" && pwd)
win64=$(mkdir -p "${WIN64_BUILD_DIR:-build/win64}" && cd "${WIN64_BUILD_DIR:-build/win64}" && pwd)

configure() {  # folder machine [cmake options...]
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw-$2.cmake" "${@:3}" >/dev/null
}

# x86 first: the x64 build's package tests pack its plug-in.
run_x86=OFF
# Installed is not enough: a kernel without 32-bit support cannot run it.
/usr/lib/wine/wine --version >/dev/null 2>&1 && run_x86=ON
configure "$win32" i686 -DQOR_BUILD_TESTS=$run_x86
cmake --build "$win32" -j "$(nproc)"
if [ $run_x86 = ON ]; then
  ctest --test-dir "$win32" --output-on-failure -j "$(nproc)"
else
  echo "no 32-bit Wine that runs here: the x86 build is checked, not run"
  tests/windows/check_plugin_dll.sh "$win32/src/qorStorageWCX.wcx" i686
fi

configure "$win64" x86_64 -DQOR_LINUX_BUILD="$linux_build" -DQOR_WIN32_BUILD="$win32"
cmake --build "$win64" -j "$(nproc)"
ctest --test-dir "$win64" --output-on-failure -j "$(nproc)"
