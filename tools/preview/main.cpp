// slscan-preview: draws DIR/pontos.txt as DIR/preview.png (front, side and
// top views, points coloured by turntable angle) and writes DIR/pontos.ply.
// Where slscan-cloud has written DIR/cloud.ply, the picture shows that cloud
// instead, each point in the object's colour; where slscan-mesh has written
// DIR/mesh.ply, the mesh, shaded.
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cloud/ply.h"
#include "preview/mesh_draw.h"
#include "preview/preview.h"

namespace {

long countLines(const std::string& path) {
    std::ifstream in(path);
    long n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return in.eof() || n > 0 ? n : -1;
}

bool writePng(const std::string& path, const std::vector<unsigned char>& rgb, int w, int h) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, rgb.data() + 3 * static_cast<size_t>(y) * w);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs("usage: slscan-preview DIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    std::ifstream in(dir + "/pontos.txt");
    if (!in) {
        std::fprintf(stderr, "slscan-preview: cannot read \"%s/pontos.txt\"\n", dir.c_str());
        return 1;
    }
    // pontos.txt holds the angles one after another; the per-angle files say
    // how many lines each has.
    std::vector<long> lines;
    for (int angle = 0; angle <= 330; angle += 30)
        lines.push_back(countLines(dir + "/pontos_" + std::to_string(angle) + ".txt"));
    std::vector<CloudPoint> cloud;
    size_t angleIndex = 0;
    long left = lines.empty() ? -1 : lines[0];
    for (std::string line; std::getline(in, line);) {
        Vec3 p;
        if (std::sscanf(line.c_str(), "%lf %lf %lf", &p.x, &p.y, &p.z) != 3) continue;
        while (angleIndex < lines.size() && left == 0) left = ++angleIndex < lines.size() ? lines[angleIndex] : -1;
        const bool known = angleIndex < lines.size() && left > 0;
        cloud.push_back({p, known ? static_cast<int>(30 * angleIndex) : -1});
        if (known) --left;
    }
    // The coloured cloud, when there is one, is what the picture shows.
    std::vector<CloudPoint> drawn = cloud;
    const std::string colouredPath = dir + "/cloud.ply";
    std::error_code ignored;
    const bool coloured = std::filesystem::exists(colouredPath, ignored);
    if (coloured) {
        std::vector<PlyVertex> vertices;
        std::string error;
        if (!plyRead(colouredPath, &vertices, &error)) {
            std::fprintf(stderr, "slscan-preview: %s\n", error.c_str());
            return 1;
        }
        drawn.clear();
        for (const PlyVertex& v : vertices)
            drawn.push_back({{v.x, v.y, v.z}, -1, true, {v.red, v.green, v.blue}, {v.nx, v.ny, v.nz}});
    }
    int w = 0, h = 0;
    std::vector<unsigned char> rgb = previewDraw(drawn, &w, &h);
    bool meshDrawn = false;
    std::string meshError;
    if (!previewMeshIfPresent(dir, &rgb, &w, &h, &meshDrawn, &meshError)) {
        std::fprintf(stderr, "slscan-preview: %s\n", meshError.c_str());
        return 1;
    }
    const std::string png = dir + "/preview.png", ply = dir + "/pontos.ply";
    if (!writePng(png, rgb, w, h)) {
        std::fprintf(stderr, "slscan-preview: cannot write \"%s\"\n", png.c_str());
        return 1;
    }
    std::ofstream out(ply);
    out << previewPly(cloud);
    out.close();
    if (!out) {
        std::fprintf(stderr, "slscan-preview: cannot write \"%s\"\n", ply.c_str());
        return 1;
    }
    if (meshDrawn)
        std::printf("slscan-preview: mesh.ply drawn shaded in %s, %zu points written to %s\n",
                    png.c_str(), cloud.size(), ply.c_str());
    else
        std::printf("slscan-preview: %zu points %sdrawn in %s, %zu written to %s\n", drawn.size(),
                    coloured ? "of cloud.ply (their own colours) " : "", png.c_str(), cloud.size(),
                    ply.c_str());
    return 0;
}
