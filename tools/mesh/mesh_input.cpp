#include "mesh/mesh_input.h"

#include <cmath>
#include <filesystem>
#include <fstream>

#include "common/ply.h"

namespace {

// The property names of the file's header, for a precise complaint about a
// file in another layout.
std::string headerText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string header, line;
    while (header.size() < 4096 && std::getline(in, line) && line != "end_header") header += line + "\n";
    return header;
}

}  // namespace

bool meshReadCloud(const std::string& path, MeshCloud* cloud, std::string* error) {
    // A FIFO or a device would be waited on or read without end.
    std::error_code status;
    if (std::filesystem::exists(path, status) && !std::filesystem::is_regular_file(path, status)) {
        *error = "\"" + path + "\" is not a regular file";
        return false;
    }
    std::vector<PlyVertex> vertices;
    if (!plyRead(path, &vertices, error)) {
        const std::string header = headerText(path);
        if (header.rfind("ply\n", 0) == 0) {
            if (header.find("property float nx") == std::string::npos)
                *error = "\"" + path + "\" has no normals (nx ny nz); make it with slscan-cloud";
            else if (header.find("property uchar red") == std::string::npos)
                *error = "\"" + path + "\" has no colours (red green blue); make it with slscan-cloud";
        }
        return false;
    }
    if (vertices.size() < static_cast<size_t>(kMeshMinPoints)) {
        *error = "\"" + path + "\" holds " + std::to_string(vertices.size()) +
                 " points, too few for a surface (at least " + std::to_string(kMeshMinPoints) + ")";
        return false;
    }
    *cloud = MeshCloud{};
    for (size_t i = 0; i < vertices.size(); ++i) {
        const PlyVertex& v = vertices[i];
        const Vec3 n{v.nx, v.ny, v.nz};
        bool finite = true;
        for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz}) finite = finite && std::isfinite(f);
        if (!finite || length(n) == 0) {
            *error = "\"" + path + "\": point " + std::to_string(i) + " has " +
                     (finite ? "a zero normal" : "a value that is not a finite number");
            return false;
        }
        cloud->points.push_back({v.x, v.y, v.z});
        cloud->normals.push_back(normalized(n));
        cloud->colours.push_back({v.red, v.green, v.blue});
    }
    return true;
}
