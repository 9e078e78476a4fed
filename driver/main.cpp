// slscan: turns the turntable scan in ./cavalo into the point files
// pontos.txt and pontos_<angle>.txt. Takes no arguments: -h, --help and
// --version print and exit before anything is read or written; any other
// argument is named in a warning and ignored.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "driver/dense_run.h"
#include "driver/scan.h"
#include "driver/scan_pool.h"

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
    "slscan takes no arguments; any other argument is ignored with a warning.\n"
    "  -h, --help   print this text and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Exit status: 0 when every photograph was read and every point file written,\n"
    "1 otherwise (each fault is named on standard error).\n";

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
    bool dense = false, fill = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dense") == 0) dense = true;
        if (std::strcmp(argv[i], "--fill") == 0) dense = fill = true;
    }
    if (dense) {
        std::vector<int32_t> angles;
        for (int32_t a = 0; a <= 330; a += 30) angles.push_back(a);
        DenseRunOptions options;
        options.fill = fill;
        options.workers = scanWorkerCount();
        long points = 0;
        const int status = denseRun(rigBuiltIn(), angles, options, &points);
        if (points == 0) warnNoPoints();
        return status;
    }
    for (int i = 1; i < argc; ++i)
        std::fprintf(stderr, "slscan: warning: ignoring argument \"%s\": slscan takes none "
                             "(see slscan --help).\n",
                     argv[i]);

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
    const int status = scanRun(&points);
    if (points == 0) warnNoPoints();
    return status;
}
