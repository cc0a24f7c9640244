#!/bin/sh
# Builds the libFuzzer targets with clang, ASan and UBSan, and runs each for
# SECONDS (default 60). Corpora are kept in fuzz/corpus_<target>/.
# Usage: fuzz/run.sh [SECONDS] [TARGET...]
set -eu

seconds=${1:-60}
[ $# -gt 0 ] && shift
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/fuzz/build
targets=${*:-"lz77_decode_fuzz field_readers_fuzz history_replies_fuzz"}
cxx=${CXX_FUZZ:-clang++}
flags="-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all"
includes="-I$root/src -I$root/platform -I$root/include"

# The library and the platform layer, compiled once into an archive that each
# target takes what it needs from.
mkdir -p "$build/objects"
echo "== building the library for the fuzz targets"
rm -f "$build"/objects/*.o "$build/libwexel_fuzz.a"
find "$root/src" "$root/platform" -name '*.cpp' | sort |
  xargs -P "$(nproc)" -I{} sh -c 'out="$1/objects/$(echo "$2" | tr / _).o"; $3 $4 $5 -c "$2" -o "$out"' \
    sh "$build" {} "$cxx" "$flags" "$includes"
ar rcs "$build/libwexel_fuzz.a" "$build"/objects/*.o

for target in $targets; do
  echo "== building $target"
  # shellcheck disable=SC2086
  $cxx $flags $includes -o "$build/$target" "$root/fuzz/$target.cpp" "$build/libwexel_fuzz.a" -lssl -lcrypto -lpthread
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
