#include "cloud/scan_points.h"

#include <cmath>
#include <cstdio>
#include <fstream>

#include "eval/report.h"
#include "geometry/algebra.h"

namespace {

// The files carry six decimals: a line turned from its rounded per-angle twin
// differs by about 1e-6 a coordinate; lines of two different runs differ by far
// more. Non-finite coordinates (nan printed by the scanner) must match as such.
bool sameCoordinate(double a, double b) {
    if (!std::isfinite(a) || !std::isfinite(b)) return std::isnan(a) == std::isnan(b) &&
                                                       (std::isnan(a) || a == b);
    return std::fabs(a - b) <= 1e-5 + 1e-9 * std::fabs(a);
}

}  // namespace

Vec3 scanToObject(Vec3 rig, int angle) {
    const Matrix4 turn = matRotation(-static_cast<double>(angle), 0.0, 1.0, 0.0);
    const Vector4 q = matMulVec(turn, {rig.x, rig.y, rig.z, 1.0});
    return {q.x, q.y, q.z};
}

bool scanReadPoints(const std::string& dir, ScanPoints* points, std::string* error) {
    *points = ScanPoints{};
    const std::string allPath = dir + "/pontos.txt";
    if (!evalReadPoints(allPath, &points->object, error)) return false;
    for (int i = 0; i < kScanAngles; ++i) {
        const int angle = i * kScanAngleStep;
        const std::string path = dir + "/pontos_" + std::to_string(angle) + ".txt";
        const size_t first = points->rig.size();
        if (!evalReadPoints(path, &points->rig, error)) return false;
        if (points->rig.size() > points->object.size()) {
            *error = "\"" + path + "\" holds more points than the rest of \"" + allPath + "\"";
            return false;
        }
        for (size_t j = first; j < points->rig.size(); ++j) {
            const Vec3 q = scanToObject(points->rig[j], angle);
            const Vec3& a = points->object[j];
            if (!sameCoordinate(a.x, q.x) || !sameCoordinate(a.y, q.y) ||
                !sameCoordinate(a.z, q.z)) {
                *error = "line " + std::to_string(j + 1) + " of \"" + allPath + "\" is not line " +
                         std::to_string(j - first + 1) + " of \"" + path +
                         "\" turned back by the angle (files of different runs?)";
                return false;
            }
            points->angle.push_back(angle);
        }
    }
    if (points->rig.size() != points->object.size()) {
        *error = "\"" + allPath + "\" holds " + std::to_string(points->object.size()) +
                 " points, the per-angle files " + std::to_string(points->rig.size());
        return false;
    }
    return true;
}
