#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine, and
# the further packages named as arguments.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libcli11-dev
  7zip python3-olefile libgsf-bin   # independent readers and writers for interop tests
  doublecmd-plugins cpio            # cpio.wcx and zip.wcx for the host tool's interface tests
  msitools wixl                     # installer databases written and checked by the installer's tools
  libemail-outlook-message-perl libemail-address-perl  # msgconvert, which the message views are checked against
  "$@"
)

. "$(dirname "$0")/apt.sh"
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
if ((${#missing[@]})); then
  apt_update
  apt_install "${missing[@]}"
fi
