#include "mesh/mesh.h"

Vec3 meshToFloat(Vec3 v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

Vec3 meshTriangleNormal(const Mesh& mesh, const MeshTriangle& t) {
    const Vec3 a = mesh.vertices[t[0]];
    return cross(mesh.vertices[t[1]] - a, mesh.vertices[t[2]] - a);
}

double meshTriangleArea(const Mesh& mesh, const MeshTriangle& t) {
    return 0.5 * length(meshTriangleNormal(mesh, t));
}
