#include "scene/lathe.h"

#include <algorithm>
#include <cmath>

#include "geometry/algebra.h"

namespace {

// The profile's vertex spacing along the curve, in units.
constexpr double kVaseStep = 0.1;

// Adjacent segments whose normals differ by less than about 25 degrees are
// shaded as one smooth curve; a sharper corner (a cylinder's rim) stays sharp.
constexpr double kSmoothCosine = 0.9;

struct Normal2 {
    double r, y;
};

// The outward unit normal of segment i (vertex i to i + 1). The profile runs
// out along the bottom, up and in along the top: counterclockwise with the
// radius as the first axis, so the outside lies to the right of each segment.
Normal2 segmentNormal(const Lathe& l, size_t i) {
    const double er = l.r[i + 1] - l.r[i], ey = l.y[i + 1] - l.y[i];
    const double len = std::hypot(er, ey);
    return {ey / len, -er / len};
}

// The shading normal at vertex `v` as seen from segment `own`: the mean of
// the two segments' normals where they meet smoothly, else the segment's own.
Normal2 vertexNormal(const Lathe& l, size_t v, size_t own) {
    const Normal2 n = segmentNormal(l, own);
    if (v == 0 || v + 1 == l.r.size()) return n;
    const Normal2 other = segmentNormal(l, v == own ? own - 1 : own + 1);
    if (n.r * other.r + n.y * other.y < kSmoothCosine) return n;
    const double sr = n.r + other.r, sy = n.y + other.y, len = std::hypot(sr, sy);
    return {sr / len, sy / len};
}

// Squared distance of (pr, py) to segment i.
double segmentDistance2(const Lathe& l, size_t i, double pr, double py) {
    const double er = l.r[i + 1] - l.r[i], ey = l.y[i + 1] - l.y[i];
    const double wr = pr - l.r[i], wy = py - l.y[i];
    const double u = std::clamp((wr * er + wy * ey) / (er * er + ey * ey), 0.0, 1.0);
    const double dr = wr - u * er, dy = wy - u * ey;
    return dr * dr + dy * dy;
}

// A cubic spline through (x[i], f[i]) with zero slope at both ends.
struct Spline {
    std::vector<double> x, f, m;  // knots, values, second derivatives
};

Spline splineClamped(const std::vector<double>& x, const std::vector<double>& f) {
    const size_t n = x.size();
    std::vector<double> h(n - 1), diag(n), upper(n), rhs(n);
    for (size_t i = 0; i + 1 < n; ++i) h[i] = x[i + 1] - x[i];
    diag[0] = 2 * h[0];
    upper[0] = h[0];
    rhs[0] = 6 * ((f[1] - f[0]) / h[0]);
    for (size_t i = 1; i + 1 < n; ++i) {
        diag[i] = 2 * (h[i - 1] + h[i]);
        upper[i] = h[i];
        rhs[i] = 6 * ((f[i + 1] - f[i]) / h[i] - (f[i] - f[i - 1]) / h[i - 1]);
    }
    diag[n - 1] = 2 * h[n - 2];
    rhs[n - 1] = -6 * ((f[n - 1] - f[n - 2]) / h[n - 2]);
    // Tridiagonal elimination; the lower diagonal equals h[i - 1].
    for (size_t i = 1; i < n; ++i) {
        const double k = h[i - 1] / diag[i - 1];
        diag[i] -= k * upper[i - 1];
        rhs[i] -= k * rhs[i - 1];
    }
    std::vector<double> m(n);
    m[n - 1] = rhs[n - 1] / diag[n - 1];
    for (size_t i = n - 1; i-- > 0;) m[i] = (rhs[i] - upper[i] * m[i + 1]) / diag[i];
    return {x, f, m};
}

// The spline's value and slope at t.
void splineAt(const Spline& s, double t, double* value, double* slope) {
    size_t i = static_cast<size_t>(std::upper_bound(s.x.begin(), s.x.end(), t) - s.x.begin());
    i = std::clamp<size_t>(i, 1, s.x.size() - 1) - 1;
    const double h = s.x[i + 1] - s.x[i], a = s.x[i + 1] - t, b = t - s.x[i];
    const double c0 = s.f[i] / h - s.m[i] * h / 6, c1 = s.f[i + 1] / h - s.m[i + 1] * h / 6;
    *value = s.m[i] * a * a * a / (6 * h) + s.m[i + 1] * b * b * b / (6 * h) + c0 * a + c1 * b;
    *slope = -s.m[i] * a * a / (2 * h) + s.m[i + 1] * b * b / (2 * h) - c0 + c1;
}

// Appends the quarter circle of radius c about (cr, cy) from angle `from` to
// `to` (radians), without its first point.
void appendArc(double cr, double cy, double c, double from, double to, std::vector<double>* r,
               std::vector<double>* y) {
    const int steps = static_cast<int>(std::ceil(std::fabs(to - from) * c / kVaseStep));
    for (int k = 1; k <= steps; ++k) {
        const double a = from + (to - from) * k / steps;
        r->push_back(cr + c * std::cos(a));
        y->push_back(cy + c * std::sin(a));
    }
}

}  // namespace

