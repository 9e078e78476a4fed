#include "decode/dense_marks.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "decode/line_repair.h"
#include "decode/line_step.h"
#include "decode/view_crossings.h"
#include "image/bmp_layout.h"

namespace {

// The area window reaches at most this many pixels past the two pixels the
// zero crossing lies between; its ends count as flat when their two pixels
// differ by at most this share of the fall.
constexpr size_t kMaxReach = 3;
constexpr double kFlatEnds = 0.015;
// An area position further than this from the linear zero crossing was read
// off something other than the one edge (a neighbouring boundary, a
// highlight) and is not used.
constexpr double kAreaAgreement = 0.75;
// The shading slope is read only where a channel's total light is at least
// this, in byte units (2 % of white): at the edge of the light a slope over a
// near-zero total says nothing of the surface.
constexpr int kShadedTotal = 5;
// The two patterns' positions of one boundary are averaged when at most this
// far apart, in pixels; else pattern 1's is used.
constexpr double kPatternAgreement = 0.25;
// A blur's shift is never taken as more than this, in pixels.
constexpr double kMaxShadingShift = 0.5;

// Colour c's difference (1 red, 2 green, 3 blue) at pixel x: the row's
// channel where given, else worked out from the photographs' bytes as
// imgPairDifferenceRow would (the same float), only where it is read.
inline float difference(const DenseRow& row, int c, size_t x) {
    if (row.channel[c - 1] != nullptr) return row.channel[c - 1][x];
    static const std::array<float, 256>& toFloat = imgBMPByteToFloat();
    const size_t i = 3 * x + static_cast<size_t>(3 - c);
    return toFloat[row.positive[i]] - toFloat[row.negative[i]];
}

// s = d[a] - d[b] at pixel x of a row: colour a's channel minus colour b's.
inline double signal(const DenseRow& row, int a, int b, size_t x) {
    return static_cast<double>(difference(row, a, x)) - static_cast<double>(difference(row, b, x));
}

// The zero crossing of a pattern's change from a to b that the walk marks at
// pixel x, though the change may lie a few pixels before it: pattern 1's when
// the change was left pending until pattern 2 could be read, pattern 2's when
// its switch was moved onto pattern 1's pixel (bcslAlignSwitches). The last
// fall of s through zero at or before x, looked for over up to three pixels.
// False when there is none.
bool crossingAtOrBefore(const DenseRow& row, int a, int b, size_t x, double* position) {
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

// The total light of colour c (1 red, 2 green, 3 blue) at pixel x, in byte
// units (0 to 510): the positive and negative exposures' bytes, colour c
// being byte 3 - c of a pixel.
inline int totalLight(const DenseRow& row, int c, size_t x) {
    const size_t i = 3 * x + static_cast<size_t>(3 - c);
    return row.positive[i] + row.negative[i];
}

// s over each channel's total light: about +2 inside stripe a and -2 inside
// stripe b whatever the surface's colour and shading. A channel with no light
// counts as 0. (The differences are in shares of white, the totals in bytes.)
inline double normalSignal(const DenseRow& row, int a, int b, size_t x) {
    const int ta = totalLight(row, a, x), tb = totalLight(row, b, x);
    const double na = ta > 0 ? 255.0 * difference(row, a, x) / ta : 0.0;
    const double nb = tb > 0 ? 255.0 * difference(row, b, x) / tb : 0.0;
    return na - nb;
}

// The normalised signal of a change whose s falls through zero between
// pixels x - 1 and x, over kMaxReach pixels either side of those two, or 2
// where that leaves [lo, hi]: the samples from pixel `left`, `count` of them;
// none (count 0) when not even 2 fit.
struct ChangeWindow {
    double s[2 * kMaxReach + 2];
    size_t left = 0;
    int count = 0;
};

ChangeWindow changeWindow(const DenseRow& row, int a, int b, size_t x, size_t lo, size_t hi) {
    ChangeWindow w;
    for (size_t reach = kMaxReach; reach >= 2; --reach) {
        if (x < 1 + reach || x - 1 - reach < lo || x + reach > hi) continue;
        w.left = x - 1 - reach;
        w.count = static_cast<int>(2 * reach + 2);
        for (int j = 0; j < w.count; ++j) w.s[j] = normalSignal(row, a, b, w.left + j);
        break;
    }
    return w;
}

// The area position over the window's middle 2, else 3, pixels either side
// of the change: the first whose two end pixels on each side differ by at
// most kFlatEnds of the fall (the levels are reached, so the ramp lies
// inside). False when none does or s does not fall across it.
bool areaCrossing(const ChangeWindow& w, double* position) {
    for (int reach = 2; 2 * reach + 2 <= w.count; ++reach) {
        const int skip = (w.count - (2 * reach + 2)) / 2;
        const double* s = w.s + skip;
        const int n = 2 * reach + 2;
        const double fall = s[0] - s[n - 1];
        if (!(s[0] > 0 && s[n - 1] < 0)) return false;
        const bool flat = std::fabs(s[1] - s[0]) <= kFlatEnds * fall &&
                          std::fabs(s[n - 2] - s[n - 1]) <= kFlatEnds * fall;
        if (!flat) continue;
        *position = static_cast<double>(w.left + skip) + denseAreaPosition(s, n);
        return true;
    }
    return false;
}

// The relative slope of the total light at pixel x, T'(x) / T(x), averaged
// over the two colours of the change (those with light); 0 when neither has.
double shadingSlope(const DenseRow& row, int a, int b, size_t x) {
    double slope = 0;
    int lit = 0;
    for (const int c : {a, b}) {
        const int t = totalLight(row, c, x);
        if (t < kShadedTotal) continue;
        slope += (totalLight(row, c, x + 1) - totalLight(row, c, x - 1)) / (2.0 * t);
        ++lit;
    }
    return lit > 0 ? slope / lit : 0.0;
}

// One pattern's change as read (DensePlacedChange): the area position where
// it holds and lies within kAreaAgreement of the linear zero crossing, else
// the linear zero crossing.
DensePlacedChange placeChange(const DenseRow& row, int a, int b, size_t x, double linear,
                              size_t lo, size_t hi) {
    DensePlacedChange p;
    p.position = linear;
    if (row.positive == nullptr || row.negative == nullptr) return p;
    const ChangeWindow w = changeWindow(row, a, b, x, lo, hi);
    if (w.count == 0) return p;
    double area = 0;
    if (areaCrossing(w, &area) && std::fabs(area - linear) <= kAreaAgreement) p.position = area;
    p.spread = denseEdgeSpread(w.s, w.count);
    // The slope at the pixel nearest the position, kept inside the window
    // so both its neighbours are read.
    const double nearest = std::clamp(std::round(p.position), static_cast<double>(w.left + 1),
                                      static_cast<double>(w.left + w.count - 2));
    p.slope = shadingSlope(row, a, b, static_cast<size_t>(nearest));
    return p;
}

}  // namespace

void denseRowMarks(const DenseRow& pattern1, const DenseRow& pattern2, size_t width,
                   DenseRowWork* work, std::vector<DenseMark>* out) {
    if (width < 2) return;
    work->classes1.resize(width);
    work->classes2.resize(width);
    uint8_t* c1 = work->classes1.data();
    uint8_t* c2 = work->classes2.data();
    // The classes from the photographs' bytes where they are given (the
    // decoder's fast path, the same classes as the differences' and quicker),
    // else from the differences.
    const auto classify = [width](const DenseRow& row, uint8_t* classes) {
        if (row.positive != nullptr && row.negative != nullptr) {
            bcslClassifyPairRow(row.positive, row.negative, width, classes);
            return;
        }
        for (size_t x = 0; x < width; ++x)
            classes[x] = static_cast<uint8_t>(
                classifyStripeColor(row.channel[0][x], row.channel[1][x], row.channel[2][x]));
    };
    classify(pattern1, c1);
    classify(pattern2, c2);
    // The classes as the walk should see them: pattern-2 switches one pixel
    // early moved onto pattern 1's, stale changes let go (the mask's repairs,
    // which a scan straight from the camera has not had).
    bcslAlignSwitches(c1, c2, static_cast<int>(width), 1, true, nullptr);
    bcslCutStaleChanges(c1, c2, static_cast<int>(width), 1, true);
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
        // Pattern 2 changes between x - 1 and x by the walk's own test, or a
        // pixel before where its switch was aligned; failing a fall of s,
        // between x - 1 and x.
        DenseChange c{0, x, run, cur, q0, q1, 0.0, 0.0};
        double p2 = 0;
        if (crossingAtOrBefore(pattern2, q0, q1, x, &p2)) {
            c.x2 = static_cast<size_t>(std::floor(p2)) + 1;
            c.linear2 = p2;
        } else {
            c.linear2 = static_cast<double>(x - 1) +
                        denseZeroCrossing(signal(pattern2, q0, q1, x - 1), signal(pattern2, q0, q1, x));
        }
        double p1 = 0;
        if (crossingAtOrBefore(pattern1, run, cur, x, &p1) && std::fabs(p1 - c.linear2) <= 2.0) {
            c.x1 = static_cast<size_t>(std::floor(p1)) + 1;
            c.linear1 = p1;
        }
        changes.push_back(c);
        out->push_back(DenseMark{0.0f, code});
    }
    const size_t first = out->size() - changes.size();
    std::vector<DensePlacedChange>& placed1 = work->placed1;
    std::vector<DensePlacedChange>& placed2 = work->placed2;
    std::vector<double>& spreads = work->spreads;
    placed1.assign(changes.size(), DensePlacedChange{});
    placed2.assign(changes.size(), DensePlacedChange{});
    spreads.clear();
    for (size_t i = 0; i < changes.size(); ++i) {
        const DenseChange& c = changes[i];
        // The window stays within half way to the neighbouring marks.
        const size_t lo = i == 0 ? 0 : (changes[i - 1].x2 + c.x2) / 2;
        const size_t hi = i + 1 == changes.size() ? width - 1 : (c.x2 + changes[i + 1].x2 - 1) / 2;
        placed2[i] = placeChange(pattern2, c.from2, c.to2, c.x2, c.linear2, lo, hi);
        if (placed2[i].spread >= 0) spreads.push_back(placed2[i].spread);
        if (c.x1 > 0) {
            placed1[i] = placeChange(pattern1, c.from1, c.to1, c.x1, c.linear1, lo, hi);
            if (placed1[i].spread >= 0) spreads.push_back(placed1[i].spread);
        }
    }
    // The blur is the optics', the same for every edge of the row: its
    // median spread, which an edge beside a dark gap or a leg's outline
    // (whose fall is spread by the scene, not the lens) does not sway.
    double rowSpread = 0;
    if (!spreads.empty()) {
        std::nth_element(spreads.begin(), spreads.begin() + spreads.size() / 2, spreads.end());
        rowSpread = spreads[spreads.size() / 2];
    }
    const auto at = [rowSpread](const DensePlacedChange& p) {
        if (p.spread < 0) return p.position;
        return p.position + denseShadingShift(rowSpread, p.slope);
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        double u = at(placed2[i]);
        if (changes[i].x1 > 0) {
            // Both patterns show the same boundary; read from photographs as
            // taken their positions agree to a few hundredths of a pixel.
            // Further apart, pattern 2's was moved (a masked scan's
            // photographs are rewritten where its switch was aligned), and
            // pattern 1's is used alone.
            const double u1 = at(placed1[i]);
            u = std::fabs(u1 - u) <= kPatternAgreement ? 0.5 * (u1 + u) : u1;
        }
        (*out)[first + i].u = static_cast<float>(u);
    }
}

double denseAreaPosition(const double* s, int n) {
    const double a = s[0], b = s[n - 1];
    double sum = 0.5;
    for (int j = 1; j + 1 < n; ++j) sum += std::clamp((s[j] - b) / (a - b), 0.0, 1.0);
    return sum;
}

double denseEdgeSpread(const double* s, int n) {
    // The falls between neighbouring samples, each at the border between
    // its two pixels; a rise counts as no fall.
    double mass = 0, first = 0, second = 0;
    for (int j = 0; j + 1 < n; ++j) {
        const double fall = std::max(0.0, s[j] - s[j + 1]);
        const double at = j + 0.5;
        mass += fall;
        first += fall * at;
        second += fall * at * at;
    }
    if (!(mass > 0)) return 0.0;
    const double mean = first / mass;
    return std::max(0.0, second / mass - mean * mean - 1.0 / 12.0);
}

double denseShadingShift(double spread, double slope) {
    return std::clamp(spread * slope, -kMaxShadingShift, kMaxShadingShift);
}
