#!/usr/bin/env bash
# Builds the fuzz targets with clang (a build folder of their own) and runs
# each for FUZZ_SECONDS (30 by default) from a corpus seeded with valid files
# of every shape. A finding stops the script with the input that caused it.
#   scripts/fuzz.sh                      # what CI runs
#   FUZZ_SECONDS=1800 FUZZ_CORPUS=~/corpus scripts/fuzz.sh plugin_fuzzer
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh clang libclang-rt-dev  # libFuzzer
build=${FUZZ_BUILD_DIR:-build/fuzz}
targets=("$@")
((${#targets[@]})) || targets=(cfb_open_fuzzer plugin_fuzzer content_parsers_fuzzer content_views_fuzzer)
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQOR_BUILD_FUZZ=ON -DQOR_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc)" --target cfb_make_seeds content_make_seeds "${targets[@]}"
corpus_root=${FUZZ_CORPUS:-$(mktemp -d)}
for target in "${targets[@]}"; do
  corpus="$corpus_root/$target"
  mkdir -p "$corpus"
  case $target in
    content_parsers_fuzzer) "$build/fuzz/content_make_seeds" parsers "$corpus" ;;
    content_views_fuzzer) "$build/fuzz/content_make_seeds" views "$corpus" ;;
    *) "$build/fuzz/cfb_make_seeds" "$corpus" ;;
  esac
  # Inputs stay near the seeds' size; a few seconds or half a gigabyte for
  # one input is a finding, not slowness.
  "$build/fuzz/$target" -max_total_time="${FUZZ_SECONDS:-30}" -timeout=20 -rss_limit_mb=2048 \
    -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix="$corpus_root/$target-" "$corpus"
done
