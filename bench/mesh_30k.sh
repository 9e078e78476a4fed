#!/usr/bin/env bash
# Time and peak memory of slscan-mesh on a cloud of 30,000 points.
#
# No single render gives that many good points, so this renders the horse
# six times (plain and textured, noise-free and with sensor noise of three
# seeds, each masked), runs slscan and slscan-cloud on each and joins the
# first 30,000 points of their clouds into one cloud: the same surface
# sampled five times as densely, with the scans' own noise. Then it runs
# slscan-mesh RUNS times (wall time and peak resident memory from GNU time)
# and measures the mesh with slscan-eval --mesh.
#
#   bench/mesh_30k.sh [WORK_DIR] [RUNS]     (defaults: work/mesh30k, 3)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
work=${1:-work/mesh30k}
runs=${2:-3}
points=30000
cmake --build "$build" -j 2 --target slscan slscan-render slscan-mask slscan-cloud slscan-mesh \
  slscan-eval > /dev/null
mkdir -p "$work"
clouds=()
i=0
for options in "" "--texture" "--noise 2 --black 16 --seed 1" "--noise 2 --black 16 --seed 2" \
               "--texture --noise 2 --black 16 --seed 3" "--noise 2 --black 16 --seed 4"; do
  dir=$work/scan$i
  # shellcheck disable=SC2086
  "$build/tools/slscan-render" --reuse --aa 1 --blur 0.7 $options "$dir" > /dev/null 2>&1
  "$build/tools/slscan-mask" --quiet "$dir" "$dir/masked" > /dev/null
  (cd "$dir/masked" && "$OLDPWD/$build/slscan" > console.txt)
  "$build/tools/slscan-cloud" "$dir/masked" > /dev/null
  clouds+=("$dir/masked/cloud.ply")
  i=$((i + 1))
done
joined=$work/joined
mkdir -p "$joined"
cp "$work/scan0/scene.txt" "$joined/"
# The clouds share one layout (a header, then 27 bytes a point): join their bodies.
python3 - "$joined/cloud.ply" "$points" "${clouds[@]}" <<'PY'
import sys
out, want, paths = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
header, body = None, b""
for p in paths:
    data = open(p, "rb").read()
    end = data.index(b"end_header\n") + 11
    header = header or data[:end].decode()
    body += data[end:]
n = min(want, len(body) // 27)
lines = [l for l in header.splitlines() if not l.startswith("element vertex")]
lines.insert(2, "element vertex %d" % n)
open(out, "wb").write(("\n".join(lines) + "\n").encode() + body[:27 * n])
print("joined %d points from %d clouds into %s" % (n, len(paths), out))
PY
for r in $(seq "$runs"); do
  /usr/bin/time -f "run $r: %e s wall, %U s user, peak resident memory %M KB" \
    "$build/tools/slscan-mesh" "$joined" > "$joined/mesh.txt"
done
cat "$joined/mesh.txt"
"$build/tools/slscan-eval" --mesh "$joined"
