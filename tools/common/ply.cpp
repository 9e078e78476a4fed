#include "common/ply.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/temp_files.h"

namespace {

constexpr size_t kVertexBytes = 27;

const char kProperties[] =
    "property float x\nproperty float y\nproperty float z\n"
    "property float nx\nproperty float ny\nproperty float nz\n"
    "property uchar red\nproperty uchar green\nproperty uchar blue\n";

// Floats go out as their IEEE bits, least significant byte first, whatever
// the host's byte order.
void putFloat(std::string* s, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>(bits >> (8 * i) & 0xFF));
}

float getFloat(const unsigned char* p) {
    const uint32_t bits = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

}  // namespace

std::string plyEncode(const std::vector<PlyVertex>& vertices, const std::string& comment) {
    std::string s = "ply\nformat binary_little_endian 1.0\n";
    if (!comment.empty()) s += "comment " + comment + "\n";
    s += "element vertex " + std::to_string(vertices.size()) + "\n" + kProperties + "end_header\n";
    s.reserve(s.size() + kVertexBytes * vertices.size());
    for (const PlyVertex& v : vertices) {
        for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz}) putFloat(&s, f);
        s.push_back(static_cast<char>(v.red));
        s.push_back(static_cast<char>(v.green));
        s.push_back(static_cast<char>(v.blue));
    }
    return s;
}

bool plyWrite(const std::string& path, const std::vector<PlyVertex>& vertices,
              const std::string& comment, std::string* error) {
    const std::string bytes = plyEncode(vertices, comment);
    return tempWriteReplacing(path, bytes.data(), bytes.size(), error, ".tmp");
}

bool plyLoad(const std::string& path, std::string* data, size_t* headerEnd, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read \"" + path + "\"";
        return false;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    *data = buffer.str();
    *headerEnd = data->find("end_header\n");
    if (data->rfind("ply\nformat binary_little_endian 1.0\n", 0) != 0 ||
        *headerEnd == std::string::npos) {
        *error = "\"" + path + "\" is not a binary little-endian PLY file";
        return false;
    }
    return true;
}

bool plyRead(const std::string& path, std::vector<PlyVertex>* vertices, std::string* error) {
    std::string data;
    size_t end = 0;
    if (!plyLoad(path, &data, &end, error)) return false;
    // Header lines other than comments must be exactly the ones plyEncode writes.
    std::istringstream header(data.substr(0, end));
    std::string line, properties;
    unsigned long long count = 0;
    bool counted = false;
    while (std::getline(header, line)) {
        if (line.rfind("element vertex ", 0) == 0) {
            char* tail = nullptr;
            count = std::strtoull(line.c_str() + 15, &tail, 10);
            counted = tail != line.c_str() + 15 && *tail == '\0' && !counted;
        } else if (line.rfind("property ", 0) == 0) {
            properties += line + "\n";
        } else if (line != "ply" && line.rfind("format ", 0) != 0 && line.rfind("comment", 0) != 0) {
            *error = "\"" + path + "\": unexpected header line \"" + line + "\"";
            return false;
        }
    }
    const size_t body = end + 11;
    if (!counted || properties != kProperties) {
        *error = "\"" + path + "\" does not hold the cloud's vertex layout";
        return false;
    }
    if (count != (data.size() - body) / kVertexBytes || (data.size() - body) % kVertexBytes != 0) {
        *error = "\"" + path + "\" announces " + std::to_string(count) + " vertices, its body holds " +
                 std::to_string((data.size() - body) / kVertexBytes) + " and " +
                 std::to_string((data.size() - body) % kVertexBytes) + " bytes";
        return false;
    }
    vertices->assign(count, PlyVertex{});
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data()) + body;
    for (PlyVertex& v : *vertices) {
        v = {getFloat(p), getFloat(p + 4), getFloat(p + 8), getFloat(p + 12), getFloat(p + 16),
             getFloat(p + 20), p[24], p[25], p[26]};
        p += kVertexBytes;
    }
    return true;
}
