#include "cloud/normals.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "common/scan_points.h"
#include "geometry/camera.h"

Vec3 normalsTowardCameras(Vec3 p, int angle) {
    Vec3 sum{0, 0, 0};
    for (const Camera& camera : {camCamera1(), camCamera2()}) {
        const Vec3 centre = scanToObject(
            {camera.position.x, camera.position.y, camera.position.z}, angle);
        const Vec3 toward = centre - p;
        if (length(toward) > 0) sum = sum + normalized(toward);  // p may be a camera centre
    }
    return length(sum) > 0 ? sum : Vec3{0, 0, 1};
}

Vec3 normalsSmallestEigenvector(const double m[9]) {
    double a[3][3], v[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) a[i][j] = m[3 * i + j];
    // Cyclic Jacobi: each rotation zeroes one off-diagonal element; a few sweeps
    // bring a 3 x 3 matrix to double precision.
    for (int sweep = 0; sweep < 50; ++sweep) {
        const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        const double diag = a[0][0] * a[0][0] + a[1][1] * a[1][1] + a[2][2] * a[2][2];
        if (off <= 1e-30 * diag || off == 0) break;
        for (int p = 0; p < 2; ++p) {
            for (int q = p + 1; q < 3; ++q) {
                if (a[p][q] == 0) continue;
                const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) /
                                 (std::fabs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int k = 0; k < 3; ++k) {  // a = J^T a J, columns then rows
                    const double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 3; ++k) {
                    const double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 3; ++k) {
                    const double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
        }
    }
    int smallest = 0;
    for (int i = 1; i < 3; ++i)
        if (a[i][i] < a[smallest][smallest]) smallest = i;
    return normalized({v[0][smallest], v[1][smallest], v[2][smallest]});
}

namespace {

bool sameSide(int a, int b) {
    const int d = ((a - b) % 360 + 360) % 360;
    return d <= kNormalsSideDegrees || d >= 360 - kNormalsSideDegrees;
}

}  // namespace

std::vector<Vec3> normalsEstimate(const std::vector<Vec3>& points, const std::vector<int>& angles,
                                  const NeighbourTable& table, int k) {
    std::vector<Vec3> normals(points.size());
    std::vector<uint32_t> chosen;
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3 toward = normalsTowardCameras(points[i], angles[i]);
        chosen.clear();
        const uint32_t* near = table.index.data() + i * table.k;
        for (int j = 0; j < table.k && static_cast<int>(chosen.size()) < k; ++j)
            if (sameSide(angles[near[j]], angles[i])) chosen.push_back(near[j]);
        if (chosen.size() < 2) chosen.assign(near, near + std::min(table.k, k));
        if (chosen.size() < 2) {
            normals[i] = normalized(toward);
            continue;
        }
        // Covariance of the point and its neighbours about their centroid.
        Vec3 centre = points[i];
        for (uint32_t j : chosen) centre = centre + points[j];
        centre = (1.0 / (chosen.size() + 1)) * centre;
        double c[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
        for (size_t j = 0; j <= chosen.size(); ++j) {
            const Vec3 d = (j == chosen.size() ? points[i] : points[chosen[j]]) - centre;
            const double e[3] = {d.x, d.y, d.z};
            for (int r = 0; r < 3; ++r)
                for (int s = 0; s < 3; ++s) c[3 * r + s] += e[r] * e[s];
        }
        Vec3 n = normalsSmallestEigenvector(c);
        if (dot(n, toward) < 0) n = -1.0 * n;
        normals[i] = n;
    }
    return normals;
}
