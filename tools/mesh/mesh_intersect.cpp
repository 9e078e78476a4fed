#include "mesh/mesh_intersect.h"

#include "common/spatial_grid.h"
#include "common/tool_threads.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace {

using Real = long double;

struct P3 {
    Real x, y, z;
};

P3 sub(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
P3 crossR(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Real dotR(P3 a, P3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
int sign(Real v) { return (v > 0) - (v < 0); }

// Sign of the volume of tetrahedron abcd.
int orient3(P3 a, P3 b, P3 c, P3 d) { return sign(dotR(sub(b, a), crossR(sub(c, a), sub(d, a)))); }

// In-plane coordinates: the two axes other than the normal's largest.
struct P2 {
    Real u, v;
};

P2 flat(P3 p, int drop) {
    return drop == 0 ? P2{p.y, p.z} : drop == 1 ? P2{p.z, p.x} : P2{p.x, p.y};
}

int orient2(P2 a, P2 b, P2 c) { return sign((b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u)); }

bool onSegment2(P2 p, P2 a, P2 b) {
    return std::min(a.u, b.u) <= p.u && p.u <= std::max(a.u, b.u) && std::min(a.v, b.v) <= p.v &&
           p.v <= std::max(a.v, b.v);
}

bool segmentsMeet2(P2 a, P2 b, P2 c, P2 d) {
    const int o1 = orient2(a, b, c), o2 = orient2(a, b, d), o3 = orient2(c, d, a),
              o4 = orient2(c, d, b);
    if (o1 * o2 < 0 && o3 * o4 < 0) return true;
    return (o1 == 0 && onSegment2(c, a, b)) || (o2 == 0 && onSegment2(d, a, b)) ||
           (o3 == 0 && onSegment2(a, c, d)) || (o4 == 0 && onSegment2(b, c, d));
}

bool inside2(P2 p, P2 a, P2 b, P2 c) {
    const int s1 = orient2(a, b, p), s2 = orient2(b, c, p), s3 = orient2(c, a, p);
    return (s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0);
}

int dominantAxis(P3 a, P3 b, P3 c) {
    const P3 n = crossR(sub(b, a), sub(c, a));
    const Real x = std::fabs(n.x), y = std::fabs(n.y), z = std::fabs(n.z);
    return x >= y && x >= z ? 0 : y >= z ? 1 : 2;
}

// Whether segment pq meets triangle abc (touching counts).
bool segmentMeetsTriangle(P3 p, P3 q, P3 a, P3 b, P3 c) {
    const int op = orient3(a, b, c, p), oq = orient3(a, b, c, q);
    if (op * oq > 0) return false;
    if (op == 0 && oq == 0) {  // in the triangle's plane
        const int drop = dominantAxis(a, b, c);
        const P2 p2 = flat(p, drop), q2 = flat(q, drop), a2 = flat(a, drop), b2 = flat(b, drop),
                 c2 = flat(c, drop);
        return inside2(p2, a2, b2, c2) || inside2(q2, a2, b2, c2) ||
               segmentsMeet2(p2, q2, a2, b2) || segmentsMeet2(p2, q2, b2, c2) ||
               segmentsMeet2(p2, q2, c2, a2);
    }
    const int s1 = orient3(p, q, a, b), s2 = orient3(p, q, b, c), s3 = orient3(p, q, c, a);
    return (s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0);
}

bool trianglesMeet(const P3 t[3], const P3 s[3]) {
    for (int i = 0; i < 3; ++i)
        if (segmentMeetsTriangle(t[i], t[(i + 1) % 3], s[0], s[1], s[2]) ||
            segmentMeetsTriangle(s[i], s[(i + 1) % 3], t[0], t[1], t[2]))
            return true;
    return false;
}

P3 vertex(const Mesh& mesh, uint32_t v) {
    return {mesh.vertices[v].x, mesh.vertices[v].y, mesh.vertices[v].z};
}

// Whether triangles a and b of the mesh meet other than where they share.
bool pairIntersects(const Mesh& mesh, const MeshTriangle& a, const MeshTriangle& b) {
    int shared = 0, ia[3], ib[3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (a[i] == b[j]) {
                ia[shared] = i;
                ib[shared] = j;
                ++shared;
            }
    const P3 ta[3] = {vertex(mesh, a[0]), vertex(mesh, a[1]), vertex(mesh, a[2])};
    const P3 tb[3] = {vertex(mesh, b[0]), vertex(mesh, b[1]), vertex(mesh, b[2])};
    if (shared == 0) return trianglesMeet(ta, tb);
    if (shared >= 3) return true;  // the same triangle twice
    if (shared == 2) {
        // Folded onto each other: the two far vertices in one plane with the
        // shared edge, on the same side of it.
        const P3 u = ta[ia[0]], v = ta[ia[1]];
        const P3 x = ta[3 - ia[0] - ia[1]], y = tb[3 - ib[0] - ib[1]];
        if (orient3(u, v, x, y) != 0) return false;
        return dotR(crossR(sub(v, u), sub(x, u)), crossR(sub(v, u), sub(y, u))) > 0;
    }
    // One shared vertex: the intersection, if any, runs from it to the edge
    // opposite it in one of the two triangles.
    const P3 a1 = ta[(ia[0] + 1) % 3], a2 = ta[(ia[0] + 2) % 3];
    const P3 b1 = tb[(ib[0] + 1) % 3], b2 = tb[(ib[0] + 2) % 3];
    return segmentMeetsTriangle(a1, a2, tb[0], tb[1], tb[2]) ||
           segmentMeetsTriangle(b1, b2, ta[0], ta[1], ta[2]);
}

}  // namespace

bool meshOppositeInPlane(const Mesh& mesh, const MeshTriangle& a, const MeshTriangle& b) {
    const P3 p[3] = {vertex(mesh, a[0]), vertex(mesh, a[1]), vertex(mesh, a[2])};
    for (uint32_t v : b)
        if (orient3(p[0], p[1], p[2], vertex(mesh, v)) != 0) return false;
    const P3 q[3] = {vertex(mesh, b[0]), vertex(mesh, b[1]), vertex(mesh, b[2])};
    return dotR(crossR(sub(p[1], p[0]), sub(p[2], p[0])), crossR(sub(q[1], q[0]), sub(q[2], q[0]))) < 0;
}

MeshIntersections meshSelfIntersections(const Mesh& mesh,
                                        std::vector<std::pair<uint32_t, uint32_t>>* pairs) {
    MeshIntersections result;
    const size_t n = mesh.triangles.size();
    std::vector<std::array<double, 6>> box(n);  // min x y z, max x y z
    double extent = 0;
    for (size_t t = 0; t < n; ++t) {
        const MeshTriangle& tri = mesh.triangles[t];
        const P3 p[3] = {vertex(mesh, tri[0]), vertex(mesh, tri[1]), vertex(mesh, tri[2])};
        const P3 normal = crossR(sub(p[1], p[0]), sub(p[2], p[0]));
        if (normal.x == 0 && normal.y == 0 && normal.z == 0) ++result.degenerate;
        std::array<double, 6>& b = box[t];
        for (int k = 0; k < 3; ++k) {
            const Vec3 v = mesh.vertices[tri[0]];
            b[k] = b[k + 3] = k == 0 ? v.x : k == 1 ? v.y : v.z;
        }
        for (uint32_t v : tri) {
            const double c[3] = {mesh.vertices[v].x, mesh.vertices[v].y, mesh.vertices[v].z};
            for (int k = 0; k < 3; ++k) {
                b[k] = std::min(b[k], c[k]);
                b[k + 3] = std::max(b[k + 3], c[k]);
            }
        }
        extent += std::max({b[3] - b[0], b[4] - b[1], b[5] - b[2]});
    }
    if (n < 2) return result;
    const double cell = std::max(2 * extent / n, 1e-6);
    SpatialGrid grid = gridMake(cell);
    auto cellOf = [&grid](double x) { return gridCoordinate(grid, x); };
    for (uint32_t t = 0; t < n; ++t) {
        const auto& b = box[t];
        gridInsertBox(&grid, {b[0], b[1], b[2]}, {b[3], b[4], b[5]}, t);
    }
    // The cells are shared out over the cores; each cell's pairs are listed
    // in the order a single thread finds them, and the lists are joined in
    // the cells' order, so the result is the same for any number of threads.
    std::vector<const std::pair<const GridCell, std::vector<uint32_t>>*> cells;
    cells.reserve(grid.cells.size());
    for (const auto& entry : grid.cells) cells.push_back(&entry);
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> found(cells.size());
    toolParallel(cells.size(), 256, [&](size_t begin, size_t end) {
        for (size_t c = begin; c < end; ++c) {
            const GridCell& key = cells[c]->first;
            const std::vector<uint32_t>& list = cells[c]->second;
            for (size_t i = 0; i < list.size(); ++i) {
                for (size_t j = i + 1; j < list.size(); ++j) {
                    const auto &a = box[list[i]], &b = box[list[j]];
                    if (a[0] > b[3] || b[0] > a[3] || a[1] > b[4] || b[1] > a[4] || a[2] > b[5] ||
                        b[2] > a[5])
                        continue;
                    // Decide each pair once: in the cell of its boxes' common corner.
                    if (cellOf(std::max(a[0], b[0])) != key[0] ||
                        cellOf(std::max(a[1], b[1])) != key[1] ||
                        cellOf(std::max(a[2], b[2])) != key[2])
                        continue;
                    if (!pairIntersects(mesh, mesh.triangles[list[i]], mesh.triangles[list[j]]))
                        continue;
                    found[c].emplace_back(list[i], list[j]);
                }
            }
        }
    });
    for (const auto& cellPairs : found) {
        result.pairs += static_cast<long>(cellPairs.size());
        if (pairs != nullptr) pairs->insert(pairs->end(), cellPairs.begin(), cellPairs.end());
    }
    return result;
}
