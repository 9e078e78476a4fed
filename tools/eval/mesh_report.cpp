#include "eval/mesh_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <unordered_map>
#include <vector>

#include "common/ply.h"
#include "eval/report.h"
#include "mesh/mesh_intersect.h"
#include "mesh/mesh_io.h"
#include "mesh/mesh_topology.h"
#include "render/render.h"
#include "render/scene_file.h"

namespace {

constexpr double kSamplesPerArea = 20;  // points per square unit of surface
constexpr long kMaxSamples = 2000000;

Vec3 randomDirection(std::mt19937& rng) {
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (;;) {
        const Vec3 d{gauss(rng), gauss(rng), gauss(rng)};
        if (length(d) > 1e-9) return normalized(d);
    }
}

// Evenly spread points of one part's surface.
void samplePrimitive(const Primitive& p, long count, std::mt19937& rng, std::vector<Vec3>* out) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (long i = 0; i < count; ++i) {
        switch (p.kind) {
            case PrimitiveKind::kSphere:
                out->push_back(p.a + p.radius * randomDirection(rng));
                break;
            case PrimitiveKind::kCapsule: {
                const Vec3 axis = p.b - p.a;
                const double len = length(axis);
                const double side = 2 * kPi * p.radius * len, caps = 4 * kPi * p.radius * p.radius;
                const Vec3 dir = randomDirection(rng);
                if (unit(rng) * (side + caps) < caps) {  // a hemisphere at either end
                    const bool atB = dot(dir, axis) > 0;
                    out->push_back((atB ? p.b : p.a) + p.radius * dir);
                } else {
                    const Vec3 u = normalized(axis);
                    const Vec3 radial = normalized(dir - dot(dir, u) * u);
                    out->push_back(p.a + (unit(rng) * len) * u + p.radius * radial);
                }
                break;
            }
            case PrimitiveKind::kBox: {
                const double h[3] = {p.b.x, p.b.y, p.b.z};
                const double area[3] = {h[1] * h[2], h[0] * h[2], h[0] * h[1]};
                double pick = unit(rng) * (area[0] + area[1] + area[2]);
                int axis = 0;
                while (axis < 2 && pick >= area[axis]) pick -= area[axis++];
                double c[3];
                for (int k = 0; k < 3; ++k) c[k] = (2 * unit(rng) - 1) * h[k];
                c[axis] = unit(rng) < 0.5 ? -h[axis] : h[axis];
                out->push_back(p.a + Vec3{c[0], c[1], c[2]});
                break;
            }
        }
    }
}

double primitiveArea(const Primitive& p) {
    switch (p.kind) {
        case PrimitiveKind::kSphere: return 4 * kPi * p.radius * p.radius;
        case PrimitiveKind::kCapsule:
            return 2 * kPi * p.radius * length(p.b - p.a) + 4 * kPi * p.radius * p.radius;
        case PrimitiveKind::kBox: return 8 * (p.b.x * p.b.y + p.b.y * p.b.z + p.b.x * p.b.z);
    }
    return 0;
}

// Points of the object's surface (on a part, not inside another).
std::vector<Vec3> sampleTruth(const SceneObject& object) {
    std::mt19937 rng(7);
    std::vector<Vec3> all, out;
    for (const Primitive& p : object.parts)
        samplePrimitive(p, std::lround(kSamplesPerArea * primitiveArea(p)), rng, &all);
    for (const Vec3& p : all)
        if (sceneDistance(object, p) > -1e-7) out.push_back(p);
    return out;
}

std::vector<Vec3> sampleMesh(const Mesh& mesh) {
    std::vector<double> cumulative;
    double total = 0;
    for (const MeshTriangle& t : mesh.triangles) cumulative.push_back(total += meshTriangleArea(mesh, t));
    const long count = std::min<long>(kMaxSamples, std::lround(kSamplesPerArea * total));
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Vec3> out;
    for (long i = 0; i < count && total > 0; ++i) {
        const size_t t = std::min(cumulative.size() - 1,
                                  static_cast<size_t>(std::upper_bound(cumulative.begin(), cumulative.end(),
                                                                       unit(rng) * total) -
                                                      cumulative.begin()));
        double r1 = unit(rng), r2 = unit(rng);
        if (r1 + r2 > 1) r1 = 1 - r1, r2 = 1 - r2;
        const MeshTriangle& tri = mesh.triangles[t];
        const Vec3 a = mesh.vertices[tri[0]];
        out.push_back(a + r1 * (mesh.vertices[tri[1]] - a) + r2 * (mesh.vertices[tri[2]] - a));
    }
    return out;
}

