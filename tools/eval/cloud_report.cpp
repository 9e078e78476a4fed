#include "eval/cloud_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <vector>

#include "common/ply.h"
#include "common/scan_points.h"
#include "eval/report.h"
#include "render/render.h"
#include "render/scene_file.h"
#include "scene/scene.h"

bool evalCloud(const std::string& dir, CloudReport* r, std::string* error) {
    *r = CloudReport{};
    RenderOptions options;
    if (!sceneFileRead(dir, &options, error)) return false;
    SceneObject object;
    sceneMakeObject(options.object, &object);
    std::vector<Vec3> points;
    if (!scanReadPointFile(dir + "/pontos.txt", &points, error)) return false;
    r->scanPoints = static_cast<long>(points.size());
    long scanWithin1 = 0;
    for (const Vec3& p : points) scanWithin1 += std::fabs(sceneDistance(object, p)) <= 1.0;
    std::vector<PlyVertex> cloud;
    std::error_code ignored;
    if (!std::filesystem::exists(dir + "/cloud.ply", ignored)) {
        *error = "no \"" + dir + "/cloud.ply\": run slscan-cloud \"" + dir + "\" first";
        return false;
    }
    if (!plyRead(dir + "/cloud.ply", &cloud, error)) return false;
    r->keptPoints = static_cast<long>(cloud.size());
    if (cloud.empty()) {
        *error = "\"" + dir + "/cloud.ply\" holds no point, so there is nothing to measure";
        return false;
    }

    long beyond5 = 0, within1 = 0, outward = 0;
    std::vector<double> angles, chroma;
    for (const PlyVertex& v : cloud) {
        const Vec3 p{v.x, v.y, v.z};
        const double d = sceneDistance(object, p);
        beyond5 += std::fabs(d) > 5.0;
        const Vec3 n = sceneNormal(object, p);
        const Vec3 estimated{v.nx, v.ny, v.nz};
        outward += dot(n, estimated) > 0;
        if (std::fabs(d) > 1.0) continue;
        ++within1;
        angles.push_back(std::acos(std::clamp(dot(n, estimated), -1.0, 1.0)) * 180 / kPi);
        double albedo[3];
        renderAlbedo(options, p - d * n, albedo);
        const double colour[3] = {v.red / 255.0, v.green / 255.0, v.blue / 255.0};
        const double a = albedo[0] + albedo[1] + albedo[2], c = colour[0] + colour[1] + colour[2];
        if (c <= 0) continue;
        double worst = 0;
        for (int k = 0; k < 3; ++k) worst = std::max(worst, std::fabs(colour[k] / c - albedo[k] / a));
        chroma.push_back(worst);
    }
    const double kept = std::max<double>(1, cloud.size());
    r->keptBeyond5 = beyond5 / kept;
    r->within1Kept = scanWithin1 == 0 ? 0 : static_cast<double>(within1) / scanWithin1;
    r->normalsOutward = outward / kept;
    r->normalMedianDegrees = evalQuantile(angles, 0.5);
    r->colourPoints = static_cast<long>(chroma.size());
    double sum = 0;
    for (double c : chroma) sum += c;
    r->chromaMean = chroma.empty() ? 0 : sum / chroma.size();
    r->chroma95 = evalQuantile(chroma, 0.95);
    return true;
}

std::string evalCloudText(const CloudReport& r) {
    char buf[768];
    std::snprintf(buf, sizeof buf,
                  "Accuracy of cloud.ply\n"
                  "  points kept: %ld of %ld\n"
                  "  kept points beyond 5 units: %.3f %%\n"
                  "  points within 1 unit kept: %.2f %%\n"
                  "  normals facing out: %.2f %%, median angle to the true normal %.1f degrees\n"
                  "  colour (chromaticity, largest channel): mean error %.4f, 95th percentile %.4f "
                  "over %ld points\n",
                  r.keptPoints, r.scanPoints, 100 * r.keptBeyond5, 100 * r.within1Kept,
                  100 * r.normalsOutward, r.normalMedianDegrees, r.chromaMean, r.chroma95,
                  r.colourPoints);
    return buf;
}

std::string evalCloudJson(const CloudReport& r) {
    char buf[768];
    std::snprintf(buf, sizeof buf,
                  "{\"scan_points\": %ld, \"kept_points\": %ld, \"kept_beyond5\": %.6f, "
                  "\"within1_kept\": %.6f, \"normals_outward\": %.6f, \"normal_median_deg\": %.3f, "
                  "\"chroma_mean\": %.6f, \"chroma_p95\": %.6f, \"colour_points\": %ld}\n",
                  r.scanPoints, r.keptPoints, r.keptBeyond5, r.within1Kept, r.normalsOutward,
                  r.normalMedianDegrees, r.chromaMean, r.chroma95, r.colourPoints);
    return buf;
}
