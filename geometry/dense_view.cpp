#include "geometry/dense_view.h"

#include <algorithm>
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

// A least-squares curve u = c0 + c1 t + c2 t^2 through a mark's boundary at
// row offsets t from it: its value and slope at the mark, and the root mean
// square of its residuals.
struct BoundaryFit {
    double at = 0, slope = 0, rms = 0;
};

// Fits the parabola (a straight line when `parabola` is false) through
// `count` marks; false when they do not determine it.
bool fitAtMark(const double* t, const double* u, int count, bool parabola, BoundaryFit* fit) {
    // Sums of t^k (k = 0 .. 4) and of t^k u (k = 0 .. 2).
    double st[5] = {0, 0, 0, 0, 0}, su[3] = {0, 0, 0};
    for (int i = 0; i < count; ++i) {
        double power = 1;
        for (int j = 0; j < 5; ++j) {
            st[j] += power;
            if (j < 3) su[j] += power * u[i];
            power *= t[i];
        }
    }
    double c[3] = {0, 0, 0};
    if (!parabola) {
        const double det = st[0] * st[2] - st[1] * st[1];
        if (!(det > 0)) return false;
        c[0] = (st[2] * su[0] - st[1] * su[1]) / det;
        c[1] = (st[0] * su[1] - st[1] * su[0]) / det;
    } else {
        // The normal equations by Cramer's rule.
        const double m11 = st[2] * st[4] - st[3] * st[3];
        const double m12 = st[1] * st[4] - st[3] * st[2];
        const double m13 = st[1] * st[3] - st[2] * st[2];
        const double det = st[0] * m11 - st[1] * m12 + st[2] * m13;
        if (!(det > 0)) return false;
        c[0] = (su[0] * m11 - st[1] * (su[1] * st[4] - st[3] * su[2]) +
                st[2] * (su[1] * st[3] - st[2] * su[2])) / det;
        c[1] = (st[0] * (su[1] * st[4] - st[3] * su[2]) - su[0] * m12 +
                st[2] * (st[1] * su[2] - su[1] * st[2])) / det;
        c[2] = (st[0] * (st[2] * su[2] - su[1] * st[3]) - st[1] * (st[1] * su[2] - su[1] * st[2]) +
                su[0] * m13) / det;
    }
    double squares = 0;
    for (int i = 0; i < count; ++i) {
        const double r = u[i] - (c[0] + c[1] * t[i] + c[2] * t[i] * t[i]);
        squares += r * r;
    }
    fit->at = c[0];
    fit->slope = c[1];
    fit->rms = std::sqrt(squares / count);
    return true;
}

// The marks of one mark's boundary within `reach` rows (at most
// kDenseSmoothRowsMax): offsets and columns, the mark first, then
// alternately above and below while both last.
struct BoundaryWindow {
    double t[2 * kDenseSmoothRowsMax + 1], u[2 * kDenseSmoothRowsMax + 1];
    int above = 0, below = 0;  // linked marks found on either side
};

void gather(const DenseView& v, const std::vector<double>& raw, int32_t m, int reach,
            BoundaryWindow* w) {
    w->t[0] = 0;
    w->u[0] = raw[m];
    double above[kDenseSmoothRowsMax], below[kDenseSmoothRowsMax];
    w->above = w->below = 0;
    for (int32_t k = m; w->above < reach && (k = v.prev[k]) >= 0;) above[w->above++] = raw[k];
    for (int32_t k = m; w->below < reach && (k = v.next[k]) >= 0;) below[w->below++] = raw[k];
    // Symmetric pairs first, so a window of r rows either side is the first
    // 2 r + 1 entries; the rest of the longer side after them.
    int n = 1;
    const int pairs = std::min(w->above, w->below);
    for (int i = 0; i < pairs; ++i) {
        w->t[n] = -(i + 1);
        w->u[n++] = above[i];
        w->t[n] = i + 1;
        w->u[n++] = below[i];
    }
    for (int i = pairs; i < w->above; ++i) {
        w->t[n] = -(i + 1);
        w->u[n++] = above[i];
    }
    for (int i = pairs; i < w->below; ++i) {
        w->t[n] = i + 1;
        w->u[n++] = below[i];
    }
}