// The point of triangle abc nearest p (regions of the vertices, edges and face).
Vec3 closestOnTriangle(Vec3 p, Vec3 a, Vec3 b, Vec3 c) {
    const Vec3 ab = b - a, ac = c - a, ap = p - a;
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) return a;
    const Vec3 bp = p - b;
    const double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) return b;
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) return a + (d1 / (d1 - d3)) * ab;
    const Vec3 cp = p - c;
    const double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) return c;
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + (d2 / (d2 - d6)) * ac;
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0)
        return b + ((d4 - d3) / ((d4 - d3) + (d5 - d6))) * (c - b);
    const double denom = 1 / (va + vb + vc);
    return a + (vb * denom) * ab + (vc * denom) * ac;
}

struct CellHash {
    size_t operator()(const std::array<int64_t, 3>& c) const {
        return static_cast<size_t>(c[0] * 73856093) ^ static_cast<size_t>(c[1] * 19349663) ^
               static_cast<size_t>(c[2] * 83492791);
    }
};

// For each point, whether a triangle of the mesh lies within `reach` of it.
std::vector<char> withinOfMesh(const Mesh& mesh, const std::vector<Vec3>& points, double reach) {
    const double cell = std::max(reach, 0.5);
    auto cellOf = [cell](double x) { return static_cast<int64_t>(std::floor(x / cell)); };
    std::unordered_map<std::array<int64_t, 3>, std::vector<uint32_t>, CellHash> grid;
    for (uint32_t t = 0; t < mesh.triangles.size(); ++t) {
        Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
        for (uint32_t v : mesh.triangles[t]) {
            const Vec3 p = mesh.vertices[v];
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
        for (int64_t x = cellOf(lo.x - reach); x <= cellOf(hi.x + reach); ++x)
            for (int64_t y = cellOf(lo.y - reach); y <= cellOf(hi.y + reach); ++y)
                for (int64_t z = cellOf(lo.z - reach); z <= cellOf(hi.z + reach); ++z)
                    grid[{x, y, z}].push_back(t);
    }
    std::vector<char> within(points.size(), 0);
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3 p = points[i];
        const auto it = grid.find({cellOf(p.x), cellOf(p.y), cellOf(p.z)});
        if (it == grid.end()) continue;
        for (uint32_t t : it->second) {
            const MeshTriangle& tri = mesh.triangles[t];
            const Vec3 q = closestOnTriangle(p, mesh.vertices[tri[0]], mesh.vertices[tri[1]],
                                             mesh.vertices[tri[2]]);
            if (length(p - q) <= reach) {
                within[i] = 1;
                break;
            }
        }
    }
    return within;
}

// For each point, whether a cloud point lies within `reach` of it (a grid of
// cells of that size: the report needs no k-d tree library).
std::vector<char> nearCloud(const std::vector<Vec3>& cloud, const std::vector<Vec3>& points,
                            double reach) {
    auto cellOf = [reach](double x) { return static_cast<int64_t>(std::floor(x / reach)); };
    std::unordered_map<std::array<int64_t, 3>, std::vector<uint32_t>, CellHash> grid;
    for (uint32_t i = 0; i < cloud.size(); ++i)
        grid[{cellOf(cloud[i].x), cellOf(cloud[i].y), cellOf(cloud[i].z)}].push_back(i);
    std::vector<char> near(points.size(), 0);
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3 p = points[i];
        const int64_t cx = cellOf(p.x), cy = cellOf(p.y), cz = cellOf(p.z);
        for (int64_t x = cx - 1; x <= cx + 1 && !near[i]; ++x)
            for (int64_t y = cy - 1; y <= cy + 1 && !near[i]; ++y)
                for (int64_t z = cz - 1; z <= cz + 1 && !near[i]; ++z) {
                    const auto it = grid.find({x, y, z});
                    if (it == grid.end()) continue;
                    for (uint32_t j : it->second)
                        if (length(cloud[j] - p) <= reach) {
                            near[i] = 1;
                            break;
                        }
                }
    }
    return near;
}

