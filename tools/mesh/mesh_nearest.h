// The nearest points of a cloud to other points (vertices, samples), found
// with a k-d tree from nanoflann.
#pragma once

#include <vector>

#include "cloud/neighbours.h"
#include "scene/scene.h"

// For each query, its k nearest points of `cloud` (nearest first; k cut to
// the cloud's size) and their distances, in a table laid out as
// neighboursFind's.
NeighbourTable meshNearest(const std::vector<Vec3>& cloud, const std::vector<Vec3>& queries, int k);
