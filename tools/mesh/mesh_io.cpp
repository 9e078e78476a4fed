#include "mesh/mesh_io.h"

#include "common/ply.h"
#include "common/temp_files.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

const char kPlyProperties[] =
    "property float x\nproperty float y\nproperty float z\n"
    "property uchar red\nproperty uchar green\nproperty uchar blue\n";
const char kPlyFace[] = "element face ";
const char kPlyFaceProperty[] = "property list uchar int vertex_indices\n";

void put32(std::string* s, uint32_t bits) {
    for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>(bits >> (8 * i) & 0xFF));
}

void putFloat(std::string* s, double value) {
    const float f = static_cast<float>(value);
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put32(s, bits);
}

uint32_t get32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

float getFloat(const unsigned char* p) {
    const uint32_t bits = get32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

}  // namespace

std::string meshEncodePly(const Mesh& mesh, const std::string& comment) {
    std::string s = "ply\nformat binary_little_endian 1.0\n";
    if (!comment.empty()) s += "comment " + comment + "\n";
    s += "element vertex " + std::to_string(mesh.vertices.size()) + "\n" + kPlyProperties +
         kPlyFace + std::to_string(mesh.triangles.size()) + "\n" + kPlyFaceProperty + "end_header\n";
    s.reserve(s.size() + 15 * mesh.vertices.size() + 13 * mesh.triangles.size());
    for (size_t v = 0; v < mesh.vertices.size(); ++v) {
        const Vec3 p = mesh.vertices[v];
        for (double c : {p.x, p.y, p.z}) putFloat(&s, c);
        const MeshColour c = mesh.colours.empty() ? MeshColour{128, 128, 128} : mesh.colours[v];
        for (uint8_t k : c) s.push_back(static_cast<char>(k));
    }
    for (const MeshTriangle& t : mesh.triangles) {
        s.push_back(3);
        for (uint32_t v : t) put32(&s, v);
    }
    return s;
}

std::string meshEncodeStl(const Mesh& mesh) {
    std::string s = "binary STL written by slscan-mesh";
    s.resize(80, ' ');
    put32(&s, static_cast<uint32_t>(mesh.triangles.size()));
    s.reserve(s.size() + 50 * mesh.triangles.size());
    for (const MeshTriangle& t : mesh.triangles) {
        const Vec3 n = meshTriangleNormal(mesh, t);
        const double len = length(n);
        const Vec3 unit = len > 0 ? (1.0 / len) * n : Vec3{0, 0, 0};
        for (double c : {unit.x, unit.y, unit.z}) putFloat(&s, c);
        for (uint32_t v : t)
            for (double c : {mesh.vertices[v].x, mesh.vertices[v].y, mesh.vertices[v].z})
                putFloat(&s, c);
        s.push_back(0);
        s.push_back(0);
    }
    return s;
}

bool meshWrite(const std::string& dir, const Mesh& mesh, const std::string& comment,
               std::string* error) {
    // Both files are written whole before either is renamed, so a failure
    // leaves the earlier pair as it was, not a new PLY beside an old STL.
    const std::string paths[2] = {dir + "/mesh.ply", dir + "/mesh.stl"};
    const std::string bytes[2] = {meshEncodePly(mesh, comment), meshEncodeStl(mesh)};
    int slots[2] = {-1, -1};
    bool ok = true;
    for (int k = 0; k < 2 && ok; ++k) {
        const std::string temporary = paths[k] + ".tmp";
        slots[k] = tempRegister(temporary);
        std::FILE* f = std::fopen(temporary.c_str(), "wb");
        if (f == nullptr) {
            *error = "cannot create \"" + temporary + "\": " + std::strerror(errno);
            ok = false;
            break;
        }
        const bool written = std::fwrite(bytes[k].data(), 1, bytes[k].size(), f) == bytes[k].size();
        const int writeErrno = errno;
        if (std::fclose(f) != 0 || !written) {
            *error = "cannot write \"" + temporary + "\": " +
                     std::strerror(written ? errno : writeErrno);
            ok = false;
        }
    }
    for (int k = 0; k < 2 && ok; ++k) {
        if (std::rename((paths[k] + ".tmp").c_str(), paths[k].c_str()) != 0) {
            *error = "cannot rename \"" + paths[k] + ".tmp\" to \"" + paths[k] + "\": " +
                     std::strerror(errno);
            ok = false;
        }
    }
    for (int k = 0; k < 2; ++k) {
        if (!ok && slots[k] >= 0) std::remove((paths[k] + ".tmp").c_str());
        tempForget(slots[k]);
    }
    return ok;
}

bool meshReadPly(const std::string& path, Mesh* mesh, std::string* error) {
    std::string data;
    size_t end = 0;
    if (!plyLoad(path, &data, &end, error)) return false;
    std::istringstream header(data.substr(0, end));
    std::string line, layout;
    while (std::getline(header, line))
        if (line.rfind("comment", 0) != 0) layout += line + "\n";
    unsigned long long vertices = 0, faces = 0;
    char tail = 0;
    const size_t face = layout.find(kPlyFace);
    const std::string expected = std::string("ply\nformat binary_little_endian 1.0\nelement vertex ");
    if (layout.rfind(expected, 0) != 0 || face == std::string::npos ||
        std::sscanf(layout.c_str() + expected.size(), "%llu%c", &vertices, &tail) != 2 ||
        std::sscanf(layout.c_str() + face + std::strlen(kPlyFace), "%llu", &faces) != 1 ||
        layout != expected + std::to_string(vertices) + "\n" + kPlyProperties + kPlyFace +
                      std::to_string(faces) + "\n" + kPlyFaceProperty) {
        *error = "\"" + path + "\" does not hold the mesh layout (float x y z, uchar red green "
                 "blue, triangles)";
        return false;
    }
    const size_t body = end + 11;
    if (data.size() - body != 15 * vertices + 13 * faces) {
        *error = "\"" + path + "\": the body does not hold " + std::to_string(vertices) +
                 " vertices and " + std::to_string(faces) + " triangles";
        return false;
    }
    *mesh = Mesh{};
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data()) + body;
    for (unsigned long long v = 0; v < vertices; ++v, p += 15) {
        mesh->vertices.push_back({getFloat(p), getFloat(p + 4), getFloat(p + 8)});
        mesh->colours.push_back({p[12], p[13], p[14]});
    }
    for (unsigned long long f = 0; f < faces; ++f, p += 13) {
        const MeshTriangle t = {get32(p + 1), get32(p + 5), get32(p + 9)};
        if (p[0] != 3 || t[0] >= vertices || t[1] >= vertices || t[2] >= vertices) {
            *error = "\"" + path + "\": face " + std::to_string(f) +
                     " is not a triangle of the file's vertices";
            return false;
        }
        mesh->triangles.push_back(t);
    }
    return true;
}
