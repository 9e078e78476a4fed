#!/usr/bin/env bash
# From folders of photographs to meshes and their previews in one command,
# for those who do not want to run five programs one after another. Installed
# as slscan-model; in the source tree it is tools/model.sh (make model).
usage() {
  cat << 'EOF'
Usage: slscan-model [OPTIONS] SCAN_DIR...

From the photographs in SCAN_DIR/cavalo to SCAN_DIR/model: the masked
photographs, the point files, cloud.ply, mesh.ply and mesh.stl, preview.png,
and model.log with everything the tools printed. The steps: slscan-mask
(the contrast mask; with --crossings its conditioning too), slscan --dense
(a point on every stripe boundary; --crossings below for the crossings
only), slscan-cloud, slscan-mesh (when it is built), slscan-preview.

Several scan folders are run one after another, each with one summary line;
each folder is independent, so they can also be spread over cores or machines
(GNU parallel, a Slurm job array: see the README, "Many scans").

Options:
  -h, --help        Print this usage and exit
  --threshold T     slscan-mask's threshold, 0 to 256, for every view
                    (default: chosen per view)
  --rig FILE        The rig file of the photographs, given to every step
                    (default: SCAN_DIR/rig.json when there is one, else the
                    built-in rig)
  --out OUT_DIR     With one SCAN_DIR: the results there instead of
                    SCAN_DIR/model
  --crossings       slscan's points at the stripe crossings only, instead of
                    a point on every stripe boundary (slscan --dense)

A folder that cannot be used (no cavalo/, photographs that are not BMP) is
refused before anything is written. One folder shows a line a step with its
time; a step that fails stops that folder, with the end of its log.
Exit status: 0 every folder done, 1 a fault in a folder's data (the others
still run), 2 a usage error.
Environment: BUILD names the build folder in the source tree (default
build); SLSCAN_THREADS caps the cores; MODEL_TIMES=FILE appends a line a
step to FILE: its name, wall, user and system seconds and peak memory (KB),
measured by GNU time (bench/model_time.sh reads it).
EOF
}
set -uo pipefail
here=$(cd "$(dirname "$(realpath "$0")")" && pwd)
if [ -x "$here/slscan-mask" ]; then  # installed: the tools beside the script
  bin=$here
  tools=$here
else  # the source tree's tools/model.sh
  bin=$(cd "$here/.." && realpath -m "${BUILD:-build}")
  tools=$bin/tools
fi
fault() { echo "slscan-model: $1" >&2; exit 2; }

mask_options=()
rig=()
out_option=
# The dense points by default; their normals need more neighbours than the
# crossings' (a point's nearest all lie on its own boundary). The mesh takes
# the cloud's normals as they are: those keep each point's neighbours to the
# side that saw it, and a refit on as many neighbours without that rule
# mixes the two sides of a thin part and joins legs that stand close. Octree
# depth 7 (cells of about 0.6 units on the horse) follows the dense points
# as closely as depth 8 and bridges fewer narrow gaps, in half the time.
points=(--dense)
# The dense way masks only: it repairs the decoder's class lines itself and
# reads each boundary's position from the photographs' light beside it,
# which the mask's conditioning rewrites where it moves a switch (the noisy
# horse's median 0.021 with it, 0.020 without).
mask_way=(--no-condition)
cloud_options=(--k 64)
mesh_options=(--cloud-normals --depth 7)
scans=()
while [ "$#" -gt 0 ]; do
  case $1 in
    -h|--help) usage; exit 0 ;;
    --threshold) [ "$#" -ge 2 ] || fault "--threshold needs a value (see --help)"
                 mask_options=(--threshold "$2"); shift 2 ;;
    --rig) [ "$#" -ge 2 ] || fault "--rig needs a file (see --help)"
           [ -f "$2" ] || fault "no rig file \"$2\""
           rig=(--rig "$(realpath "$2")"); shift 2 ;;
    --out) [ "$#" -ge 2 ] || fault "--out needs a folder (see --help)"
           out_option=$2; shift 2 ;;
    --crossings) points=(); mask_way=(); cloud_options=(); mesh_options=(); shift ;;
    --) shift; scans+=("$@"); break ;;
    -*) fault "unknown option \"$1\" (see --help)" ;;
    *) scans+=("$1"); shift ;;
  esac
done
[ "${#scans[@]}" -ge 1 ] || fault "no SCAN_DIR given (see --help)"
if [ -n "${MODEL_TIMES:-}" ]; then  # step 2 runs in the output folder
  [ -x /usr/bin/time ] || fault "MODEL_TIMES needs GNU time (/usr/bin/time; Debian: time)"
  MODEL_TIMES=$(realpath -m "$MODEL_TIMES")
fi
[ -z "$out_option" ] || [ "${#scans[@]}" -eq 1 ] || fault "--out takes one SCAN_DIR, not ${#scans[@]}"
for tool in "$bin/slscan" "$tools/slscan-mask" "$tools/slscan-cloud" "$tools/slscan-preview"; do
  [ -x "$tool" ] || fault "$tool is not built (make build)"
done
mesh=$tools/slscan-mesh
steps=5
verbose=$([ "${#scans[@]}" -eq 1 ] && echo 1 || echo 0)

