// slscan-cloud: turns a finished scan into DIR/cloud.ply (cloud_run.h).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cloud/cloud_run.h"
#include "common/cli.h"
#include "common/scan_folder.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// "MIN,MAX" with MIN below MAX into *lo and *hi.
bool heightRange(const std::string& text, double* lo, double* hi) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    const std::string first = text.substr(0, comma), second = text.substr(comma + 1);
    char *end1 = nullptr, *end2 = nullptr;
    *lo = std::strtod(first.c_str(), &end1);
    *hi = std::strtod(second.c_str(), &end2);
    return !first.empty() && !second.empty() && *end1 == '\0' && *end2 == '\0' &&
           std::isfinite(*lo) && std::isfinite(*hi) && *lo < *hi;
}

std::string shown(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // The tool reads 192 photographs of 9.4 MB, two at a time. Kept in the
    // heap (not mapped anew and returned for each), a new image reuses the
    // pages of the last one instead of faulting in fresh zeroed ones.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
    CloudRunOptions options;
    OutlierOptions& o = options.outliers;
    CliPtr cli = cliMake(
        "slscan-cloud",
        "Turns a finished scan into SCAN_DIR/cloud.ply: a binary PLY with the object's colour "
        "(from the photographs in SCAN_DIR/cavalo) and a normal per point, stray points removed. "
        "Reads SCAN_DIR/pontos.txt and the per-angle point files.");
    cliFlag(cli.get(), "--keep-all", &options.keepAll, "Drop no point");
    cliAbove(cli.get(), "--radius", &o.radius, 0, "R",
             "Working volume: cylinder radius about the turntable axis (with a rig file: from "
             "the rig, unless given)");
    std::string heights = shown(o.yMin) + "," + shown(o.yMax);
    cliText(cli.get(), "--y", &heights, "MIN,MAX", "Working volume: height range",
            [](const std::string& text) -> std::string {
                double lo, hi;
                return heightRange(text, &lo, &hi)
                           ? ""
                           : "must be two numbers MIN,MAX with MIN below MAX, got \"" + text + "\"";
            });
    cliWhole(cli.get(), "--k", &o.neighbours, 2, 256, "K",
             "Neighbours for the outlier rule and the normals");
    cliNumber(cli.get(), "--ratio", &o.ratio, 0, HUGE_VAL, "N",
              "Drop points whose mean distance to their K nearest exceeds the median of those + N "
              "x 1.4826 x their median absolute deviation");
    cliText(cli.get(), kToolRigOption, &options.rigPath, "FILE", kToolRigHelp);
    cliFlag(cli.get(), kFolderIgnoreDatesOption, &options.ignoreDates, kFolderIgnoreDatesHelp);
    cliArgument(cli.get(), "SCAN_DIR", &options.dir, "The scan folder");
    if (const int status = cliParse(cli.get(), argc, argv); status >= 0) return status;
    heightRange(heights, &o.yMin, &o.yMax);
    options.volumeGiven = cliGiven(cli.get(), "--radius") || cliGiven(cli.get(), "--y");

    const CloudRunReport report = cloudRun(options);
    std::fputs(cloudReportText(options, report).c_str(), stdout);
    std::fflush(stdout);
    return toolExit("slscan-cloud", report.result);
}
