#!/usr/bin/env bash
# From a folder of photographs to the mesh and its preview in one command,
# for those who do not want to run five programs one after another:
#   tools/model.sh [--threshold T] SCAN_DIR [OUT_DIR]
#   make model SCAN=SCAN_DIR [OUT=OUT_DIR]
# SCAN_DIR holds cavalo/ with the 192 photographs; OUT_DIR (default
# SCAN_DIR/model) receives the masked photographs, the point files,
# cloud.ply, mesh.ply and mesh.stl, and preview.png. The steps:
#   slscan-mask SCAN_DIR OUT_DIR, slscan in OUT_DIR, slscan-cloud OUT_DIR,
#   slscan-mesh OUT_DIR (when it is built), slscan-preview OUT_DIR.
# One line a step shows its progress and time; what the tools print goes to
# OUT_DIR/model.log. A step that fails stops the run with its status, after
# the end of the log; the faults of slscan-mask and slscan (a photograph they
# could not read) are reported and the run goes on with what they made,
# ending with status 1.
# BUILD names the build folder (default build), SLSCAN_THREADS caps the cores.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$root" && realpath -m "${BUILD:-build}")
usage() { echo "usage: tools/model.sh [--threshold T] SCAN_DIR [OUT_DIR]" >&2; exit 2; }
mask_options=()
if [ "${1:-}" = "--threshold" ]; then
  [ "$#" -ge 2 ] || usage
  mask_options=(--threshold "$2"); shift 2
fi
[ "$#" -ge 1 ] && [ "$#" -le 2 ] || usage
scan=$1
out=${2:-$scan/model}
[ -d "$scan/cavalo" ] || { echo "model: no cavalo/ in $scan" >&2; exit 2; }
for tool in slscan tools/slscan-mask tools/slscan-cloud tools/slscan-preview; do
  [ -x "$bin/$tool" ] || { echo "model: $bin/$tool is not built (make build)" >&2; exit 2; }
done
mesh=$bin/tools/slscan-mesh
mkdir -p "$out" || exit 2
out=$(cd "$out" && pwd)
log=$out/model.log
: > "$log"
steps=5
status=0
start=$(date +%s.%N)

# step N NAME COMMAND...: runs the command with its output in the log,
# showing NAME while it runs and its time when it is done.
step() {
  local n=$1 name=$2; shift 2
  local t0 t1 rc
  t0=$(date +%s.%N)
  if [ -t 1 ]; then printf '[%d/%d] %-44s ...' "$n" "$steps" "$name"; fi
  echo "== $name: $*" >> "$log"
  "$@" >> "$log" 2>&1
  rc=$?
  t1=$(date +%s.%N)
  [ -t 1 ] && printf '\r'
  printf '[%d/%d] %-44s %6.2f s%s\n' "$n" "$steps" "$name" "$(awk "BEGIN {print $t1 - $t0}")" \
    "$([ "$rc" -eq 0 ] || echo "  (status $rc)")"
  return "$rc"
}

fail() {
  echo "model: $1 failed; the end of $log:" >&2
  tail -n 5 "$log" >&2
  exit "$2"
}

step 1 "mask the photographs (slscan-mask)" "$bin/tools/slscan-mask" --quiet \
  "${mask_options[@]}" "$scan" "$out"
rc=$?
if [ "$rc" -eq 1 ]; then
  echo "       some views were passed through unmasked: see $log" >&2
  status=1
elif [ "$rc" -ne 0 ]; then
  fail slscan-mask "$rc"
fi
(cd "$out" && step 2 "photographs to points (slscan)" "$bin/slscan")
rc=$?
if [ "$rc" -eq 1 ]; then
  echo "       slscan could not use every photograph: see $log" >&2
  status=1
elif [ "$rc" -ne 0 ]; then
  fail slscan "$rc"
fi
step 3 "coloured, cleaned cloud (slscan-cloud)" "$bin/tools/slscan-cloud" "$out" ||
  fail slscan-cloud $?
if [ -x "$mesh" ]; then
  step 4 "mesh (slscan-mesh)" "$mesh" "$out" || fail slscan-mesh $?
else
  printf '[4/%d] %-44s skipped: slscan-mesh is not built\n' "$steps" "mesh (slscan-mesh)"
fi
step 5 "preview (slscan-preview)" "$bin/tools/slscan-preview" "$out" || fail slscan-preview $?
end=$(date +%s.%N)
printf 'model: %s in %.2f s: ' "$out" "$(awk "BEGIN {print $end - $start}")"
for f in cloud.ply mesh.ply mesh.stl preview.png; do [ -f "$out/$f" ] && printf '%s ' "$f"; done
echo
exit "$status"
