// Repairs of a reconstructed surface before it is written: the surface
// reconstruction leaves vertices a hair apart (zero-area slivers once stored
// as float), the odd edge of four triangles after they are merged, and small
// floating fragments.
#pragma once

#include "mesh/mesh.h"

struct MeshCleanStats {
    long mergedVertices = 0;      // vertices merged into a nearer one
    long degenerate = 0;          // triangles of no area dropped
    long split = 0;               // flat triangles removed by splitting their neighbour
    long doubleLayer = 0;         // triangles of two layers pressed flat onto each other dropped
    long duplicates = 0;          // triangles on the vertices of another dropped
    long nonManifold = 0;         // triangles dropped where an edge had more than two
    long fragmentTriangles = 0;   // triangles of the small pieces dropped
    int fragments = 0;            // those pieces
};

// Merges every vertex into an earlier one closer than `tolerance` (grid
// cells of that size; the first vertex of a cluster stays), then drops
// triangles with two equal vertices and triangles on the same three vertices
// as an earlier one, removes triangles of three vertices on one line
// (exactly, in the vertices' own values) by splitting the triangle across
// their long edge at the middle vertex, drops pairs of triangles that lie in
// one plane facing opposite ways and overlap (a double layer), and where an
// edge is still used by more than two triangles drops the smallest of them
// until two are left.
void meshClean(Mesh* mesh, double tolerance, MeshCleanStats* stats);

// Drops the pieces (triangles joined by edges) of fewer than `minTriangles`.
void meshDropFragments(Mesh* mesh, int minTriangles, MeshCleanStats* stats);

// Drops every closed piece (facing outward) enclosing less than `share` of
// the largest piece's volume that has a vertex within `gap` of a vertex of a
// piece that is not that small. A streak of stray points standing a millimetre or two off the
// surface is wrapped by the reconstruction into a little closed shell of its
// own beside the real surface; a real part of the object is either not that
// small or not pressed that close against another (the scan could not have
// told the two apart there). Returns the number of pieces dropped.
int meshDropStrayPieces(Mesh* mesh, double share, double gap);
