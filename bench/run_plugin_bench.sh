#!/usr/bin/env bash
# The whole plug-in, driven by wcxhost as a file manager drives it, side by
# side with 7-Zip on the same files, in one run:
#   extract  a 512 MiB stream                   vs  7zz x
#   list     a storage of 100000 streams         vs  7zz l
#   pack     a folder of 10000 small files        (time per file, n=1000 vs n=10000)
# Usage: run_plugin_bench.sh BUILD_DIR [WORK_DIR]   (PLUGIN_BENCH_MIB changes the size)
set -euo pipefail
source "$(dirname "$0")/hyperfine_lib.sh"
build=$(realpath "$1")
host="$build/src/wcxhost"
work=${2:-/tmp/plugin-bench}
mib=${PLUGIN_BENCH_MIB:-512}
mkdir -p "$work"
cd "$work"

if [[ ! -f data.bin || $(stat -c %s data.bin) -ne $((mib << 20)) ]]; then
  head -c "${mib}M" /dev/urandom > data.bin
  rm -f big.doc
fi
[[ -f big.doc ]] || gsf createole big.doc data.bin

make_folder() {  # make_folder DIR N: N files of 100 bytes
  [[ -d $1 && $(ls "$1" | wc -l) -eq $2 ]] && return
  rm -rf "$1" && mkdir -p "$1"
  /usr/bin/python3 -c "
import os, sys
for i in range(int(sys.argv[2])):
    with open(os.path.join(sys.argv[1], 's%06d' % i), 'wb') as f: f.write(b'x' * 100)" "$1" "$2"
}
make_folder many 100000
[[ -f many.doc ]] || "$host" add many.doc many >/dev/null
make_folder f1k 1000
make_folder f10k 10000


hyperfine -N --warmup 1 --runs 5 --export-json extract.json --prepare 'rm -rf out7 outq' \
  "7zz x -y -oout7 big.doc data.bin" "$host extract big.doc -C outq data.bin"
hyperfine -N --warmup 1 --runs 5 --export-json list.json \
  "7zz l many.doc" "$host list many.doc"
hyperfine -N --runs 3 --export-json pack.json --prepare 'rm -f p1k.doc p10k.doc' \
  "$host add p1k.doc f1k" "$host add p10k.doc f10k"

echo
echo "extract ${mib} MiB stream, plug-in / 7zz x:   $(ratio "$(mean extract.json 1)" "$(mean extract.json 0)")"
echo "list 100000 streams, plug-in / 7zz l:        $(ratio "$(mean list.json 1)" "$(mean list.json 0)")"
echo "pack 10000 vs 1000 files, time per file:     $(ratio "$(mean pack.json 1)" "$(/usr/bin/python3 -c "import sys; print(float(sys.argv[1]) * 10)" "$(mean pack.json 0)")")"
