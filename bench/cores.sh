#!/usr/bin/env bash
# slscan on one core and on every core, side by side with the page-cache read
# of the same photographs, at every picture size given, and the whole path
# from the photographs to the mesh; all in one loop, so that every figure
# shares whatever else the machine is doing.
#   bench/cores.sh [RUNS] SCAN_DIR...
# Each round runs, for every SCAN_DIR: `cat` of its 192 photographs (page
# cache warm), slscan on one core (taskset -c 0: one worker), slscan on every
# core, and REF=path, another build of slscan (for instance the one before
# this change), when given. With MODEL=SCAN_DIR it also runs tools/model.sh
# (mask, slscan, cloud, mesh, preview) on that scan into a scratch folder.
# Reports medians, the ratios, and the largest peak resident memory.
# Make the scans with the renderer, e.g.
#   build/tools/slscan-render --aa 1 --size 2048x1536 work/s2048
# (a 4000 x 3000 scan takes about 7 GB of disk).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=5
if [[ ${1:-} =~ ^[0-9]+$ ]]; then runs=$1; shift; fi
[ "$#" -gt 0 ] || { echo "usage: bench/cores.sh [RUNS] SCAN_DIR..." >&2; exit 1; }
exe=$(realpath "${SLSCAN:-${BUILD:-build}/slscan}")
[ -x "$exe" ] || { echo "build first: make build" >&2; exit 1; }
ref=${REF:+$(realpath "$REF")}
one=(taskset -c 0)
command -v taskset > /dev/null || one=(env SLSCAN_THREADS=1)
log=$(mktemp)
scratch=$(mktemp -d)
trap 'rm -rf "$log" "$scratch"' EXIT

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# timed LABEL DIR COMMAND...: wall seconds and peak KiB of the command in DIR.
timed() {
  local label=$1 dir=$2; shift 2
  (cd "$dir" && /usr/bin/time -o "$scratch/time" -f "%e %M %U %S" "$@" > /dev/null 2>&1) || true
  echo "$label $(tail -n 1 "$scratch/time")" >> "$log"
}

for dir in "$@"; do
  [ -d "$dir/cavalo" ] || { echo "no scan in $dir" >&2; exit 1; }
  cat "$dir"/cavalo/*.bmp > /dev/null  # into the page cache
done
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
for _ in $(seq "$runs"); do
  for dir in "$@"; do
    t0=$(date +%s.%N)
    cat "$dir"/cavalo/*.bmp > /dev/null
    t1=$(date +%s.%N)
    echo "$dir:read $(awk "BEGIN {print $t1 - $t0}") 0 0 0" >> "$log"
    timed "$dir:one" "$dir" "${one[@]}" "$exe"
    timed "$dir:all" "$dir" "$exe"
    [ -n "$ref" ] && timed "$dir:ref" "$dir" "$ref"
  done
  if [ -n "${MODEL:-}" ]; then
    rm -rf "$scratch/model"
    t0=$(date +%s.%N)
    BUILD=${BUILD:-build} tools/model.sh "$MODEL" "$scratch/model" > "$scratch/steps.txt" || true
    t1=$(date +%s.%N)
    echo "model:path $(awk "BEGIN {print $t1 - $t0}") 0 0 0" >> "$log"
    awk '/ s$/ && match($0, /\([a-z-]+\)/) {
      print "step:" substr($0, RSTART + 1, RLENGTH - 2), $(NF - 1), 0, 0, 0 }' "$scratch/steps.txt" >> "$log"
  fi
done
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"

stat() { awk -v k="$1" '$1 == k {print $2}' "$log" | median; }
cpu() { awk -v k="$1" '$1 == k {print $4 + $5}' "$log" | median; }
peak() { awk -v k="$1" '$1 == k {print $3}' "$log" | sort -n | tail -n 1; }
printf '%-10s %7s %7s %7s %6s %7s %7s %9s %9s %6s %6s' size read_s 1core_s all_s all/1 1c/read \
  all/read peak1_MiB peakN_MiB cpu1_s cpuN_s
[ -n "$ref" ] && printf ' %7s %8s %7s' ref_s ref/read refcpu_s
echo
for dir in "$@"; do
  photos=("$dir"/cavalo/*.bmp)
  read -r w h < <(od -An -t d4 -j 18 -N 8 "${photos[0]}")
  rd=$(stat "$dir:read"); t1=$(stat "$dir:one"); tn=$(stat "$dir:all")
  awk -v s="${w}x${h#-}" -v rd="$rd" -v t1="$t1" -v tn="$tn" -v p1="$(peak "$dir:one")" \
      -v pn="$(peak "$dir:all")" -v c1="$(cpu "$dir:one")" -v cn="$(cpu "$dir:all")" 'BEGIN {
    printf "%-10s %7.3f %7.3f %7.3f %6.2f %7.1f %7.1f %9.1f %9.1f %6.2f %6.2f", s, rd, t1, tn,
      tn / t1, t1 / rd, tn / rd, p1 / 1024, pn / 1024, c1, cn }'
  if [ -n "$ref" ]; then
    tr=$(stat "$dir:ref")
    awk -v tr="$tr" -v rd="$rd" -v cr="$(cpu "$dir:ref")" \
      'BEGIN {printf " %7.3f %8.1f %7.2f", tr, tr / rd, cr}'
  fi
  echo
done
if [ -n "${MODEL:-}" ]; then
  echo "whole path on $MODEL (tools/model.sh): $(stat model:path) s; steps:" \
    "$(awk '$1 ~ /^step:/ {print $1}' "$log" | sort -u | while read -r k; do
         printf '%s %s s, ' "${k#step:}" "$(stat "$k")"; done)"
  grep -q skipped "$scratch/steps.txt" && grep skipped "$scratch/steps.txt"
fi
echo "($runs rounds, medians; 1core: taskset to one core; peak: largest resident set, MiB;"
echo " cpu: user + system seconds of the run, which the other load of the machine moves less)"
