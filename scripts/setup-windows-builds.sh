#!/usr/bin/env bash
# Installs what the Windows builds and their tests need on a fresh Debian 12
# machine: mingw-w64 for both machines, Wine (32-bit too where it installs,
# for running the x86 build), a Japanese UTF-8 locale for the tests under a
# double-byte code page, and zip for the packages.
set -euo pipefail

. "$(dirname "$0")/apt.sh"

packages=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 zip locales)
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
updated=no
if ((${#missing[@]})); then
  apt_update
  updated=yes
  apt_install "${missing[@]}"
fi

if ! installed wine32:i386; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    updated=no
  fi
  [ $updated = yes ] || apt_update
  apt_install wine32:i386 || echo "32-bit Wine did not install: the x86 build is built and checked, not run"
fi

if ! locale -a | grep -qix 'ja_JP.utf8'; then
  $sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  $sudo locale-gen >/dev/null
fi
