// The k nearest neighbours of every point of a cloud, found with a k-d tree
// from nanoflann (Debian: libnanoflann-dev), the queries spread over the
// cores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/vec3.h"

struct NeighbourTable {
    int k = 0;                      // neighbours per point (fewer than asked when the cloud is small)
    std::vector<uint32_t> index;    // point i's neighbours at [i * k, i * k + k), nearest first
    std::vector<double> distance;   // their distances (not squared)
};

// A k-d tree over a cloud (which must outlive it), built once and asked from
// several threads at once.
struct NeighbourTree;
struct NeighbourIndex {
    std::shared_ptr<const NeighbourTree> tree;
    size_t size = 0;
};

NeighbourIndex neighboursIndex(const std::vector<Vec3>& cloud);

// The k nearest cloud points of q, nearest first, into index and squared
// (room for k each); returns how many were found (k or the cloud's size).
size_t neighboursQuery(const NeighbourIndex& tree, Vec3 q, size_t k, uint32_t* index,
                       double* squared);

// The k nearest other points of each point (the point itself excluded, equal
// points included). Every point must be finite. k is cut to the cloud's size
// less one.
NeighbourTable neighboursFind(const std::vector<Vec3>& points, int k);

// For each query point (a mesh vertex, a sample), its k nearest points of
// `cloud`, nearest first, in the same layout; k is cut to the cloud's size.
NeighbourTable neighboursNearest(const std::vector<Vec3>& cloud, const std::vector<Vec3>& queries,
                                 int k);

// The k nearest other points of point i of the tree's cloud, as
// neighboursFind gives them, into index and distance (not squared); `found`
// and `squared` are scratch of k + 1 each. Returns how many were written.
size_t neighboursOfPoint(const NeighbourIndex& tree, const std::vector<Vec3>& points, size_t i,
                         size_t k, uint32_t* found, double* squared, uint32_t* index,
                         double* distance);
