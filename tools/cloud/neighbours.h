// The k nearest neighbours of every point of a cloud, found with a k-d tree
// from nanoflann (Debian: libnanoflann-dev).
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/vec3.h"

struct NeighbourTable {
    int k = 0;                      // neighbours per point (fewer than asked when the cloud is small)
    std::vector<uint32_t> index;    // point i's neighbours at [i * k, i * k + k), nearest first
    std::vector<double> distance;   // their distances (not squared)
};

// The k nearest other points of each point (the point itself excluded, equal
// points included). Every point must be finite. k is cut to the cloud's size
// less one.
NeighbourTable neighboursFind(const std::vector<Vec3>& points, int k);

// For each query point (a mesh vertex, a sample), its k nearest points of
// `cloud`, nearest first, in the same layout; k is cut to the cloud's size.
NeighbourTable neighboursNearest(const std::vector<Vec3>& cloud, const std::vector<Vec3>& queries,
                                 int k);
