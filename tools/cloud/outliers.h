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
// to its k nearest kept neighbours; over the kept points the mean m and
// standard deviation s of those; a point whose mean distance exceeds
// m + ratio * s is dropped. One pass.
#pragma once

#include <vector>

#include "scene/scene.h"

struct OutlierOptions {
    double radius = 60.0;   // of the working cylinder about the turntable axis
    double yMin = -65.0, yMax = 65.0;
    int neighbours = 16;    // k
    double ratio = 2.0;     // n in m + n s
};

struct OutlierResult {
    std::vector<char> keep;    // per point: 1 kept, 0 dropped
    long notFinite = 0;        // a coordinate was nan or infinite
    long outsideVolume = 0;
    long sparse = 0;           // dropped by the neighbour rule
    double meanDistance = 0, sigma = 0, threshold = 0;  // of the neighbour rule
};

OutlierResult outliersFind(const std::vector<Vec3>& points, const OutlierOptions& options);

// True when the point lies in the working cylinder (bounds included).
bool outliersInVolume(Vec3 p, const OutlierOptions& options);
