#!/usr/bin/env bash
# Times the whole program over scans of different picture sizes and, in the
# same loop, the reading of the same photographs from the page cache; reports
# both per megapixel of input, with the peak resident memory against the five
# images a run holds at most. Each round runs every size once, so that the
# sizes share whatever else the machine is doing.
#   bench/time_sizes.sh [RUNS] SCAN_DIR...
# Make the scans with the renderer, e.g.
#   build/tools/slscan-render --aa 1 --size 4000x3000 work/s4000
# (a 4000 x 3000 scan takes about 7 GB of disk). SLSCAN=path times another
# build of the program.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=7
if [[ ${1:-} =~ ^[0-9]+$ ]]; then runs=$1; shift; fi
[ "$#" -gt 0 ] || { echo "usage: bench/time_sizes.sh [RUNS] SCAN_DIR..." >&2; exit 1; }
exe=$(realpath "${SLSCAN:-${BUILD:-build}/slscan}")
[ -x "$exe" ] || { echo "build first: make build" >&2; exit 1; }
log=$(mktemp)
trap 'rm -f "$log"' EXIT

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

for dir in "$@"; do
  [ -d "$dir/cavalo" ] || { echo "no scan in $dir" >&2; exit 1; }
  cat "$dir"/cavalo/*.bmp > /dev/null  # into the page cache
done
for _ in $(seq "$runs"); do
  for dir in "$@"; do
    t0=$(date +%s.%N)
    cat "$dir"/cavalo/*.bmp > /dev/null
    t1=$(date +%s.%N)
    out=$( (cd "$dir" && /usr/bin/time -f "%e %M" "$exe" > /dev/null) 2>&1 | tail -n 1)
    echo "$dir $(awk "BEGIN {print $t1 - $t0}") $out" >> "$log"
  done
done

printf '%-10s %7s %8s %8s %8s %8s %6s %8s %8s\n' size MP wall_s ms/MP read_s \
  rd_ms/MP ratio peak_MiB 5img+30MB
for dir in "$@"; do
  photos=("$dir"/cavalo/*.bmp)
  # Width and height from the header of one photograph.
  read -r w h < <(od -An -t d4 -j 18 -N 8 "${photos[0]}")
  h=${h#-}
  mp=$(awk "BEGIN {print ${#photos[@]} * $w * $h / 1e6}")
  wall=$(awk -v d="$dir" '$1 == d {print $3}' "$log" | median)
  read_t=$(awk -v d="$dir" '$1 == d {print $2}' "$log" | median)
  peak=$(awk -v d="$dir" '$1 == d {print $4}' "$log" | sort -n | tail -n 1)
  awk -v s="${w}x$h" -v mp="$mp" -v wall="$wall" -v rd="$read_t" -v peak="$peak" \
      -v img="$(( w * h * 12 ))" 'BEGIN {
    printf "%-10s %7.1f %8.3f %8.3f %8.3f %8.3f %6.1f %8.1f %8.1f\n", s, mp, wall,
      1000 * wall / mp, rd, 1000 * rd / mp, wall / rd, peak / 1024, (5 * img + 30e6) / 1048576
  }'
done
echo "($runs rounds, medians; peak: largest maximum resident set of the runs, MiB;"
echo " read: cat of the same photographs from the page cache, in the same round)"
