// The mesh files: mesh.ply (binary little-endian; per vertex float x y z and
// uchar red green blue, per face a uchar count 3 and three int indices) for
// modelling tools, and mesh.stl (binary; the same triangles with their
// outward unit normals, no colour) for slicers.
#pragma once

#include <string>

#include "mesh/mesh.h"

std::string meshEncodePly(const Mesh& mesh, const std::string& comment);
std::string meshEncodeStl(const Mesh& mesh);

// Writes mesh.ply and mesh.stl into `dir`: both whole into "<name>.tmp",
// then both renamed (the temporaries registered with common/temp_files.h, so
// an interrupt removes them). False, with one line naming the file and the
// reason, when a step fails; the temporaries are then removed.
bool meshWrite(const std::string& dir, const Mesh& mesh, const std::string& comment,
               std::string* error);

// Reads a mesh.ply as meshEncodePly writes it (exactly that layout). False,
// with one line, for anything else.
bool meshReadPly(const std::string& path, Mesh* mesh, std::string* error);
