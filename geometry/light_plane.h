// The light-plane check of the dense mode.
//
// Each vertical stripe boundary the projector throws is one plane of light,
// fixed relative to the cameras whatever the turntable's angle. So the points
// a boundary code gives, over every angle of a scan and in the rig's frame,
// all lie on one plane; a point far off its code's plane was made from a
// false boundary (most often a near part's outline read as a valid code over
// a far part) or a wrong meeting. One plane is fitted robustly to each code's
// points and points farther from it than a tolerance are dropped. A filled
// pixel between codes c and c + 1 is held to the plane between theirs.
#pragma once

#include <vector>

#include "decode/bcsl_code.h"
#include "geometry/dense_points.h"

// Points farther than this from their plane are dropped (rig units).
constexpr double kLightPlaneTolerance = 0.2;
// A code with fewer points has no plane, and its points are dropped: so few
// points of a boundary over a whole scan come from stray marks, not from the
// stripe.
constexpr int kLightPlaneMinPoints = 50;

struct LightPlane {
    bool valid = false;
    Vec3 normal{0, 0, 0};  // unit
    double offset = 0;     // normal . X = offset on the plane
    long points = 0;       // the points it was fitted to (inliers)
};

// One plane through `points` that the bulk of them fit: started from the
// plane through three of them that the most points lie within the tolerance
// of (a fixed sequence of triples, so the same points give the same plane),
// fitted by least squares to those, then refitted to the points within
// max(tolerance, 3 robust deviations) of it until it settles. Invalid for
// fewer than kLightPlaneMinPoints points, or points on a line.
LightPlane lightPlaneFit(const std::vector<Vec3>& points);

// The planes of all codes from the points of every angle (each a vector of
// DensePoint whose stripe coordinate is a whole code for boundary points;
// filled points take no part in the fit). The normals all point the same way
// (towards the first valid plane's), so that signed distances can be
// interpolated between neighbouring planes.
void lightPlanesFit(const std::vector<const std::vector<DensePoint>*>& angles,
                    LightPlane planes[kBcslCodes]);

// Whether a point lies within the tolerance of its plane (a filled point:
// of the interpolation of its two planes); false when a plane it needs is
// invalid.
bool lightPlaneKeeps(const LightPlane planes[kBcslCodes], const DensePoint& point);
