// Edges, pieces and closedness of a triangle mesh: what a slicer checks
// before it accepts a model.
#pragma once

#include <cstdint>
#include <vector>

#include "mesh/mesh.h"

struct MeshEdgeCounts {
    long border = 0;       // edges used by one triangle
    long nonManifold = 0;  // edges used by more than two
    long misoriented = 0;  // edges used twice in the same direction
};

MeshEdgeCounts meshEdgeCounts(const Mesh& mesh);

// The piece of each triangle (triangles sharing an edge are of one piece),
// numbered from 0; the number of pieces in *count.
std::vector<int> meshPieces(const Mesh& mesh, int* count);

// Signed volume enclosed by the triangles of each piece (positive when they
// face outward), by the divergence theorem about the piece's first vertex.
std::vector<double> meshPieceVolumes(const Mesh& mesh, const std::vector<int>& piece, int count);

// Removes vertices no triangle uses, renumbering the triangles (and colours).
void meshDropUnusedVertices(Mesh* mesh);
