#!/usr/bin/env bash
# Times the whole program over a scan (default: the masked sample scan in
# work/sample/masked, made by `make sample`) several times, and beside it the time
# of reading the same photographs from the page cache.
#   bench/time_scan.sh [SCAN_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-work/sample/masked}
runs=${2:-7}
exe=$(pwd)/${BUILD:-build}/slscan
[ -x "$exe" ] || { echo "build first: make build" >&2; exit 1; }
[ -d "$dir/cavalo" ] || { echo "no scan in $dir: make sample" >&2; exit 1; }

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

cat "$dir"/cavalo/*.bmp > /dev/null  # into the page cache
walls=(); users=(); syss=(); rss=(); reads=()
for _ in $(seq "$runs"); do
  t0=$(date +%s.%N)
  cat "$dir"/cavalo/*.bmp > /dev/null
  t1=$(date +%s.%N)
  reads+=("$(awk "BEGIN {print $t1 - $t0}")")
  out=$( (cd "$dir" && /usr/bin/time -f "%e %U %S %M" "$exe" > /dev/null) 2>&1 | tail -n 1)
  read -r w u s m <<< "$out"
  walls+=("$w"); users+=("$u"); syss+=("$s"); rss+=("$m")
done
wall=$(printf '%s\n' "${walls[@]}" | median)
read_t=$(printf '%s\n' "${reads[@]}" | median)
bytes=$(cat "$dir"/cavalo/*.bmp | wc -c)
printf 'slscan over %s (%d runs, median): wall %s s, user %s s, sys %s s, peak RSS %s MB\n' \
  "$dir" "$runs" "$wall" "$(printf '%s\n' "${users[@]}" | median)" \
  "$(printf '%s\n' "${syss[@]}" | median)" \
  "$(( $(printf '%s\n' "${rss[@]}" | median) / 1024 ))"
printf 'reading the %d MB of photographs from the page cache: %.3f s; ratio %.1f\n' \
  "$(( bytes / 1000000 ))" "$read_t" "$(awk "BEGIN {print $wall / $read_t}")"
