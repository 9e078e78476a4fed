// slscan: turns the turntable scan in ./cavalo into the point files
// pontos.txt and pontos_<angle>.txt. With no argument it scans with the
// built-in rig exactly as it always has; --rig FILE scans with another rig,
// --print-rig writes a rig file (driver/scan_options.h). -h, --help and
// --version print and exit before anything is read or written; an argument
// slscan does not know is named in a warning and ignored.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "driver/dense_run.h"
#include "driver/scan.h"
#include "driver/scan_options.h"
#include "driver/scan_pool.h"
#include "image/scan_layout.h"
#ifdef SLSCAN_HAVE_RIG_FILE
#include "driver/rig_scan.h"
#include "geometry/rig_file.h"
#endif

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#ifndef SLSCAN_VERSION
#define SLSCAN_VERSION "unknown"
#endif

namespace {

const char kHelp[] =
    "Usage: slscan\n"
    "\n"
    "Reads the 192 photographs of a turntable scan from the folder cavalo in the\n"
    "working directory (12 angles x 2 cameras x 8 stripe photographs, named\n"
    "\"Cavalo Positivo 1 Camera 1 Rotacao 000 Vertical.bmp\" and so on) and writes\n"
    "the points it finds to the working directory:\n"
    "  pontos.txt           all angles, turned into the frame of the object\n"
    "  pontos_<angle>.txt   one file per angle (0, 30, ..., 330), as triangulated\n"
    "one point per line, \"x y z\" with six decimals. The README tells how to take\n"
    "the photographs and what the units and axes are.\n"
    "\n"
    "With no option slscan scans with its built-in rig. Options:\n"
    "  --rig FILE     scan with the rig in FILE (cameras, lenses, picture size,\n"
    "                 turntable; the README's \"The rig file\" tells its keys):\n"
    "                 the angles are those photographed, the points come out\n"
    "                 in the turntable's frame\n"
    "  --angles LIST  scan only these angles, e.g. 0,45,90 (whole degrees)\n"
    "  --print-rig    print the rig (the built-in one, or --rig FILE) as a rig\n"
    "                 file and exit\n"
    "  --dense        a point on every stripe boundary\n"
    "  --fill         with --dense, the pixels between boundaries too\n"
    "  -h, --help     print this text and exit\n"
    "  --version      print the version and exit\n"
    "Any other argument is ignored with a warning.\n"
    "\n"
    "Exit status: 0 when every photograph was read and every point file written,\n"
    "1 otherwise (each fault is named on standard error), 2 for a bad option or\n"
    "rig file, or photographs of another size than the rig's (nothing written).\n";

// Why a run may find no point at all, for the one warning that says so.
void warnNoPoints() {
    std::error_code error;
    const bool haveFolder = std::filesystem::is_directory("cavalo", error);
    std::fflush(stdout);
    if (!haveFolder) {
        std::fputs("slscan: warning: no point found: there is no folder \"cavalo\" here; run "
                   "slscan in the folder that holds cavalo/ with the 192 photographs.\n",
                   stderr);
        return;
    }
    std::fputs("slscan: warning: no point found at any angle, so the point files are empty; "
               "this usually means the photographs in cavalo/ are missing or misnamed, come "
               "from another rig or calibration, or show no stripes both cameras see (all "
               "dark, or all masked out).\n",
               stderr);
}

// The rig the options name (the built-in one without --rig), or status 2
// after a line naming the file and what is wrong in it.
#ifdef SLSCAN_HAVE_RIG_FILE
int loadRig(const ScanOptions& options, Rig* rig, std::string* name) {
    if (options.rigPath.empty()) {
        *rig = rigBuiltIn();
        *name = "the built-in rig";
        return 0;
    }
    std::string error;
    *name = options.rigPath;
    if (rigFileRead(options.rigPath, rig, &error)) return 0;
    std::fprintf(stderr, "slscan: %s\n", error.c_str());
    return 2;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    // -h, --help and --version answer at once, whatever else is there.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("slscan " SLSCAN_VERSION);
            return 0;
        }
    }
    ScanOptions options;
    std::string error;
    if (!scanOptionsParse(argc, argv, &options, &error)) {
        std::fprintf(stderr, "slscan: %s\n", error.c_str());
        return 2;
    }
    for (const std::string& arg : options.ignored)
        std::fprintf(stderr, "slscan: warning: ignoring argument \"%s\": not an option of slscan "
                             "(see slscan --help).\n",
                     arg.c_str());
#ifdef SLSCAN_HAVE_RIG_FILE
    Rig rig;
    std::string rigName;
    if (options.printRig) {
        if (const int status = loadRig(options, &rig, &rigName); status != 0) return status;
        std::fputs(rigFileFormat(rig).c_str(), stdout);
        return 0;
    }
    const bool useRig = scanOptionsUseRig(options);
    std::vector<int> angles;
    if (useRig) {
        if (const int status = loadRig(options, &rig, &rigName); status != 0) return status;
        if (const int status = rigScanPrepare(rig, rigName, options, &angles); status != 0)
            return status;
    }
#else
    if (options.printRig || scanOptionsUseRig(options)) {
        std::fputs("slscan: --rig, --angles and --print-rig are not built: they need the Debian "
                   "package nlohmann-json3-dev.\n",
                   stderr);
        return 2;
    }
#endif

    if (options.dense || options.fill) {
        std::vector<int32_t> denseAngles;
#ifdef SLSCAN_HAVE_RIG_FILE
        if (useRig) denseAngles.assign(angles.begin(), angles.end());
#endif
        if (denseAngles.empty()) denseAngles = scanLayoutBuiltIn().angles;
        DenseRunOptions dense;
        dense.fill = options.fill;
        dense.workers = scanWorkerCount();
        long points = 0;
#ifdef SLSCAN_HAVE_RIG_FILE
        const int status = denseRun(useRig ? rig : rigBuiltIn(), denseAngles, dense, &points);
#else
        const int status = denseRun(rigBuiltIn(), denseAngles, dense, &points);
#endif
        if (points == 0) warnNoPoints();
        return status;
    }

#if defined(__GLIBC__)
    // Every photograph and stage result is a fresh image of the picture's
    // size (9.4 MB at 1024 x 768, 144 MB at 4000 x 3000). By default the C
    // library maps such blocks anew and hands them back to the kernel when
    // freed, so every image costs a page fault per 4 KB and a zeroing of its
    // pages by the kernel. The mapping threshold cannot be raised above
    // 32 MiB, so it is switched off instead: every block comes from the heap,
    // and the heap is never trimmed (-1), so each new image reuses the memory
    // of one just released, at any picture size. The peak stays the five
    // images the camera sequence holds at most.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, -1);
#endif
    long points = 0;
#ifdef SLSCAN_HAVE_RIG_FILE
    const int status = useRig ? rigScanRun(rig, angles, &points) : scanRun(&points);
#else
    const int status = scanRun(&points);
#endif
    if (points == 0) warnNoPoints();
    return status;
}
