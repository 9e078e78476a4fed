// From the cloud to a surface: normals refitted on near neighbours, the
// screened Poisson reconstruction (Open3D), and the vertex colours.
#pragma once

#include <vector>

#include "mesh/mesh.h"
#include "mesh/mesh_input.h"

// Each normal refitted as the plane through the point and its k nearest
// points, on the side of the cloud's own normal (which faces the cameras).
// Fewer neighbours than the cloud's 16 keep thin parts (legs, ears) apart.
std::vector<Vec3> meshRefitNormals(const MeshCloud& cloud, int k);

// The screened Poisson surface (octree depth, bounding-box scale, no density
// trimming), vertices rounded to float. Implemented with Open3D.
Mesh meshPoisson(const std::vector<Vec3>& points, const std::vector<Vec3>& normals, int depth,
                 double scale, int threads);

// Each vertex's colour: the inverse-distance weighted mean of its k nearest
// cloud points (an exact hit takes that point's colour).
void meshColourVertices(const MeshCloud& cloud, int k, Mesh* mesh);

// Keeps only the triangles whose three vertices all lie within `reach` of a
// cloud point: the part of the surface the scan saw. Returns the number of
// triangles dropped.
long meshKeepSeen(const MeshCloud& cloud, double reach, Mesh* mesh);
