#!/usr/bin/env bash
# The mask judged on rendered scans with known truth: for each scene of the
# matrix (object, texture, noise, black level; all with the optics blur) it
# renders the scan once (kept under work/matrix for later runs), masks it with
# the automatic threshold, runs slscan on the masked photographs and reports
# the accuracy beside the noise-free scan of the same object: points, median,
# within 1 and beyond 5 units, and the points within 1 unit as a share of the
# noise-free scan's. The noise-free scans are masked too, and shown raw.
#   bench/mask_matrix.sh [quick|full]   (quick: no board; full: every noise on every albedo;
#   MATRIX_OBJECTS="horse" for some objects only)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
root=${MATRIX_DIR:-work/matrix}
optics=${OPTICS:---aa 1 --blur 0.7}
for t in slscan slscan-render slscan-mask slscan-eval; do
  [ -x "$build/$t" ] || [ -x "$build/tools/$t" ] || { echo "build first: make build" >&2; exit 1; }
done
mkdir -p "$root"

# Noise sigma:black level. Each sigma is run clipped at black (level 0) on one
# albedo and unclipped (level 16) on the other; `full` runs every combination.
objects=${MATRIX_OBJECTS:-horse sphere board}
plain="1:0 2:16 4:0 8:16"
textured="1:16 2:0 4:16 8:0"
case "${1:-}" in
  quick) objects="horse sphere" ;;
  full) plain="1:0 1:16 2:0 2:16 4:0 4:16 8:0 8:16"; textured=$plain ;;
esac

# render NAME OPTIONS...: the scan in $root/NAME, made once.
render() {
  local name=$1; shift
  "$build/tools/slscan-render" --reuse $optics "$@" "$root/$name" > /dev/null 2>&1
}

# scan DIR: slscan in DIR; prints "points median within1 beyond5 within1count".
scan() {
  (cd "$1" && "$OLDPWD/$build/slscan" > console.txt 2> errors.txt) || true
  "$build/tools/slscan-eval" --json "$1" | sed 's/[{},":]/ /g' | awk '{
    for (i = 1; i < NF; ++i) v[$i] = $(i + 1)
    printf "%d %.3f %.2f %.2f %d\n", v["points"], v["median"], 100 * v["within1"],
           100 * v["beyond5"], v["points"] * v["within1"] + 0.5 }'
}

# masked SOURCE: masks SOURCE into SOURCE-masked, scans it; prints the scan
# figures and the median threshold of the views.
masked() {
  local out=$1-masked
  "$build/tools/slscan-mask" --quiet "$1" "$out" > "$out.report" 2> "$out.errors" || true
  local median
  median=$(awk '/median/ {sub(/\).*/, ""); sub(/.*median /, ""); print}' "$out.report")
  echo "$(scan "$out") ${median:-?}"
}

printf '| scene | run | points | median | within 1 | beyond 5 | within-1 points / noise-free | T (median) |\n'
printf '|---|---|---|---|---|---|---|---|\n'
for object in $objects; do
  for texture in "" "--texture"; do
    label="$object${texture:+, textured}"
    clean="${object}${texture:+-tex}-clean"
    render "$clean" --object "$object" $texture
    read -r p m w b c <<< "$(scan "$root/$clean")"
    printf '| %s, noise-free | slscan | %s | %s | %s %% | %s %% | 100 %% | |\n' "$label" "$p" "$m" "$w" "$b"
    base=$c
    read -r p m w b c t <<< "$(masked "$root/$clean")"
    printf '| %s, noise-free | masked | %s | %s | %s %% | %s %% | %s %% | %s |\n' "$label" "$p" "$m" "$w" "$b" \
      "$(awk "BEGIN {printf \"%.1f\", 100 * $c / $base}")" "$t"
    noises=$plain
    [ -n "$texture" ] && noises=$textured
    for nb in $noises; do
      sigma=${nb%%:*}; black=${nb##*:}
      name="${object}${texture:+-tex}-n${sigma}-b${black}"
      render "$name" --object "$object" $texture --noise "$sigma" --black "$black"
      read -r p m w b c t <<< "$(masked "$root/$name")"
      printf '| %s, noise %s, black %s | masked | %s | %s | %s %% | %s %% | %s %% | %s |\n' "$label" "$sigma" \
        "$black" "$p" "$m" "$w" "$b" "$(awk "BEGIN {printf \"%.1f\", 100 * $c / $base}")" "$t"
    done
  done
done
