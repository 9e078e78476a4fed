#include "mesh/mesh_close.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "mesh/mesh_clean.h"
#include "mesh/mesh_intersect.h"
#include "mesh/mesh_topology.h"

namespace {

uint64_t directedKey(uint32_t a, uint32_t b) { return static_cast<uint64_t>(a) << 32 | b; }

}  // namespace

int meshCloseHoles(Mesh* mesh) {
    std::unordered_set<uint64_t> directed;
    directed.reserve(3 * mesh->triangles.size());
    for (const MeshTriangle& t : mesh->triangles)
        for (int i = 0; i < 3; ++i) directed.insert(directedKey(t[i], t[(i + 1) % 3]));
    // A border edge a -> b is used by no triangle as b -> a; the hole runs
    // along it the other way round, b -> a, which is how the fan uses it.
    std::unordered_multimap<uint32_t, uint32_t> next;  // hole edges by their first vertex
    std::vector<std::pair<uint32_t, uint32_t>> starts;
    for (const MeshTriangle& t : mesh->triangles)
        for (int i = 0; i < 3; ++i) {
            const uint32_t a = t[i], b = t[(i + 1) % 3];
            if (directed.count(directedKey(b, a)) == 0) {
                next.emplace(b, a);
                starts.emplace_back(b, a);
            }
        }
    int closed = 0;
    std::unordered_set<uint64_t> used;
    for (const auto& [first, second] : starts) {
        if (used.count(directedKey(first, second)) != 0) continue;
        // Walk the hole from this edge until it comes back to its start; where
        // a vertex has two hole edges leaving it, take one not yet walked.
        std::vector<uint32_t> loop;
        uint32_t from = first, to = second;
        bool complete = false;
        while (used.insert(directedKey(from, to)).second) {
            loop.push_back(from);
            if (to == first) {
                complete = true;
                break;
            }
            const auto range = next.equal_range(to);
            bool moved = false;
            for (auto it = range.first; it != range.second; ++it) {
                if (used.count(directedKey(to, it->second)) == 0) {
                    from = to;
                    to = it->second;
                    moved = true;
                    break;
                }
            }
            if (!moved) break;
        }
        if (!complete || loop.size() < 3) continue;
        Vec3 centre{0, 0, 0};
        for (uint32_t v : loop) centre = centre + mesh->vertices[v];
        const uint32_t c = static_cast<uint32_t>(mesh->vertices.size());
        mesh->vertices.push_back(meshToFloat((1.0 / loop.size()) * centre));
        if (!mesh->colours.empty()) mesh->colours.push_back({128, 128, 128});
        for (size_t i = 0; i < loop.size(); ++i)
            mesh->triangles.push_back({loop[i], loop[(i + 1) % loop.size()], c});
        ++closed;
    }
    return closed;
}

int meshOrientOutward(Mesh* mesh, bool* turned) {
    int count = 0;
    const std::vector<int> piece = meshPieces(*mesh, &count);
    const std::vector<double> volume = meshPieceVolumes(*mesh, piece, count);
    int largest = 0;
    for (int p = 1; p < count; ++p)
        if (std::abs(volume[p]) > std::abs(volume[largest])) largest = p;
    *turned = count > 0 && volume[largest] < 0;
    const double sign = *turned ? -1 : 1;
    int dropped = 0;
    for (double v : volume) dropped += sign * v <= 0;
    std::vector<MeshTriangle> kept;
    for (size_t t = 0; t < mesh->triangles.size(); ++t) {
        if (sign * volume[piece[t]] <= 0) continue;
        MeshTriangle tri = mesh->triangles[t];
        if (*turned) std::swap(tri[1], tri[2]);
        kept.push_back(tri);
    }
    mesh->triangles = std::move(kept);
    meshDropUnusedVertices(mesh);
    return dropped;
}

long meshRepairCrossings(Mesh* mesh, int rounds, int minPiece, bool close, int* holes) {
    long removed = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::pair<uint32_t, uint32_t>> pairs;
        const MeshIntersections found = meshSelfIntersections(*mesh, &pairs);
        std::vector<char> badVertex(mesh->vertices.size(), 0);
        for (const auto& [a, b] : pairs)
            for (uint32_t t : {a, b})
                for (uint32_t v : mesh->triangles[t]) badVertex[v] = 1;
        for (const MeshTriangle& t : mesh->triangles)  // triangles of no area, too
            if (meshTriangleArea(*mesh, t) == 0)
                for (uint32_t v : t) badVertex[v] = 1;
        if (found.pairs == 0 && found.degenerate == 0) break;
        std::vector<MeshTriangle> kept;
        for (const MeshTriangle& t : mesh->triangles) {
            if (badVertex[t[0]] || badVertex[t[1]] || badVertex[t[2]]) {
                ++removed;
            } else {
                kept.push_back(t);
            }
        }
        mesh->triangles = std::move(kept);
        MeshCleanStats ignored;
        meshDropFragments(mesh, minPiece, &ignored);
        if (close) *holes += meshCloseHoles(mesh);
    }
    return removed;
}
