// A shaded picture of a mesh: the same three views as the cloud's (front,
// side, top), each triangle filled in its vertices' colours and lit from the
// viewer, so that the shape reads at a glance.
#pragma once

#include <string>
#include <vector>

#include "mesh/mesh.h"

// 8-bit RGB rows of width * height pixels.
std::vector<unsigned char> previewDrawMesh(const Mesh& mesh, int* width, int* height);

// When DIR/mesh.ply exists, draws it into *rgb and sets *drawn; false, with
// one line in *error, when it exists but cannot be read.
bool previewMeshIfPresent(const std::string& dir, std::vector<unsigned char>* rgb, int* width,
                          int* height, bool* drawn, std::string* error);
