// The points of one turntable angle in the dense mode: every boundary mark of
// either camera met with the other camera's boundary of its code and
// triangulated; with fill, the pixels between boundaries as well.
//
// Triangulation is the midpoint of the common perpendicular of the two rays,
// as for the crossings (geometry/camera.h), formed from the rig's cameras in
// the world frame.
//
// Fill: in a row of either camera with four successive boundaries
// c - 1 .. c + 2, all met in the other camera, a pixel between c and c + 1
// gets its stripe coordinate from the cubic through the four boundaries'
// columns, and its partner in the other camera from the cubic through the
// four partners at that stripe coordinate. A stripe four times wider in one
// camera than in the other (a surface seen nearly edge-on by one of them) is
// skipped, and so is one whose neighbours' widths do not follow it (an
// occlusion between the four boundaries).
#pragma once

#include <vector>

#include "geometry/dense_view.h"
#include "geometry/rig.h"
#include "geometry/vec3.h"

// A point in the world (rig) frame and the stripe coordinate of the light
// that made it: code c for boundary c, between c and c + 1 for a filled
// pixel.
struct DensePoint {
    Vec3 world;
    double stripe;
};

// A stripe four times wider in one camera than in the other is not filled.
constexpr double kDenseFillWidthRatio = 4.0;
// Nor is one whose ratio of widths in the two cameras differs by more than
// this factor among it and its two neighbours: its four boundaries straddle
// an occlusion or a fold, where the cubic through them means nothing.
constexpr double kDenseFillRatioSpread = 3.0;

// The midpoint of the common perpendicular of camera 0's ray through the
// normalised point (x0, y0) and camera 1's through (x1, y1); false when the
// rays are parallel or the point lies behind a camera.
bool denseTriangulate(const Rig& rig, double x0, double y0, double x1, double y1, Vec3* point);

// Appends the points of one angle, from the views of camera 1 and camera 2.
void densePoints(const Rig& rig, const DenseView views[2], bool fill,
                 std::vector<DensePoint>* out);