bool latheMake(double axisX, double axisZ, const std::vector<double>& r,
               const std::vector<double>& y, Lathe* lathe) {
    if (r.size() < 2 || r.size() != y.size()) return false;
    for (size_t i = 0; i < r.size(); ++i) {
        if (!(r[i] > 0) || !std::isfinite(r[i]) || !std::isfinite(y[i])) return false;
        if (i > 0 && !(y[i] > y[i - 1])) return false;
    }
    Lathe l;
    l.axisX = axisX;
    l.axisZ = axisZ;
    l.r.push_back(0);
    l.y.push_back(y.front());
    l.r.insert(l.r.end(), r.begin(), r.end());
    l.y.insert(l.y.end(), y.begin(), y.end());
    l.r.push_back(0);
    l.y.push_back(y.back());
    l.maxRadius = *std::max_element(r.begin(), r.end());
    l.areaBelow.push_back(0);
    for (size_t i = 0; i + 1 < l.r.size(); ++i) {
        const double slant = std::hypot(l.r[i + 1] - l.r[i], l.y[i + 1] - l.y[i]);
        l.areaBelow.push_back(l.areaBelow.back() + kPi * (l.r[i] + l.r[i + 1]) * slant);
    }
    *lathe = l;
    return true;
}

Lathe latheVase() {
    const double bottom = -45, top = 24;
    const double footRadius = 11, footRound = 2;  // the foot's edge, rounded
    const double lipRound = 1.5;                   // the lip's rim, rounded
    // The side between the foot's rounding and the lip's: a waist above the
    // foot, the body, the neck and the flare, level at both ends so that the
    // roundings join it smoothly.
    const Spline side = splineClamped({-43, -39.5, -31, -20, -8, 4, 11, 16.5, top - lipRound},
                                      {footRadius, 9.8, 14.5, 19, 17.5, 11, 7.5, 8.5, 12.5});
    std::vector<double> r{footRadius - footRound}, y{bottom};
    appendArc(footRadius - footRound, bottom + footRound, footRound, -kPi / 2, 0, &r, &y);
    const double end = top - lipRound;
    for (double t = bottom + footRound;;) {
        double value, slope;
        splineAt(side, t, &value, &slope);
        t += kVaseStep / std::sqrt(1 + slope * slope);
        if (t > end - 0.5 * kVaseStep) break;
        splineAt(side, t, &value, &slope);
        r.push_back(value);
        y.push_back(t);
    }
    double lip, slope;
    splineAt(side, end, &lip, &slope);
    r.push_back(lip);
    y.push_back(end);
    appendArc(lip - lipRound, end, lipRound, 0, kPi / 2, &r, &y);
    Lathe vase;
    latheMake(0, 0, r, y, &vase);
    return vase;
}

