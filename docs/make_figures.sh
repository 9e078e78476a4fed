#!/usr/bin/env bash
# Makes the pictures in docs/ again, each with the commands the README prints
# under it, so that a picture never shows what its command no longer makes.
#   docs/make_figures.sh        (or: make docs)
#   docs/preview.png  the sample scan's mesh, shaded: `make sample` (tools/sample.sh)
#   docs/cloud.png    slscan-render --texture DIR, then slscan, slscan-cloud
#                     and slscan-preview in DIR
# The scratch scans go to work/ (git-ignored); BUILD names the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
tools=$build/tools

echo "== docs/preview.png: the sample scan"
SAMPLE_DIR=work/sample BUILD="$build" tools/sample.sh
cp work/sample/masked/preview.png docs/preview.png

echo
echo "== docs/cloud.png: a textured horse"
cloud=work/docs/h
rm -rf "$cloud"
mkdir -p "$cloud"
"$tools/slscan-render" --texture "$cloud"
(cd "$cloud" && "$OLDPWD/$build/slscan" > console.txt)
"$tools/slscan-cloud" "$cloud"
"$tools/slscan-preview" "$cloud"
cp "$cloud/preview.png" docs/cloud.png
echo
echo "Wrote docs/preview.png and docs/cloud.png."
