#!/bin/sh
# Builds the libFuzzer targets with clang, ASan and UBSan, writes the seed
# corpora from kexsim's writers, and runs each target for SECONDS (default 60).
# Usage: fuzz/run.sh [SECONDS] [TARGET...]
#
# Everything is kept outside the source tree, in
#   ${QUARNEL3_FUZZ_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quarnel3-fuzz}
# build-<tree>/ (a CMake build of fuzz/CMakeLists.txt, one per source tree so
# that several clones can share the directory; incremental: the library is
# compiled once for all targets), corpus_<target>/ (kept between runs, seeds
# included), <target>.log, and executions.tsv: one line per finished run
# (time, target, executions), whose totals per target are printed at the end,
# so that a long campaign can be run in pieces. Builds use QUARNEL3_FUZZ_JOBS
# jobs (default: the processor count).
set -eu

seconds=${1:-60}
[ $# -gt 0 ] && shift
root=$(cd "$(dirname "$0")/.." && pwd)
work=${QUARNEL3_FUZZ_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quarnel3-fuzz}
build=$work/build-$(printf %s "$root" | cksum | cut -d' ' -f1)
all="lz77_decode_fuzz field_readers_fuzz history_replies_fuzz http_replies_fuzz market_replies_fuzz
  order_replies_fuzz portfolio_replies_fuzz alerts_replies_fuzz registry_hive_fuzz"
targets=$(echo ${*:-$all})
jobs=${QUARNEL3_FUZZ_JOBS:-$(nproc)}

# Every target is configured, whichever are built, so that runs of different
# targets side by side never reconfigure the directory under each other.
echo "== building $targets in $build"
mkdir -p "$build"
CXX=${CXX_FUZZ:-clang++} cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None \
  "-DFUZZ_TARGETS=$(echo $all | tr ' ' ';')" >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" --target make_seeds $targets
"$build/make_seeds" "$work"

for target in $targets; do
  corpus=$work/corpus_$target
  mkdir -p "$corpus"
  echo "== running $target for ${seconds}s"
  "$build/$target" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 -artifact_prefix="$work/" "$corpus" 2>&1 |
    tee "$work/$target.log" | grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|fuzz check failed)" || true
  # A slow unit (one input that took seconds, e.g. while the machine was
  # suspended or busy) is noted by libFuzzer but is no failure.
  if grep -v "slow-unit-" "$work/$target.log" |
    grep -q -E "==[0-9]+==ERROR|SUMMARY: |deadly signal|Test unit written|fuzz check failed"; then
    echo "== $target FAILED, see $work/$target.log"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log")
  printf '%s\t%s\t%s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$target" "${runs:-0}" >>"$work/executions.tsv"
done

echo "== executions so far (all runs in $work/executions.tsv)"
awk -F'\t' '{ total[$2] += $3 } END { for (t in total) printf "%-24s %12d\n", t, total[t] }' \
  "$work/executions.tsv" | sort
