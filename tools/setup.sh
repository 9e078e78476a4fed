#!/usr/bin/env bash
# The one list of the Debian packages this project needs, and the set-up that
# installs the missing ones. `tools/sample.sh` (and so `make sample`),
# `make test` and `.ci/run` all start here, so what they need cannot drift
# apart. Needs nothing but bash and apt: on a bare Debian 12 it brings the
# build tools (make, cmake, g++) too.
#
#   tools/setup.sh [sample|test|ci]   (default: test)
#     sample  build tools and the tools' libraries (what `make sample` needs)
#     test    the above, GoogleTest, Google Benchmark and valgrind (`make test`)
#     ci      the above, clang and its sanitizer runtime (`.ci/run`: fuzzing)
#   tools/setup.sh --list [PURPOSE]   print the packages, one a line
#
# Packages already installed are left alone. As root it installs with
# apt-get; otherwise with sudo when sudo can be used; where neither can, it
# prints the one apt-get line to run and stops with status 1. Where there is
# no dpkg (not Debian), or SLSCAN_SETUP=skip, it installs nothing and lets
# CMake name what is missing.
set -euo pipefail

# package | purpose that first needs it | why
packages="\
make               | sample | runs the build and the sample
cmake              | sample | configures the build
g++                | sample | compiles the C++17 sources
libpng-dev         | sample | slscan-preview writes PNG pictures
libnanoflann-dev   | sample | slscan-cloud's neighbour search
libcli11-dev       | sample | the tools' command lines
libopen3d-dev      | sample | slscan-mesh builds meshes
nlohmann-json3-dev | sample | the rig file (JSON) of slscan --rig and the tools
libopencv-calib3d-dev | sample | slscan-calibrate: chessboard corners, camera and stereo calibration
libopencv-imgcodecs-dev | sample | slscan-calibrate reads BMP, PNG, JPEG and TIFF photographs
libeigen3-dev      | sample | small dense linear algebra (fits, eigenproblems) in the tools
libgtest-dev       | test   | the tests (GoogleTest)
libbenchmark-dev   | test   | the benchmarks in bench/
valgrind           | test   | a test runs slscan under memcheck
python3            | test   | tests/mutants.py, and the test that its planted faults find their code
clang              | ci     | the fuzz targets (libFuzzer)
libclang-rt-14-dev | ci     | clang's fuzzer and sanitizer runtimes"

purpose_rank() {
  case "$1" in
    sample) echo 1 ;;
    test) echo 2 ;;
    ci) echo 3 ;;
    *) echo "setup: unknown purpose \"$1\" (sample, test or ci)" >&2; exit 2 ;;
  esac
}

list=no
if [ "${1:-}" = --list ]; then list=yes; shift; fi
case "${1:-}" in
  -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
esac
purpose=${1:-test}
rank=$(purpose_rank "$purpose")

# The packages PURPOSE needs, with their reasons: "name|why" lines.
wanted=()
while IFS='|' read -r name need why; do
  name=${name// /}
  need=${need// /}
  [ "$(purpose_rank "$need")" -le "$rank" ] || continue
  wanted+=("$name|${why# }")
done <<< "$packages"

if [ "$list" = yes ]; then
  for entry in "${wanted[@]}"; do echo "${entry%%|*}"; done
  exit 0
fi

if [ "${SLSCAN_SETUP:-}" = skip ]; then
  exit 0
fi
if ! command -v dpkg-query > /dev/null 2>&1 || ! command -v apt-get > /dev/null 2>&1; then
  echo "setup: no dpkg/apt-get here; install the equivalents of these Debian packages yourself:" >&2
  for entry in "${wanted[@]}"; do echo "  ${entry%%|*}" >&2; done
  exit 0
fi

missing=()
for entry in "${wanted[@]}"; do
  name=${entry%%|*}
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$name" 2> /dev/null || true)
  [ "${status:1:1}" = i ] || missing+=("$entry")  # "ii", or "hi" when held
done
if [ "${#missing[@]}" -eq 0 ]; then
  echo "setup: the ${#wanted[@]} Debian packages for \"$purpose\" are installed."
  exit 0
fi

names=()
echo "setup: ${#missing[@]} of the ${#wanted[@]} Debian packages for \"$purpose\" are missing:"
for entry in "${missing[@]}"; do
  names+=("${entry%%|*}")
  printf '  %-20s %s\n' "${entry%%|*}" "${entry#*|}"
done
line="apt-get install -y --no-install-recommends ${names[*]}"

if [ "$(id -u)" -eq 0 ]; then
  run=()
elif command -v sudo > /dev/null 2>&1 && { sudo -n true 2> /dev/null || [ -t 0 ]; }; then
  run=(sudo)
  echo "setup: installing them with sudo (it may ask for your password)."
else
  echo "setup: cannot install them here (not root, and no sudo that can be used). As root, run:" >&2
  echo "  apt-get update && $line" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
echo "setup: apt-get update (the package lists)"
"${run[@]}" apt-get update
echo "setup: $line"
"${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${names[@]}"
echo "setup: done in ${SECONDS} s; the ${#wanted[@]} Debian packages for \"$purpose\" are installed."
