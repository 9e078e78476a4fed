#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 60)
# from the project's own seed corpus, with memory bounded to 512 MB.
#   tests/fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
build=build-fuzz
work=${FUZZ_WORK:-$build/work}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DSLSCAN_FUZZ=ON > /dev/null
cmake --build "$build" -j 2 > /dev/null
rm -rf "$work/seeds"
mkdir -p "$work"
"$build/tests/fuzz/make_corpus" "$work/seeds"

status=0
for target in bmp decode triangulate rig; do
  corpus="$work/corpus-$target"
  mkdir -p "$corpus"
  dict=()
  [ "$target" = bmp ] && dict=(-dict=tests/fuzz/bmp.dict)
  [ "$target" = rig ] && dict=(-dict=tests/fuzz/rig.dict)
  log="$work/$target.log"
  # stdout of the targets (the decoder's and the triangulation's console
  # lines) is closed; the reader's one-line refusals are left out of the log,
  # which keeps libFuzzer's progress and any sanitizer report.
  if "$build/tests/fuzz/fuzz_$target" "$corpus" "$work/seeds/$target" "${dict[@]}" \
      -max_total_time="$seconds" -rss_limit_mb=512 -max_len=4096 -close_fd_mask=1 \
      -print_final_stats=1 -artifact_prefix="$work/crash-$target-" 2>&1 |
      grep -a -v -E '^(imgReadBMP|get24bits|imgCreate|bcslDecode|buildCorrespondenceTable): ' > "$log"; then
    runs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
    peak=$(grep -m1 'stat::peak_rss_mb' "$log" | awk '{print $2}')
    echo "fuzz_$target: $runs executions in $seconds s, peak RSS $peak MB, no finding"
  else
    echo "fuzz_$target: FINDING, see $log"
    tail -n 40 "$log"
    status=1
  fi
done
exit "$status"
