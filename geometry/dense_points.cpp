#include "geometry/dense_points.h"

#include <algorithm>
#include <cmath>

#include "geometry/camera_model.h"
#include "geometry/epipolar.h"

namespace {

// The world direction R^T (x, y, 1) of camera `index`'s normalised point.
Vec3 worldDirection(const RigCamera& camera, double x, double y) {
    const double* r = camera.rotation;
    return {r[0] * x + r[3] * y + r[6], r[1] * x + r[4] * y + r[7], r[2] * x + r[5] * y + r[8]};
}

// The value at `at` of the cubic through (nodes[i], values[i]), i = 0..3.
double cubicThrough(const double nodes[4], const double values[4], double at) {
    double sum = 0;
    for (int i = 0; i < 4; ++i) {
        double term = values[i];
        for (int j = 0; j < 4; ++j)
            if (j != i) term *= (at - nodes[j]) / (nodes[i] - nodes[j]);
        sum += term;
    }
    return sum;
}

// The partners of one camera's marks in the other camera.
struct Partners {
    std::vector<uint8_t> found;
    std::vector<double> x, y;
};

// Meets every mark of view `from` with view `to`'s boundary of its code and
// triangulates the marks met once; records their partners.
void meetAll(const Rig& rig, const DenseView views[2], int from, Partners* partners,
             std::vector<DensePoint>* out) {
    const int to = 1 - from;
    const DenseEssential essential = denseEssential(rig, from, to);
    const DenseView& view = views[from];
    const size_t n = view.u.size();
    if (partners != nullptr) {
        partners->found.assign(n, 0);
        partners->x.assign(n, 0.0);
        partners->y.assign(n, 0.0);
    }
    for (size_t m = 0; m < n; ++m) {
        if (!view.valid[m]) continue;
        double line[3];
        denseEpipolarLine(essential, view.nx[m], view.ny[m], line);
        double x = 0, y = 0;
        if (denseMeet(views[to], rig.cameras[to], line, view.code[m], &x, &y) != 1) continue;
        Vec3 point;
        const bool made = from == 0 ? denseTriangulate(rig, view.nx[m], view.ny[m], x, y, &point)
                                    : denseTriangulate(rig, x, y, view.nx[m], view.ny[m], &point);
        if (!made) continue;
        out->push_back(DensePoint{point, static_cast<double>(view.code[m])});
        if (partners != nullptr) {
            partners->found[m] = 1;
            partners->x[m] = x;
            partners->y[m] = y;
        }
    }
}

// The pixels between boundaries of the rows of camera `from` (0 or 1).
void fillRows(const Rig& rig, int from, const DenseView& view, const Partners& partners,
              std::vector<DensePoint>* out) {
    const RigCamera& camera1 = rig.cameras[from];
    const double fx2 = rig.cameras[1 - from].fx;
    for (int32_t row = 0; row < view.height; ++row) {
        const double v = denseRowV(view, row);
        const int32_t begin = view.rowStart[row], end = view.rowStart[row + 1];
        for (int32_t a = begin; a + 3 < end; ++a) {
            const int32_t b = a + 1, c = a + 2, d = a + 3;
            const int32_t k = view.code[b];
            if (view.code[a] != k - 1 || view.code[c] != k + 1 || view.code[d] != k + 2) continue;
            if (!partners.found[a] || !partners.found[b] || !partners.found[c] ||
                !partners.found[d])
                continue;
            const double columns[4] = {view.u[a], view.u[b], view.u[c], view.u[d]};
            if (!(columns[0] < columns[1] && columns[1] < columns[2] && columns[2] < columns[3]))
                continue;
            // The width of each of the three stripes in this camera over its
            // width in the other: beyond kDenseFillWidthRatio either way the
            // middle stripe is seen nearly edge-on by one camera; varying by
            // more than kDenseFillRatioSpread over the three, the four
            // boundaries do not lie on one smooth piece of surface.
            double ratios[3];
            for (int i = 0; i < 3; ++i) {
                const int32_t m0 = a + i, m1 = a + i + 1;
                const double width = view.u[m1] - view.u[m0];
                const double other = fx2 * std::hypot(partners.x[m1] - partners.x[m0],
                                                      partners.y[m1] - partners.y[m0]);
                ratios[i] = width / other;
            }
            if (!(ratios[1] <= kDenseFillWidthRatio && ratios[1] >= 1 / kDenseFillWidthRatio))
                continue;
            const double widest = std::max(ratios[0], std::max(ratios[1], ratios[2]));
            const double narrowest = std::min(ratios[0], std::min(ratios[1], ratios[2]));
            if (!(widest <= kDenseFillRatioSpread * narrowest)) continue;
            const double stripes[4] = {k - 1.0, k + 0.0, k + 1.0, k + 2.0};
            const double px[4] = {partners.x[a], partners.x[b], partners.x[c], partners.x[d]};
            const double py[4] = {partners.y[a], partners.y[b], partners.y[c], partners.y[d]};
            for (double u = std::floor(columns[1]) + 1; u < columns[2]; u += 1) {
                const double stripe = cubicThrough(columns, stripes, u);
                if (!(stripe > k && stripe < k + 1)) continue;
                double x1 = 0, y1 = 0;
                if (!rigUndistort(camera1, u, v, &x1, &y1)) continue;
                const double x2 = cubicThrough(stripes, px, stripe);
                const double y2 = cubicThrough(stripes, py, stripe);
                Vec3 point;
                const bool made = from == 0 ? denseTriangulate(rig, x1, y1, x2, y2, &point)
                                            : denseTriangulate(rig, x2, y2, x1, y1, &point);
                if (!made) continue;
                out->push_back(DensePoint{point, stripe});
            }
        }
    }
}

}  // namespace

bool denseTriangulate(const Rig& rig, double x0, double y0, double x1, double y1, Vec3* point) {
    const Vec3 c0 = rig.cameras[0].centre, c1 = rig.cameras[1].centre;
    const Vec3 d0 = worldDirection(rig.cameras[0], x0, y0);
    const Vec3 d1 = worldDirection(rig.cameras[1], x1, y1);
    const Vec3 w = c0 - c1;
    const double a = dot(d0, d0), b = dot(d0, d1), c = dot(d1, d1);
    const double d = dot(d0, w), e = dot(d1, w);
    const double det = a * c - b * b;
    // Rays parallel within about 1e-4 radians give no point.
    if (!(det > 1e-8 * a * c)) return false;
    const double t0 = (b * e - c * d) / det;
    const double t1 = (a * e - b * d) / det;
    if (!(t0 > 0 && t1 > 0)) return false;
    *point = 0.5 * ((c0 + t0 * d0) + (c1 + t1 * d1));
    return true;
}

void densePoints(const Rig& rig, const DenseView views[2], bool fill,
                 std::vector<DensePoint>* out) {
    Partners partners[2];
    meetAll(rig, views, 0, &partners[0], out);
    meetAll(rig, views, 1, &partners[1], out);
    if (!fill) return;
    fillRows(rig, 0, views[0], partners[0], out);
    fillRows(rig, 1, views[1], partners[1], out);
}
