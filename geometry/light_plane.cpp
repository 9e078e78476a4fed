#include "geometry/light_plane.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Eigenvalues (ascending) and unit eigenvectors of a symmetric 3 x 3 matrix
// by Jacobi rotations.
void symmetricEigen(const double in[3][3], double values[3], Vec3 vectors[3]) {
    double a[3][3], v[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) a[i][j] = in[i][j];
    for (int sweep = 0; sweep < 50; ++sweep) {
        const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        if (off < 1e-30) break;
        for (int p = 0; p < 2; ++p) {
            for (int q = p + 1; q < 3; ++q) {
                if (a[p][q] == 0) continue;
                const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) /
                                 (std::fabs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int k = 0; k < 3; ++k) {
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
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3, [&](int i, int j) { return a[i][i] < a[j][j]; });
    for (int i = 0; i < 3; ++i) {
        values[i] = a[order[i]][order[i]];
        vectors[i] = normalized(Vec3{v[0][order[i]], v[1][order[i]], v[2][order[i]]});
    }
}

// The least-squares plane of the points whose `use` is set; false when
// fewer than the minimum or on a line.
bool fitPlane(const std::vector<Vec3>& points, const std::vector<uint8_t>& use, LightPlane* plane) {
    long n = 0;
    Vec3 mean{0, 0, 0};
    for (size_t i = 0; i < points.size(); ++i)
        if (use[i]) {
            mean = mean + points[i];
            ++n;
        }
    if (n < kLightPlaneMinPoints) return false;
    mean = (1.0 / static_cast<double>(n)) * mean;
    double m[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    for (size_t i = 0; i < points.size(); ++i) {
        if (!use[i]) continue;
        const Vec3 d = points[i] - mean;
        const double c[3] = {d.x, d.y, d.z};
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k) m[r][k] += c[r] * c[k];
    }
    double values[3];
    Vec3 vectors[3];
    symmetricEigen(m, values, vectors);
    // Points on a line (or one point) leave the plane's turn about it free.
    if (!(values[1] > 1e-9 * values[2]) || !(values[2] > 0)) return false;
    plane->valid = true;
    plane->normal = vectors[0];
    plane->offset = dot(vectors[0], mean);
    plane->points = n;
    return true;
}

// Marks in `use` the points within the tolerance of the plane through three
// of them that most points lie within the tolerance of, over kSeedTrials
// triples drawn by a fixed sequence (a scan always gives the same planes),
// counted on at most kSeedSample points spread over the list. A least-squares
// start would be tilted by a boundary misread as this code (a tenth of a
// code's points can lie on a plane two stripes away) and could settle
// between the two. False when no triple spans a plane.
constexpr int kSeedTrials = 200;
constexpr size_t kSeedSample = 1000;

bool seedPlane(const std::vector<Vec3>& points, std::vector<uint8_t>* use) {
    const size_t n = points.size();
    const size_t stride = std::max<size_t>(1, n / kSeedSample);
    uint64_t state = 1;
    const auto draw = [&state, n]() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<size_t>((state >> 33) % n);
    };
    long bestCount = -1;
    Vec3 bestNormal{0, 0, 0};
    double bestOffset = 0;
    for (int trial = 0; trial < kSeedTrials; ++trial) {
        const Vec3 a = points[draw()], b = points[draw()], c = points[draw()];
        const Vec3 normal = cross(b - a, c - a);
        const double size = length(normal);
        // Three points nearly on a line (or repeated) fix no plane.
        if (!(size > 1e-6 * length(b - a) * length(c - a))) continue;
        const Vec3 unit = (1.0 / size) * normal;
        const double offset = dot(unit, a);
        long count = 0;
        for (size_t i = 0; i < n; i += stride)
            if (std::fabs(dot(unit, points[i]) - offset) <= kLightPlaneTolerance) ++count;
        if (count > bestCount) {
            bestCount = count;
            bestNormal = unit;
            bestOffset = offset;
        }
    }
    if (bestCount < 0) return false;
    for (size_t i = 0; i < n; ++i)
        (*use)[i] = std::fabs(dot(bestNormal, points[i]) - bestOffset) <= kLightPlaneTolerance;
    return true;
}

}  // namespace

LightPlane lightPlaneFit(const std::vector<Vec3>& points) {
    LightPlane plane;
    if (points.size() < static_cast<size_t>(kLightPlaneMinPoints)) return LightPlane{};
    std::vector<uint8_t> use(points.size(), 1);
    if (!seedPlane(points, &use)) return LightPlane{};
    if (!fitPlane(points, use, &plane)) return LightPlane{};
    std::vector<double> distance(points.size());
    for (int round = 0; round < 10; ++round) {
        for (size_t i = 0; i < points.size(); ++i)
            distance[i] = std::fabs(dot(plane.normal, points[i]) - plane.offset);
        // The robust spread: 1.4826 times the median distance.
        std::vector<double> sorted = distance;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const double spread = 1.4826 * sorted[sorted.size() / 2];
        const double keep = std::max(kLightPlaneTolerance, 3 * spread);
        bool changed = false;
        for (size_t i = 0; i < points.size(); ++i) {
            const uint8_t in = distance[i] <= keep ? 1 : 0;
            if (in != use[i]) changed = true;
            use[i] = in;
        }
        if (!changed && round > 0) break;
        LightPlane refit;
        if (!fitPlane(points, use, &refit)) return LightPlane{};
        plane = refit;
    }
    return plane;
}

void lightPlanesFit(const std::vector<const std::vector<DensePoint>*>& angles,
                    LightPlane planes[kBcslCodes]) {
    std::vector<Vec3> byCode[kBcslCodes];
    for (const std::vector<DensePoint>* points : angles)
        for (const DensePoint& p : *points) {
            const double code = std::floor(p.stripe);
            if (code != p.stripe || code < 0 || code >= kBcslCodes) continue;
            byCode[static_cast<int>(code)].push_back(p.world);
        }
    const LightPlane* first = nullptr;
    for (int c = 0; c < kBcslCodes; ++c) {
        planes[c] = lightPlaneFit(byCode[c]);
        if (!planes[c].valid) continue;
        if (first == nullptr) {
            first = &planes[c];
        } else if (dot(first->normal, planes[c].normal) < 0) {
            planes[c].normal = -1.0 * planes[c].normal;
            planes[c].offset = -planes[c].offset;
        }
    }
}

bool lightPlaneKeeps(const LightPlane planes[kBcslCodes], const DensePoint& point) {
    const double low = std::floor(point.stripe);
    if (!(low >= 0 && low < kBcslCodes)) return false;
    const int c = static_cast<int>(low);
    const LightPlane& p = planes[c];
    if (!p.valid) return false;
    const double here = dot(p.normal, point.world) - p.offset;
    const double share = point.stripe - low;
    if (share == 0) return std::fabs(here) <= kLightPlaneTolerance;
    if (c + 1 >= kBcslCodes || !planes[c + 1].valid) return false;
    const LightPlane& q = planes[c + 1];
    const double there = dot(q.normal, point.world) - q.offset;
    return std::fabs((1 - share) * here + share * there) <= kLightPlaneTolerance;
}
