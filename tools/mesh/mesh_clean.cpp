#include "mesh/mesh_clean.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

#include "common/spatial_grid.h"
#include "mesh/mesh_intersect.h"
#include "mesh/mesh_topology.h"

namespace {

uint64_t edgeKey(uint32_t a, uint32_t b) {
    return static_cast<uint64_t>(std::min(a, b)) << 32 | std::max(a, b);
}

// Triangles whose vertices are all different and not on one line.
bool hasArea(const Mesh& mesh, const MeshTriangle& t) {
    if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) return false;
    const Vec3 n = meshTriangleNormal(mesh, t);
    return n.x != 0 || n.y != 0 || n.z != 0;
}

void mergeVertices(Mesh* mesh, double tolerance, MeshCleanStats* stats) {
    SpatialGrid cells = gridMake(tolerance);
    std::vector<uint32_t> target(mesh->vertices.size());
    const double t2 = tolerance * tolerance;
    for (uint32_t v = 0; v < mesh->vertices.size(); ++v) {
        const Vec3 p = mesh->vertices[v];
        const GridCell c = gridCellOf(cells, p);
        target[v] = v;
        for (int dx = -1; dx <= 1 && target[v] == v; ++dx)
            for (int dy = -1; dy <= 1 && target[v] == v; ++dy)
                for (int dz = -1; dz <= 1 && target[v] == v; ++dz) {
                    const std::vector<uint32_t>* near = gridAt(cells, {c[0] + dx, c[1] + dy, c[2] + dz});
                    if (near == nullptr) continue;
                    for (uint32_t w : *near) {
                        const Vec3 d = mesh->vertices[w] - p;
                        if (dot(d, d) < t2) {
                            target[v] = w;
                            break;
                        }
                    }
                }
        if (target[v] == v) {
            cells.cells[c].push_back(v);
        } else {
            ++stats->mergedVertices;
        }
    }
    for (MeshTriangle& t : mesh->triangles)
        for (uint32_t& v : t) v = target[v];
}

// A triangle whose three different vertices lie on one line (p and q the
// ends, m between) would leave a hole of no area if dropped. Instead the
// triangle across its long edge, (q, p, x), is split at m into (q, m, x) and
// (m, p, x): the surface stays closed and the flat triangle goes. Where that
// neighbour is missing or flat itself, the triangle is dropped.
void splitFlat(const Mesh& mesh, std::vector<MeshTriangle>* triangles, MeshCleanStats* stats) {
    std::vector<MeshTriangle>& tris = *triangles;
    auto directed = [](uint32_t a, uint32_t b) { return static_cast<uint64_t>(a) << 32 | b; };
    std::unordered_map<uint64_t, uint32_t> byEdge;
    std::vector<uint32_t> flat;
    for (uint32_t t = 0; t < tris.size(); ++t) {
        for (int i = 0; i < 3; ++i) byEdge.emplace(directed(tris[t][i], tris[t][(i + 1) % 3]), t);
        if (!hasArea(mesh, tris[t])) flat.push_back(t);
    }
    std::vector<char> dead(tris.size(), 0);
    for (uint32_t t : flat) {
        MeshTriangle tri = tris[t];
        // Rotate so that the longest edge comes first: (p, q, m).
        int longest = 0;
        double best = -1;
        for (int i = 0; i < 3; ++i) {
            const Vec3 d = mesh.vertices[tri[(i + 1) % 3]] - mesh.vertices[tri[i]];
            if (dot(d, d) > best) best = dot(d, d), longest = i;
        }
        const uint32_t p = tri[longest], q = tri[(longest + 1) % 3], m = tri[(longest + 2) % 3];
        const auto it = byEdge.find(directed(q, p));
        dead[t] = 1;
        const uint32_t n = it == byEdge.end() ? 0 : it->second;
        if (it == byEdge.end() || dead[n] || !hasArea(mesh, tris[n])) {
            ++stats->degenerate;
            continue;
        }
        MeshTriangle other = tris[n];
        while (other[0] != q) std::rotate(other.begin(), other.begin() + 1, other.end());
        const uint32_t x = other[2];
        for (int i = 0; i < 3; ++i) byEdge.erase(directed(other[i], other[(i + 1) % 3]));
        tris[n] = {q, m, x};
        tris.push_back({m, p, x});
        dead.push_back(0);
        for (uint32_t s : {n, static_cast<uint32_t>(tris.size() - 1)})
            for (int i = 0; i < 3; ++i) byEdge[directed(tris[s][i], tris[s][(i + 1) % 3])] = s;
        ++stats->split;
    }
    size_t out = 0;
    for (size_t t = 0; t < tris.size(); ++t)
        if (!dead[t]) tris[out++] = tris[t];
    tris.resize(out);
}

}  // namespace

