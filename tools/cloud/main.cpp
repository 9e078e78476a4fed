// slscan-cloud: turns a finished scan into DIR/cloud.ply, a binary PLY with
// the object's colour and a normal per point, stray points removed.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cloud/colour.h"
#include "cloud/neighbours.h"
#include "cloud/normals.h"
#include "cloud/outliers.h"
#include "common/cli.h"
#include "common/ply.h"
#include "common/scan_folder.h"
#include "common/scan_points.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "slscan-cloud: %s\n", message.c_str());
    return 1;
}

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

}  // namespace

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // The tool reads 192 photographs of 9.4 MB, two at a time. Kept in the
    // heap (not mapped anew and returned for each), a new image reuses the
    // pages of the last one instead of faulting in fresh zeroed ones.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
    CLI::App app{"Turns a finished scan into SCAN_DIR/cloud.ply: a binary PLY with the object's "
                 "colour (from the photographs in SCAN_DIR/cavalo) and a normal per point, stray "
                 "points removed. Reads SCAN_DIR/pontos.txt and the per-angle point files.",
                 "slscan-cloud"};
    cliSetUp(&app);
    OutlierOptions options;
    bool keepAll = false, ignoreDates = false;
    std::string dir;
    app.add_flag("--keep-all", keepAll, "Drop no point");
    app.add_option("--radius", options.radius,
                   "Working volume: cylinder radius about the turntable axis (default 60)")
        ->type_name("R")->check(cliAbove(0));
    std::string heights;
    app.add_option("--y", heights, "Working volume: height range (default -65,65)")
        ->type_name("MIN,MAX")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                double lo, hi;
                return heightRange(text, &lo, &hi)
                           ? ""
                           : "must be two numbers MIN,MAX with MIN below MAX, got \"" + text + "\"";
            },
            ""));
    app.add_option("--k", options.neighbours,
                   "Neighbours for the outlier rule and the normals (default 16)")
        ->type_name("K")->check(cliWhole(2, 256));
    app.add_option("--ratio", options.ratio,
                   "Drop points whose mean distance to their K nearest exceeds the median of those "
                   "+ N x 1.4826 x their median absolute deviation (default 5)")
        ->type_name("N")->check(cliNumber(0, HUGE_VAL));
    app.add_flag(kFolderIgnoreDatesOption, ignoreDates, kFolderIgnoreDatesHelp);
    app.add_option("SCAN_DIR", dir, "The scan folder")->required()->type_name("");
    if (const int status = cliParse(&app, argc, argv); status >= 0) return status;
    if (!heights.empty()) heightRange(heights, &options.yMin, &options.yMax);

    std::string error;
    if (!folderExists(dir, &error)) return fail(error);
    if (!ignoreDates && !folderPointsCurrent(dir, &error)) return fail(error);
    ScanPoints scan;
    if (!scanReadPoints(dir, &scan, &error)) return fail(error);
    const size_t n = scan.object.size();
    if (n == 0)
        return fail("\"" + dir + "/pontos.txt\" holds no point: slscan found none, so there is "
                    "no cloud to make (see slscan's messages)");
    std::printf("slscan-cloud: %zu points read from %s/pontos.txt\n", n, dir.c_str());

    OutlierResult outliers = outliersFind(scan.object, options);
    if (outliers.notFinite > 0)  // no viewer can place these, --keep-all or not
        std::printf("  dropped %ld with a coordinate that is not a finite number\n",
                    outliers.notFinite);
    if (keepAll) {
        for (size_t i = 0; i < n; ++i) {
            const Vec3& p = scan.object[i];
            outliers.keep[i] = std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
        }
        std::printf("  kept all others (--keep-all)\n");
    } else {
        std::printf("  dropped %ld outside the working volume (cylinder of radius %g about the "
                    "turntable axis, y %g to %g)\n",
                    outliers.outsideVolume, options.radius, options.yMin, options.yMax);
        std::printf("  dropped %ld far from their neighbours (mean distance to %d nearest above "
                    "%.3f = median %.3f + %g x spread %.3f)\n",
                    outliers.sparse, options.neighbours, outliers.threshold, outliers.centre,
                    options.ratio, outliers.spread);
    }

    std::vector<Vec3> kept;
    std::vector<int> keptAngles;
    std::vector<size_t> keptIndex;
    for (size_t i = 0; i < n; ++i) {
        if (!outliers.keep[i]) continue;
        kept.push_back(scan.object[i]);
        keptAngles.push_back(scan.angle[i]);
        keptIndex.push_back(i);
    }
    // Four times k candidates, from which the normals take the k nearest of
    // the same side.
    const NeighbourTable table = neighboursFind(kept, 4 * options.neighbours);
    const std::vector<Vec3> keptNormals =
        normalsEstimate(kept, keptAngles, table, options.neighbours);
    std::vector<Vec3> normals(n, Vec3{0, 0, 0});
    for (size_t j = 0; j < kept.size(); ++j) normals[keptIndex[j]] = keptNormals[j];

    std::vector<ColourRgb> colours;
    ColourStats stats;
    if (!colourPoints(dir, scan, outliers.keep, normals, &colours, &stats, &error)) return fail(error);
    std::printf("  colour: %ld from both cameras, %ld where they disagreed (the more head-on one), "
                "%ld from one camera (the other had no picture of it), %ld from none (grey)\n",
                stats.bothAgree, stats.disagree, stats.oneCamera, stats.noCamera);

    std::vector<PlyVertex> vertices;
    vertices.reserve(kept.size());
    for (size_t i : keptIndex) {
        const Vec3 &p = scan.object[i], &nn = normals[i];
        const ColourRgb& c = colours[i];
        vertices.push_back({static_cast<float>(p.x), static_cast<float>(p.y),
                            static_cast<float>(p.z), static_cast<float>(nn.x),
                            static_cast<float>(nn.y), static_cast<float>(nn.z), c.r, c.g, c.b});
    }
    const std::string path = dir + "/cloud.ply";
    if (!plyWrite(path, vertices, "slscan cloud: colour from the photographs, normals from neighbours",
                  &error))
        return fail(error);
    std::printf("  wrote %zu points to %s\n", vertices.size(), path.c_str());
    return 0;
}
