// slscan-eval: how close the points of a synthetic scan lie to its true
// surface, and whether pontos.txt is the per-angle files turned back; with
// --cloud, how clean, well oriented and well coloured DIR/cloud.ply is; with
// --mesh, how closed and how close to the truth DIR/mesh.ply is.
#include <cstdio>
#include <string>

#include "common/cli.h"
#include "common/scan_folder.h"
#include "eval/cloud_report.h"
#include "eval/mesh_report.h"
#include "eval/report.h"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "slscan-eval: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Measures a scan rendered by slscan-render against its known truth "
                 "(DIR/scene.txt): the points of DIR/pontos.txt, or with --cloud DIR/cloud.ply.",
                 "slscan-eval"};
    cliSetUp(&app);
    bool json = false, cloud = false, mesh = false, ignoreDates = false;
    std::string dir;
    app.add_flag("--json", json, "One line of JSON instead of the text report");
    app.add_flag("--cloud", cloud, "Measure DIR/cloud.ply (slscan-cloud) instead of the point files");
    app.add_flag("--mesh", mesh, "Measure DIR/mesh.ply (slscan-mesh) instead of the point files");
    app.add_flag(kFolderIgnoreDatesOption, ignoreDates, kFolderIgnoreDatesHelp);
    app.add_option("DIR", dir, "The scan folder")->required()->type_name("");
    if (const int status = cliParse(&app, argc, argv); status >= 0) return status;

    std::string error;
    if (!folderExists(dir, &error)) return fail(error);
    if (!ignoreDates && !folderPointsCurrent(dir, &error)) return fail(error);
    if (mesh) {
        MeshReport report;
        if (!evalMesh(dir, &report, &error)) return fail(error);
        std::fputs((json ? evalMeshJson(report) : evalMeshText(report)).c_str(), stdout);
        return 0;
    }
    if (cloud) {
        if (!ignoreDates && !folderCloudCurrent(dir, &error)) return fail(error);
        CloudReport report;
        if (!evalCloud(dir, &report, &error)) return fail(error);
        std::fputs((json ? evalCloudJson(report) : evalCloudText(report)).c_str(), stdout);
        return 0;
    }
    EvalReport report;
    if (!evalScan(dir, &report, &error)) return fail(error);
    std::fputs((json ? evalJson(report) : evalText(report)).c_str(), stdout);
    return 0;
}
