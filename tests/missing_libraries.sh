#!/usr/bin/env bash
# A machine without the tools' and the tests' libraries, made by hiding them
# from CMake: the configure still succeeds with slscan in it, names each
# missing Debian package and what it skips; with SLSCAN_REQUIRE_ALL it fails
# naming them instead.
#   tests/missing_libraries.sh SOURCE_DIR WORK_DIR
set -uo pipefail
source=$1
work=$2
hide=(-DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON -DCMAKE_DISABLE_FIND_PACKAGE_nanoflann=ON
      -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for require in OFF ON; do
  rm -rf "$work"
  out=$(cmake -S "$source" -B "$work" -DSLSCAN_REQUIRE_ALL=$require "${hide[@]}" 2>&1)
  status=$?
  if [ "$require" = OFF ] && [ "$status" -ne 0 ]; then fail "configure failed: $out"; fi
  if [ "$require" = ON ] && [ "$status" -eq 0 ]; then fail "configure with SLSCAN_REQUIRE_ALL passed"; fi
  for expected in "slscan-preview (needs libpng-dev)" \
      "slscan-cloud (needs libnanoflann-dev)" "the tests (needs libgtest-dev)" \
      "the benchmarks (needs libbenchmark-dev)" \
      "apt-get install --no-install-recommends libpng-dev libnanoflann-dev libgtest-dev libbenchmark-dev"; do
    grep -qF -- "$expected" <<< "$out" || fail "REQUIRE_ALL=$require: no \"$expected\" in: $out"
  done
done
# The program and the tools that need no library are still there to build.
rm -rf "$work"
cmake -S "$source" -B "$work" "${hide[@]}" > /dev/null 2>&1
targets=$(cmake --build "$work" --target help 2>&1)
for t in slscan slscan-render slscan-mask slscan-eval; do
  grep -q "\.\.\. $t\$" <<< "$targets" || fail "no target $t"
done
for t in slscan-cloud slscan-preview slscan_tests; do
  grep -q "\.\.\. $t\$" <<< "$targets" && fail "target $t despite its missing library"
done
# Without the command-line library every tool is skipped, and slscan still builds.
rm -rf "$work"
out=$(cmake -S "$source" -B "$work" -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON 2>&1) || fail "configure failed: $out"
grep -qF "every tool (needs libcli11-dev)" <<< "$out" || fail "no CLI11 message in: $out"
targets=$(cmake --build "$work" --target help 2>&1)
grep -q "\.\.\. slscan\$" <<< "$targets" || fail "no target slscan without CLI11"
grep -q "\.\.\. slscan-render\$" <<< "$targets" && fail "target slscan-render without CLI11"
rm -rf "$work"
# Without Open3D only the mesh tool goes; the report and the preview that read
# meshes stay.
rm -rf "$work"
out=$(cmake -S "$source" -B "$work" -DCMAKE_DISABLE_FIND_PACKAGE_Open3D=ON 2>&1)
grep -qF "slscan-mesh (needs libopen3d-dev)" <<< "$out" || fail "no Open3D message in: $out"
targets=$(cmake --build "$work" --target help 2>&1)
grep -q "\.\.\. slscan-mesh\$" <<< "$targets" && fail "target slscan-mesh without Open3D"
for t in slscan-eval slscan-preview; do
  grep -q "\.\.\. $t\$" <<< "$targets" || fail "no target $t without Open3D"
done
rm -rf "$work"
[ "$failures" -eq 0 ] && echo "ok"
exit "$failures"