# refused SCAN_DIR: why the folder cannot be used, or nothing. cavalo/ and the
# photographs in it may be links (a scan kept once, modelled from several
# folders).
refused() {
  local scan=$1 photo
  [ -d "$scan/cavalo" ] || { echo "no cavalo/ in \"$scan\""; return; }
  photo=$(find -L "$scan/cavalo" -maxdepth 1 -type f -iname '*.bmp' -print -quit)
  [ -n "$photo" ] && return
  photo=$(find -L "$scan/cavalo" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' \
            -o -iname '*.png' \) -print -quit)
  if [ -n "$photo" ]; then
    local kind=JPEG ext=${photo##*.}
    case $ext in [pP][nN][gG]) kind=PNG ;; esac
    echo "\"$scan/cavalo\" holds $kind photographs (\"${photo##*/}\"), and the scanner reads" \
         "24-bit BMP only: convert them first, e.g. with ImageMagick: cd \"$scan/cavalo\" &&" \
         "mogrify -format bmp -type TrueColor -define bmp:format=bmp3 *.$ext"
  else
    echo "no photographs in \"$scan/cavalo\""
  fi
}

# step N NAME COMMAND...: runs the command with its output in the log; with
# one folder, shows NAME while it runs and its time when it is done.
step() {
  local n=$1 name=$2; shift 2
  local t0 t1 rc
  t0=$(date +%s.%N)
  if [ "$verbose" = 1 ] && [ -t 1 ]; then printf '[%d/%d] %-44s ...' "$n" "$steps" "$name"; fi
  echo "== $name: $*" >> "$log"
  if [ -n "${MODEL_TIMES:-}" ]; then
    local tool=${name##*(}
    /usr/bin/time -a -o "$MODEL_TIMES" -f "${tool%)} %e %U %S %M" "$@" >> "$log" 2>&1
  else
    "$@" >> "$log" 2>&1
  fi
  rc=$?
  t1=$(date +%s.%N)
  if [ "$verbose" = 1 ]; then
    [ -t 1 ] && printf '\r'
    printf '[%d/%d] %-44s %6.2f s%s\n' "$n" "$steps" "$name" "$(awk "BEGIN {print $t1 - $t0}")" \
      "$([ "$rc" -eq 0 ] || echo "  (status $rc)")"
  fi
  return "$rc"
}

# model SCAN_DIR OUT_DIR: the whole path for one folder, ending in its
# summary line; returns 0, 1 (a fault in its data) or 2 (refused).
model() {
  local scan=$1 out=$2 why rc status=0 notes="" made=0 start end
  why=$(refused "$scan")
  if [ -n "$why" ]; then echo "slscan-model: $scan: refused: $why" >&2; return 2; fi
  local rig_used=("${rig[@]}")
  if [ "${#rig_used[@]}" -eq 0 ] && [ -f "$scan/rig.json" ]; then
    rig_used=(--rig "$(realpath "$scan/rig.json")")
  fi
  [ -d "$out" ] || made=1
  if ! mkdir -p "$out"; then echo "slscan-model: $scan: cannot create \"$out\"" >&2; return 2; fi
  out=$(cd "$out" && pwd)
  log=$out/model.log
  : > "$log"
  start=$(date +%s.%N)
  # stop NAME STATUS: the summary line of a folder whose step failed.
  stop() {
    echo "slscan-model: $scan: $1 failed (status $2); the end of $log:" >&2
    tail -n 5 "$log" >&2
  }
  step 1 "mask the photographs (slscan-mask)" "$tools/slscan-mask" --quiet \
    "${mask_way[@]}" "${mask_options[@]}" "${rig_used[@]}" "$scan" "$out"
  rc=$?
  if [ "$rc" -eq 2 ]; then  # refused: nothing of this run is left behind
    stop slscan-mask "$rc"
    [ "$made" = 1 ] && rm -rf -- "$out"
    return 2
  elif [ "$rc" -ne 0 ]; then
    notes+=" (some views passed through unmasked: see $log)"
    status=1
  fi
  (cd "$out" && step 2 "photographs to points (slscan)" "$bin/slscan" "${points[@]}" "${rig_used[@]}")
  rc=$?
  if [ "$rc" -eq 1 ]; then
    notes+=" (slscan could not use every photograph: see $log)"
    status=1
  elif [ "$rc" -ne 0 ]; then
    stop slscan "$rc"; return 1
  fi
  step 3 "coloured, cleaned cloud (slscan-cloud)" "$tools/slscan-cloud" "${cloud_options[@]}" \
    "${rig_used[@]}" "$out" ||
    { stop slscan-cloud $?; return 1; }
  if [ -x "$mesh" ]; then
    step 4 "mesh (slscan-mesh)" "$mesh" "${mesh_options[@]}" "${rig_used[@]}" "$out" ||
      { stop slscan-mesh $?; return 1; }
  elif [ "$verbose" = 1 ]; then
    printf '[4/%d] %-44s skipped: slscan-mesh is not built\n' "$steps" "mesh (slscan-mesh)"
  fi
  step 5 "preview (slscan-preview)" "$tools/slscan-preview" "${rig_used[@]}" "$out" ||
    { stop slscan-preview $?; return 1; }
  end=$(date +%s.%N)
  printf 'slscan-model: %s: %s in %.2f s (rig: %s): ' "$scan" "$out" \
    "$(awk "BEGIN {print $end - $start}")" "${rig_used[1]:-the built-in rig}"
  for f in cloud.ply mesh.ply mesh.stl preview.png; do [ -f "$out/$f" ] && printf '%s ' "$f"; done
  echo "$notes"
  return "$status"
}

worst=0
for scan in "${scans[@]}"; do
  scan=${scan%/}
  model "$scan" "${out_option:-$scan/model}"
  rc=$?
  # A folder refused among several is a fault of the data; alone, a usage error.
  [ "$rc" -eq 2 ] && [ "${#scans[@]}" -gt 1 ] && rc=1
  [ "$rc" -gt "$worst" ] && worst=$rc
done
exit "$worst"
