#include "eval/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "geometry/algebra.h"
#include "scene/scene.h"

namespace {

// The value at share q of the sorted values (nearest rank).
double quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return 0;
    const size_t i = static_cast<size_t>(std::ceil(q * sorted.size()));
    return sorted[std::min(sorted.size() - 1, i == 0 ? 0 : i - 1)];
}

}  // namespace

bool evalScan(const std::string& dir, EvalReport* r, std::string* error) {
    std::ifstream scene(dir + "/scene.txt");
    std::string key, name;
    while (scene >> key) {
        if (key == "object") scene >> name;
    }
    SceneObject object;
    if (name.empty() || !sceneMakeObject(name, &object)) {
        *error = "no known object in \"" + dir + "/scene.txt\" (render the scan with slscan-render)";
        return false;
    }
    r->object = name;

    std::vector<Vec3> all;
    if (!evalReadPoints(dir + "/pontos.txt", &all, error)) return false;
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
    r->median = quantile(distances, 0.5);
    r->p90 = quantile(distances, 0.9);
    r->max = distances.empty() ? 0 : distances.back();
    r->within1 = all.empty() ? 0 : static_cast<double>(within1) / all.size();
    r->beyond5 = all.empty() ? 0 : static_cast<double>(beyond5) / all.size();

    // Each angle's stretch of pontos.txt is its own file turned by -angle; the
    // printed six decimals allow a difference of about 1e-6 a coordinate.
    size_t next = 0;
    r->turnOk = true;
    for (int i = 0; i < 12; ++i) {
        const int angle = 30 * i;
        std::vector<Vec3> own;
        if (!evalReadPoints(dir + "/pontos_" + std::to_string(angle) + ".txt", &own, error)) return false;
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
    for (int i = 0; i < 12; ++i) s << " " << 30 * i << ":" << r.perAngle[i];
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
    for (int i = 0; i < 12; ++i) s << (i ? ", " : "") << "\"" << 30 * i << "\": " << r.perAngle[i];
    std::snprintf(buf, sizeof buf,
                  "}, \"points\": %ld, \"median\": %.6f, \"p90\": %.6f, \"max\": %.6f, "
                  "\"within1\": %.6f, \"beyond5\": %.6f, \"turn_ok\": %s}\n",
                  r.points, r.median, r.p90, r.max, r.within1, r.beyond5,
                  r.turnOk ? "true" : "false");
    s << buf;
    return s.str();
}

bool evalReadPoints(const std::string& path, std::vector<Vec3>* points, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read \"" + path + "\"";
        return false;
    }
    long number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
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
