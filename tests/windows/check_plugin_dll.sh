#!/bin/sh
# Checks a Windows plug-in DLL as Total Commander loads it: built for the
# machine it is named for, exporting the eleven WCX functions and the eight
# Unicode (W) ones under their plain names and nothing else (x86: no __stdcall "@N"), and importing only
# DLLs that every Windows has, so that it runs without a runtime beside it.
# Usage: check_plugin_dll.sh DLL x86_64|i686
set -eu
dll=${1:?usage: check_plugin_dll.sh DLL x86_64|i686}
arch=${2:?usage: check_plugin_dll.sh DLL x86_64|i686}
case $arch in
  x86_64) format=pei-x86-64 ;;
  i686) format=pei-i386 ;;
  *) echo "unknown machine $arch" >&2; exit 2 ;;
esac
dump=$("$arch-w64-mingw32-objdump" -p "$dll")
failed=0
check() {  # what, expected, actual
  if [ "$2" != "$3" ]; then
    printf '%s: %s\n  expected: %s\n  found:    %s\n' "$dll" "$1" "$2" "$3" >&2
    failed=1
  fi
}

check "file format" "$format" "$(echo "$dump" | sed -n 's/.*file format //p')"

exports=$(echo "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' |
  sort | tr '\n' ' ')
check "exports" "CanYouHandleThisFile CanYouHandleThisFileW CloseArchive DeleteFiles DeleteFilesW \
GetBackgroundFlags GetPackerCaps OpenArchive OpenArchiveW PackFiles PackFilesW PackSetDefaultParams ProcessFile ProcessFileW ReadHeader \
ReadHeaderEx ReadHeaderExW SetChangeVolProc SetChangeVolProcW SetProcessDataProc \
SetProcessDataProcW " "$exports"

# Anything else (libstdc++-6.dll, libgcc_s_*.dll, libwinpthread-1.dll) would
# have to be shipped beside the plug-in.
imports=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for name in $imports; do
  case $name in
    kernel32.dll | user32.dll | ole32.dll | msvcrt.dll) ;;
    *) check "imports only system DLLs" "kernel32 user32 ole32 msvcrt" "$name" ;;
  esac
done

[ $failed -eq 0 ] && echo "$dll: $format, the eleven exports, system imports only"
exit $failed
