#include "cloud/cloud_run.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "cloud/neighbours.h"
#include "cloud/normals.h"
#include "common/ply.h"
#include "common/scan_folder.h"
#include "common/scan_points.h"

CloudRunReport cloudRun(const CloudRunOptions& options) {
    CloudRunReport report;
    const std::string& dir = options.dir;
    std::string error;
    if (!folderExists(dir, &error)) return report.result = toolFault(error), report;
    if (!options.ignoreDates && !folderPointsCurrent(dir, &error))
        return report.result = toolFault(error), report;
    ToolRig rig;
    if (!toolRigLoad(dir, options.rigPath, &rig, &error)) return report.result = toolUsageFault(error), report;
    report.rig = rig.source;
    OutlierOptions outlierOptions = options.outliers;
    if (!rig.builtIn && !options.volumeGiven &&
        !toolRigWorkingVolume(rig, &outlierOptions.radius, &outlierOptions.yMin, &outlierOptions.yMax))
        return report.result = toolFault(rig.source + ": the cameras do not both see the turntable "
                                         "axis, so there is no working volume (give --radius and --y)"),
               report;
    report.radius = outlierOptions.radius;
    report.yMin = outlierOptions.yMin;
    report.yMax = outlierOptions.yMax;
    ScanPoints scan;
    if (!scanReadPoints(dir, &scan, &error, rig.rig.turntable.clockwise))
        return report.result = toolFault(error), report;
    const size_t n = scan.object.size();
    if (n == 0) {
        report.result = toolFault("\"" + dir + "/pontos.txt\" holds no point: slscan found none, so "
                                  "there is no cloud to make (see slscan's messages)");
        return report;
    }
    report.pointsRead = static_cast<long>(n);

    OutlierResult& outliers = report.outliers;
    outliers = outliersFind(scan.object, outlierOptions);
    if (options.keepAll) {
        for (size_t i = 0; i < n; ++i) {
            const Vec3& p = scan.object[i];
            outliers.keep[i] = std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
        }
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
    const std::vector<Vec3> keptNormals =
        normalsEstimate(rig, kept, keptAngles, options.outliers.neighbours);
    std::vector<Vec3> normals(n, Vec3{0, 0, 0});
    for (size_t j = 0; j < kept.size(); ++j) normals[keptIndex[j]] = keptNormals[j];

    std::vector<ColourRgb> colours;
    if (!colourPoints(dir, rig, scan, outliers.keep, normals, &colours, &report.colour, &error))
        return report.result = toolFault(error), report;

    std::vector<PlyVertex> vertices;
    vertices.reserve(kept.size());
    for (size_t i : keptIndex) {
        const Vec3 &p = scan.object[i], &nn = normals[i];
        const ColourRgb& c = colours[i];
        vertices.push_back({static_cast<float>(p.x), static_cast<float>(p.y),
                            static_cast<float>(p.z), static_cast<float>(nn.x),
                            static_cast<float>(nn.y), static_cast<float>(nn.z), c.r, c.g, c.b});
    }
    report.path = dir + "/cloud.ply";
    if (!plyWrite(report.path, vertices,
                  "slscan cloud: colour from the photographs, normals from neighbours", &error))
        return report.result = toolFault(error), report;
    report.written = static_cast<long>(vertices.size());
    return report;
}

std::string cloudReportText(const CloudRunOptions& options, const CloudRunReport& report) {
    if (report.pointsRead == 0) return "";
    std::string out;
    char line[512];
    const OutlierResult& o = report.outliers;
    const OutlierOptions& oo = options.outliers;
    std::snprintf(line, sizeof line, "slscan-cloud: %ld points read from %s/pontos.txt (rig: %s)\n",
                  report.pointsRead, options.dir.c_str(), report.rig.c_str());
    out += line;
    if (o.notFinite > 0) {  // no viewer can place these, --keep-all or not
        std::snprintf(line, sizeof line,
                      "  dropped %ld with a coordinate that is not a finite number\n", o.notFinite);
        out += line;
    }
    if (options.keepAll) {
        out += "  kept all others (--keep-all)\n";
    } else {
        std::snprintf(line, sizeof line,
                      "  dropped %ld outside the working volume (cylinder of radius %g about the "
                      "turntable axis, y %g to %g)\n",
                      o.outsideVolume, report.radius, report.yMin, report.yMax);
        out += line;
        std::snprintf(line, sizeof line,
                      "  dropped %ld far from their neighbours (mean distance to %d nearest above "
                      "%.3f = median %.3f + %g x spread %.3f)\n",
                      o.sparse, oo.neighbours, o.threshold, o.centre, oo.ratio, o.spread);
        out += line;
    }
    if (!toolOk(report.result) && report.written == 0 && report.path.empty()) return out;
    const ColourStats& s = report.colour;
    std::snprintf(line, sizeof line,
                  "  colour: %ld from both cameras, %ld where they disagreed (the more head-on "
                  "one), %ld from one camera (the other had no picture of it), %ld from none "
                  "(grey)\n",
                  s.bothAgree, s.disagree, s.oneCamera, s.noCamera);
    out += line;
    if (report.written > 0 || toolOk(report.result)) {
        std::snprintf(line, sizeof line, "  wrote %ld points to %s\n", report.written,
                      report.path.c_str());
        out += line;
    }
    return out;
}
