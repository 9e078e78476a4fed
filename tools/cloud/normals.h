// Surface normals of a merged cloud, estimated from neighbours and turned
// toward the cameras that saw each point.
#pragma once

#include <vector>

#include "cloud/neighbours.h"
#include "common/tool_rig.h"
#include "geometry/vec3.h"

// The direction in which `angle`'s cameras look at object point p: the sum of
// the unit vectors from p to both of the rig's camera centres, the centres
// turned into the object frame as the scanner turns its points.
Vec3 normalsTowardCameras(const ToolRig& rig, Vec3 p, int angle);

// For each point, the unit normal of the plane that best fits it and its
// `k` nearest neighbours seen from the same side (the eigenvector of the
// smallest eigenvalue of their covariance), flipped to face
// normalsTowardCameras. Same side: of an angle at most kNormalsSideDegrees
// away, so a thin part (a board, a leg) does not mix its front with its back,
// which the turntable showed the cameras half a turn later. The neighbours
// are taken nearest first from the 4 k nearest points; when fewer than two of
// them are of the same side, the k nearest count whatever their side. A point
// with fewer than two neighbours gets the camera direction itself.
std::vector<Vec3> normalsEstimate(const ToolRig& rig, const std::vector<Vec3>& points,
                                  const std::vector<int>& angles, int k);

constexpr int kNormalsSideDegrees = 60;

// Eigenvector of the smallest eigenvalue of the symmetric 3 x 3 matrix
// a (row-major); unit length.
Vec3 normalsSmallestEigenvector(const double a[9]);