void meshClean(Mesh* mesh, double tolerance, MeshCleanStats* stats) {
    mergeVertices(mesh, tolerance, stats);
    std::vector<MeshTriangle> kept;
    kept.reserve(mesh->triangles.size());
    // The same three vertices twice: the same way round, one is enough; the
    // other way round, the two are a double layer and cancel.
    std::map<std::array<uint32_t, 3>, size_t> seen;
    std::vector<char> cancelled;
    for (const MeshTriangle& t : mesh->triangles) {
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) {
            ++stats->degenerate;
            continue;
        }
        MeshTriangle sorted = t;
        std::sort(sorted.begin(), sorted.end());
        const auto [it, added] = seen.emplace(sorted, kept.size());
        if (!added) {
            const MeshTriangle& first = kept[it->second];
            const bool sameWay = (first[0] == t[0] && first[1] == t[1]) ||
                                 (first[0] == t[1] && first[1] == t[2]) ||
                                 (first[0] == t[2] && first[1] == t[0]);
            if (sameWay || cancelled[it->second]) {
                ++stats->duplicates;
            } else {
                cancelled[it->second] = 1;
                stats->doubleLayer += 2;
            }
            continue;
        }
        kept.push_back(t);
        cancelled.push_back(0);
    }
    {
        size_t out = 0;
        for (size_t t = 0; t < kept.size(); ++t)
            if (!cancelled[t]) kept[out++] = kept[t];
        kept.resize(out);
    }
    splitFlat(*mesh, &kept, stats);
    // Two layers pressed flat onto each other (the reconstruction's surface
    // running exactly along a grid plane gives them, with the edges between
    // them shared by four triangles): they cancel, so both go, and the
    // surfaces on either side meet directly.
    {
        const Mesh view{mesh->vertices, kept, {}};
        std::vector<std::pair<uint32_t, uint32_t>> crossing;
        meshSelfIntersections(view, &crossing);
        std::vector<char> flat(kept.size(), 0);
        for (const auto& [a, b] : crossing)
            if (meshOppositeInPlane(view, kept[a], kept[b])) flat[a] = flat[b] = 1;
        size_t out = 0;
        for (size_t t = 0; t < kept.size(); ++t) {
            if (flat[t]) {
                ++stats->doubleLayer;
            } else {
                kept[out++] = kept[t];
            }
        }
        kept.resize(out);
    }
    // Edges of more than two triangles: the smallest of them go until two are
    // left. Dropping a triangle never adds to another edge's count, so one
    // pass over the crowded edges settles them all.
    std::unordered_map<uint64_t, std::vector<uint32_t>> users;
    for (uint32_t t = 0; t < kept.size(); ++t)
        for (int i = 0; i < 3; ++i) users[edgeKey(kept[t][i], kept[t][(i + 1) % 3])].push_back(t);
    std::vector<char> dropped(kept.size(), 0);
    std::vector<uint64_t> crowded;
    for (const auto& [key, list] : users)
        if (list.size() > 2) crowded.push_back(key);
    std::sort(crowded.begin(), crowded.end());  // the same result on every run
    for (uint64_t key : crowded) {
        std::vector<uint32_t> live;
        for (uint32_t t : users[key])
            if (!dropped[t]) live.push_back(t);
        if (live.size() <= 2) continue;
        std::sort(live.begin(), live.end(), [&](uint32_t a, uint32_t b) {
            const double aa = meshTriangleArea(*mesh, kept[a]), ab = meshTriangleArea(*mesh, kept[b]);
            return aa != ab ? aa < ab : a < b;
        });
        for (size_t i = 0; i + 2 < live.size(); ++i) {
            dropped[live[i]] = 1;
            ++stats->nonManifold;
        }
    }
    mesh->triangles.clear();
    for (size_t t = 0; t < kept.size(); ++t)
        if (!dropped[t]) mesh->triangles.push_back(kept[t]);
    meshDropUnusedVertices(mesh);
}

