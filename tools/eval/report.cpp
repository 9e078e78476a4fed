#include "eval/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "common/scan_points.h"
#include "geometry/algebra.h"
#include "image/scan_layout.h"
#include "render/scene_file.h"
#include "scene/scene.h"

bool evalScan(const std::string& dir, EvalReport* r, std::string* error) {
    RenderOptions scene;
    if (!sceneFileRead(dir, &scene, error)) return false;
    SceneObject object;
    sceneMakeObject(scene.object, &object);
    r->object = scene.object;

    std::vector<Vec3> all;
    if (!scanReadPointFile(dir + "/pontos.txt", &all, error)) return false;
    if (all.empty()) {
        *error = "\"" + dir + "/pontos.txt\" holds no point: slscan found none, so there is "
                 "nothing to measure (see slscan's messages)";
        return false;
    }
    r->points = static_cast<long>(all.size());

    std::vector<double> distances;
    distances.reserve(all.size());
    long within1 = 0, beyond5 = 0;
    for (const Vec3& p : all) {
        const double d = std::fabs(sceneDistance(object, p));
        distances.push_back(d);
        within1 += d <= 1.0;
        beyond5 += d > 5.0;
    }
    std::sort(distances.begin(), distances.end());
    r->median = evalQuantile(distances, 0.5);
    r->p90 = evalQuantile(distances, 0.9);
    r->max = distances.empty() ? 0 : distances.back();
    r->within1 = all.empty() ? 0 : static_cast<double>(within1) / all.size();
    r->beyond5 = all.empty() ? 0 : static_cast<double>(beyond5) / all.size();

    // Each angle's stretch of pontos.txt is its own file turned by -angle; the
    // printed six decimals allow a difference of about 1e-6 a coordinate.
    size_t next = 0;
    r->turnOk = true;
    r->angles = scanLayoutBuiltIn().angles;
    r->perAngle.assign(r->angles.size(), 0);
    for (size_t i = 0; i < r->angles.size(); ++i) {
        const int angle = r->angles[i];
        std::vector<Vec3> own;
        if (!scanReadPointFile(dir + "/" + scanAnglePointFile(angle), &own, error)) return false;
        r->perAngle[i] = static_cast<long>(own.size());
        const Matrix4 turn = matRotation(-angle, 0.0, 1.0, 0.0);
        for (const Vec3& p : own) {
            if (next >= all.size()) {
                r->turnOk = false;
                r->turnProblem = "pontos.txt has fewer lines than the angle files";
                break;
            }
            const Vector4 q = matMulVec(turn, {p.x, p.y, p.z, 1.0});
            const Vec3& a = all[next++];
            if (r->turnOk && (std::fabs(q.x - a.x) > 3e-6 || std::fabs(q.y - a.y) > 3e-6 ||
                              std::fabs(q.z - a.z) > 3e-6)) {
                r->turnOk = false;
                r->turnProblem = "line " + std::to_string(next) + " of pontos.txt is not line " +
                                 std::to_string(&p - own.data() + 1) + " of pontos_" +
                                 std::to_string(angle) + ".txt turned by -" + std::to_string(angle);
            }
        }
    }
    if (r->turnOk && next != all.size()) {
        r->turnOk = false;
        r->turnProblem = "pontos.txt has more lines than the angle files";
    }
    return true;
}

std::string evalText(const EvalReport& r) {
    std::ostringstream s;
    char buf[256];
    s << "Accuracy of the scan of the " << r.object << "\n  points per angle:";
    for (size_t i = 0; i < r.perAngle.size(); ++i) s << " " << r.angles[i] << ":" << r.perAngle[i];
    std::snprintf(buf, sizeof buf,
                  "\n  points in pontos.txt: %ld\n"
                  "  distance to the true surface: median %.4f, 90th percentile %.4f, max %.4f\n"
                  "  within 1 unit: %.2f %%, beyond 5 units: %.2f %%\n",
                  r.points, r.median, r.p90, r.max, 100 * r.within1, 100 * r.beyond5);
    s << buf << "  turn check: " << (r.turnOk ? "ok" : "FAILED, " + r.turnProblem) << "\n";
    return s.str();
}

std::string evalJson(const EvalReport& r) {
    std::ostringstream s;
    char buf[512];
    s << "{\"object\": \"" << r.object << "\", \"per_angle\": {";
    for (size_t i = 0; i < r.perAngle.size(); ++i)
        s << (i ? ", " : "") << "\"" << r.angles[i] << "\": " << r.perAngle[i];
    std::snprintf(buf, sizeof buf,
                  "}, \"points\": %ld, \"median\": %.6f, \"p90\": %.6f, \"max\": %.6f, "
                  "\"within1\": %.6f, \"beyond5\": %.6f, \"turn_ok\": %s}\n",
                  r.points, r.median, r.p90, r.max, r.within1, r.beyond5,
                  r.turnOk ? "true" : "false");
    s << buf;
    return s.str();
}

double evalQuantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t i = static_cast<size_t>(std::ceil(q * values.size()));
    return values[std::min(values.size() - 1, i == 0 ? 0 : i - 1)];
}
