// Sub-pixel stripe boundaries of the vertical-stripe photographs, for the
// dense mode.
//
// The boundary decoder marks the pixel at which both patterns change colour;
// a whole pixel puts the boundary up to half a pixel off, which is most of
// the error of a triangulated point. Here the decoder's own walk along a row
// finds the boundaries and their codes, on the row's classes repaired first
// as the mask repairs them (decode/line_repair.h: a pattern-2 switch one
// pixel early, a stale change), and each one is then placed between pixels,
// in pattern 1 and in pattern 2, and the two are averaged; where they lie
// more than a quarter pixel apart, pattern 1's is used (a masked scan's
// pattern 2 is rewritten where its switch was moved).
//
// At a change from colour a to colour b the signal s = d[a] - d[b] (the
// difference image's channel of the colour before minus that of the colour
// after) falls through zero. Each channel's difference is first divided by
// the channel's total light (positive + negative exposure), which is the
// surface's colour times its shading whatever stripe lights it: s is then
// about +2 inside stripe a and -2 inside stripe b on any surface, and a pixel
// the boundary crosses takes the value in between in proportion to its share
// of each side. The boundary's position is read from the area between s and
// a step over a window of a few pixels either side (denseAreaPosition):
// exact for a sharp edge integrated over the pixel, and for a blurred one
// whose ramp lies inside the window. The window grows from two to three
// pixels either side until s is flat at both its ends, stays within half way
// to the neighbouring boundaries, and where it cannot, the zero crossing
// interpolated linearly between the two pixels is used instead (unbiased
// under blur, but up to a tenth of a pixel off on sharp edges).
//
// Under blur both readings move where the surface's light changes across the
// edge (shading, texture, the edge of a leg): the brighter side spreads more
// light over the edge than the darker, and the edge is read toward the
// darker by the blur's variance times the light's relative slope, T' / T.
// Both are in the photographs: the variance from how s falls across each
// window (denseEdgeSpread), its median over the row's edges taken as the
// optics' blur, and the slope from the total light beside the edge; the
// position is moved back by their product (denseShadingShift). On a sharp
// picture the spread is about 0 and nothing moves.
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

// One row of a pattern: its difference in three planar channels (red,
// green, blue), each `width` floats, and the same row of the pattern's
// positive and negative photographs as stored (blue, green, red bytes a
// pixel; 16 bytes may be loaded from any pixel, as imgPairNextRow gives
// them), whose sum is the total light. With the photographs' rows the
// classes are read from their bytes (the same classes as the differences',
// by the decoder's fast path), the totals and, where the channels are null,
// the differences only around the boundaries; without them the classes come
// from the channels and every boundary is placed by the linear zero
// crossing.
struct DenseRow {
    const float* channel[3];
    const unsigned char* positive = nullptr;
    const unsigned char* negative = nullptr;
};

// One boundary of a row walk before it is placed: the pixels after each
// pattern's change, and the colours before and after it.
struct DenseChange {
    size_t x1, x2;         // pattern 1 (0: not found) and pattern 2 change between x - 1 and x
    int from1, to1, from2, to2;
    double linear1, linear2;  // the linear zero crossings
};

// One pattern's change as placed, before the blur's shading shift: its
// position, the spread of its window (-1: no window, so no shift) and the
// total light's relative slope at the pixel nearest it.
struct DensePlacedChange {
    double position = 0, spread = -1, slope = 0;
};

// Scratch of one row walk, reused from row to row.
struct DenseRowWork {
    std::vector<uint8_t> classes1, classes2;
    std::vector<DenseChange> changes;
    std::vector<DensePlacedChange> placed1, placed2;
    std::vector<double> spreads;
};

// Appends the boundaries of one row of the vertical-stripe differences of
// pattern 1 and pattern 2 to `out`, in increasing column: every pixel the
// boundary decoder's walk marks in that row, its classes repaired, gives one
// mark with its code, placed as described above.
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

// The position of a fall of s from its level at s[0] to its level at
// s[n - 1] (n >= 4 samples, one a pixel), as an offset from the pixel of
// s[0]: 0.5 plus the sum over the inner samples of (s[j] - s[n - 1]) /
// (s[0] - s[n - 1]), each term held to [0, 1]. For a sharp edge the samples
// left of it count 1, those right of it 0 and the pixel it crosses its share
// of the left side; a symmetric blur moves as much area across the edge one
// way as the other.
double denseAreaPosition(const double* s, int n);

// The variance, in square pixels, of the blur that spread a fall of s over
// samples s[0 .. n - 1] (n >= 2, one a pixel): the variance of the falls
// between neighbouring samples about their mean, each at the border between
// its two pixels, less the 1/12 that reading a spread in whole pixels adds;
// never below 0 (a sharp edge). A rise between samples counts as no fall.
double denseEdgeSpread(const double* s, int n);

// The shift, in pixels, that undoes a blur of variance `spread` on an edge
// where the total light has relative slope `slope` (T' / T a pixel, positive
// when it grows to the right): spread x slope, held to half a pixel either way.
double denseShadingShift(double spread, double slope);
