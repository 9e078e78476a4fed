#include "preview/preview_run.h"

#include <cstdio>
#include <filesystem>

#include "common/ply.h"
#include "common/png_file.h"
#include "common/scan_folder.h"
#include "common/scan_points.h"
#include "common/temp_files.h"
#include "common/tool_rig.h"
#include "preview/mesh_draw.h"
#include "preview/preview.h"

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
    if (!pngWriteFile(png, rgb, w, h)) {
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
