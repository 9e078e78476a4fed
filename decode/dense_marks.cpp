#include "decode/dense_marks.h"

#include <algorithm>
#include <cmath>

#include "decode/line_step.h"

namespace {

// A channel whose positive and negative exposures add to less than this
// holds no light to read a share from.
constexpr double kDarkTotal = 1e-3;
// The area window reaches at most this many pixels past the two pixels the
// zero crossing lies between; its ends count as flat when their two pixels
// differ by at most this share of the fall.
constexpr size_t kMaxReach = 3;
constexpr double kFlatEnds = 0.015;
// An area position further than this from the linear zero crossing was read
// off something other than the one edge (a neighbouring boundary, a
// highlight) and is not used.
constexpr double kAreaAgreement = 0.75;

// s = d[a] - d[b] at pixel x of a row: colour a's channel minus colour b's.
inline double signal(const DenseRow& row, int a, int b, size_t x) {
    return static_cast<double>(row.channel[a - 1][x]) - static_cast<double>(row.channel[b - 1][x]);
}

// The zero crossing of pattern 1's change from a to b, which the walk may
// have marked a few pixels late (a change left pending until pattern 2 could
// be read): the last fall of s through zero at or before x, looked for over
// up to three pixels. False when there is none.
bool pattern1Crossing(const DenseRow& row, int a, int b, size_t x, double* position) {
    const size_t first = x >= 4 ? x - 3 : 1;
    for (size_t j = x; j >= first; --j) {
        const double before = signal(row, a, b, j - 1);
        const double after = signal(row, a, b, j);
        if (before > 0 && after <= 0) {
            *position = static_cast<double>(j - 1) + denseZeroCrossing(before, after);
            return true;
        }
        if (j == first) break;
    }
    return false;
}

// s over each channel's total light: about +2 inside stripe a and -2 inside
// stripe b whatever the surface's colour and shading. A channel with no light
// counts as 0.
inline double normalSignal(const DenseRow& row, int a, int b, size_t x) {
    // Colour c (1 red, 2 green, 3 blue) is byte 3 - c of a pixel.
    const auto total = [&](int c) {
        const size_t i = 3 * x + static_cast<size_t>(3 - c);
        return (row.positive[i] + row.negative[i]) / 255.0;
    };
    const double ta = total(a), tb = total(b);
    const double na = ta > kDarkTotal ? row.channel[a - 1][x] / ta : 0.0;
    const double nb = tb > kDarkTotal ? row.channel[b - 1][x] / tb : 0.0;
    return na - nb;
}

// The area position of a change from a to b whose s falls through zero
// between pixels x - 1 and x, over a window of 2, else 3, pixels either side
// within [lo, hi]: the first whose two end pixels on each side differ by at
// most kFlatEnds of the fall (the levels are reached, so the ramp lies
// inside). False when no window fits or s does not fall across it.
bool areaCrossing(const DenseRow& row, int a, int b, size_t x, size_t lo, size_t hi,
                  double* position) {
    double s[2 * kMaxReach + 2];
    for (size_t reach = 2; reach <= kMaxReach; ++reach) {
        if (x < 1 + reach || x - 1 - reach < lo || x + reach > hi) return false;
        const size_t left = x - 1 - reach;
        const int n = static_cast<int>(2 * reach + 2);
        for (int j = 0; j < n; ++j) s[j] = normalSignal(row, a, b, left + j);
        const double fall = s[0] - s[n - 1];
        if (!(s[0] > 0 && s[n - 1] < 0)) return false;
        const bool flat = std::fabs(s[1] - s[0]) <= kFlatEnds * fall &&
                          std::fabs(s[n - 2] - s[n - 1]) <= kFlatEnds * fall;
        if (!flat) continue;
        *position = static_cast<double>(left) + denseAreaPosition(s, n);
        return true;
    }
    return false;
}

// The position of one pattern's change: the area position where it holds
// and lies within kAreaAgreement of the linear zero crossing, else the
// linear zero crossing.
double placeChange(const DenseRow& row, int a, int b, size_t x, double linear, size_t lo,
                   size_t hi) {
    double area = 0;
    if (row.positive != nullptr && row.negative != nullptr &&
        areaCrossing(row, a, b, x, lo, hi, &area) && std::fabs(area - linear) <= kAreaAgreement)
        return area;
    return linear;
}

}  // namespace

void denseRowMarks(const DenseRow& pattern1, const DenseRow& pattern2, size_t width,
                   DenseRowWork* work, std::vector<DenseMark>* out) {
    if (width < 2) return;
    work->classes1.resize(width);
    work->classes2.resize(width);
    uint8_t* c1 = work->classes1.data();
    uint8_t* c2 = work->classes2.data();
    for (size_t x = 0; x < width; ++x) {
        c1[x] = static_cast<uint8_t>(classifyStripeColor(
            pattern1.channel[0][x], pattern1.channel[1][x], pattern1.channel[2][x]));
        c2[x] = static_cast<uint8_t>(classifyStripeColor(
            pattern2.channel[0][x], pattern2.channel[1][x], pattern2.channel[2][x]));
    }
    // The boundary decoder's walk along the row; each mark's changes are
    // placed once the neighbouring marks are known, which bound the window.
    std::vector<DenseChange>& changes = work->changes;
    changes.clear();
    BcslLine line = bcslLineStart(c1[0]);
    for (size_t x = 1; x < width; ++x) {
        const int run = line.run;
        const int cur = c1[x];
        const int q0 = c2[x - 1];
        const int q1 = c2[x];
        const int code = bcslLineStep(&line, cur, q0, q1);
        if (code < 0) continue;
        // Pattern 2 changes between x - 1 and x by the walk's own test.
        const double linear2 = static_cast<double>(x - 1) +
                               denseZeroCrossing(signal(pattern2, q0, q1, x - 1),
                                                 signal(pattern2, q0, q1, x));
        DenseChange c{0, x, run, cur, q0, q1, 0.0, linear2};
        double p1 = 0;
        if (pattern1Crossing(pattern1, run, cur, x, &p1) && std::fabs(p1 - c.linear2) <= 2.0) {
            c.x1 = static_cast<size_t>(std::floor(p1)) + 1;
            c.linear1 = p1;
        }
        changes.push_back(c);
        out->push_back(DenseMark{0.0f, code});
    }
    const size_t first = out->size() - changes.size();
    for (size_t i = 0; i < changes.size(); ++i) {
        const DenseChange& c = changes[i];
        // The window stays within half way to the neighbouring marks.
        const size_t lo = i == 0 ? 0 : (changes[i - 1].x2 + c.x2) / 2;
        const size_t hi = i + 1 == changes.size() ? width - 1 : (c.x2 + changes[i + 1].x2 - 1) / 2;
        const double p2 = placeChange(pattern2, c.from2, c.to2, c.x2, c.linear2, lo, hi);
        double u = p2;
        if (c.x1 > 0)
            u = 0.5 * (placeChange(pattern1, c.from1, c.to1, c.x1, c.linear1, lo, hi) + p2);
        (*out)[first + i].u = static_cast<float>(u);
    }
}

double denseAreaPosition(const double* s, int n) {
    const double a = s[0], b = s[n - 1];
    double sum = 0.5;
    for (int j = 1; j + 1 < n; ++j) sum += std::clamp((s[j] - b) / (a - b), 0.0, 1.0);
    return sum;
}
