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
#include "eval/report_fields.h"
#include "image/scan_layout.h"
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
    if (!scanReadPointFile(dir + "/" + kScanAllPointFile, &points, error)) return false;
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
        double worst = 0;
        if (evalChromaError(colour, albedo, &worst)) chroma.push_back(worst);
    }
    const double kept = std::max<double>(1, cloud.size());
    r->keptBeyond5 = beyond5 / kept;
    r->within1Kept = scanWithin1 == 0 ? 0 : static_cast<double>(within1) / scanWithin1;
    r->normalsOutward = outward / kept;
    r->normalMedianDegrees = evalQuantile(angles, 0.5);
    r->colourPoints = static_cast<long>(chroma.size());
    evalChromaSummary(chroma, &r->chromaMean, &r->chroma95);
    return true;
}

namespace {

std::vector<ReportField> cloudFields(const CloudReport& r) {
    return {fieldCount("scan_points", "points of pontos.txt", r.scanPoints),
            fieldCount("kept_points", "points kept", r.keptPoints),
            fieldShare("kept_beyond5", "kept points beyond 5 units", r.keptBeyond5, 3),
            fieldShare("within1_kept", "points within 1 unit kept", r.within1Kept, 2),
            fieldShare("normals_outward", "normals facing out", r.normalsOutward, 2),
            fieldNumber("normal_median_deg", "median angle to the true normal (degrees)",
                        r.normalMedianDegrees, 1),
            fieldNumber("chroma_mean", "colour (chromaticity, largest channel): mean error",
                        r.chromaMean, 4),
            fieldNumber("chroma_p95", "colour: 95th percentile of the error", r.chroma95, 4),
            fieldCount("colour_points", "points whose colour was measured", r.colourPoints)};
}

}  // namespace

std::string evalCloudText(const CloudReport& r) {
    return reportText("Accuracy of cloud.ply", cloudFields(r));
}

std::string evalCloudJson(const CloudReport& r) { return reportJson(cloudFields(r)); }
