#include "common/scan_points.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "geometry/algebra.h"
#include "image/scan_layout.h"

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

Vec3 scanToObject(Vec3 rig, int angle, bool clockwise) {
    const Matrix4 turn =
        matRotation(static_cast<double>(clockwise ? angle : -angle), 0.0, 1.0, 0.0);
    const Vector4 q = matMulVec(turn, {rig.x, rig.y, rig.z, 1.0});
    return {q.x, q.y, q.z};
}

std::vector<int> scanPointFileAngles(const std::string& dir) {
    std::vector<int> angles;
    std::error_code failed;
    std::filesystem::directory_iterator it(dir, failed), end;
    for (; !failed && it != end; it.increment(failed)) {
        const std::string name = it->path().filename().string();
        int angle = -1, used = 0;
        if (std::sscanf(name.c_str(), "pontos_%3d.txt%n", &angle, &used) == 1 &&
            used == static_cast<int>(name.size()) && angle >= 0 && angle < 360 &&
            name == scanAnglePointFile(angle))
            angles.push_back(angle);
    }
    std::sort(angles.begin(), angles.end());
    return angles;
}

bool scanReadPoints(const std::string& dir, ScanPoints* points, std::string* error,
                    bool clockwise) {
    *points = ScanPoints{};
    const std::string allPath = dir + "/" + kScanAllPointFile;
    if (!scanReadPointFile(allPath, &points->object, error)) return false;
    const std::vector<int> angles = scanPointFileAngles(dir);
    if (angles.empty()) {
        *error = "no \"" + dir + "/pontos_<angle>.txt\" beside pontos.txt: run slscan in \"" +
                 dir + "\" again";
        return false;
    }
    for (const int angle : angles) {
        const std::string path = dir + "/" + scanAnglePointFile(angle);
        const size_t first = points->rig.size();
        if (!scanReadPointFile(path, &points->rig, error)) return false;
        if (points->rig.size() > points->object.size()) {
            *error = "\"" + path + "\" holds more points than the rest of \"" + allPath +
                     "\": files of two runs, or an interrupted one (run slscan in \"" + dir + "\" again)";
            return false;
        }
        for (size_t j = first; j < points->rig.size(); ++j) {
            const Vec3 q = scanToObject(points->rig[j], angle, clockwise);
            const Vec3& a = points->object[j];
            if (!sameCoordinate(a.x, q.x) || !sameCoordinate(a.y, q.y) ||
                !sameCoordinate(a.z, q.z)) {
                *error = "line " + std::to_string(j + 1) + " of \"" + allPath + "\" is not line " +
                         std::to_string(j - first + 1) + " of \"" + path +
                         "\" turned back by the angle: files of two runs, or an interrupted one (run slscan "
                         "in \"" + dir + "\" again)";
                return false;
            }
            points->angle.push_back(angle);
        }
    }
    if (points->rig.size() != points->object.size()) {
        *error = "\"" + allPath + "\" holds " + std::to_string(points->object.size()) +
                 " points, the per-angle files " + std::to_string(points->rig.size()) +
                 ": files of two runs, or an interrupted one (run slscan in \"" + dir + "\" again)";
        return false;
    }
    return true;
}

bool scanReadPointFile(const std::string& path, std::vector<Vec3>* points, std::string* error) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::error_code ignored;
        *error = std::filesystem::exists(path, ignored)
                     ? "cannot read \"" + path + "\""
                     : "no \"" + path + "\": run slscan in \"" + folder + "\" first";
        return false;
    }
    long number = 0;
    std::string line;
    while (std::getline(in, line)) {
        ++number;
        if (in.eof()) {  // the last line has no newline: the writer stopped mid-line
            *error = "\"" + path + "\" ends in the middle of line " + std::to_string(number) +
                     ": the scan was interrupted; run slscan in \"" + folder + "\" again";
            return false;
        }
        Vec3 p;
        char extra;
        if (std::sscanf(line.c_str(), "%lf %lf %lf %c", &p.x, &p.y, &p.z, &extra) != 3) {
            *error = path + ":" + std::to_string(number) + ": not a line of three numbers";
            return false;
        }
        points->push_back(p);
    }
    if (in.bad()) {
        *error = "cannot read \"" + path + "\"";
        return false;
    }
    return true;
}
