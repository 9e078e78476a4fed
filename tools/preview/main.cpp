// slscan-preview: draws DIR/pontos.txt as DIR/preview.png (front, side and
// top views, points coloured by turntable angle) and writes DIR/pontos.ply.
// Where slscan-cloud has written DIR/cloud.ply, the picture shows that cloud
// instead, each point in the object's colour; where slscan-mesh has written
// DIR/mesh.ply, the mesh, shaded.
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/cli.h"
#include "common/ply.h"
#include "preview/mesh_draw.h"
#include "common/scan_folder.h"
#include "common/scan_points.h"
#include "common/temp_files.h"
#include "preview/preview.h"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "slscan-preview: %s\n", message.c_str());
    return 1;
}

bool encodePng(std::FILE* f, const std::vector<unsigned char>& rgb, int w, int h) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, rgb.data() + 3 * static_cast<size_t>(y) * w);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Writes the picture through a temporary beside `path`, renamed into place;
// the temporary is removed on failure and on SIGINT.
bool writePng(const std::string& path, const std::vector<unsigned char>& rgb, int w, int h) {
    const std::string temporary = path + ".part";
    const int slot = tempRegister(temporary);
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    bool ok = f != nullptr;
    if (ok) {
        const bool encoded = encodePng(f, rgb, w, h);
        ok = std::fclose(f) == 0 && encoded;
    }
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temporary.c_str());
    tempForget(slot);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Draws DIR/pontos.txt as DIR/preview.png (front, side and top views, points "
                 "coloured by turntable angle) and writes DIR/pontos.ply. Where slscan-cloud has "
                 "written DIR/cloud.ply, the picture shows that cloud instead, each point in the "
                 "object's colour.",
                 "slscan-preview"};
    cliSetUp(&app);
    bool ignoreDates = false;
    std::string dir;
    app.add_flag(kFolderIgnoreDatesOption, ignoreDates, kFolderIgnoreDatesHelp);
    app.add_option("DIR", dir, "The scan folder")->required()->type_name("");
    if (const int status = cliParse(&app, argc, argv); status >= 0) return status;

    std::string error;
    if (!folderExists(dir, &error)) return fail(error);
    if (!ignoreDates && !folderPointsCurrent(dir, &error)) return fail(error);
    ScanPoints scan;
    if (!scanReadPoints(dir, &scan, &error)) return fail(error);
    if (scan.object.empty())
        return fail("\"" + dir + "/pontos.txt\" holds no point: slscan found none, so there is "
                    "nothing to draw (see slscan's messages)");
    std::vector<CloudPoint> cloud;
    for (size_t i = 0; i < scan.object.size(); ++i) cloud.push_back({scan.object[i], scan.angle[i]});

    // The coloured cloud, when there is one made from these points, is what
    // the picture shows.
    std::vector<CloudPoint> drawn = cloud;
    const std::string colouredPath = dir + "/cloud.ply";
    std::error_code ignored;
    bool coloured = std::filesystem::exists(colouredPath, ignored);
    if (coloured && !ignoreDates && !folderCloudCurrent(dir, &error)) {
        std::fprintf(stderr, "slscan-preview: warning: %s; drawing pontos.txt instead\n", error.c_str());
        coloured = false;
    }
    if (coloured) {
        std::vector<PlyVertex> vertices;
        if (!plyRead(colouredPath, &vertices, &error)) return fail(error);
        drawn.clear();
        for (const PlyVertex& v : vertices)
            drawn.push_back({{v.x, v.y, v.z}, -1, true, {v.red, v.green, v.blue}, {v.nx, v.ny, v.nz}});
    }
    int w = 0, h = 0;
    std::vector<unsigned char> rgb = previewDraw(drawn, &w, &h);
    bool meshDrawn = false;  // the mesh, when there is one, over the cloud's panels
    if (!previewMeshIfPresent(dir, &rgb, w, &meshDrawn, &error)) return fail(error);
    const std::string png = dir + "/preview.png", ply = dir + "/pontos.ply";
    if (!writePng(png, rgb, w, h)) return fail("cannot write \"" + png + "\"");
    const std::string plyText = previewPly(cloud);
    if (!tempWriteReplacing(ply, plyText.data(), plyText.size(), &error)) return fail(error);
    std::printf("slscan-preview: %s drawn in %s, %zu points written to %s\n",
                meshDrawn ? "mesh.ply (shaded)"
                          : (std::to_string(drawn.size()) + " points" +
                             (coloured ? " of cloud.ply (their own colours)" : ""))
                                .c_str(),
                png.c_str(), cloud.size(), ply.c_str());
    return 0;
}
