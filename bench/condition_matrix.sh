#!/usr/bin/env bash
# slscan-mask's conditioning judged on rendered scans with known truth: for
# each object, plain and textured, it renders the scans of the effects of real
# cameras (kept under work/m19 for later runs), masks each with the contrast
# mask alone (--no-condition) and with the conditioning, runs slscan and
# reports points, within 1 and beyond 5 units, and the points within 1 unit as
# a share of the clean scan's (noise-free, no effects, raw slscan).
#   bench/condition_matrix.sh        (MATRIX_OBJECTS="horse" for some objects only;
#                                     MATRIX_SCENES="x50 b2 photo" for other scenes)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
root=${MATRIX_DIR:-work/m19}
for t in slscan slscan-render slscan-mask slscan-eval; do
  [ -x "$build/$t" ] || [ -x "$build/tools/$t" ] || { echo "build first: make build" >&2; exit 1; }
done
mkdir -p "$root"

# Scene name : what it adds to the sample's optics (--aa 1 --blur 0.7; a later
# --blur wins).
real="--gamma 2.2 --crosstalk 0.2 --projector-black 0.05 --ambient 0.3 --vignetting 0.6 --specular 1"
real="$real --exposure 1.5 --white-balance 0.8,1,1.2 --noise 2"
declare -A effect=(
  [x25]="--crosstalk 0.25"
  [x50]="--crosstalk 0.5"
  [cyc]="--crosstalk-matrix 1,0.4,0,0,1,0.4,0.4,0,1"
  [b1n2]="--blur 1 --noise 2"
  [b2]="--blur 2"
  [photo]="--gamma 2.2 --projector-black 0.1 --ambient 0.5 --vignetting 0.5 --exposure 3 --white-balance 0.7,1,1.3"
  [photo1]="--gamma 2.2 --projector-black 0.1 --ambient 0.5 --vignetting 0.5 --white-balance 0.7,1,1.3"
  [real]="$real"
  [real-b1]="$real --blur 1"
)
declare -A label=(
  [x25]="crosstalk 0.25" [x50]="crosstalk 0.5" [cyc]="cyclic crosstalk 0.4"
  [b1n2]="blur 1, noise 2" [b2]="blur 2" [photo]="gamma, black, ambient, vignetting, exposure x3, white balance"
  [photo1]="the same, exposure x1"
  [real]="realistic combination" [real-b1]="realistic, blur 1"
)
objects=${MATRIX_OBJECTS:-horse sphere board}
scenes=${MATRIX_SCENES:-x25 b1n2 real real-b1}

render() {
  local name=$1; shift
  "$build/tools/slscan-render" --reuse --aa 1 --blur 0.7 "$@" "$root/$name" > /dev/null 2>&1
}

# scan DIR: slscan in DIR; prints "points within1 beyond5 within1count".
scan() {
  (cd "$1" && "$OLDPWD/$build/slscan" > console.txt 2> errors.txt) || true
  "$build/tools/slscan-eval" --json "$1" | sed 's/[{},":]/ /g' | awk '{
    for (i = 1; i < NF; ++i) v[$i] = $(i + 1)
    printf "%d %.2f %.3f %d\n", v["points"], 100 * v["within1"], 100 * v["beyond5"],
           v["points"] * v["within1"] + 0.5 }'
}

# masked SOURCE TAG [OPTIONS]: masks SOURCE into SOURCE-TAG, scans it.
masked() {
  local src=$1 out=$1-$2; shift 2
  "$build/tools/slscan-mask" --quiet "$@" "$src" "$out" > "$out.report" 2> "$out.errors" || true
  cp "$src/scene.txt" "$out/"
  scan "$out"
}

share() { awk "BEGIN {printf \"%.3f\", $1 / $2}"; }

printf '| scene | points (mask / conditioned) | within 1 | beyond 5 | share of clean good points |\n'
printf '|---|---|---|---|---|\n'
for object in $objects; do
  for texture in "" "--texture"; do
    tag="$object${texture:+-tex}"
    render "$tag-clean" --object "$object" $texture
    read -r p w b base <<< "$(scan "$root/$tag-clean")"
    read -r p2 w2 b2 c2 <<< "$(masked "$root/$tag-clean" mc)"
    printf '| %s, clean | %s / %s | %s / %s %% | %s / %s %% | 1 / %s |\n' "$tag" "$p" "$p2" "$w" "$w2" \
      "$b" "$b2" "$(share "$c2" "$base")"
    for scene in $scenes; do
      render "$tag-$scene" --object "$object" $texture ${effect[$scene]}
      read -r p w b c <<< "$(masked "$root/$tag-$scene" mn --no-condition)"
      read -r p2 w2 b2 c2 <<< "$(masked "$root/$tag-$scene" mc)"
      printf '| %s, %s | %s / %s | %s / %s %% | %s / %s %% | %s / %s |\n' "$tag" "${label[$scene]}" \
        "$p" "$p2" "$w" "$w2" "$b" "$b2" "$(share "$c" "$base")" "$(share "$c2" "$base")"
    done
  done
done
