// A shaded picture of a mesh: in the three views of the cloud's picture
// (front, side, top; preview.h), each triangle filled in its vertices'
// colours and lit from the viewer, so that the shape reads at a glance.
#pragma once

#include <string>
#include <vector>

#include "mesh/mesh.h"

// Paints the mesh over the three panels of a picture previewDraw made (8-bit
// RGB rows `width` pixels wide), leaving its labels.
void previewDrawMesh(const Mesh& mesh, std::vector<unsigned char>* rgb, int width);

// When DIR/mesh.ply exists, paints it over *rgb and sets *drawn; false, with
// one line in *error, when it exists but cannot be read.
bool previewMeshIfPresent(const std::string& dir, std::vector<unsigned char>* rgb, int width,
                          bool* drawn, std::string* error);
