// The one unit that uses Open3D: its screened Poisson reconstruction, which
// came out closed on every cloud tried, a part of its own for every part of
// the object.
#include <open3d/geometry/PointCloud.h>
#include <open3d/geometry/TriangleMesh.h>
#include <open3d/utility/Logging.h>

#include "mesh/mesh_surface.h"

Mesh meshPoisson(const std::vector<Vec3>& points, const std::vector<Vec3>& normals, int depth,
                 double scale, int threads) {
    open3d::utility::SetVerbosityLevel(open3d::utility::VerbosityLevel::Error);
    open3d::geometry::PointCloud cloud;
    cloud.points_.reserve(points.size());
    cloud.normals_.reserve(points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        cloud.points_.emplace_back(points[i].x, points[i].y, points[i].z);
        cloud.normals_.emplace_back(normals[i].x, normals[i].y, normals[i].z);
    }
    const auto [surface, densities] = open3d::geometry::TriangleMesh::CreateFromPointCloudPoisson(
        cloud, static_cast<size_t>(depth), 0.0f, static_cast<float>(scale), false, threads);
    (void)densities;
    Mesh mesh;
    mesh.vertices.reserve(surface->vertices_.size());
    for (const Eigen::Vector3d& v : surface->vertices_)
        mesh.vertices.push_back(meshToFloat({v.x(), v.y(), v.z()}));
    mesh.triangles.reserve(surface->triangles_.size());
    for (const Eigen::Vector3i& t : surface->triangles_)
        mesh.triangles.push_back(
            {static_cast<uint32_t>(t[0]), static_cast<uint32_t>(t[1]), static_cast<uint32_t>(t[2])});
    return mesh;
}
