#include "cloud/normals.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include <Eigen/Eigenvalues>

#include "common/scan_points.h"
#include "common/tool_threads.h"

Vec3 normalsTowardCameras(const ToolRig& rig, Vec3 p, int angle) {
    Vec3 sum{0, 0, 0};
    for (int camera = 0; camera < 2; ++camera) {
        const Vec3 centre = toolRigToObject(rig, toolRigCameraCentre(rig, camera), angle);
        const Vec3 toward = centre - p;
        if (length(toward) > 0) sum = sum + normalized(toward);  // p may be a camera centre
    }
    return length(sum) > 0 ? sum : Vec3{0, 0, 1};
}

Vec3 normalsSmallestEigenvector(const double m[9]) {
    Eigen::Matrix3d a;
    a << m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8];
    // Eigen's solver for symmetric matrices returns the eigenvalues rising,
    // so the first column belongs to the smallest.
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(a);
    const Eigen::Vector3d v = solver.eigenvectors().col(0);
    return normalized({v.x(), v.y(), v.z()});
}

namespace {

bool sameSide(int a, int b) {
    const int d = ((a - b) % 360 + 360) % 360;
    return d <= kNormalsSideDegrees || d >= 360 - kNormalsSideDegrees;
}

// The normal of point i from its candidates (nearest first), as
// normalsEstimate says; false when fewer than k of them are of its side and
// the candidates were not all there are (more are needed to decide).
bool normalOf(const std::vector<Vec3>& points, const std::vector<int>& angles, size_t i,
              Vec3 toward, const uint32_t* near, size_t candidates, bool all, int k,
              std::vector<uint32_t>* chosen, Vec3* normal) {
    chosen->clear();
    for (size_t j = 0; j < candidates && static_cast<int>(chosen->size()) < k; ++j)
        if (sameSide(angles[near[j]], angles[i])) chosen->push_back(near[j]);
    if (static_cast<int>(chosen->size()) < k && !all) return false;
    if (chosen->size() < 2) chosen->assign(near, near + std::min<size_t>(candidates, k));
    if (chosen->size() < 2) {
        *normal = normalized(toward);
        return true;
    }
    // Covariance of the point and its neighbours about their centroid.
    Vec3 centre = points[i];
    for (uint32_t j : *chosen) centre = centre + points[j];
    centre = (1.0 / (chosen->size() + 1)) * centre;
    double c[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (size_t j = 0; j <= chosen->size(); ++j) {
        const Vec3 d = (j == chosen->size() ? points[i] : points[(*chosen)[j]]) - centre;
        const double e[3] = {d.x, d.y, d.z};
        for (int r = 0; r < 3; ++r)
            for (int s = 0; s < 3; ++s) c[3 * r + s] += e[r] * e[s];
    }
    Vec3 n = normalsSmallestEigenvector(c);
    if (dot(n, toward) < 0) n = -1.0 * n;
    *normal = n;
    return true;
}

}  // namespace

std::vector<Vec3> normalsEstimate(const ToolRig& rig, const std::vector<Vec3>& points,
                                  const std::vector<int>& angles, int k) {
    const size_t n = points.size();
    std::vector<Vec3> normals(n);
    const size_t others = n == 0 ? 0 : n - 1;
    const size_t most = std::min<size_t>(4 * static_cast<size_t>(std::max(k, 0)), others);
    // Most points find k of their side among their 2 k nearest; only the
    // others are asked again for all 4 k, which gives the same choice as
    // asking every point for 4 k.
    const size_t first = std::min<size_t>(2 * static_cast<size_t>(std::max(k, 0)), most);
    const NeighbourIndex tree = neighboursIndex(points);
    toolParallel(n, 256, [&](size_t begin, size_t end) {
        std::vector<uint32_t> found(most + 1), near(most);
        std::vector<double> squared(most + 1), distance(most);
        std::vector<uint32_t> chosen;
        for (size_t i = begin; i < end; ++i) {
            const Vec3 toward = normalsTowardCameras(rig, points[i], angles[i]);
            size_t got = neighboursOfPoint(tree, points, i, first, found.data(), squared.data(),
                                           near.data(), distance.data());
            if (normalOf(points, angles, i, toward, near.data(), got, first == most, k, &chosen,
                         &normals[i]))
                continue;
            got = neighboursOfPoint(tree, points, i, most, found.data(), squared.data(),
                                    near.data(), distance.data());
            normalOf(points, angles, i, toward, near.data(), got, true, k, &chosen, &normals[i]);
        }
    });
    return normals;
}
