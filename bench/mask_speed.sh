#!/usr/bin/env bash
# Times slscan-mask over a scan (default: the sample scan in work/sample,
# made by `make sample`) several times, and in the same runs the time of
# reading the same photographs from the page cache, which bounds it below.
#   bench/mask_speed.sh [SCAN_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-work/sample}
runs=${2:-7}
exe=$(pwd)/${BUILD:-build}/tools/slscan-mask
out=${MASK_OUT:-work/mask-speed}
[ -x "$exe" ] || { echo "build first: make build" >&2; exit 1; }
[ -d "$dir/cavalo" ] || { echo "no scan in $dir: make sample" >&2; exit 1; }

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
now() { date +%s.%N; }

cat "$dir"/cavalo/*.bmp > /dev/null  # into the page cache
reads=(); masks=(); fresh=()
for _ in $(seq "$runs"); do
  t0=$(now); cat "$dir"/cavalo/*.bmp > /dev/null; t1=$(now)
  "$exe" --quiet "$dir" "$out" > /dev/null; t2=$(now)       # over the last run's output
  rm -rf "$out"; sync; t3=$(now)
  "$exe" --quiet "$dir" "$out" > /dev/null; t4=$(now)       # into an empty folder
  reads+=("$(awk "BEGIN {print $t1 - $t0}")")
  masks+=("$(awk "BEGIN {print $t2 - $t1}")")
  fresh+=("$(awk "BEGIN {print $t4 - $t3}")")
done
read_t=$(printf '%s\n' "${reads[@]}" | median)
mask_t=$(printf '%s\n' "${masks[@]}" | median)
fresh_t=$(printf '%s\n' "${fresh[@]}" | median)
bytes=$(cat "$dir"/cavalo/*.bmp | wc -c)
printf 'reading the %d MB of photographs from the page cache: %.3f s (median of %d)\n' \
  "$(( bytes / 1000000 ))" "$read_t" "$runs"
printf 'slscan-mask over its earlier output: %.3f s, ratio %.1f\n' "$mask_t" "$(awk "BEGIN {print $mask_t / $read_t}")"
printf 'slscan-mask into an empty folder:    %.3f s, ratio %.1f\n' "$fresh_t" "$(awk "BEGIN {print $fresh_t / $read_t}")"
