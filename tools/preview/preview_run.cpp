#include "preview/preview_run.h"

#include <png.h>

#include <cstdio>
#include <filesystem>

#include "common/ply.h"
#include "common/scan_folder.h"
#include "common/scan_points.h"
#include "common/temp_files.h"
#include "common/tool_rig.h"
#include "preview/mesh_draw.h"
#include "preview/preview.h"

namespace {

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

PreviewRunReport previewRun(const PreviewRunOptions& options) {
    PreviewRunReport report;
    const std::string& dir = options.dir;
    std::string error;
    if (!folderExists(dir, &error)) return report.result = toolFault(error), report;
    if (!options.ignoreDates && !folderPointsCurrent(dir, &error))
        return report.result = toolFault(error), report;
    ToolRig rig;
    if (!toolRigLoad(dir, options.rigPath, &rig, &error)) return report.result = toolUsageFault(error), report;
    report.rig = rig.source;
    ScanPoints scan;
    if (!scanReadPoints(dir, &scan, &error, rig.rig.turntable.clockwise))
        return report.result = toolFault(error), report;
    if (scan.object.empty())
        return report.result = toolFault("\"" + dir + "/pontos.txt\" holds no point: slscan found "
                                         "none, so there is nothing to draw (see slscan's "
                                         "messages)"),
               report;
    std::vector<CloudPoint> cloud;
    for (size_t i = 0; i < scan.object.size(); ++i) cloud.push_back({scan.object[i], scan.angle[i]});
    report.points = static_cast<long>(cloud.size());

    // The coloured cloud, when there is one made from these points, is what
    // the picture shows.
    std::vector<CloudPoint> drawn = cloud;
    const std::string colouredPath = dir + "/cloud.ply";
    std::error_code ignored;
    bool coloured = std::filesystem::exists(colouredPath, ignored);
    if (coloured && !options.ignoreDates && !folderCloudCurrent(dir, &error)) {
        report.result.warnings.push_back("warning: " + error + "; drawing pontos.txt instead");
        coloured = false;
    }
    if (coloured) {
        std::vector<PlyVertex> vertices;
        if (!plyRead(colouredPath, &vertices, &error)) {
            report.result.status = kToolDataFault;
            report.result.reason = error;
            return report;
        }
        drawn.clear();
        for (const PlyVertex& v : vertices)
            drawn.push_back({{v.x, v.y, v.z}, -1, true, {v.red, v.green, v.blue}, {v.nx, v.ny, v.nz}});
    }
    report.cloudDrawn = coloured;
    report.drawnPoints = static_cast<long>(drawn.size());
    int w = 0, h = 0;
    std::vector<unsigned char> rgb = previewDraw(drawn, &w, &h);
    // The mesh, when there is one, over the cloud's panels.
    if (!previewMeshIfPresent(dir, &rgb, w, &report.meshDrawn, &error)) {
        report.result.status = kToolDataFault;
        report.result.reason = error;
        return report;
    }
    const std::string png = dir + "/preview.png", ply = dir + "/pontos.ply";
    if (!writePng(png, rgb, w, h)) {
        report.result.status = kToolDataFault;
        report.result.reason = "cannot write \"" + png + "\"";
        return report;
    }
    report.png = png;
    const std::string plyText = previewPly(cloud);
    if (!tempWriteReplacing(ply, plyText.data(), plyText.size(), &error)) {
        report.result.status = kToolDataFault;
        report.result.reason = error;
        return report;
    }
    report.ply = ply;
    return report;
}

std::string previewReportText(const PreviewRunReport& r) {
    if (r.ply.empty()) return "";
    const std::string what =
        r.meshDrawn ? "mesh.ply (shaded)"
                    : std::to_string(r.drawnPoints) + " points" +
                          (r.cloudDrawn ? " of cloud.ply (their own colours)" : "");
    return "slscan-preview: " + what + " drawn in " + r.png + ", " + std::to_string(r.points) +
           " points written to " + r.ply + " (rig: " + r.rig + ")\n";
}
