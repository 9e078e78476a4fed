#include "driver/rig_pairs.h"

#include <algorithm>
#include <cmath>

#include "geometry/camera_model.h"

namespace {

// The crossings of one code pair that lie together: one grid point's blob.
struct Blob {
    int32_t minX, maxX, minY, maxY;
    double sumX, sumY;
    int count;
    double x() const { return sumX / count - 0.5; }
    double y() const { return sumY / count - 0.5; }
};

// Groups a camera's crossings by code (36 v x 36 h) into blobs of pixels
// within two pixels of each other.
std::vector<std::vector<Blob>> blobsByCode(const std::vector<RigCrossing>& crossings) {
    std::vector<std::vector<Blob>> byCode(36 * 36);
    for (const RigCrossing& c : crossings) {
        std::vector<Blob>& blobs = byCode[36 * c.v + c.h];
        Blob* into = nullptr;
        for (Blob& b : blobs)
            if (c.x >= b.minX - 2 && c.x <= b.maxX + 2 && c.y >= b.minY - 2 && c.y <= b.maxY + 2) {
                into = &b;
                break;
            }
        if (into == nullptr) {
            blobs.push_back({c.x, c.x, c.y, c.y, static_cast<double>(c.x), static_cast<double>(c.y), 1});
            continue;
        }
        into->minX = std::min(into->minX, c.x);
        into->maxX = std::max(into->maxX, c.x);
        into->minY = std::min(into->minY, c.y);
        into->maxY = std::max(into->maxY, c.y);
        into->sumX += c.x;
        into->sumY += c.y;
        ++into->count;
    }
    return byCode;
}

// The camera-frame ray (x, y, 1) of an OpenCV pixel, turned into the world.
bool worldRay(const RigCamera& camera, double u, double v, Vec3* direction) {
    Vec3 origin;
    return rigRay(camera, u, v, &origin, direction);
}

}  // namespace

std::vector<RigCrossing> rigViewCrossings(const Image* vertical, const Image* horizontal) {
    std::vector<RigCrossing> out;
    const int32_t w = vertical->width, h = vertical->height;
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y) {
            const size_t i = 3 * (static_cast<size_t>(y) * static_cast<size_t>(w) + x);
            if (!(vertical->pixels[i] > 0.001f) || !(horizontal->pixels[i] > 0.001f)) continue;
            const int v = static_cast<int>(static_cast<double>(vertical->pixels[i + 2]) * 255.0 + 0.5);
            const int hc = static_cast<int>(static_cast<double>(horizontal->pixels[i + 2]) * 255.0 + 0.5);
            if (v < 0 || v > 35 || hc < 0 || hc > 35) continue;
            out.push_back({x, y, v, hc});
        }
    return out;
}

double rigEpipolarDistance(const Rig& rig, double u1, double v1, double u2, double v2) {
    const RigCamera& c1 = rig.cameras[0];
    const RigCamera& c2 = rig.cameras[1];
    Vec3 d1;
    if (!worldRay(c1, u1, v1, &d1)) return -1;
    double x2, y2;
    if (!rigUndistort(c2, u2, v2, &x2, &y2)) return -1;
    // The epipolar plane holds both centres and the ray of camera 1; its
    // normal in camera 2's frame n gives the line n . (x, y, 1) = 0 in camera
    // 2's normalised picture, and (n.x / fx, n.y / fy) in its pixels.
    const Vec3 nWorld = cross(d1, c2.centre - c1.centre);
    const double* r = c2.rotation;
    const Vec3 n{r[0] * nWorld.x + r[1] * nWorld.y + r[2] * nWorld.z,
                 r[3] * nWorld.x + r[4] * nWorld.y + r[5] * nWorld.z,
                 r[6] * nWorld.x + r[7] * nWorld.y + r[8] * nWorld.z};
    const double a = n.x / c2.fx, b = n.y / c2.fy;
    const double scale = std::sqrt(a * a + b * b);
    if (!(scale > 0)) return -1;
    return std::fabs(n.x * x2 + n.y * y2 + n.z) / scale;
}

std::vector<RigPair> rigPairCrossings(const Rig& rig, const std::vector<RigCrossing>& camera1,
                                      const std::vector<RigCrossing>& camera2) {
    const std::vector<std::vector<Blob>> blobs1 = blobsByCode(camera1);
    const std::vector<std::vector<Blob>> blobs2 = blobsByCode(camera2);
    const double lastRow = rig.height - 1;
    std::vector<RigPair> pairs;
    for (int code = 0; code < 36 * 36; ++code) {
        const std::vector<Blob>& a = blobs1[code];
        const std::vector<Blob>& b = blobs2[code];
        if (a.empty() || b.empty()) continue;
        // near[i * |b| + j]: blob j of camera 2 lies on blob i's epipolar line.
        std::vector<char> near(a.size() * b.size(), 0);
        for (size_t i = 0; i < a.size(); ++i)
            for (size_t j = 0; j < b.size(); ++j) {
                const double d = rigEpipolarDistance(rig, a[i].x(), lastRow - a[i].y(), b[j].x(),
                                                     lastRow - b[j].y());
                near[i * b.size() + j] = d >= 0 && d <= kRigEpipolarTolerancePx;
            }
        std::vector<RigPair> found;
        for (size_t i = 0; i < a.size(); ++i) {
            int matches = 0;
            size_t match = 0;
            for (size_t j = 0; j < b.size(); ++j)
                if (near[i * b.size() + j]) ++matches, match = j;
            if (matches != 1) continue;
            int back = 0;
            for (size_t k = 0; k < a.size(); ++k) back += near[k * b.size() + match];
            if (back != 1) continue;
            found.push_back({code / 36, code % 36, a[i].x(), a[i].y(), b[match].x(), b[match].y()});
        }
        std::sort(found.begin(), found.end(), [](const RigPair& p, const RigPair& q) {
            return p.x1 != q.x1 ? p.x1 < q.x1 : p.y1 < q.y1;
        });
        pairs.insert(pairs.end(), found.begin(), found.end());
    }
    return pairs;
}
