#include "mesh/mesh_surface.h"

#include <algorithm>
#include <cmath>

#include "cloud/neighbours.h"
#include "cloud/normals.h"
#include "common/tool_threads.h"
#include "mesh/mesh_topology.h"

std::vector<Vec3> meshRefitNormals(const MeshCloud& cloud, int k) {
    const NeighbourTable table = neighboursFind(cloud.points, k);
    std::vector<Vec3> normals(cloud.points.size());
    toolParallel(cloud.points.size(), 512, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const uint32_t* near = table.index.data() + i * table.k;
            Vec3 centre = cloud.points[i];
            for (int j = 0; j < table.k; ++j) centre = centre + cloud.points[near[j]];
            centre = (1.0 / (table.k + 1)) * centre;
            double c[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
            for (int j = -1; j < table.k; ++j) {
                const Vec3 d = cloud.points[j < 0 ? i : near[j]] - centre;
                const double e[3] = {d.x, d.y, d.z};
                for (int r = 0; r < 3; ++r)
                    for (int s = 0; s < 3; ++s) c[3 * r + s] += e[r] * e[s];
            }
            Vec3 n = normalsSmallestEigenvector(c);
            if (dot(n, cloud.normals[i]) < 0) n = -1.0 * n;
            normals[i] = n;
        }
    });
    return normals;
}

void meshColourVertices(const MeshCloud& cloud, int k, Mesh* mesh) {
    const NeighbourTable table = neighboursNearest(cloud.points, mesh->vertices, k);
    mesh->colours.assign(mesh->vertices.size(), MeshColour{128, 128, 128});
    for (size_t v = 0; v < mesh->vertices.size(); ++v) {
        double sum[3] = {0, 0, 0}, weights = 0;
        for (int j = 0; j < table.k; ++j) {
            const double d = table.distance[v * table.k + j];
            const MeshColour& c = cloud.colours[table.index[v * table.k + j]];
            if (d == 0) {  // the vertex is a cloud point
                sum[0] = c[0], sum[1] = c[1], sum[2] = c[2];
                weights = 1;
                break;
            }
            for (int ch = 0; ch < 3; ++ch) sum[ch] += c[ch] / d;
            weights += 1 / d;
        }
        if (weights <= 0) continue;
        for (int ch = 0; ch < 3; ++ch)
            mesh->colours[v][ch] =
                static_cast<uint8_t>(std::clamp(std::lround(sum[ch] / weights), 0L, 255L));
    }
}

long meshKeepSeen(const MeshCloud& cloud, double reach, Mesh* mesh) {
    const NeighbourTable table = neighboursNearest(cloud.points, mesh->vertices, 1);
    std::vector<MeshTriangle> kept;
    for (const MeshTriangle& t : mesh->triangles) {
        bool seen = true;
        for (uint32_t v : t) seen = seen && table.distance[v] <= reach;
        if (seen) kept.push_back(t);
    }
    const long dropped = static_cast<long>(mesh->triangles.size() - kept.size());
    mesh->triangles = std::move(kept);
    meshDropUnusedVertices(mesh);
    return dropped;
}
