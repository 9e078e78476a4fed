// slscan-cloud: turns a finished scan into DIR/cloud.ply, a binary PLY with
// the object's colour and a normal per point, stray points removed.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cloud/colour.h"
#include "cloud/neighbours.h"
#include "cloud/normals.h"
#include "cloud/outliers.h"
#include "cloud/ply.h"
#include "cloud/scan_points.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

const char kUsage[] =
    "usage: slscan-cloud [options] SCAN_DIR\n"
    "  reads SCAN_DIR/pontos.txt, the per-angle point files and the photographs in\n"
    "  SCAN_DIR/cavalo; writes SCAN_DIR/cloud.ply\n"
    "  --keep-all      drop no point\n"
    "  --radius R      working volume: cylinder radius about the turntable axis (default 60)\n"
    "  --y MIN,MAX     working volume: height range (default -65,65)\n"
    "  --k K           neighbours for the outlier rule and the normals (default 16)\n"
    "  --ratio N       drop points whose mean distance to their K nearest exceeds the median of\n"
    "                  those + N x 1.4826 x their median absolute deviation (default 5)\n";

bool number(const char* text, double* out) {
    char* end = nullptr;
    *out = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(*out);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "slscan-cloud: %s\n", message.c_str());
    return 1;
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
    OutlierOptions options;
    bool keepAll = false;
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        double v = 0;
        bool ok = true;
        if (a == "--keep-all") {
            keepAll = true;
        } else if (a == "--radius" && i + 1 < argc) {
            ok = number(argv[++i], &v) && v > 0;
            options.radius = v;
        } else if (a == "--y" && i + 1 < argc) {
            const std::string range = argv[++i];
            const size_t comma = range.find(',');
            double lo = 0, hi = 0;
            ok = comma != std::string::npos && number(range.substr(0, comma).c_str(), &lo) &&
                 number(range.substr(comma + 1).c_str(), &hi) && lo < hi;
            options.yMin = lo;
            options.yMax = hi;
        } else if (a == "--k" && i + 1 < argc) {
            ok = number(argv[++i], &v) && v >= 2 && v <= 256 && v == static_cast<int>(v);
            options.neighbours = static_cast<int>(v);
        } else if (a == "--ratio" && i + 1 < argc) {
            ok = number(argv[++i], &v) && v >= 0;
            options.ratio = v;
        } else if (!a.empty() && a[0] != '-' && dir.empty()) {
            dir = a;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "slscan-cloud: bad argument \"%s\"\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if (dir.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    ScanPoints scan;
    std::string error;
    if (!scanReadPoints(dir, &scan, &error)) return fail(error);
    const size_t n = scan.object.size();
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
