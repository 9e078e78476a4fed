#include "mesh/mesh_topology.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace {

uint64_t edgeKey(uint32_t a, uint32_t b) {
    return static_cast<uint64_t>(std::min(a, b)) << 32 | std::max(a, b);
}

int findRoot(std::vector<int>& parent, int i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
}

}  // namespace

MeshEdgeCounts meshEdgeCounts(const Mesh& mesh) {
    // Per undirected edge: how often it is used, and how often from its
    // lower vertex to its higher.
    std::unordered_map<uint64_t, std::pair<int, int>> uses;
    uses.reserve(3 * mesh.triangles.size());
    for (const MeshTriangle& t : mesh.triangles) {
        for (int i = 0; i < 3; ++i) {
            const uint32_t a = t[i], b = t[(i + 1) % 3];
            auto& u = uses[edgeKey(a, b)];
            ++u.first;
            u.second += a < b;
        }
    }
    MeshEdgeCounts counts;
    for (const auto& [key, u] : uses) {
        counts.border += u.first == 1;
        counts.nonManifold += u.first > 2;
        counts.misoriented += u.first == 2 && u.second != 1;
    }
    return counts;
}

std::vector<int> meshPieces(const Mesh& mesh, int* count) {
    const int n = static_cast<int>(mesh.triangles.size());
    std::vector<int> parent(n);
    std::iota(parent.begin(), parent.end(), 0);
    std::unordered_map<uint64_t, int> firstUser;
    firstUser.reserve(3 * mesh.triangles.size());
    for (int t = 0; t < n; ++t) {
        for (int i = 0; i < 3; ++i) {
            const auto [it, added] =
                firstUser.emplace(edgeKey(mesh.triangles[t][i], mesh.triangles[t][(i + 1) % 3]), t);
            if (!added) parent[findRoot(parent, t)] = findRoot(parent, it->second);
        }
    }
    std::vector<int> label(n, -1), piece(n);
    *count = 0;
    for (int t = 0; t < n; ++t) {
        const int root = findRoot(parent, t);
        if (label[root] < 0) label[root] = (*count)++;
        piece[t] = label[root];
    }
    return piece;
}

std::vector<double> meshPieceVolumes(const Mesh& mesh, const std::vector<int>& piece, int count) {
    std::vector<double> volume(count, 0.0);
    std::vector<int> origin(count, -1);
    for (size_t t = 0; t < mesh.triangles.size(); ++t) {
        const MeshTriangle& tri = mesh.triangles[t];
        if (origin[piece[t]] < 0) origin[piece[t]] = static_cast<int>(tri[0]);
        const Vec3 o = mesh.vertices[origin[piece[t]]];
        const Vec3 a = mesh.vertices[tri[0]] - o, b = mesh.vertices[tri[1]] - o,
                   c = mesh.vertices[tri[2]] - o;
        volume[piece[t]] += dot(a, cross(b, c)) / 6.0;
    }
    return volume;
}

void meshDropUnusedVertices(Mesh* mesh) {
    std::vector<int64_t> newIndex(mesh->vertices.size(), -1);
    for (const MeshTriangle& t : mesh->triangles)
        for (uint32_t v : t) newIndex[v] = 0;
    size_t next = 0;
    for (size_t v = 0; v < newIndex.size(); ++v) {
        if (newIndex[v] < 0) continue;
        newIndex[v] = static_cast<int64_t>(next);
        mesh->vertices[next] = mesh->vertices[v];
        if (!mesh->colours.empty()) mesh->colours[next] = mesh->colours[v];
        ++next;
    }
    mesh->vertices.resize(next);
    if (!mesh->colours.empty()) mesh->colours.resize(next);
    for (MeshTriangle& t : mesh->triangles)
        for (uint32_t& v : t) v = static_cast<uint32_t>(newIndex[v]);
}
