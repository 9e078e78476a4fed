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

// Turns every piece whose triangles enclose a negative volume inside out, so
// that all face outward. Returns the number of pieces turned.
int meshOrientOutward(Mesh* mesh);

// Where triangles still cut each other (a fold the reconstruction left, a fan
// across a crooked hole), removes them and every triangle sharing a vertex
// with them, drops what that cuts off below `minPiece` triangles, and closes
// the wider hole afresh; up to `rounds` times. Returns the triangles removed.
long meshRepairCrossings(Mesh* mesh, int rounds, int minPiece, int* holes);
