#!/bin/sh
# Builds the libFuzzer targets with clang, ASan and UBSan, and runs each for
# SECONDS (default 60). Corpora are kept in fuzz/corpus_<target>/.
# Usage: fuzz/run.sh [SECONDS] [TARGET...]
set -eu

seconds=${1:-60}
[ $# -gt 0 ] && shift
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/fuzz/build
targets=${*:-"lz77_decode_fuzz field_readers_fuzz"}
cxx=${CXX_FUZZ:-clang++}
flags="-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all"
includes="-I$root/src -I$root/platform -I$root/include"
library="$root/src/codec/wexel_lz77_parser.cpp $root/src/net/wexel_parser.cpp $root/src/core/wexel_log.cpp \
  $root/src/core/wexel_statistics.cpp $root/src/core/wexel_sys.cpp $root/platform/q3_kernel.cpp"

mkdir -p "$build"
for target in $targets; do
  echo "== building $target"
  # shellcheck disable=SC2086
  $cxx $flags $includes -o "$build/$target" "$root/fuzz/$target.cpp" $library -lpthread
done
for target in $targets; do
  corpus=$root/fuzz/corpus_$target
  mkdir -p "$corpus"
  echo "== running $target for ${seconds}s"
  "$build/$target" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 "$corpus" 2>&1 |
    tee "$build/$target.log" | grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)" || true
  if grep -q -E "==[0-9]+==ERROR|SUMMARY: |deadly signal|Test unit written" "$build/$target.log"; then
    echo "== $target FAILED, see $build/$target.log"
    exit 1
  fi
done
