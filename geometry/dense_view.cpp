#include "geometry/dense_view.h"

#include <cmath>

#include "geometry/camera_model.h"
#include "geometry/rig.h"

namespace {

// The mark of code `code` in row `y` nearest to column `u`, within the link
// distance; -1 when none.
int32_t nearestInRow(const DenseView& v, int32_t y, int32_t code, double u) {
    int32_t best = -1;
    double bestGap = kDenseLinkPixels;
    for (int32_t m = v.codeRow[static_cast<size_t>(code) * v.height + y]; m >= 0;
         m = v.codeNext[m]) {
        const double gap = std::fabs(v.u[m] - u);
        if (gap <= bestGap) {
            bestGap = gap;
            best = m;
        }
    }
    return best;
}

// Links each mark to its nearest namesake on the next row when each is the
// other's nearest: one boundary, one polyline.
void link(DenseView* v) {
    const size_t n = v->u.size();
    v->next.assign(n, -1);
    v->prev.assign(n, -1);
    for (int32_t y = 0; y + 1 < v->height; ++y) {
        for (int32_t m = v->rowStart[y]; m < v->rowStart[y + 1]; ++m) {
            const int32_t below = nearestInRow(*v, y + 1, v->code[m], v->u[m]);
            if (below < 0) continue;
            if (nearestInRow(*v, y, v->code[m], v->u[below]) != m) continue;
            v->next[m] = below;
            v->prev[below] = m;
        }
    }
}

// Each mark's column from the least-squares curve through it and up to
// kDenseSmoothRows linked marks on either side: a parabola when there are at
// least kDenseSmoothQuadratic marks, a straight line when there are three or
// four, and the mark as read when fewer. The fit is in the row offset t from
// the mark, so its value at the mark is the constant term.
void smooth(DenseView* v) {
    const std::vector<double> raw = v->u;
    const int32_t n = static_cast<int32_t>(raw.size());
    for (int32_t m = 0; m < n; ++m) {
        // Sums of t^k (k = 0 .. 4) and of t^k u (k = 0 .. 2).
        double st[5] = {0, 0, 0, 0, 0}, su[3] = {0, 0, 0};
        int count = 0;
        auto add = [&](int32_t k, double t) {
            double power = 1;
            for (int j = 0; j < 5; ++j) {
                st[j] += power;
                if (j < 3) su[j] += power * raw[k];
                power *= t;
            }
            ++count;
        };
        add(m, 0);
        int32_t k = m;
        for (int step = 1; step <= kDenseSmoothRows && (k = v->prev[k]) >= 0; ++step) add(k, -step);
        k = m;
        for (int step = 1; step <= kDenseSmoothRows && (k = v->next[k]) >= 0; ++step) add(k, step);
        if (count < 3) continue;
        if (count < kDenseSmoothQuadratic) {
            const double det = st[0] * st[2] - st[1] * st[1];
            if (det > 0) v->u[m] = (st[2] * su[0] - st[1] * su[1]) / det;
            continue;
        }
        // The normal equations of u = c0 + c1 t + c2 t^2; c0 by Cramer's rule.
        const double m11 = st[2] * st[4] - st[3] * st[3];
        const double m12 = st[1] * st[4] - st[3] * st[2];
        const double m13 = st[1] * st[3] - st[2] * st[2];
        const double det = st[0] * m11 - st[1] * m12 + st[2] * m13;
        if (!(det > 0)) continue;
        const double c0 = su[0] * m11 - st[1] * (su[1] * st[4] - st[3] * su[2]) +
                          st[2] * (su[1] * st[3] - st[2] * su[2]);
        v->u[m] = c0 / det;
    }
}

}  // namespace

void denseViewBuild(const DenseMarks& marks, const RigCamera& camera, DenseView* view) {
    DenseView& v = *view;
    v.width = marks.width;
    v.height = marks.height;
    v.rowStart = marks.rowStart;
    const size_t n = marks.marks.size();
    v.u.resize(n);
    v.code.resize(n);
    for (size_t i = 0; i < n; ++i) {
        v.u[i] = marks.marks[i].u;
        v.code[i] = marks.marks[i].code;
    }
    // Marks of one code in one row, chained in column order.
    v.codeRow.assign(static_cast<size_t>(kBcslCodes) * static_cast<size_t>(v.height), -1);
    v.codeNext.assign(n, -1);
    for (int32_t y = 0; y < v.height; ++y) {
        for (int32_t m = v.rowStart[y + 1] - 1; m >= v.rowStart[y]; --m) {
            int32_t& head = v.codeRow[static_cast<size_t>(v.code[m]) * v.height + y];
            v.codeNext[m] = head;
            head = m;
        }
    }
    link(&v);
    smooth(&v);
    v.nx.resize(n);
    v.ny.resize(n);
    v.valid.assign(n, 0);
    for (int c = 0; c < kBcslCodes; ++c) {
        v.nxMin[c] = INFINITY;
        v.nxMax[c] = -INFINITY;
    }
    for (int32_t y = 0; y < v.height; ++y) {
        const double row = denseRowV(v, y);
        for (int32_t m = v.rowStart[y]; m < v.rowStart[y + 1]; ++m) {
            double x = 0, yn = 0;
            if (!rigUndistort(camera, v.u[m], row, &x, &yn)) continue;
            v.nx[m] = x;
            v.ny[m] = yn;
            v.valid[m] = 1;
            const int c = v.code[m];
            if (x < v.nxMin[c]) v.nxMin[c] = x;
            if (x > v.nxMax[c]) v.nxMax[c] = x;
        }
    }
}
