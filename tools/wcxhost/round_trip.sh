#!/bin/sh
# The host's main job, shown step by step: packs a small sample folder into a
# new compound file through the plug-in, lists and tests it, extracts it into
# a new folder and checks that every byte came back.
# Usage: round_trip.sh WCXHOST [PLUGIN]   (PLUGIN: default beside WCXHOST)
set -eu
# Absolute paths: the steps run in a folder of their own.
host=$(realpath "${1:?usage: round_trip.sh WCXHOST [PLUGIN]}")
plugin=${2:+--plugin=$(realpath "$2")}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

step() {
  printf '\n$ wcxhost %s\n' "$*"
  "$host" ${plugin} "$@"
}

mkdir -p sample/Pictures/Holidays sample/Empty
printf 'Dear reader,\nthis is a compound file test.\n' > sample/Letter.txt
head -c 200000 /dev/urandom > sample/Pictures/Holidays/beach.bin
head -c 3000 /dev/urandom > sample/Pictures/small.bin
echo "sample folder: $(find sample -type f | wc -l) files in $work/sample"

step add sample.doc sample
step list sample.doc
step test sample.doc
step extract sample.doc -C extracted
printf '\n$ diff -r sample extracted/sample\n'
if diff -r sample extracted/sample; then
  echo "round trip OK: the extracted folder is identical to the sample"
else
  echo "round trip FAILED: the extracted folder differs from the sample" >&2
  exit 1
fi