void meshDropFragments(Mesh* mesh, int minTriangles, MeshCleanStats* stats) {
    int count = 0;
    const std::vector<int> piece = meshPieces(*mesh, &count);
    std::vector<long> size(count, 0);
    for (int p : piece) ++size[p];
    std::vector<MeshTriangle> kept;
    for (size_t t = 0; t < piece.size(); ++t) {
        if (size[piece[t]] >= minTriangles) {
            kept.push_back(mesh->triangles[t]);
        } else {
            ++stats->fragmentTriangles;
        }
    }
    for (long s : size) stats->fragments += s < minTriangles;
    mesh->triangles = std::move(kept);
    meshDropUnusedVertices(mesh);
}

int meshDropStrayPieces(Mesh* mesh, double share, double gap) {
    int count = 0;
    const std::vector<int> piece = meshPieces(*mesh, &count);
    if (count < 2) return 0;
    // By the volume enclosed: the reconstruction's triangles are as fine as
    // the points are dense, and a streak of points is dense.
    const std::vector<double> volume = meshPieceVolumes(*mesh, piece, count);
    const int largest = static_cast<int>(std::max_element(volume.begin(), volume.end()) - volume.begin());
    std::vector<char> small(count, 0);
    for (int p = 0; p < count; ++p) small[p] = p != largest && volume[p] < share * volume[largest];
    std::vector<int> owner(mesh->vertices.size(), -1);
    for (size_t t = 0; t < piece.size(); ++t)
        for (uint32_t v : mesh->triangles[t]) owner[v] = piece[t];
    // The vertices of the pieces that stay, on a grid of cells `gap` wide:
    // any vertex within `gap` of p lies in the 27 cells about p's.
    SpatialGrid large = gridMake(gap);
    for (uint32_t v = 0; v < owner.size(); ++v)
        if (owner[v] >= 0 && !small[owner[v]]) gridInsert(&large, mesh->vertices[v], v);
    std::vector<char> drop(count, 0);
    const double g2 = gap * gap;
    for (uint32_t v = 0; v < owner.size(); ++v) {
        if (owner[v] < 0 || !small[owner[v]] || drop[owner[v]]) continue;
        const Vec3 p = mesh->vertices[v];
        const GridCell c = gridCellOf(large, p);
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dz = -1; dz <= 1; ++dz) {
                    const std::vector<uint32_t>* near = gridAt(large, {c[0] + dx, c[1] + dy, c[2] + dz});
                    if (near == nullptr) continue;
                    for (uint32_t w : *near) {
                        const Vec3 d = mesh->vertices[w] - p;
                        if (dot(d, d) <= g2) drop[owner[v]] = 1;
                    }
                }
    }
    std::vector<MeshTriangle> kept;
    for (size_t t = 0; t < piece.size(); ++t)
        if (!drop[piece[t]]) kept.push_back(mesh->triangles[t]);
    mesh->triangles = std::move(kept);
    meshDropUnusedVertices(mesh);
    return static_cast<int>(std::count(drop.begin(), drop.end(), 1));
}