double latheDistance(const Lathe& l, Vec3 p) {
    const double pr = std::hypot(p.x - l.axisX, p.z - l.axisZ), py = p.y;
    const size_t segments = l.r.size() - 1;
    // Segment i spans heights y[i] to y[i + 1], which never fall: start at
    // the one level with p and widen both ways while a segment can still be
    // nearer than the best so far.
    const size_t above =
        static_cast<size_t>(std::upper_bound(l.y.begin(), l.y.end(), py) - l.y.begin());
    const size_t start = std::min(above == 0 ? 0 : above - 1, segments - 1);
    double best2 = segmentDistance2(l, start, pr, py);
    for (size_t i = start; i-- > 0;) {
        const double gap = py - l.y[i + 1];
        if (gap > 0 && gap * gap >= best2) break;
        best2 = std::min(best2, segmentDistance2(l, i, pr, py));
    }
    for (size_t i = start + 1; i < segments; ++i) {
        const double gap = l.y[i] - py;
        if (gap > 0 && gap * gap >= best2) break;
        best2 = std::min(best2, segmentDistance2(l, i, pr, py));
    }
    const double d = std::sqrt(best2);
    // Inside: strictly between the discs and nearer the axis than the side.
    // Between the discs the side is a function of the height, and its
    // segment at py is the one below the first vertex above py.
    if (!(py > l.y.front() && py < l.y.back())) return d;
    const size_t i = above - 1;
    const double side = l.r[i] + (py - l.y[i]) / (l.y[i + 1] - l.y[i]) * (l.r[i + 1] - l.r[i]);
    return pr < side ? -d : d;
}

bool latheIntersect(const Lathe& l, Vec3 o, Vec3 d, double tMin, double tMax, double* tHit,
                    Vec3* normal) {
    // The ray's trace in the half-plane: at t = tc + s its radius is
    // sqrt(h2 + dd s^2) and its height yc + d.y s.
    const double ox = o.x - l.axisX, oz = o.z - l.axisZ;
    const double dd = d.x * d.x + d.z * d.z;
    double tc = 0, h2 = ox * ox + oz * oz;
    if (dd > 0) {
        tc = -(ox * d.x + oz * d.z) / dd;
        const double hx = ox + tc * d.x, hz = oz + tc * d.z;
        h2 = hx * hx + hz * hz;
    }
    const double reach2 = l.maxRadius * l.maxRadius;
    if (h2 > reach2) return false;
    const double yc = o.y + tc * d.y;
    // Only the segments within the heights the ray has while inside the
    // lathe's widest radius can be met.
    size_t first = 0, last = l.r.size() - 2;
    if (dd > 0) {
        const double half = std::fabs(d.y) * std::sqrt((reach2 - h2) / dd);
        const size_t lo = static_cast<size_t>(
            std::lower_bound(l.y.begin(), l.y.end(), yc - half) - l.y.begin());
        const size_t hi = static_cast<size_t>(
            std::upper_bound(l.y.begin(), l.y.end(), yc + half) - l.y.begin());
        first = lo < 2 ? 0 : lo - 2;
        last = std::min(last, hi);
        if (first > last) return false;
    }
    double best = tMax;
    size_t bestSegment = 0;
    for (size_t i = first; i <= last; ++i) {
        // n . (radius, height) = c on the segment's line, n = (a, b):
        // a sqrt(h2 + dd s^2) = g - b d.y s, squared a quadratic in s whose
        // coefficients stay small whatever the segment's slope.
        const Normal2 n = segmentNormal(l, i);
        const double a = n.r, b = n.y;
        const double g = a * l.r[i] + b * l.y[i] - b * yc;
        const double qa = a * a * dd - b * b * d.y * d.y;
        const double qb = g * b * d.y;
        const double qc = a * a * h2 - g * g;
        double roots[2];
        int count = 0;
        if (std::fabs(qa) < 1e-14) {
            if (std::fabs(qb) < 1e-14) continue;
            roots[count++] = -qc / (2 * qb);
        } else {
            double disc = qb * qb - qa * qc;
            // A flat disc's ray meets its plane once: a double root that
            // rounding may push a hair below zero.
            if (disc < 0 && disc > -1e-12 * (qb * qb + std::fabs(qa * qc))) disc = 0;
            if (disc < 0) continue;
            const double q = -(qb + std::copysign(std::sqrt(disc), qb));
            roots[count++] = q / qa;
            if (q != 0) roots[count++] = qc / q;
        }
        for (int k = 0; k < count; ++k) {
            const double s = roots[k];
            // The squared equation also holds where the mirrored ray
            // (radius -sqrt(...)) meets the line.
            if (a * (g - b * d.y * s) < -1e-9) continue;
            const double t = tc + s;
            if (!(t > tMin && t < best)) continue;
            const Vec3 x = o + t * d;
            const double xr = std::hypot(x.x - l.axisX, x.z - l.axisZ);
            const double er = l.r[i + 1] - l.r[i], ey = l.y[i + 1] - l.y[i];
            const double u = ((xr - l.r[i]) * er + (x.y - l.y[i]) * ey) / (er * er + ey * ey);
            if (u < -1e-9 || u > 1 + 1e-9) continue;
            // Entering: the ray runs against the outward normal.
            const double radial = xr > 0 ? ((x.x - l.axisX) * d.x + (x.z - l.axisZ) * d.z) / xr : 0;
            if (a * radial + b * d.y >= 0) continue;
            best = t;
            bestSegment = i;
        }
    }
    if (!(best < tMax)) return false;
    const size_t i = bestSegment;
    // The squared equation loses half the digits where its two roots nearly
    // meet (a flat disc, a ray at a glancing angle): a few Newton steps on the
    // segment's own line equation, each kept only when it brings the point
    // nearer the line, and never further than the root can be off.
    {
        const Normal2 n = segmentNormal(l, i);
        const double c = n.r * l.r[i] + n.y * l.y[i];
        const auto offLine = [&](double t, double* slope) {
            const Vec3 x = o + t * d;
            const double xr = std::hypot(x.x - l.axisX, x.z - l.axisZ);
            const double radial = xr > 0 ? ((x.x - l.axisX) * d.x + (x.z - l.axisZ) * d.z) / xr : 0;
            *slope = n.r * radial + n.y * d.y;
            return n.r * xr + n.y * x.y - c;
        };
        double slope, f = offLine(best, &slope);
        for (int k = 0; k < 3 && f != 0 && slope != 0; ++k) {
            const double step = f / slope;
            if (std::fabs(step) > 1e-6) break;
            double nextSlope;
            const double next = offLine(best - step, &nextSlope);
            if (!(std::fabs(next) < std::fabs(f)) || !(best - step > tMin && best - step < tMax)) break;
            best -= step;
            f = next;
            slope = nextSlope;
        }
    }
    const Vec3 x = o + best * d;
    const double xr = std::hypot(x.x - l.axisX, x.z - l.axisZ);
    const double er = l.r[i + 1] - l.r[i], ey = l.y[i + 1] - l.y[i];
    const double u =
        std::clamp(((xr - l.r[i]) * er + (x.y - l.y[i]) * ey) / (er * er + ey * ey), 0.0, 1.0);
    const Normal2 n0 = vertexNormal(l, i, i), n1 = vertexNormal(l, i + 1, i);
    const double nr = (1 - u) * n0.r + u * n1.r, ny = (1 - u) * n0.y + u * n1.y;
    const double cx = xr > 0 ? (x.x - l.axisX) / xr : 0, cz = xr > 0 ? (x.z - l.axisZ) / xr : 0;
    *tHit = best;
    *normal = normalized(Vec3{nr * cx, ny, nr * cz});
    return true;
}

