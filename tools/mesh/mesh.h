// The triangle mesh the mesh tool builds, cleans and writes: vertices (float
// values held in doubles, so that what the files store is what was checked),
// triangles as three vertex indices, counter-clockwise seen from outside, and
// a colour per vertex.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geometry/vec3.h"

using MeshTriangle = std::array<uint32_t, 3>;
using MeshColour = std::array<uint8_t, 3>;

struct Mesh {
    std::vector<Vec3> vertices;
    std::vector<MeshTriangle> triangles;
    std::vector<MeshColour> colours;  // one per vertex, or empty
};

// The value a float holds nearest to v, per coordinate.
Vec3 meshToFloat(Vec3 v);

// Twice the area vector of triangle t (its normal, not unit).
Vec3 meshTriangleNormal(const Mesh& mesh, const MeshTriangle& t);
double meshTriangleArea(const Mesh& mesh, const MeshTriangle& t);
