#!/usr/bin/env bash
# The dense mode against the crossings on rendered scans with known truth:
# for each scene it renders the scan once (kept under work/dense for later
# runs), masks it when the scene is noisy or has camera effects, runs plain
# slscan, slscan --dense and slscan --fill on the same photographs and prints
# one markdown table row per way: points, the ratio to the crossings, the
# median and 90th percentile distance to the truth, within 1 and beyond 5
# units, and the run's time.
#   bench/dense_matrix.sh                 (DENSE_SCENES="aa2-horse" for some scenes only,
#                                          DENSE_DIR=DIR to keep the renders elsewhere)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${BUILD:-build}")
root=${DENSE_DIR:-work/dense}
for t in slscan tools/slscan-render tools/slscan-mask tools/slscan-eval; do
  [ -x "$build/$t" ] || { echo "build first: make build" >&2; exit 1; }
done
mkdir -p "$root"
root=$(realpath "$root")

sample="--aa 1 --blur 0.7 --texture"
real="--gamma 2.2 --crosstalk 0.2 --projector-black 0.05 --ambient 0.3 --vignetting 0.6 --specular 1"
real="$real --exposure 1.5 --white-balance 0.8,1,1.2 --noise 2"
# Scene name: render options; a scene whose name holds "mask" is masked (and
# conditioned, as slscan-mask does by default), "maskonly" masked only.
declare -A scene=(
  [aa2-horse]="--texture"
  [aa2-sphere]="--texture --object sphere"
  [aa4-horse]="--aa 4 --texture"
  [sample-horse]="$sample"
  [sample-sphere]="$sample --object sphere"
  [noisy-mask-horse]="$sample --noise 2 --black 16"
  [real-mask-horse]="$sample $real"
  [aa2-vase]="--texture --object vase"
  [sample-vase]="$sample --object vase"
  [aa2-noisy-mask-horse]="--texture --noise 2 --black 16"
  [aa2-noisy-mask-vase]="--texture --object vase --noise 2 --black 16"
  [aa2-real-mask-horse]="--texture $real"
  [aa2-real-mask-vase]="--texture --object vase $real"
  # One camera effect at a time on the default render, each masked, against
  # the clean render masked alike.
  [aa2-mask-horse]="--texture"
  [aa2-blur1-mask-horse]="--texture --blur 1"
  [aa2-crosstalk-mask-horse]="--texture --crosstalk 0.25"
  [aa2-gamma-mask-horse]="--texture --gamma 2.2"
  [aa2-highlight-mask-horse]="--texture --specular 1"
  # Masked as slscan-model's dense way masks: the contrast mask without the
  # conditioning, whose rewritten photographs move the boundaries' positions.
  [aa2-noisy-maskonly-horse]="--texture --noise 2 --black 16"
  [aa2-noisy-maskonly-vase]="--texture --object vase --noise 2 --black 16"
  [aa2-real-maskonly-horse]="--texture $real"
)
scenes=${DENSE_SCENES:-aa2-horse aa2-sphere aa4-horse sample-horse sample-sphere noisy-mask-horse real-mask-horse
  aa2-vase sample-vase aa2-noisy-mask-horse aa2-noisy-mask-vase aa2-real-mask-horse aa2-real-mask-vase
  aa2-mask-horse aa2-blur1-mask-horse aa2-crosstalk-mask-horse aa2-gamma-mask-horse aa2-highlight-mask-horse
  aa2-noisy-maskonly-horse aa2-noisy-maskonly-vase aa2-real-maskonly-horse}

# measure DIR WAY OPTION CROSSINGS: one row.
measure() {
  local dir=$1 way=$2 option=$3 crossings=$4 t0 t1 json
  t0=$(date +%s.%N)
  (cd "$dir" && "$build/slscan" $option > /dev/null 2>&1) || true
  t1=$(date +%s.%N)
  json=$("$build/tools/slscan-eval" --json "$dir")
  python3 - "$json" "$way" "$crossings" "$(awk "BEGIN {print $t1 - $t0}")" "$dir" << 'PY'
import json, sys
r = json.loads(sys.argv[1]); way, crossings, seconds, name = sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
n = r["points"]
print("| %s | %s | %d | %.1f x | %.4f | %.4f | %.2f %% | %.3f %% | %.2f s |" % (
    name.split("/")[-1], way, n, n / max(crossings, 1), r["median"], r["p90"],
    100 * r["within1"], 100 * r["beyond5"], seconds))
PY
}

echo "| scene | way | points | x crossings | median | p90 | within 1 | beyond 5 | time |"
echo "|---|---|---|---|---|---|---|---|---|"
for s in $scenes; do
  raw=$root/$s-raw
  "$build/tools/slscan-render" --reuse ${scene[$s]} "$raw" > /dev/null 2>&1
  dir=$raw
  if [[ $s == *maskonly* ]]; then
    dir=$root/$s
    "$build/tools/slscan-mask" --quiet --no-condition "$raw" "$dir" > /dev/null 2>&1
  elif [[ $s == *mask* ]]; then
    dir=$root/$s
    "$build/tools/slscan-mask" --quiet "$raw" "$dir" > /dev/null 2>&1
  fi
  (cd "$dir" && "$build/slscan" > /dev/null 2>&1) || true
  crossings=$(wc -l < "$dir/pontos.txt")
  measure "$dir" crossings "" "$crossings"
  measure "$dir" dense --dense "$crossings"
  measure "$dir" "dense + fill" --fill "$crossings"
done
