#include "eval/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "common/scan_points.h"
#include "eval/report_fields.h"
#include "geometry/algebra.h"
#include "image/scan_layout.h"
#include "render/scene_file.h"
#include "scene/scene.h"

bool evalScan(const std::string& dir, EvalReport* r, std::string* error, bool clockwise) {
    RenderOptions scene;
    if (!sceneFileRead(dir, &scene, error)) return false;
    SceneObject object;
    sceneMakeObject(scene.object, &object);
    r->object = scene.object;

    std::vector<Vec3> all;
    if (!scanReadPointFile(dir + "/" + kScanAllPointFile, &all, error)) return false;
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
    r->perAngle.clear();
    for (const int angle : scanPointFileAngles(dir)) {
        std::vector<Vec3> own;
        if (!scanReadPointFile(dir + "/" + scanAnglePointFile(angle), &own, error)) return false;
        r->perAngle.emplace_back(angle, static_cast<long>(own.size()));
        for (const Vec3& p : own) {
            if (next >= all.size()) {
                r->turnOk = false;
                r->turnProblem = "pontos.txt has fewer lines than the angle files";
                break;
            }
            const Vec3 q = scanToObject(p, angle, clockwise);
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

std::vector<ReportField> evalFields(const EvalReport& r) {
    std::vector<ReportField> f;
    f.push_back(fieldText("object", "object", r.object));
    for (const auto& [angle, count] : r.perAngle)
        f.push_back(fieldCount("angle_" + std::to_string(angle),
                               "points of angle " + std::to_string(angle), count));
    f.push_back(fieldCount("points", "points in pontos.txt", r.points));
    f.push_back(fieldNumber("median", "distance to the true surface, median", r.median, 4));
    f.push_back(fieldNumber("p90", "distance to the true surface, 90th percentile", r.p90, 4));
    f.push_back(fieldNumber("max", "distance to the true surface, max", r.max, 4));
    f.push_back(fieldShare("within1", "within 1 unit", r.within1, 2));
    f.push_back(fieldShare("beyond5", "beyond 5 units", r.beyond5, 2));
    f.push_back(fieldYesNo("turn_ok", "pontos.txt is the angle files turned back", r.turnOk));
    if (!r.turnOk) f.push_back(fieldText("turn_problem", "turn check failed", r.turnProblem));
    return f;
}

std::string evalText(const EvalReport& r) {
    return reportText("Accuracy of the scan of the " + r.object, evalFields(r));
}

std::string evalJson(const EvalReport& r) { return reportJson(evalFields(r)); }

bool evalChromaError(const double colour[3], const double albedo[3], double* error) {
    const double a = albedo[0] + albedo[1] + albedo[2], c = colour[0] + colour[1] + colour[2];
    if (c <= 0) return false;
    double worst = 0;
    for (int k = 0; k < 3; ++k) worst = std::max(worst, std::fabs(colour[k] / c - albedo[k] / a));
    *error = worst;
    return true;
}

void evalChromaSummary(const std::vector<double>& errors, double* mean, double* p95) {
    double sum = 0;
    for (double e : errors) sum += e;
    *mean = errors.empty() ? 0 : sum / errors.size();
    *p95 = evalQuantile(errors, 0.95);
}

double evalQuantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t i = static_cast<size_t>(std::ceil(q * values.size()));
    return values[std::min(values.size() - 1, i == 0 ? 0 : i - 1)];
}
