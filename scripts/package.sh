#!/usr/bin/env bash
# Builds the release plug-ins and packs them for users, into OUT_DIR (out/):
#   qorStorageWCX-VERSION-windows.zip         both Windows DLLs and the
#                                             pluginst.inf Total Commander installs from
#   qorStorageWCX-VERSION-linux-x86_64.tar.gz the Linux plug-in, wcxhost, the
#                                             command that registers the plug-in
#                                             in Double Commander, install notes
#   qorstoragewcx_VERSION_amd64.deb           the same, the plug-in where Double
#                                             Commander keeps its plug-ins
# Usage: scripts/package.sh [OUT_DIR]
# LINUX_BUILD, WIN64_BUILD and WIN32_BUILD name build folders to pack as they
# are, instead of release builds made here (the package tests use this).
# LINUX_ONLY=1 makes the Linux packages alone.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mkdir -p "${1:-out}" && cd "${1:-out}" && pwd)
version=$(sed -n 's/^project(qorStorageWCX VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

release_build() {  # folder targets [cmake options...]
  local folder=$1 targets=$2
  shift 2
  cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BUILD_TESTS=OFF "$@" >/dev/null
  # shellcheck disable=SC2086 # targets is a list
  cmake --build "$folder" -j "$(nproc)" --target $targets >/dev/null
}
if [ -z "${LINUX_BUILD:-}" ]; then
  scripts/setup-debian.sh
  LINUX_BUILD=build/release
  release_build "$LINUX_BUILD" "qorStorageWCX wcxhost"
fi
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# Windows, as a zip.
windows_zip() {
  if [ -z "${WIN64_BUILD:-}" ]; then
    WIN64_BUILD=build/win64-release
    release_build "$WIN64_BUILD" qorStorageWCX -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
  fi
  if [ -z "${WIN32_BUILD:-}" ]; then
    WIN32_BUILD=build/win32-release
    release_build "$WIN32_BUILD" qorStorageWCX -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
  fi

  # Total Commander offers to install the plug-in when the user opens
  # a zip with a pluginst.inf; its 64-bit edition takes the .wcx64 beside the
  # .wcx that the file names.
  mkdir "$stage/windows"
  sed 's/$/\r/' packaging/pluginst.inf >"$stage/windows/pluginst.inf"
  cp "$WIN32_BUILD/src/qorStorageWCX.wcx" "$WIN64_BUILD/src/qorStorageWCX.wcx64" "$stage/windows/"
  zip_file="$out/qorStorageWCX-$version-windows.zip"
  rm -f "$zip_file"
  (cd "$stage/windows" && zip -q -X "$zip_file" pluginst.inf qorStorageWCX.wcx qorStorageWCX.wcx64)
  ls -1 "$zip_file"
}
if [ -z "${LINUX_ONLY:-}" ]; then
  windows_zip
fi

# Both Linux packages keep wcxhost and the register command beside the
# plug-in: each finds the plug-in in its own folder.
linux_files=("$LINUX_BUILD/src/qorStorageWCX.wcx" "$LINUX_BUILD/src/wcxhost" packaging/qorstoragewcx-register)

# Linux, as a tarball.
tar_root="qorStorageWCX-$version-linux-x86_64"
mkdir "$stage/$tar_root"
install -m 0755 "${linux_files[@]}" "$stage/$tar_root/"
chmod 0644 "$stage/$tar_root/qorStorageWCX.wcx"
cp packaging/INSTALL-linux.txt "$stage/$tar_root/INSTALL.txt"
tar -C "$stage" --owner=0 --group=0 -czf "$out/$tar_root.tar.gz" "$tar_root"

# Linux, as a Debian package. The C library version is the newest one whose
# symbols the plug-in uses.
deb="$stage/deb"
plugin_dir="$deb/usr/lib/doublecmd/plugins/wcx/qorStorageWCX"
doc_dir="$deb/usr/share/doc/qorstoragewcx"
man_dir="$deb/usr/share/man/man1"
mkdir -p "$deb/DEBIAN" "$plugin_dir" "$doc_dir" "$man_dir" "$deb/usr/bin"
install -m 0755 "${linux_files[@]}" "$plugin_dir/"
chmod 0644 "$plugin_dir/qorStorageWCX.wcx"
for command in wcxhost qorstoragewcx-register; do
  ln -s "../lib/doublecmd/plugins/wcx/qorStorageWCX/$command" "$deb/usr/bin/$command"
done
install -m 0644 packaging/INSTALL-linux.txt "$doc_dir/README.Debian"
for page in tools/wcxhost/wcxhost.1 packaging/qorstoragewcx-register.1; do
  gzip -9 -n <"$page" >"$man_dir/$(basename "$page").gz"
  chmod 0644 "$man_dir/$(basename "$page").gz"
done
# Registering is per user, in the user's own configuration: the package can
# only say how.
install -m 0755 packaging/postinst "$deb/DEBIAN/postinst"
glibc=$(objdump -T "$plugin_dir/qorStorageWCX.wcx" "$plugin_dir/wcxhost" | grep -o 'GLIBC_[0-9.]*' |
  sed 's/GLIBC_//' | sort -V | tail -n 1)
cat >"$deb/DEBIAN/control" <<EOF
Package: qorstoragewcx
Version: $version
Architecture: amd64
Maintainer: qorStorageWCX developers <qorstoragewcx@example.invalid>
Depends: libc6 (>= $glibc), libstdc++6 (>= 12), libgcc-s1, python3
Enhances: doublecmd-gtk, doublecmd-qt
Section: utils
Priority: optional
Installed-Size: $(du -sk "$deb/usr" | cut -f1)
Description: Double Commander plug-in that opens OLE compound files as archives
 qorStorageWCX shows .doc, .xls, .ppt, .msg, .msi, Thumbs.db and every other
 compound file as an archive: storages are folders, streams are files. Users
 browse, test, extract, add and delete as in any archive.
 .
 Each user registers it in Double Commander once, with Double Commander
 closed, by running qorstoragewcx-register. wcxhost makes new compound
 files from the shell. See /usr/share/doc/qorstoragewcx/README.Debian.
EOF
dpkg-deb --root-owner-group --build "$deb" "$out/qorstoragewcx_${version}_amd64.deb" >/dev/null

ls -1 "$out/$tar_root.tar.gz" "$out/qorstoragewcx_${version}_amd64.deb"
