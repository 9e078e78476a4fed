// The dense mode of the scan driver (slscan --dense, --fill): a point on
// every stripe boundary, located to a fraction of a pixel, instead of one at
// every grid crossing.
//
// For every angle each camera's vertical-stripe photographs become sub-pixel
// boundary marks (driver/dense_view.h); the marks of each camera meet the
// other camera's boundary of their code along their epipolar line and are
// triangulated (geometry/dense_points.h), with the pixels between boundaries
// when filling. The angles are decoded on every core. Once all are done, one
// plane of light per code is fitted to the points of all angles and the
// points off their plane are dropped (geometry/light_plane.h); then the same
// point files as a plain run are written: pontos_<angle>.txt (each point in
// the turntable frame as triangulated) and pontos.txt (turned back by the
// angle), one "x y z" line a point.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/rig.h"

struct DenseRunOptions {
    bool fill = false;          // add the pixels between boundaries
    int workers = 1;            // threads decoding angles
};

// Runs the dense scan of `angles` in the working directory with `rig`;
// returns the exit status (0, or 1 when a photograph or point file failed,
// each fault named on stderr). *pointCount receives the points written.
int denseRun(const Rig& rig, const std::vector<int32_t>& angles, const DenseRunOptions& options,
             long* pointCount);
