// The mesh tool's input: SCAN_DIR/cloud.ply as slscan-cloud writes it, with
// every check that keeps a bad cloud from turning into a bad mesh.
#pragma once

#include <string>
#include <vector>

#include "mesh/mesh.h"

struct MeshCloud {
    std::vector<Vec3> points;
    std::vector<Vec3> normals;      // unit, facing the cameras that saw the point
    std::vector<MeshColour> colours;
};

// Fewer points give no surface worth the name.
constexpr int kMeshMinPoints = 100;

// False, with one line naming the file and the fault, for a missing or
// unreadable file, one that is not a regular file (a FIFO, a folder), a
// cloud without normals or colours, fewer than kMeshMinPoints points, or a
// coordinate or normal that is not a finite number (or a zero normal).
bool meshReadCloud(const std::string& path, MeshCloud* cloud, std::string* error);
