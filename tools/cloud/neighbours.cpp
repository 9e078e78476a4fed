#include "cloud/neighbours.h"

#include <algorithm>
#include <cmath>
#include <nanoflann.hpp>

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

}  // namespace

NeighbourTable neighboursFind(const std::vector<Vec3>& points, int k) {
    NeighbourTable table;
    const size_t n = points.size();
    table.k = static_cast<int>(std::min<size_t>(std::max(k, 0), n == 0 ? 0 : n - 1));
    if (table.k == 0) return table;
    const size_t kk = static_cast<size_t>(table.k);
    table.index.resize(n * kk);
    table.distance.resize(n * kk);

    const PointSource source{points};
    Tree tree(3, source, nanoflann::KDTreeSingleIndexAdaptorParams(10));
    // Ask for one more: the point finds itself (or an equal point) among them.
    std::vector<uint32_t> found(kk + 1);
    std::vector<double> squared(kk + 1);
    for (size_t i = 0; i < n; ++i) {
        const double query[3] = {points[i].x, points[i].y, points[i].z};
        const size_t got = tree.knnSearch(query, kk + 1, found.data(), squared.data());
        size_t out = 0;
        bool selfSkipped = false;
        for (size_t j = 0; j < got && out < kk; ++j) {
            if (!selfSkipped && found[j] == i) {
                selfSkipped = true;
                continue;
            }
            table.index[i * kk + out] = found[j];
            table.distance[i * kk + out] = std::sqrt(squared[j]);
            ++out;
        }
        // The point itself was not among the k + 1 (more than k equal points):
        // the list is full with k equal ones, which is the right answer.
    }
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
    const PointSource source{cloud};
    Tree tree(3, source, nanoflann::KDTreeSingleIndexAdaptorParams(10));
    std::vector<double> squared(kk);
    for (size_t i = 0; i < queries.size(); ++i) {
        const double query[3] = {queries[i].x, queries[i].y, queries[i].z};
        tree.knnSearch(query, kk, &table.index[i * kk], squared.data());
        for (size_t j = 0; j < kk; ++j) table.distance[i * kk + j] = std::sqrt(squared[j]);
    }
    return table;
}
