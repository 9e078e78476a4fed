// The epipolar meeting of a stripe boundary mark with the other camera's
// boundary of the same code.
//
// A mark of one camera and the two camera centres span a plane; the other
// camera sees that plane as a straight line in its undistorted normalised
// coordinates (its epipolar line). The other camera's boundary of the same
// code is a polyline through its marks on adjacent rows. Where the line
// crosses the polyline is the mark's partner: both cameras see the same point
// of the same plane of light. A line that crosses its boundary more than once
// (an occlusion, a fold, a false boundary) has no single partner and gives
// none.
#pragma once

#include "geometry/dense_view.h"
#include "geometry/rig.h"

// x_to^T E x_from = 0 for the undistorted normalised points (x, y, 1) of one
// point seen by camera `from` and camera `to`.
struct DenseEssential {
    double e[9];  // row by row
};
DenseEssential denseEssential(const Rig& rig, int from, int to);

// The epipolar line (a, b, c) in camera `to` (a x + b y + c = 0) of the
// normalised point (x, y) of camera `from`.
void denseEpipolarLine(const DenseEssential& essential, double x, double y, double line[3]);

// How many times `line` crosses the polyline of code `code` in view `to`
// (taken by `camera`); when exactly once, (*x, *y) is the crossing in
// normalised coordinates. Only the rows the line can reach within the code's
// extent are searched.
int denseMeet(const DenseView& to, const RigCamera& camera, const double line[3], int code,
              double* x, double* y);
