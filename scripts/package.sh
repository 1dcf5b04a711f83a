#!/usr/bin/env bash
# Builds the release plug-ins and packs them for users, into OUT_DIR (out/):
#   qorStorageWCX-VERSION-windows.zip         both Windows DLLs and the
#                                             pluginst.inf Total Commander installs from
#   qorStorageWCX-VERSION-linux-x86_64.tar.gz the Linux plug-in and its install notes
#   qorstoragewcx_VERSION_amd64.deb           the Linux plug-in where Double
#                                             Commander keeps its plug-ins
# Usage: scripts/package.sh [OUT_DIR]
# LINUX_BUILD, WIN64_BUILD and WIN32_BUILD name build folders to pack as they
# are, instead of release builds made here (the package tests use this).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mkdir -p "${1:-out}" && cd "${1:-out}" && pwd)
version=$(sed -n 's/^project(qorStorageWCX VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

release_build() {  # folder [cmake options...]
  local folder=$1
  shift
  cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BUILD_TESTS=OFF "$@" >/dev/null
  cmake --build "$folder" -j "$(nproc)" --target qorStorageWCX >/dev/null
}
if [ -z "${LINUX_BUILD:-}" ]; then
  scripts/setup-debian.sh
  LINUX_BUILD=build/release
  release_build "$LINUX_BUILD"
fi
if [ -z "${WIN64_BUILD:-}" ]; then
  WIN64_BUILD=build/win64-release
  release_build "$WIN64_BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
fi
if [ -z "${WIN32_BUILD:-}" ]; then
  WIN32_BUILD=build/win32-release
  release_build "$WIN32_BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# Windows: Total Commander offers to install the plug-in when the user opens
# a zip with a pluginst.inf; its 64-bit edition takes the .wcx64 beside the
# .wcx that the file names.
mkdir "$stage/windows"
sed 's/$/\r/' packaging/pluginst.inf >"$stage/windows/pluginst.inf"
cp "$WIN32_BUILD/src/qorStorageWCX.wcx" "$WIN64_BUILD/src/qorStorageWCX.wcx64" "$stage/windows/"
zip_file="$out/qorStorageWCX-$version-windows.zip"
rm -f "$zip_file"
(cd "$stage/windows" && zip -q -X "$zip_file" pluginst.inf qorStorageWCX.wcx qorStorageWCX.wcx64)

# Linux, as a tarball.
tar_root="qorStorageWCX-$version-linux-x86_64"
mkdir "$stage/$tar_root"
cp "$LINUX_BUILD/src/qorStorageWCX.wcx" "$stage/$tar_root/"
cp packaging/INSTALL-linux.txt "$stage/$tar_root/INSTALL.txt"
tar -C "$stage" --owner=0 --group=0 -czf "$out/$tar_root.tar.gz" "$tar_root"

# Linux, as a Debian package. The C library version is the newest one whose
# symbols the plug-in uses.
deb="$stage/deb"
plugin_dir="$deb/usr/lib/doublecmd/plugins/wcx/qorStorageWCX"
doc_dir="$deb/usr/share/doc/qorstoragewcx"
mkdir -p "$deb/DEBIAN" "$plugin_dir" "$doc_dir"
install -m 0644 "$LINUX_BUILD/src/qorStorageWCX.wcx" "$plugin_dir/"
install -m 0644 packaging/INSTALL-linux.txt "$doc_dir/README.Debian"
glibc=$(objdump -T "$plugin_dir/qorStorageWCX.wcx" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' |
  sort -V | tail -n 1)
cat >"$deb/DEBIAN/control" <<EOF
Package: qorstoragewcx
Version: $version
Architecture: amd64
Maintainer: qorStorageWCX developers <qorstoragewcx@example.invalid>
Depends: libc6 (>= $glibc), libstdc++6 (>= 12), libgcc-s1
Enhances: doublecmd-gtk, doublecmd-qt
Section: utils
Priority: optional
Installed-Size: $(du -sk "$deb/usr" | cut -f1)
Description: Double Commander plug-in that opens OLE compound files as archives
 qorStorageWCX shows .doc, .xls, .ppt, .msg, .msi, Thumbs.db and every other
 compound file as an archive: storages are folders, streams are files. Users
 browse, test, extract, add and delete as in any archive.
 .
 The plug-in must be registered in Double Commander once; see
 /usr/share/doc/qorstoragewcx/README.Debian.
EOF
dpkg-deb --root-owner-group --build "$deb" "$out/qorstoragewcx_${version}_amd64.deb" >/dev/null

ls -1 "$out"/qorStorageWCX-"$version"-* "$out"/qorstoragewcx_"$version"_amd64.deb
