#include "cloud/outliers.h"

#include <algorithm>
#include <cmath>

#include "cloud/neighbours.h"
#include "common/tool_threads.h"

namespace {

// The median (the mean of the middle two for an even count); 0 for none.
double median(std::vector<double> values) {
    if (values.empty()) return 0;
    const size_t half = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + half, values.end());
    const double upper = values[half];
    if (values.size() % 2 == 1) return upper;
    return 0.5 * (*std::max_element(values.begin(), values.begin() + half) + upper);
}

}  // namespace

bool outliersInVolume(Vec3 p, const OutlierOptions& o) {
    return p.x * p.x + p.z * p.z <= o.radius * o.radius && p.y >= o.yMin && p.y <= o.yMax;
}

OutlierResult outliersFind(const std::vector<Vec3>& points, const OutlierOptions& options) {
    OutlierResult r;
    r.keep.assign(points.size(), 0);
    std::vector<Vec3> inside;
    std::vector<size_t> origin;  // index in `points` of each point of `inside`
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3& p = points[i];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            ++r.notFinite;
        } else if (!outliersInVolume(p, options)) {
            ++r.outsideVolume;
        } else {
            inside.push_back(p);
            origin.push_back(i);
        }
    }
    const size_t k =
        std::min<size_t>(std::max(options.neighbours, 0), inside.empty() ? 0 : inside.size() - 1);
    if (k == 0) {  // too few points to judge: keep them
        for (size_t i : origin) r.keep[i] = 1;
        return r;
    }
    std::vector<double> mean(inside.size(), 0.0);
    const NeighbourIndex tree = neighboursIndex(inside);
    toolParallel(inside.size(), 512, [&](size_t begin, size_t end) {
        std::vector<uint32_t> found(k + 1), index(k);
        std::vector<double> squared(k + 1), distance(k);
        for (size_t i = begin; i < end; ++i) {
            neighboursOfPoint(tree, inside, i, k, found.data(), squared.data(), index.data(),
                              distance.data());
            for (size_t j = 0; j < k; ++j) mean[i] += distance[j];
            mean[i] /= static_cast<double>(k);
        }
    });
    r.centre = median(mean);
    std::vector<double> deviation(mean.size());
    for (size_t i = 0; i < mean.size(); ++i) deviation[i] = std::fabs(mean[i] - r.centre);
    // On an even sampling most points have the same mean distance and the
    // median deviation shrinks toward zero; the points along the cloud's
    // edges, whose neighbours lie on one side only, would then all go. The
    // spread is kept at a fifth of the centre at least.
    r.spread = std::max(1.4826 * median(deviation), 0.2 * r.centre);
    r.threshold = r.centre + options.ratio * r.spread;
    for (size_t i = 0; i < inside.size(); ++i) {
        if (mean[i] > r.threshold) {
            ++r.sparse;
        } else {
            r.keep[origin[i]] = 1;
        }
    }
    return r;
}
