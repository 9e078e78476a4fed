#include "mesh/mesh_io.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
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

bool writeFile(const std::string& path, const std::string& bytes, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        *error = "cannot create \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        *error = "cannot write \"" + path + "\": " + std::strerror(written ? errno : writeErrno);
        return false;
    }
    return true;
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
    const std::string ply = dir + "/mesh.ply", stl = dir + "/mesh.stl";
    const std::string plyBytes = meshEncodePly(mesh, comment), stlBytes = meshEncodeStl(mesh);
    bool ok = writeFile(ply + ".tmp", plyBytes, error) && writeFile(stl + ".tmp", stlBytes, error);
    if (ok && std::rename((ply + ".tmp").c_str(), ply.c_str()) != 0) {
        *error = "cannot rename \"" + ply + ".tmp\" to \"" + ply + "\": " + std::strerror(errno);
        ok = false;
    }
    if (ok && std::rename((stl + ".tmp").c_str(), stl.c_str()) != 0) {
        *error = "cannot rename \"" + stl + ".tmp\" to \"" + stl + "\": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        std::remove((ply + ".tmp").c_str());
        std::remove((stl + ".tmp").c_str());
    }
    return ok;
}

bool meshReadPly(const std::string& path, Mesh* mesh, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read \"" + path + "\"";
        return false;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string data = buffer.str();
    const size_t end = data.find("end_header\n");
    if (data.rfind("ply\nformat binary_little_endian 1.0\n", 0) != 0 || end == std::string::npos) {
        *error = "\"" + path + "\" is not a binary little-endian PLY file";
        return false;
    }
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
