// slscan-preview: draws a scan folder's mesh, cloud or points in
// DIR/preview.png (preview_run.h).
#include <cstdio>
#include <string>

#include "common/cli.h"
#include "common/scan_folder.h"
#include "common/tool_rig.h"
#include "preview/preview_run.h"

int main(int argc, char** argv) {
    PreviewRunOptions options;
    CliPtr cli = cliMake(
        "slscan-preview",
        "Draws the scan in DIR/preview.png (front, side and top views): DIR/mesh.ply first, "
        "shaded, where slscan-mesh has written it; else DIR/cloud.ply, each point in the object's "
        "colour, where slscan-cloud has written it; else DIR/pontos.txt, points coloured by "
        "turntable angle. Also writes the points of DIR/pontos.txt to DIR/pontos.ply.");
    cliText(cli.get(), kToolRigOption, &options.rigPath, "FILE", kToolRigHelp);
    cliFlag(cli.get(), kFolderIgnoreDatesOption, &options.ignoreDates, kFolderIgnoreDatesHelp);
    cliArgument(cli.get(), "DIR", &options.dir, "The scan folder");
    if (const int status = cliParse(cli.get(), argc, argv); status >= 0) return status;

    const PreviewRunReport report = previewRun(options);
    std::fputs(previewReportText(report).c_str(), stdout);
    std::fflush(stdout);
    return toolExit("slscan-preview", report.result);
}
