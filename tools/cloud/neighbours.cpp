#include "cloud/neighbours.h"

#include <algorithm>
#include <cmath>
#include <nanoflann.hpp>

#include "common/tool_threads.h"

namespace {

// The adaptor nanoflann reads the points through.
struct PointSource {
    const std::vector<Vec3>& points;
    size_t kdtree_get_point_count() const { return points.size(); }
    double kdtree_get_pt(size_t i, size_t dim) const {
        const Vec3& p = points[i];
        return dim == 0 ? p.x : dim == 1 ? p.y : p.z;
    }
    template <class Box>
    bool kdtree_get_bbox(Box&) const { return false; }
};

using Tree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, PointSource>,
                                                 PointSource, 3, uint32_t>;

constexpr size_t kBlock = 512;  // queries a thread takes at a time

}  // namespace

struct NeighbourTree {
    PointSource source;
    Tree tree;
    explicit NeighbourTree(const std::vector<Vec3>& points)
        : source{points}, tree(3, source, nanoflann::KDTreeSingleIndexAdaptorParams(10)) {}
};

NeighbourIndex neighboursIndex(const std::vector<Vec3>& cloud) {
    NeighbourIndex index;
    index.size = cloud.size();
    if (!cloud.empty()) index.tree = std::make_shared<const NeighbourTree>(cloud);
    return index;
}

size_t neighboursQuery(const NeighbourIndex& tree, Vec3 q, size_t k, uint32_t* index,
                       double* squared) {
    if (tree.tree == nullptr || k == 0) return 0;
    const double query[3] = {q.x, q.y, q.z};
    return tree.tree->tree.knnSearch(query, std::min(k, tree.size), index, squared);
}

size_t neighboursOfPoint(const NeighbourIndex& tree, const std::vector<Vec3>& points, size_t i,
                         size_t k, uint32_t* found, double* squared, uint32_t* index,
                         double* distance) {
    // Ask for one more: the point finds itself (or an equal point) among them.
    const size_t got = neighboursQuery(tree, points[i], k + 1, found, squared);
    size_t out = 0;
    bool selfSkipped = false;
    for (size_t j = 0; j < got && out < k; ++j) {
        if (!selfSkipped && found[j] == i) {
            selfSkipped = true;
            continue;
        }
        index[out] = found[j];
        distance[out] = std::sqrt(squared[j]);
        ++out;
    }
    // The point itself was not among the k + 1 (more than k equal points):
    // the list is full with k equal ones, which is the right answer.
    return out;
}

NeighbourTable neighboursFind(const std::vector<Vec3>& points, int k) {
    NeighbourTable table;
    const size_t n = points.size();
    table.k = static_cast<int>(std::min<size_t>(std::max(k, 0), n == 0 ? 0 : n - 1));
    if (table.k == 0) return table;
    const size_t kk = static_cast<size_t>(table.k);
    table.index.resize(n * kk);
    table.distance.resize(n * kk);
    const NeighbourIndex tree = neighboursIndex(points);
    toolParallel(n, kBlock, [&](size_t begin, size_t end) {
        std::vector<uint32_t> found(kk + 1);
        std::vector<double> squared(kk + 1);
        for (size_t i = begin; i < end; ++i)
            neighboursOfPoint(tree, points, i, kk, found.data(), squared.data(),
                              &table.index[i * kk], &table.distance[i * kk]);
    });
    return table;
}

NeighbourTable neighboursNearest(const std::vector<Vec3>& cloud, const std::vector<Vec3>& queries,
                                 int k) {
    NeighbourTable table;
    table.k = static_cast<int>(std::min<size_t>(std::max(k, 0), cloud.size()));
    if (table.k == 0) return table;
    const size_t kk = static_cast<size_t>(table.k);
    table.index.resize(queries.size() * kk);
    table.distance.resize(queries.size() * kk);
    const NeighbourIndex tree = neighboursIndex(cloud);
    toolParallel(queries.size(), kBlock, [&](size_t begin, size_t end) {
        std::vector<double> squared(kk);
        for (size_t i = begin; i < end; ++i) {
            neighboursQuery(tree, queries[i], kk, &table.index[i * kk], squared.data());
            for (size_t j = 0; j < kk; ++j) table.distance[i * kk + j] = std::sqrt(squared[j]);
        }
    });
    return table;
}