// Separate parts of the object: parts joined when they overlap or touch.
int countParts(const SceneObject& object) {
    std::mt19937 rng(3);
    const size_t n = object.parts.size();
    std::vector<int> group(n);
    for (size_t i = 0; i < n; ++i) group[i] = static_cast<int>(i);
    // Two parts touch when a point of one's surface lies on or in the other.
    for (size_t i = 0; i < n; ++i) {
        std::vector<Vec3> points;
        samplePrimitive(object.parts[i], 4000, rng, &points);
        for (size_t j = 0; j < n; ++j) {
            if (j == i) continue;
            SceneObject other;
            other.parts = {object.parts[j]};
            bool touch = false;
            for (const Vec3& p : points) touch = touch || sceneDistance(other, p) <= 1e-3;
            if (!touch) continue;
            const int from = group[j], to = group[i];
            for (int& g : group)
                if (g == from) g = to;
        }
    }
    std::sort(group.begin(), group.end());
    return static_cast<int>(std::unique(group.begin(), group.end()) - group.begin());
}

}  // namespace

bool evalMesh(const std::string& dir, MeshReport* r, std::string* error) {
    *r = MeshReport{};
    RenderOptions options;
    if (!sceneFileRead(dir, &options, error)) return false;
    SceneObject object;
    sceneMakeObject(options.object, &object);
    Mesh mesh;
    if (!meshReadPly(dir + "/mesh.ply", &mesh, error)) return false;
    std::vector<PlyVertex> cloudVertices;
    if (!plyRead(dir + "/cloud.ply", &cloudVertices, error)) return false;
    std::vector<Vec3> cloud;
    for (const PlyVertex& v : cloudVertices) cloud.push_back({v.x, v.y, v.z});

    r->triangles = static_cast<long>(mesh.triangles.size());
    r->vertices = static_cast<long>(mesh.vertices.size());
    const std::vector<int> piece = meshPieces(mesh, &r->pieces);
    for (double v : meshPieceVolumes(mesh, piece, r->pieces)) r->inward += v <= 0;
    r->parts = countParts(object);
    const MeshEdgeCounts edges = meshEdgeCounts(mesh);
    r->border = edges.border;
    r->nonManifold = edges.nonManifold;
    r->misoriented = edges.misoriented;
    const MeshIntersections crossings = meshSelfIntersections(mesh);
    r->intersecting = crossings.pairs;
    r->degenerate = crossings.degenerate;
    r->watertight = r->border == 0 && r->nonManifold == 0 && r->misoriented == 0 &&
                    r->intersecting == 0 && r->degenerate == 0 && r->inward == 0 &&
                    !mesh.triangles.empty();

    // The mesh against the truth.
    const std::vector<Vec3> samples = sampleMesh(mesh);
    r->samples = static_cast<long>(samples.size());
    const std::vector<char> sampleNear = nearCloud(cloud, samples, kMeshEvalNear);
    std::vector<double> distances, near;
    long beyond1 = 0, beyond5 = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double d = std::fabs(sceneDistance(object, samples[i]));
        distances.push_back(d);
        beyond1 += d > 1;
        beyond5 += d > 5;
        if (sampleNear[i]) near.push_back(d);
    }
    const double count = std::max<double>(1, samples.size());
    r->median = evalQuantile(distances, 0.5);
    r->p95 = evalQuantile(distances, 0.95);
    r->beyond1 = beyond1 / count;
    r->beyond5 = beyond5 / count;
    r->nearShare = near.size() / count;
    r->nearP95 = evalQuantile(near, 0.95);

    // The truth the scan saw against the mesh.
    const std::vector<Vec3> truth = sampleTruth(object);
    const std::vector<char> truthNear = nearCloud(cloud, truth, kMeshEvalNear);
    std::vector<Vec3> seen;
    for (size_t i = 0; i < truth.size(); ++i)
        if (truthNear[i]) seen.push_back(truth[i]);
    const std::vector<char> within = withinOfMesh(mesh, seen, 1.0);
    r->trueSamples = static_cast<long>(seen.size());
    r->seenWithin1 = seen.empty() ? 0 : std::count(within.begin(), within.end(), 1) / double(seen.size());

    // Colours, as the cloud's are measured.
    std::vector<double> chroma;
    for (size_t v = 0; v < mesh.vertices.size(); ++v) {
        const Vec3 p = mesh.vertices[v];
        const double d = sceneDistance(object, p);
        if (std::fabs(d) > 1.0) continue;
        double albedo[3];
        renderAlbedo(options, p - d * sceneNormal(object, p), albedo);
        const double colour[3] = {mesh.colours[v][0] / 255.0, mesh.colours[v][1] / 255.0,
                                  mesh.colours[v][2] / 255.0};
        const double a = albedo[0] + albedo[1] + albedo[2], c = colour[0] + colour[1] + colour[2];
        if (c <= 0) continue;
        double worst = 0;
        for (int k = 0; k < 3; ++k) worst = std::max(worst, std::fabs(colour[k] / c - albedo[k] / a));
        chroma.push_back(worst);
    }
    double sum = 0;
    for (double c : chroma) sum += c;
    r->colourVertices = static_cast<long>(chroma.size());
    r->chromaMean = chroma.empty() ? 0 : sum / chroma.size();
    r->chroma95 = evalQuantile(chroma, 0.95);
    return true;
}

