#include "geometry/epipolar.h"

#include <algorithm>
#include <cmath>

#include "geometry/camera_model.h"

DenseEssential denseEssential(const Rig& rig, int from, int to) {
    // X_to = R X_from + t with R = R_to R_from^T, t = R_to (C_from - C_to);
    // E = [t]x R.
    const double* a = rig.cameras[from].rotation;
    const double* b = rig.cameras[to].rotation;
    double r[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[3 * i + j] = b[3 * i] * a[3 * j] + b[3 * i + 1] * a[3 * j + 1] +
                           b[3 * i + 2] * a[3 * j + 2];
    const Vec3 d = rig.cameras[from].centre - rig.cameras[to].centre;
    const double t[3] = {b[0] * d.x + b[1] * d.y + b[2] * d.z, b[3] * d.x + b[4] * d.y + b[5] * d.z,
                         b[6] * d.x + b[7] * d.y + b[8] * d.z};
    const double tx[9] = {0, -t[2], t[1], t[2], 0, -t[0], -t[1], t[0], 0};
    DenseEssential e;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            e.e[3 * i + j] =
                tx[3 * i] * r[j] + tx[3 * i + 1] * r[3 + j] + tx[3 * i + 2] * r[6 + j];
    return e;
}

void denseEpipolarLine(const DenseEssential& essential, double x, double y, double line[3]) {
    const double* e = essential.e;
    line[0] = e[0] * x + e[1] * y + e[2];
    line[1] = e[3] * x + e[4] * y + e[5];
    line[2] = e[6] * x + e[7] * y + e[8];
}

namespace {

// The stored rows [*first, *last] the line can reach where code `code` has
// marks; false when none.
bool rowsReached(const DenseView& to, const RigCamera& camera, const double line[3], int code,
                 int32_t* first, int32_t* last) {
    const double lo = to.nxMin[code], hi = to.nxMax[code];
    if (!(lo <= hi)) return false;
    *first = 0;
    *last = to.height - 1;
    // A line far from horizontal: every row (this rig's cameras would stand
    // one above the other).
    if (std::fabs(line[1]) < 0.2 * std::fabs(line[0])) return true;
    double vMin = INFINITY, vMax = -INFINITY;
    constexpr int kSamples = 5;
    for (int i = 0; i < kSamples; ++i) {
        const double x = lo + (hi - lo) * i / (kSamples - 1);
        const double y = -(line[0] * x + line[2]) / line[1];
        double u = 0, v = 0;
        rigDistort(camera, x, y, &u, &v);
        vMin = std::min(vMin, v);
        vMax = std::max(vMax, v);
    }
    // Two rows of margin for the bend of the distorted line between samples
    // and for the segment that straddles the ends.
    const double top = std::floor((to.height - 1) - vMax) - 2;
    const double bottom = std::ceil((to.height - 1) - vMin) + 2;
    if (!(top <= bottom)) return false;
    if (bottom < 0 || top > to.height - 1) return false;
    *first = static_cast<int32_t>(std::max(0.0, top));
    *last = static_cast<int32_t>(std::min<double>(to.height - 1, bottom));
    return true;
}

}  // namespace

int denseMeet(const DenseView& to, const RigCamera& camera, const double line[3], int code,
              double* x, double* y) {
    int32_t first = 0, last = 0;
    if (!rowsReached(to, camera, line, code, &first, &last)) return 0;
    int crossings = 0;
    for (int32_t row = first; row < last; ++row) {
        for (int32_t m = to.codeRow[static_cast<size_t>(code) * to.height + row]; m >= 0;
             m = to.codeNext[m]) {
            const int32_t n = to.next[m];
            if (n < 0 || !to.valid[m] || !to.valid[n]) continue;
            const double da = line[0] * to.nx[m] + line[1] * to.ny[m] + line[2];
            const double db = line[0] * to.nx[n] + line[1] * to.ny[n] + line[2];
            // A vertex on the line counts on one side only, so a line through
            // a vertex meets the polyline once, not twice.
            if ((da < 0) == (db < 0)) continue;
            ++crossings;
            const double t = da / (da - db);
            *x = to.nx[m] + t * (to.nx[n] - to.nx[m]);
            *y = to.ny[m] + t * (to.ny[n] - to.ny[m]);
        }
    }
    return crossings;
}
