// The turntable's axis from the board's corners in several poses of the
// turntable: one rotation about one axis moves every corner of the reference
// board to where it was seen in each pose. Fitted to all the corners' motion
// at once (the axis direction, a point of it, an angle per pose and the
// board's corners themselves), not to one corner's circle.
#pragma once

#include <string>
#include <vector>

#include "geometry/vec3.h"

struct CalibTurnFit {
    Vec3 direction{0, 1, 0};        // unit, on the side of `up`
    Vec3 point{0, 0, 0};            // the axis' point nearest the board's corners
    std::vector<double> degrees;    // per pose, right-handed about direction; the reference is 0
    std::vector<Vec3> board;        // the corners at the reference pose's angle
    double residual = -1;           // RMS distance between the corners seen and the fitted turn
};

// poses[k][i]: corner i in pose k (the same corner in every pose). `up` tells
// the axis' sense. False, with a reason, when the poses do not turn about an
// axis (fewer than three, or no turn between them).
bool calibFitTurn(const std::vector<std::vector<Vec3>>& poses, int reference, Vec3 up,
                  CalibTurnFit* fit, std::string* error);

// Corner i of `rigid` moved onto `target` by the best rotation and translation
// (least squares); returns the RMS distance left. *rotation row by row.
double calibRigidFit(const std::vector<Vec3>& rigid, const std::vector<Vec3>& target,
                     double rotation[9], Vec3* translation);