std::string evalMeshText(const MeshReport& r) {
    char buf[1536];
    std::snprintf(
        buf, sizeof buf,
        "Accuracy of mesh.ply\n"
        "  %ld triangles, %ld vertices, %d %s (the object has %d %s)\n"
        "  watertight: %s (%ld border edges, %ld edges of more than two triangles, %ld edges "
        "used twice in one direction, %ld pairs of triangles cutting each other, %ld triangles "
        "of no area, %d pieces facing inward)\n"
        "  surface to truth (%ld points spread over the triangles): median %.3f, 95th percentile "
        "%.3f, beyond 1 unit %.2f %%, beyond 5 units %.3f %%\n"
        "  near the scan (within %g of a cloud point, %.1f %% of the surface): 95th percentile "
        "%.3f\n"
        "  true surface the scan saw within 1 unit of the mesh: %.2f %% (of %ld points)\n"
        "  colour (chromaticity, largest channel): mean error %.4f, 95th percentile %.4f over "
        "%ld vertices\n",
        r.triangles, r.vertices, r.pieces, r.pieces == 1 ? "piece" : "pieces", r.parts,
        r.parts == 1 ? "part" : "parts", r.watertight ? "yes" : "NO", r.border, r.nonManifold,
        r.misoriented, r.intersecting, r.degenerate, r.inward, r.samples, r.median, r.p95,
        100 * r.beyond1, 100 * r.beyond5, kMeshEvalNear, 100 * r.nearShare, r.nearP95,
        100 * r.seenWithin1, r.trueSamples, r.chromaMean, r.chroma95, r.colourVertices);
    return buf;
}

std::string evalMeshJson(const MeshReport& r) {
    char buf[1536];
    std::snprintf(
        buf, sizeof buf,
        "{\"triangles\": %ld, \"vertices\": %ld, \"pieces\": %d, \"parts\": %d, "
        "\"watertight\": %s, \"border_edges\": %ld, \"nonmanifold_edges\": %ld, "
        "\"misoriented_edges\": %ld, \"intersecting_pairs\": %ld, \"degenerate\": %ld, "
        "\"inward_pieces\": %d, \"samples\": %ld, \"median\": %.6f, \"p95\": %.6f, "
        "\"beyond1\": %.6f, \"beyond5\": %.6f, \"near_share\": %.6f, \"near_p95\": %.6f, "
        "\"seen_within1\": %.6f, \"true_samples\": %ld, \"chroma_mean\": %.6f, "
        "\"chroma_p95\": %.6f, \"colour_vertices\": %ld}\n",
        r.triangles, r.vertices, r.pieces, r.parts, r.watertight ? "true" : "false", r.border,
        r.nonManifold, r.misoriented, r.intersecting, r.degenerate, r.inward, r.samples, r.median,
        r.p95, r.beyond1, r.beyond5, r.nearShare, r.nearP95, r.seenWithin1, r.trueSamples,
        r.chromaMean, r.chroma95, r.colourVertices);
    return buf;
}
