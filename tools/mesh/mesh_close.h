// Closing a surface: the surface reconstruction runs into its bounding box
// under the unseen bottom of the object and leaves an open rim there (and
// the repairs may leave a small hole). Each border loop gets a fan of
// triangles to its centre: flat and plain, nothing invented in detail.
#pragma once

#include "mesh/mesh.h"

// Closes every border loop with a fan to the mean of its vertices (one new
// vertex a loop, no colour: colours are given afterwards). Returns the
// number of loops closed.
int meshCloseHoles(Mesh* mesh);

// Makes every piece face outward. When the largest piece (by the size of
// its enclosed volume) encloses a negative volume the whole mesh is inside
// out and is turned; a piece still negative after that is a hollow inside
// the object (the reconstruction leaves small closed bubbles where scans
// disagree), which no scan can have seen, and is dropped. Returns the
// number of pieces dropped; *turned says whether the mesh was turned.
int meshOrientOutward(Mesh* mesh, bool* turned);

// Where triangles still cut each other (a fold the reconstruction left, a fan
// across a crooked hole), removes them and every triangle sharing a vertex
// with them, drops what that cuts off below `minPiece` triangles, and (when
// `close`) closes the wider hole afresh; up to `rounds` times. Returns the
// triangles removed.
long meshRepairCrossings(Mesh* mesh, int rounds, int minPiece, bool close, int* holes);
