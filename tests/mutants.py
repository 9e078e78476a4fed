#!/usr/bin/env python3
"""Plants one-line faults in the program, one at a time, and checks that the
test suite fails on each. Builds in build-mutants (Release, as `make test`),
restores every file after each run, and prints one line a fault.

    tests/mutants.py            all faults (hours: a build and the tests each)
    tests/mutants.py 3 7        only faults 3 and 7
    tests/mutants.py --check    only that each fault's text is in its file,
                                exactly once (no build; a test runs this)

A fault the suite does not catch is listed as SURVIVED, one whose text is not
found (exactly once) as NOT FOUND; exit status 1 then.
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-mutants")

# (file, text to find (exactly once), replacement, what the fault is)
FAULTS = [
    ("decode/line_step.h", "if (q0 == kStripeNone || q1 == kStripeNone || q0 == q1) return -1;",
     "if (q0 == kStripeNone || q0 == q1) return -1;", "pattern 2 uncoloured at the pixel not tested"),
    ("driver/point_cloud.cpp", "cam1.pixelY = static_cast<double>(c1.y);",
     "cam1.pixelY = static_cast<double>(c2.y);", "camera 1's row from camera 2's cell"),
    ("driver/point_files.cpp", "const bool closeFailed = std::fclose(file) != 0;",
     "const bool closeFailed = (std::fclose(file), false);", "failed fclose ignored"),
    ("driver/scan.cpp", "if (verticalBoundaries->width != horizontalBoundaries->width ||\n"
     "        verticalBoundaries->height != horizontalBoundaries->height) {",
     "if (false) {", "vertical/horizontal size check removed"),
    ("driver/scan.cpp", "if (!runCamera(job, table)) ++faults.skippedCameras;",
     "runCamera(job, table);", "skipped cameras never counted"),
    ("driver/scan.cpp", 'std::fprintf(stderr, "slscan: angle %d, camera %d: %s failed; camera skipped.\\n",\n'
     "                     job.angle, job.camera, stage);", "(void)stage;", "stage-failed line dropped"),
    ("image/image.cpp", 'std::fprintf(stderr, "imgCreate: picture %d x %d is too large.\\n", width, height);',
     "", "imgCreate's too-large line dropped"),
    ("geometry/algebra.cpp", "for (int i = 0, n = 0; i < 4; ++i) {",
     "for (int i = 0, n = 0; i <= 4; ++i) {", "write past a stack array in the algebra"),
    ("image/bmp_read.cpp", "const int32_t fileRow = y0 + static_cast<int32_t>(r);",
     "const int32_t fileRow = static_cast<int32_t>(r);", "blocks after the first land on the first"),
    ("image/bmp_read.cpp",
     "if (static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height) > kImgMaxPixels) {",
     "if (false) {", "size cap removed"),
    ("image/bmp_read.cpp",
     "if (static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height) > kImgMaxPixels) {",
     "if (static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height) >= kImgMaxPixels) {",
     "cap off by one"),
    ("image/bmp_read.cpp", "if (!error && status.type() != std::filesystem::file_type::regular) {",
     "if (false) {", "reader opens FIFOs"),
    ("driver/point_files.cpp", "if (!error && status.type() != std::filesystem::file_type::regular) {",
     "if (false) {", "driver opens FIFO point files"),
    ("image/bmp_read.cpp", "out[0] = toFloat[in[2]];  // red", "out[0] = toFloat[in[0]];  // red",
     "red from the blue byte (pixels past the groups of four)"),
    ("image/bmp_layout.cpp", "if (layout->stride % 4 != 0) layout->stride = (layout->stride | 3) + 1;", "",
     "rows not padded"),
    ("image/bmp_layout.cpp",
     "if (offset < layout->headersEnd || offset > fileBytes || pixelBytes > fileBytes - offset)",
     "if (offset > fileBytes || pixelBytes > fileBytes - offset)", "pixel offset inside the headers taken"),
    ("image/bmp_read.cpp", "const int32_t y = topDown ? height - 1 - fileRow : fileRow;",
     "const int32_t y = fileRow;", "top-down files not flipped"),
    ("image/difference.cpp", "for (; i < n; ++i) d[i] = a[i] - b[i];\n    return out;",
     "for (; i < n; ++i) d[i] = b[i] - a[i];\n    return out;", "tail of the difference reversed"),
    ("decode/line_step.h", "return c != line->run;", "return c == line->run;", "run test inverted"),
    ("decode/boundary.cpp", "row - width + x, &line[x]", "row - 1 + x, &line[x]",
     "horizontal walk compares with the pixel to the left"),
    ("decode/boundary.cpp", "mark[2] = static_cast<float>(code / 255.0);",
     "mark[2] = static_cast<float>(code / 256.0);", "code scaled by 256"),
    ("decode/boundary.cpp", "for (size_t x = 1; x < width; ++x) {", "for (size_t x = 2; x < width; ++x) {",
     "vertical walk skips position 1"),
    ("decode/bcsl_code.h", "return d > 0 ? d - 1 : d + 2;", "return d > 0 ? d - 1 : d + 1;",
     "backward step wrong"),
    ("decode/bcsl_code.cpp", "p1Before == p1After || p2Before == p2After) {", "p1Before == p1After) {",
     "equal pattern-2 colours accepted"),
    ("decode/correspondence.h", "return y > height / 2 ? 1 : 0;", "return y >= height / 2 ? 1 : 0;",
     "middle row in the lower half"),
    ("decode/correspondence.cpp", "if (!(vp[0] > kMarked)) continue;", "if (!(vp[0] >= kMarked)) continue;",
     "red of exactly 0.001 counts as a mark"),
    ("decode/correspondence.h", "if (!filing->filled[cell] || x >= held.x) {",
     "if (!filing->filled[cell] || x > held.x) {", "equal x does not take the cell"),
    ("decode/correspondence.h", "return 72 * v + 36 * k + h;", "return 72 * h + 36 * k + v;",
     "codes swapped in the cell index"),
    ("geometry/camera.cpp", "if (0.01 * (s.x * s.x + s.y * s.y) < s.z * s.z) {",
     "if (0.02 * (s.x * s.x + s.y * s.y) < s.z * s.z) {", "rays-apart ratio changed"),
    ("geometry/camera.cpp", "const double h = s.z * 0.5;", "const double h = s.z * 0.25;", "not the midpoint"),
    ("geometry/algebra.cpp", "t * x * y - z * s, t * x * z + y * s, 0.0,", "t * x * y + z * s, t * x * z + y * s, 0.0,",
     "rotation sign"),
    ("geometry/algebra.cpp", "if (std::fabs(d) < 1e-8) return x;", "if (std::fabs(d) < 1e-6) return x;",
     "singular threshold"),
    ("geometry/algebra.cpp", "matAt(m, 0, 2) * minor3(m, rows, c2) - matAt(m, 0, 3) * minor3(m, rows, c3);",
     "matAt(m, 0, 2) * minor3(m, rows, c2) + matAt(m, 0, 3) * minor3(m, rows, c3);", "determinant sign"),
    ("driver/point_cloud.cpp", "matRotation(static_cast<double>(-angle), 0.0, 1.0, 0.0)",
     "matRotation(static_cast<double>(angle), 0.0, 1.0, 0.0)", "turned the wrong way"),
    ("driver/point_cloud.cpp", "if (c2.x == -1) continue;", "", "cells camera 2 never filled paired"),
    ("driver/scan.cpp", "if (!negative) return nullptr;", "", "missing negative not checked"),
    ("image/scan_layout.cpp", "angle < kScanFullTurn; angle += kBuiltInAngleStep)",
     "angle < kScanFullTurn - kBuiltInAngleStep; angle += kBuiltInAngleStep)", "last angle dropped"),
    ("driver/main.cpp", "#endif\n    if (points == 0) warnNoPoints();\n    return status;\n}",
     "#endif\n    return status;\n}", "a run without points not warned"),
    ("driver/main.cpp", "std::fputs(kHelp, stdout);\n            return 0;", "std::fputs(kHelp, stdout);",
     "the scan runs after --help"),
    ("driver/main.cpp", "for (int i = 1; i < argc; ++i) {\n        if (std::strcmp(argv[i], \"-h\")",
     "for (int i = 1; i < 2 && i < argc; ++i) {\n        if (std::strcmp(argv[i], \"-h\")",
     "--help heeded only as the first argument"),
    ("driver/point_cloud.cpp", "++points;", "", "points not counted"),
    ("image/image.cpp", "std::free(image->pixels);", "", "pixels leaked"),
    ("image/bmp_read.cpp", "    std::free(block);\n    imgStreamFence();", "    imgStreamFence();",
     "read block leaked"),
    ('image/bmp_read.cpp', 'const __m128 f0 = _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)), scale);',
     'const __m128 f0 = _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)), _mm_set1_ps(1.0f / 255.0f));', 'bytes scaled by the reciprocal of 255 (four pixels at a time)'),
    ('image/bmp_layout.cpp', 'if (layout->width <= 0 || layout->rawHeight == 0',
     'if (layout->width < 0 || layout->rawHeight == 0', 'width 0 accepted'),
    ('image/bmp_layout.cpp', 'uint64_t offset = le32(header + 10);',
     'uint64_t offset = layout->headersEnd;', 'pixel offset ignored'),
    ('image/bmp_layout.cpp', 'le16(header + 20) : static_cast<int32_t>(le32(header + 22));',
     'le16(header + 18) : static_cast<int32_t>(le32(header + 22));', "core header's height read from its width"),
    ('decode/line_step.h', 'if (line->run == kStripeNone || c == kStripeNone) {',
     'if (line->run == kStripeNone) {', 'uncoloured pattern-1 pixel taken as a change'),
    ('decode/line_step.h', '    line->run = static_cast<uint8_t>(c);\n    return code;',
     '    return code;', 'run colour kept after a mark'),
    ('decode/line_step.h', 'const int code = bcslStepCode(line->run, c, q1, q0);',
     'const int code = bcslStepCode(line->run, c, q0, q1);', 'pattern-2 colours swapped in the code'),
    ('decode/boundary.cpp', 'line[x] = bcslLineStart(classAt(p1, x));',
     'line[x] = bcslLineStart(classAt(p1, 0));', "every column starts with the first column's colour"),
    ('decode/bcsl_code.h', '2 * bcslStep(p1Before, p1After) +\n                         bcslStep(p2Before, p2After)]',
     'bcslStep(p1Before, p1After) +\n                         2 * bcslStep(p2Before, p2After)]',
     'steps swapped in the table index'),
    ('decode/correspondence.h', 'return y > height / 2 ? 1 : 0;',
     'return y > (height + 1) / 2 ? 1 : 0;', 'halves split below the middle row of odd heights'),
    ('image/difference.cpp', '_mm_sub_ps(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i))',
     '_mm_sub_ps(_mm_loadu_ps(b + i), _mm_loadu_ps(a + i))', 'difference reversed four channels at a time'),
    ('geometry/algebra.cpp', 'r.m[i + 4 * j] =',
     'r.m[4 * i + j] =', 'matrix product transposed'),
    # The tools' contract.
    ('tools/common/cli.cpp', 'app->exit(e, std::cout, std::cout);', 'app->exit(e, std::cerr, std::cerr);',
     'help and version on stderr'),
    ('tools/common/cli.cpp', '        return 2;', '        return 1;', 'usage errors with the data status'),
    ('tools/common/temp_files.cpp', 'g_slots[i].state.store(kArmed);', 'g_slots[i].state.store(kFilling);',
     'temporaries left behind on SIGINT'),
    ('tools/common/scan_points.cpp', 'if (in.eof()) {', 'if (false) {', 'a point file cut mid-line read'),
    ('tools/common/scan_folder.cpp', '!before(oldestPoints.time, newestSource.time))', 'true)',
     'point files older than their photographs believed'),
    ('tools/common/scan_folder.cpp', '!before(cloud.time, points.time)) return true;', 'true) return true;',
     'cloud.ply older than its points believed'),
    ('tools/eval/report.cpp', 'if (all.empty()) {', 'if (false) {', 'a scan without points measured'),
    ('tools/preview/preview_run.cpp', 'coloured = false;', ';', 'preview draws a stale cloud.ply'),
    ('tools/mask/mask_run.cpp', '    faults += carryFiles(scanDir, outDir, &messages);', '',
     'mask leaves scene.txt behind'),
]


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def check():
    """Each fault's text occurs exactly once in its file: code that moved or
    changed leaves a fault that plants nothing, which must not pass unseen."""
    missing = 0
    for n, (path, old, _, what) in enumerate(FAULTS, 1):
        full = os.path.join(ROOT, path)
        count = open(full).read().count(old) if os.path.exists(full) else -1
        if count != 1:
            where = "no file" if count < 0 else f"found {count} times"
            print(f"{n:2} NOT FOUND  {path} ({where}): {what}")
            missing += 1
    print(f"{len(FAULTS) - missing} of {len(FAULTS)} planted faults find their text")
    return 1 if missing else 0


def main():
    if sys.argv[1:] == ["--check"]:
        sys.exit(check())
    chosen = [int(a) for a in sys.argv[1:]] or range(1, len(FAULTS) + 1)
    if run(["cmake", "-S", ".", "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release", "-DSLSCAN_TESTS=ON",
            "-DSLSCAN_BENCH=OFF"]).returncode != 0 or \
            run(["cmake", "--build", BUILD, "-j", "2"]).returncode != 0:
        sys.exit("mutants: the unchanged tree does not build")
    survived = 0
    for n in chosen:
        path, old, new, what = FAULTS[n - 1]
        full = os.path.join(ROOT, path)
        original = open(full).read()
        if original.count(old) != 1:
            print(f"{n:2} NOT FOUND  {path}: {what}")
            survived += 1
            continue
        try:
            open(full, "w").write(original.replace(old, new))
            built = run(["cmake", "--build", BUILD, "-j", "2"]).returncode == 0
            caught = built and run(["ctest", "--test-dir", BUILD, "-j", "2", "--stop-on-failure",
                                       "--timeout", "200"]).returncode != 0
        finally:
            open(full, "w").write(original)
        verdict = "caught    " if caught else "SURVIVED  " if built else "NO BUILD  "
        print(f"{n:2} {verdict} {path}: {what}", flush=True)
        survived += not caught
    run(["cmake", "--build", BUILD, "-j", "2"])
    sys.exit(1 if survived else 0)


if __name__ == "__main__":
    main()