void latheBound(const Lathe& l, Vec3* centre, double* radius) {
    const double mid = 0.5 * (l.y.front() + l.y.back());
    // Each frustum lies in the hull of its two rim circles, and every point
    // of a rim circle is as far from a centre on the axis as its vertex.
    double r = 0;
    for (size_t i = 0; i < l.r.size(); ++i) r = std::max(r, std::hypot(l.r[i], l.y[i] - mid));
    *centre = {l.axisX, mid, l.axisZ};
    *radius = r;
}

double latheArea(const Lathe& l) { return l.areaBelow.back(); }

Vec3 lathePoint(const Lathe& l, double u1, double u2, double u3) {
    // A segment by its share of the area, then the height along it with a
    // density proportional to the radius (the inverse of the frustum's
    // cumulative area), then the angle.
    const double pick = u1 * l.areaBelow.back();
    size_t i = static_cast<size_t>(
        std::upper_bound(l.areaBelow.begin(), l.areaBelow.end(), pick) - l.areaBelow.begin());
    i = std::clamp<size_t>(i, 1, l.r.size() - 1) - 1;
    const double r0 = l.r[i], r1 = l.r[i + 1];
    const double v =
        r0 + r1 > 0 ? u2 * (r0 + r1) / (r0 + std::sqrt(r0 * r0 + u2 * (r1 * r1 - r0 * r0))) : u2;
    const double radius = r0 + v * (r1 - r0), height = l.y[i] + v * (l.y[i + 1] - l.y[i]);
    const double angle = 2 * kPi * u3;
    return {l.axisX + radius * std::cos(angle), height, l.axisZ + radius * std::sin(angle)};
}
