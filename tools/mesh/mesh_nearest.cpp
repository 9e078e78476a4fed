#include "mesh/mesh_nearest.h"

#include <algorithm>
#include <cmath>
#include <nanoflann.hpp>

namespace {

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

NeighbourTable meshNearest(const std::vector<Vec3>& cloud, const std::vector<Vec3>& queries, int k) {
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
