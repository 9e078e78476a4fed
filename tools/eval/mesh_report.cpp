#include "eval/mesh_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <unordered_map>
#include <vector>

#include "common/ply.h"
#include "common/spatial_grid.h"
#include "eval/report.h"
#include "eval/report_fields.h"
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
            case PrimitiveKind::kLathe: {
                const double u1 = unit(rng), u2 = unit(rng), u3 = unit(rng);
                out->push_back(lathePoint(*p.lathe, u1, u2, u3));
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
        case PrimitiveKind::kLathe: return latheArea(*p.lathe);
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

// For each point, whether a triangle of the mesh lies within `reach` of it.
std::vector<char> withinOfMesh(const Mesh& mesh, const std::vector<Vec3>& points, double reach) {
    SpatialGrid grid = gridMake(std::max(reach, 0.5));
    for (uint32_t t = 0; t < mesh.triangles.size(); ++t) {
        Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
        for (uint32_t v : mesh.triangles[t]) {
            const Vec3 p = mesh.vertices[v];
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
        gridInsertBox(&grid, {lo.x - reach, lo.y - reach, lo.z - reach},
                      {hi.x + reach, hi.y + reach, hi.z + reach}, t);
    }
    std::vector<char> within(points.size(), 0);
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3 p = points[i];
        const std::vector<uint32_t>* near = gridAt(grid, gridCellOf(grid, p));
        if (near == nullptr) continue;
        for (uint32_t t : *near) {
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
    SpatialGrid grid = gridMake(reach);
    for (uint32_t i = 0; i < cloud.size(); ++i) gridInsert(&grid, cloud[i], i);
    std::vector<char> near(points.size(), 0);
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3 p = points[i];
        const GridCell c = gridCellOf(grid, p);
        for (int64_t x = c[0] - 1; x <= c[0] + 1 && !near[i]; ++x)
            for (int64_t y = c[1] - 1; y <= c[1] + 1 && !near[i]; ++y)
                for (int64_t z = c[2] - 1; z <= c[2] + 1 && !near[i]; ++z) {
                    const std::vector<uint32_t>* cellPoints = gridAt(grid, {x, y, z});
                    if (cellPoints == nullptr) continue;
                    for (uint32_t j : *cellPoints)
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
        double worst = 0;
        if (evalChromaError(colour, albedo, &worst)) chroma.push_back(worst);
    }
    r->colourVertices = static_cast<long>(chroma.size());
    evalChromaSummary(chroma, &r->chromaMean, &r->chroma95);
    return true;
}

namespace {

std::vector<ReportField> meshFields(const MeshReport& r) {
    char near[96];
    std::snprintf(near, sizeof near, "surface near the scan (within %g of a cloud point)",
                  kMeshEvalNear);
    return {fieldCount("triangles", "triangles", r.triangles),
            fieldCount("vertices", "vertices", r.vertices),
            fieldCount("pieces", "pieces", r.pieces),
            fieldCount("parts", "parts of the object", r.parts),
            fieldYesNo("watertight", "watertight", r.watertight),
            fieldCount("border_edges", "border edges", r.border),
            fieldCount("nonmanifold_edges", "edges of more than two triangles", r.nonManifold),
            fieldCount("misoriented_edges", "edges used twice in one direction", r.misoriented),
            fieldCount("intersecting_pairs", "pairs of triangles cutting each other", r.intersecting),
            fieldCount("degenerate", "triangles of no area", r.degenerate),
            fieldCount("inward_pieces", "pieces facing inward", r.inward),
            fieldCount("samples", "points spread over the triangles", r.samples),
            fieldNumber("median", "surface to truth, median", r.median, 3),
            fieldNumber("p95", "surface to truth, 95th percentile", r.p95, 3),
            fieldShare("beyond1", "surface beyond 1 unit", r.beyond1, 2),
            fieldShare("beyond5", "surface beyond 5 units", r.beyond5, 3),
            fieldShare("near_share", near, r.nearShare, 1),
            fieldNumber("near_p95", "surface near the scan to truth, 95th percentile", r.nearP95, 3),
            fieldShare("seen_within1", "true surface the scan saw within 1 unit of the mesh",
                       r.seenWithin1, 2),
            fieldCount("true_samples", "points of the true surface the scan saw", r.trueSamples),
            fieldNumber("chroma_mean", "colour (chromaticity, largest channel): mean error",
                        r.chromaMean, 4),
            fieldNumber("chroma_p95", "colour: 95th percentile of the error", r.chroma95, 4),
            fieldCount("colour_vertices", "vertices whose colour was measured", r.colourVertices)};
}

}  // namespace

std::string evalMeshText(const MeshReport& r) {
    return reportText("Accuracy of mesh.ply", meshFields(r));
}

std::string evalMeshJson(const MeshReport& r) { return reportJson(meshFields(r)); }
