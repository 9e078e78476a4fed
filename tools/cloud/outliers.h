// Which points of a merged scan to drop: points outside the turntable's
// working volume, and points far from their neighbours (statistical outlier
// removal).
//
// The working volume is a cylinder about the turntable axis (the object
// frame's y axis): every point of it stays inside both cameras' pictures at
// every angle. The defaults are the largest such cylinder of radius 60 for
// the calibrated rig (y from -65 to 65; the sample horse stands within 30 of
// the axis, y -45 to 30).
//
// Statistical outlier removal: for every point still kept, the mean distance
// to its k nearest kept neighbours; over the kept points the centre m and the
// spread s of those; a point whose mean distance exceeds m + ratio * s is
// dropped. One pass. The centre and spread are the robust ones: the median,
// and 1.4826 times the median absolute deviation (the standard deviation for
// normally spread values) but at least a fifth of the centre. The strays
// themselves, a few percent of a scan lying up to 30 units off, would inflate
// a plain mean and standard deviation so much that the nearer strays pass (on a textured horse m + 2 s let 0.2 %
// of the kept points lie beyond 5 units; the robust rule keeps none and keeps
// more than 99 % of the points within 1 unit).
#pragma once

#include <vector>

#include "geometry/vec3.h"

struct OutlierOptions {
    double radius = 60.0;   // of the working cylinder about the turntable axis
    double yMin = -65.0, yMax = 65.0;
    int neighbours = 16;    // k
    double ratio = 5.0;     // n in m + n s
};

struct OutlierResult {
    std::vector<char> keep;    // per point: 1 kept, 0 dropped
    long notFinite = 0;        // a coordinate was nan or infinite
    long outsideVolume = 0;
    long sparse = 0;           // dropped by the neighbour rule
    double centre = 0, spread = 0, threshold = 0;  // m, s and m + n s of the neighbour rule
};

OutlierResult outliersFind(const std::vector<Vec3>& points, const OutlierOptions& options);

// True when the point lies in the working cylinder (bounds included).
bool outliersInVolume(Vec3 p, const OutlierOptions& options);
