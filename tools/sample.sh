#!/usr/bin/env bash
# The main job on the built-in sample scan: install what is missing, build,
# render the photographs of the horse once (later runs reuse them) as a real
# camera would take them (optics blur, sensor noise over a black level), mask
# them, run slscan on the masked photographs, report their accuracy, make the
# coloured and cleaned cloud, mesh it, and draw the mesh.
# For comparison, slscan also runs on the photographs as they are.
set -euo pipefail
# The dense points by default; their normals need more neighbours than the
# crossings' (a point's nearest all lie on its own boundary). The mesh takes
# the cloud's normals as they are: those keep each point's neighbours to the
# side that saw it, and a refit on as many neighbours without that rule
# mixes the two sides of a thin part and joins legs that stand close. Octree
# depth 7 (cells of about 0.6 units on the horse) follows the dense points
# as closely as depth 8 and bridges fewer narrow gaps, in half the time.
points=(--dense)
mask_way=(--no-condition)  # as slscan-model (tools/model.sh) masks for the dense way
cloud_options=(--k 64)
mesh_options=(--cloud-normals --depth 7)
case ${1:-} in
  --crossings) points=(); mask_way=(); cloud_options=(); mesh_options=() ;;
  -h|--help)
    cat << 'EOF'
Usage: tools/sample.sh [--crossings]   (or: make sample [CROSSINGS=1])

Installs what is missing, builds slscan and the tools, renders the sample
horse once (as a real camera would take it: optics blur, sensor noise over a
black level; later runs reuse it), masks it, runs slscan, reports the
accuracy, makes the coloured cloud and the mesh, and draws the mesh in
preview.png. slscan also runs on the unmasked photographs, for comparison.
slscan makes a point on every stripe boundary (slscan --dense); with
--crossings, only at the stripe crossings.
Environment: SAMPLE_DIR the work folder (default work/sample), BUILD the
build folder (default build), SAMPLE_RENDER slscan-render's options.
EOF
    exit 0 ;;
  "") ;;
  *) echo "sample.sh: takes no argument but --crossings, got \"$1\" (see --help)" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
build=${BUILD:-build}
work=${SAMPLE_DIR:-work/sample}
render_options=${SAMPLE_RENDER:---aa 1 --blur 0.7 --noise 2 --black 16 --texture}

# Installs what is missing (build tools included), then builds the program
# and the tools only, not the tests; CMake prints one line per step.
tools/setup.sh sample
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSLSCAN_TESTS=OFF -DSLSCAN_BENCH=OFF \
  -DSLSCAN_REQUIRE_ALL=ON
cmake --build "$build" -j 2 --target slscan slscan-render slscan-mask slscan-eval slscan-cloud \
  slscan-preview slscan-mesh
echo
mkdir -p "$work"
# shellcheck disable=SC2086
"$build/tools/slscan-render" --reuse $render_options "$work"

# run DIR: slscan in DIR, its last console line, its status.
run() {
  local status=0
  (cd "$1" && "$OLDPWD/$build/slscan" "${points[@]}" > console.txt) || status=$?
  tail -n 1 "$1/console.txt"
  return "$status"
}

echo "slscan on the photographs as they are ($work, console in $work/console.txt)"
run "$work" || echo "slscan failed on the raw photographs" >&2
"$build/tools/slscan-eval" "$work" | sed -n '/points in/,/beyond/p'
echo

masked=$work/masked
echo "slscan-mask: $work -> $masked"
"$build/tools/slscan-mask" --quiet "${mask_way[@]}" "$work" "$masked" | tail -n 1
echo "slscan on the masked photographs ($masked, console in $masked/console.txt)"
status=0
run "$masked" || status=$?
if [ "$status" -ne 0 ]; then
  echo "slscan failed with status $status" >&2
  exit "$status"
fi
echo
"$build/tools/slscan-eval" "$masked"
echo
"$build/tools/slscan-cloud" "${cloud_options[@]}" "$masked"
"$build/tools/slscan-eval" --cloud "$masked"
echo
"$build/tools/slscan-mesh" "${mesh_options[@]}" "$masked"
"$build/tools/slscan-eval" --mesh "$masked"
echo
"$build/tools/slscan-preview" "$masked"
echo "Point files: $masked/pontos.txt and $masked/pontos_<angle>.txt; cloud: $masked/cloud.ply"
echo "Mesh: $masked/mesh.ply (coloured) and $masked/mesh.stl (for slicers)"