// A mark's column over ever wider windows of its boundary, for as long as
// the boundary allows (see smooth); `limit` bounds the residuals.
void widen(const DenseView& v, const std::vector<double>& raw, int32_t m, double limit,
           BoundaryWindow* w, double* u) {
    gather(v, raw, m, kDenseSmoothRowsMax, w);
    const int both = std::min(w->above, w->below);
    // Whether the boundary runs upright, by the slope of the parabola over
    // kDenseSmoothRowsMid rows either side.
    BoundaryFit wide, mid;
    const bool hasMid = both >= kDenseSmoothRowsMid &&
                        fitAtMark(w->t, w->u, 2 * kDenseSmoothRowsMid + 1, true, &mid);
    const bool upright = hasMid && std::fabs(mid.slope) < kDenseSteepSlope;
    if (upright) limit = std::max(limit, kDenseSmoothScatterFloor);
    if (!fitAtMark(w->t, w->u, 2 * kDenseSmoothRowsWide + 1, true, &wide) || wide.rms > limit)
        return;
    *u = wide.at;
    if (!hasMid || mid.rms > limit) return;
    *u = mid.at;
    if (!upright) return;
    for (int rows : kDenseSmoothRowsLong) {
        BoundaryFit parabola, line;
        if (both < rows || !fitAtMark(w->t, w->u, 2 * rows + 1, true, &parabola) ||
            parabola.rms > limit)
            return;
        const double bound = kDenseLineResiduals * parabola.rms * parabola.rms;
        const bool straight = fitAtMark(w->t, w->u, 2 * rows + 1, false, &line) &&
                              line.rms * line.rms <= bound;
        *u = straight ? line.at : parabola.at;
    }
}

// Each mark's column from a least-squares curve through it and its linked
// neighbours. With kDenseSmoothRows marks on both sides: the parabola over
// those rows, then over kDenseSmoothRowsWide and kDenseSmoothRowsMid rows
// for as long as the wider fit's residuals stay within the limit, twice the
// view's typical residual of the narrow fit (the marks' own scatter): a
// boundary that runs slanted down the picture is read in steps of the
// picture's sampling, and only many rows average the steps out, while a
// boundary that bends refuses the wider fit. One that runs nearly upright
// takes a step only every few tens of rows. Its limit is never less than
// the scatter of half-pixel steps (in a blurred picture every boundary reads
// smoothly, and the view's typical residual would refuse a window holding a
// step), and it is fitted over up to kDenseSmoothRowsMax rows, by a straight
// line where the parabola does not fit markedly better (the boundary does
// not bend there): the line's value is the steps' average, the parabola's
// follows the steps. Nearer an end of its boundary: the parabola through up
// to kDenseSmoothRows marks either side when there are at least
// kDenseSmoothQuadratic marks, a straight line through three or four, and
// the mark as read when fewer.
void smooth(DenseView* v) {
    const std::vector<double> raw = v->u;
    const int32_t n = static_cast<int32_t>(raw.size());
    const int narrow = 2 * kDenseSmoothRows + 1;
    // Every mark's narrow fit (or, near an end, the shorter one); the narrow
    // fits' residuals, whose median is the typical scatter; and the marks
    // long enough on both sides to try the wider fits.
    std::vector<double> scatter;
    std::vector<int32_t> wide;
    BoundaryWindow w;
    for (int32_t m = 0; m < n; ++m) {
        gather(*v, raw, m, kDenseSmoothRowsWide, &w);
        const int both = std::min(w.above, w.below);
        BoundaryFit fit;
        if (both >= kDenseSmoothRows) {
            if (!fitAtMark(w.t, w.u, narrow, true, &fit)) continue;
            v->u[m] = fit.at;
            scatter.push_back(fit.rms);
            if (both >= kDenseSmoothRowsWide) wide.push_back(m);
            continue;
        }
        // Up to kDenseSmoothRows rows either side.
        int count = 1;
        for (int i = 1; i < 1 + w.above + w.below; ++i)
            if (std::fabs(w.t[i]) <= kDenseSmoothRows) {
                w.t[count] = w.t[i];
                w.u[count++] = w.u[i];
            }
        if (count < 3) continue;
        if (fitAtMark(w.t, w.u, count, count >= kDenseSmoothQuadratic, &fit)) v->u[m] = fit.at;
    }
    if (scatter.empty()) return;
    std::nth_element(scatter.begin(), scatter.begin() + scatter.size() / 2, scatter.end());
    const double limit = kDenseSmoothWideScatter * scatter[scatter.size() / 2];
    for (const int32_t m : wide) widen(*v, raw, m, limit, &w, &v->u[m]);
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
