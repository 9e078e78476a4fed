#!/usr/bin/env bash
# The main job on the built-in sample scan: build, render the photographs of
# the horse once (later runs reuse them), run slscan where they are, then
# report its accuracy and draw the cloud.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
work=${SAMPLE_DIR:-work/sample}

# The sample needs the program and the tools only, not the test framework.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSLSCAN_TESTS=OFF > /dev/null
cmake --build "$build" -j 2 --target slscan slscan-render slscan-eval slscan-preview > /dev/null
mkdir -p "$work"
"$build/tools/slscan-render" --reuse "$work"

echo "slscan: running in $work (console in $work/console.txt)"
status=0
(cd "$work" && "$OLDPWD/$build/slscan" > console.txt) || status=$?
tail -n 1 "$work/console.txt"
if [ "$status" -ne 0 ]; then
  echo "slscan failed with status $status" >&2
  exit "$status"
fi
echo
"$build/tools/slscan-eval" "$work"
echo
"$build/tools/slscan-preview" "$work"
echo "Point files: $work/pontos.txt and $work/pontos_<angle>.txt"
