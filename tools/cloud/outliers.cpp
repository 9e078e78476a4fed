#include "cloud/outliers.h"

#include <cmath>

#include "cloud/neighbours.h"

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
    const NeighbourTable table = neighboursFind(inside, options.neighbours);
    if (table.k == 0) {  // too few points to judge: keep them
        for (size_t i : origin) r.keep[i] = 1;
        return r;
    }
    std::vector<double> mean(inside.size(), 0.0);
    double sum = 0;
    for (size_t i = 0; i < inside.size(); ++i) {
        for (int j = 0; j < table.k; ++j) mean[i] += table.distance[i * table.k + j];
        mean[i] /= table.k;
        sum += mean[i];
    }
    r.meanDistance = sum / inside.size();
    double squares = 0;
    for (double m : mean) squares += (m - r.meanDistance) * (m - r.meanDistance);
    r.sigma = std::sqrt(squares / inside.size());
    r.threshold = r.meanDistance + options.ratio * r.sigma;
    for (size_t i = 0; i < inside.size(); ++i) {
        if (mean[i] > r.threshold) {
            ++r.sparse;
        } else {
            r.keep[origin[i]] = 1;
        }
    }
    return r;
}
