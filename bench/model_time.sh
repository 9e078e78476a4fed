#!/usr/bin/env bash
# Wall and CPU seconds of each step of slscan-model (mask, points, cloud,
# mesh, preview) on a scan, the best of RUNS runs, with the machine's load
# beside them: the cores are shared, so a run on a busy machine says little.
#
#   bench/model_time.sh [SCAN_DIR] [RUNS] [-- slscan-model options]
#
# SCAN_DIR defaults to work/model_time/horse, rendered once (the textured
# horse, 4 x 4 samples a pixel, 12 angles, 1024 x 768). The results go to
# SCAN_DIR/model as slscan-model leaves them; the mesh is measured against the
# truth when SCAN_DIR holds a scene.txt. A run is best when its total wall
# time is least; each step's best over the runs is shown too.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
scan=${1:-work/model_time/horse}
runs=${2:-3}
shift $(( $# > 2 ? 2 : $# ))
[ "${1:-}" = "--" ] && shift
for tool in slscan tools/slscan-render tools/slscan-mask tools/slscan-cloud tools/slscan-mesh \
            tools/slscan-preview tools/slscan-eval; do
  [ -x "$build/$tool" ] || { echo "model_time: $build/$tool is not built (make build)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "model_time: needs GNU time (/usr/bin/time)" >&2; exit 1; }
if [ ! -d "$scan/cavalo" ]; then
  echo "rendering $scan once (textured horse, --aa 4)..." >&2
  mkdir -p "$scan"
  "$build/tools/slscan-render" --reuse --aa 4 --texture "$scan" > /dev/null
fi
times=$(mktemp)
trap 'rm -f "$times"' EXIT
cat "$scan"/cavalo/*.bmp > /dev/null  # into the page cache
for run in $(seq "$runs"); do
  load=$(cut -d ' ' -f 1 /proc/loadavg)
  t0=$(date +%s.%N)
  MODEL_TIMES=$times BUILD=$build tools/model.sh "$@" "$scan" > /dev/null
  t1=$(date +%s.%N)
  echo "run $run load $load whole $(awk "BEGIN {print $t1 - $t0}")" >> "$times"
done
# The time file: a line a step "tool wall user system kB", then
# "run N load L whole W" (W: the wall time of the whole slscan-model run).
awk -v cores="$(nproc)" '
  /^run / { run = $2; load[run] = $4; whole[run] = $6; total[run] = sum; sum = 0; next }
  { step = $1; if (!(step in order)) { order[step] = ++steps; name[steps] = step }
    wall[run + 1, step] = $2; cpu[run + 1, step] = $3 + $4; mem[run + 1, step] = $5; sum += $2
    if (!(step in bestWall) || $2 < bestWall[step]) { bestWall[step] = $2; bestCpu[step] = $3 + $4 } }
  END {
    best = 1
    for (r = 1; r <= run; ++r) if (total[r] < total[best]) best = r
    printf "%d runs on %d cores; load (1 min) before each run:", run, cores
    for (r = 1; r <= run; ++r) printf " %s", load[r]
    printf "\n\n%-16s %8s %8s %8s   %s\n", "step", "wall s", "CPU s", "peak MB", "(best run)"
    tw = 0; tc = 0
    for (i = 1; i <= steps; ++i) {
      s = name[i]; tw += wall[best, s]; tc += cpu[best, s]
      printf "%-16s %8.2f %8.2f %8.0f\n", s, wall[best, s], cpu[best, s], mem[best, s] / 1024
    }
    printf "%-16s %8.2f %8.2f\n", "total", tw, tc
    printf "%-16s %8.2f          (slscan-model from start to end)\n\n", "whole run", whole[best]
    printf "%-16s %8s %8s   %s\n", "step", "wall s", "CPU s", "(best of each step)"
    tw = 0; tc = 0
    for (i = 1; i <= steps; ++i) {
      s = name[i]; tw += bestWall[s]; tc += bestCpu[s]
      printf "%-16s %8.2f %8.2f\n", s, bestWall[s], bestCpu[s]
    }
    printf "%-16s %8.2f %8.2f\n", "total", tw, tc
  }' "$times"
if [ -f "$scan/scene.txt" ]; then
  echo
  "$build/tools/slscan-eval" --mesh "$scan/model" |
    grep -E "^  triangles:|watertight|^  pieces:|to truth, median|the scan saw within 1"
fi
