// Whether a mesh cuts through itself, the check a slicer makes last: pairs
// of triangles that meet anywhere but along the edge or at the vertex they
// share. Candidates come from a uniform grid; each pair is decided by signs of
// orientation determinants in extended precision on the float coordinates.
#pragma once

#include "mesh/mesh.h"

struct MeshIntersections {
    long pairs = 0;       // pairs of triangles that intersect
    long degenerate = 0;  // triangles of no area (a slicer rejects them too)
};

#include <utility>
#include <vector>

// The intersecting pairs themselves (triangle indices) into *pairs when it
// is not null.
MeshIntersections meshSelfIntersections(
    const Mesh& mesh, std::vector<std::pair<uint32_t, uint32_t>>* pairs = nullptr);

// Whether triangles a and b lie exactly in one plane and face opposite ways:
// two layers of a surface pressed flat onto each other.
bool meshOppositeInPlane(const Mesh& mesh, const MeshTriangle& a, const MeshTriangle& b);
