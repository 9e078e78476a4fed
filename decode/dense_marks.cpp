#include "decode/dense_marks.h"

#include <cmath>

#include "decode/line_step.h"

namespace {

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
    // The boundary decoder's walk along the row.
    BcslLine line = bcslLineStart(c1[0]);
    for (size_t x = 1; x < width; ++x) {
        const int run = line.run;
        const int cur = c1[x];
        const int q0 = c2[x - 1];
        const int q1 = c2[x];
        const int code = bcslLineStep(&line, cur, q0, q1);
        if (code < 0) continue;
        // Pattern 2 changes between x - 1 and x by the walk's own test.
        const double p2 = static_cast<double>(x - 1) +
                          denseZeroCrossing(signal(pattern2, q0, q1, x - 1),
                                            signal(pattern2, q0, q1, x));
        double p1 = 0;
        double u = p2;
        if (pattern1Crossing(pattern1, run, cur, x, &p1) && std::fabs(p1 - p2) <= 2.0)
            u = 0.5 * (p1 + p2);
        out->push_back(DenseMark{static_cast<float>(u), code});
    }
}

double denseBoxRamp(const double s[4]) {
    const double a = s[0], b = s[3];
    if (a == b) return 0.5;
    return -0.5 + (s[1] - b) / (a - b) + (s[2] - b) / (a - b);
}
