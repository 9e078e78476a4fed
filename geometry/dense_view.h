// One camera view's sub-pixel stripe boundaries, ready for the epipolar
// meeting: each boundary followed from row to row, smoothed, and its marks
// put into the camera's undistorted normalised coordinates.
//
// A vertical stripe boundary crosses the rows of the picture as a curve; the
// marks of one code on adjacent rows, a few tenths of a pixel apart in
// column, are linked into a polyline. Each mark's column is then replaced by
// a parabola fitted over the marks five rows above and below it on its
// polyline, which takes out most of the noise of a single row's estimate and
// follows the boundary's bend (a straight line over as many rows does not),
// or over up to twelve rows where the boundary runs straight enough, and up
// to 48 where it runs straight down the picture.
// Lens distortion bends the boundary and the epipolar lines alike; in
// undistorted coordinates the epipolar line is straight, so every mark is
// undistorted once here.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/bcsl_code.h"
#include "decode/dense_marks.h"

struct RigCamera;

// Marks of adjacent rows whose columns differ by more than this are not one
// boundary.
constexpr double kDenseLinkPixels = 2.5;
// Each mark's column is fitted over this many rows of its boundary on either
// side, by a parabola when at least kDenseSmoothQuadratic marks are there;
// over kDenseSmoothRowsWide and then kDenseSmoothRowsMid rows where those
// fits leave residuals within the limit, kDenseSmoothWideScatter times the
// view's typical residual over kDenseSmoothRows.
constexpr int kDenseSmoothRows = 5;
constexpr int kDenseSmoothQuadratic = 5;
constexpr int kDenseSmoothRowsWide = 8;
constexpr int kDenseSmoothRowsMid = 12;
constexpr double kDenseSmoothWideScatter = 2.0;
// A boundary that runs upright, the parabola over kDenseSmoothRowsMid rows
// moving under kDenseSteepSlope columns a row, has a limit of at least
// kDenseSmoothScatterFloor pixel (the scatter of half-pixel steps, 0.5 /
// sqrt 12) and is fitted further, over each of kDenseSmoothRowsLong rows in
// turn while the parabola's residuals stay within it; there a straight
// line's value is taken when its sum of squared residuals is within
// kDenseLineResiduals times the parabola's.
constexpr double kDenseSteepSlope = 0.05;
constexpr double kDenseSmoothScatterFloor = 0.15;
constexpr int kDenseSmoothRowsLong[] = {20, 32, 48};
constexpr int kDenseSmoothRowsMax = 48;
constexpr double kDenseLineResiduals = 3.0;

struct DenseView {
    int32_t width = 0, height = 0;
    std::vector<int32_t> rowStart;  // as in DenseMarks; row 0 the first stored row
    std::vector<double> u;          // column, smoothed
    std::vector<int32_t> code;
    std::vector<int32_t> next;      // the mark of the same boundary on the row after, or -1
    std::vector<int32_t> prev;      // ... on the row before, or -1
    std::vector<double> nx, ny;     // undistorted normalised coordinates (OpenCV frame)
    std::vector<uint8_t> valid;     // the mark could be undistorted
    std::vector<int32_t> codeRow;   // kBcslCodes x height: the first mark of code c in row y, or -1
    std::vector<int32_t> codeNext;  // the next mark of the same code in the same row, or -1
    double nxMin[kBcslCodes], nxMax[kBcslCodes];  // extent of each code's marks; min > max when none
};

// The OpenCV row v (0 at the top of the picture) of stored row y.
inline double denseRowV(const DenseView& view, double y) { return (view.height - 1) - y; }

// Links, smooths and undistorts the marks of a view taken by `camera`.
void denseViewBuild(const DenseMarks& marks, const RigCamera& camera, DenseView* view);
