// Sub-pixel stripe boundaries of the vertical-stripe photographs, for the
// dense mode.
//
// The boundary decoder marks the pixel at which both patterns change colour;
// a whole pixel puts the boundary up to half a pixel off, which is most of
// the error of a triangulated point. Here the decoder's own walk along a row
// finds the same boundaries with the same codes, and each one is then placed
// between pixels: at a change from class a to class b the signal
// s = d[a] - d[b] (the difference image's channel of the colour before
// minus that of the colour after) falls through zero, and the zero crossing is
// interpolated linearly between the two pixels where it changes sign. Both
// patterns change at every boundary, so the two crossings are averaged.
//
// The linear zero crossing was chosen over a box-ramp estimator (which reads
// the share of the stripe in the one mixed pixel from the levels on either
// side): on sharp pictures the box ramp is better, but a pixel of optics blur
// spreads the change over three pixels and the box ramp then errs by several
// times more (docs/dense.md has the figures; tests/dense_test.cpp checks the
// zero crossing on both).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A boundary in one row: sub-pixel column (the centre of pixel x at x) and
// BCSL code 0 to 35.
struct DenseMark {
    float u;
    int32_t code;
};

// The boundaries of one camera view, row by row in the Image's row order (row
// 0 the first stored row), each row's marks in increasing column.
struct DenseMarks {
    int32_t width = 0, height = 0;
    std::vector<int32_t> rowStart;  // height + 1 entries: marks of row y are [rowStart[y], rowStart[y + 1])
    std::vector<DenseMark> marks;
};

// One row of a pattern difference in three planar channels (red, green,
// blue), each `width` floats.
struct DenseRow {
    const float* channel[3];
};

// Scratch of one row walk, reused from row to row.
struct DenseRowWork {
    std::vector<uint8_t> classes1, classes2;
};

// Appends the boundaries of one row of the vertical-stripe differences of
// pattern 1 and pattern 2 to `out`, in increasing column: every pixel the
// boundary decoder marks in that row gives one mark with its code, placed by
// the zero crossings described above.
void denseRowMarks(const DenseRow& pattern1, const DenseRow& pattern2, size_t width,
                   DenseRowWork* work, std::vector<DenseMark>* out);

// The linear zero crossing of s between pixel x - 1 (s = before >= 0) and
// pixel x (s = after <= 0), as an offset from x - 1 in [0, 1]; 0.5 when both
// are zero.
inline double denseZeroCrossing(double before, double after) {
    const double fall = before - after;
    if (!(fall > 0)) return 0.5;
    return before / fall;
}

// The box-ramp estimate, kept for comparison: s at pixels x - 2 .. x + 1,
// where x - 2 and x + 1 are taken as the pure levels on either side and the
// boundary lies in x - 1 or x. The boundary's position as an offset from
// x - 1 (0 at the centre of x - 1).
double denseBoxRamp(const double s[4]);
