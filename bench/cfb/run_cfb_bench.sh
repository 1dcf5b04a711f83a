#!/usr/bin/env bash
# The compound-file engine side by side with other tools, in one run:
#   read    a 512 MiB stream to a disk file   vs  7zz x (file from gsf createole)
#   write   a 512 MiB stream, commit included vs  dd bs=1M conv=fsync
#   create  time per stream at n = 100000     vs  n = 1000
#   enum    100000 entries                    vs  7zz l
# Usage: run_cfb_bench.sh BUILD_DIR [WORK_DIR]   (CFB_BENCH_MIB changes the size)
set -euo pipefail
source "$(dirname "$0")/../hyperfine_lib.sh"
bench=$(realpath "$1")/bench/cfb/cfb_bench
work=${2:-/tmp/cfb-bench}
mib=${CFB_BENCH_MIB:-512}
mkdir -p "$work"
cd "$work"

if [[ ! -f data.bin || $(stat -c %s data.bin) -ne $((mib << 20)) ]]; then
  head -c "${mib}M" /dev/urandom > data.bin
  rm -f gsf.ole
fi
[[ -f gsf.ole ]] || gsf createole gsf.ole data.bin


hyperfine -N --warmup 1 --runs 5 --export-json read.json \
  --prepare 'rm -rf out7 out.bin' \
  "7zz x -y -oout7 gsf.ole data.bin" "$bench read gsf.ole data.bin out.bin"
hyperfine -N --runs 5 --export-json write.json \
  --prepare 'rm -f dd.out cfb.out' \
  "dd if=data.bin of=dd.out bs=1M conv=fsync status=none" "$bench write data.bin cfb.out"

best() { for _ in 1 2 3 4 5; do "$bench" create "$1" "$2"; done | sort -g | head -1; }
small=$(best 1000 c1k.cfb)
large=$(best 100000 c100k.cfb)
hyperfine -N --warmup 1 --runs 5 --export-json enum.json "7zz l c100k.cfb" "$bench enum c100k.cfb"

echo
echo "read ${mib} MiB stream, engine / 7zz x:            $(ratio "$(mean read.json 1)" "$(mean read.json 0)")  (goal <= 1.2)"
echo "write ${mib} MiB stream, engine / dd conv=fsync:   $(ratio "$(mean write.json 1)" "$(mean write.json 0)")  (goal <= 1.5)"
echo "create: ns per stream n=1000 ${small}, n=100000 ${large}, ratio $(ratio "$large" "$small")  (goal <= 2)"
echo "enumerate 100000 entries, engine / 7zz l:      $(ratio "$(mean enum.json 1)" "$(mean enum.json 0)")  (goal <= 1)"
