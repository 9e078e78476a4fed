// slscan-eval: how close a rendered scan's points, cloud or mesh lie to the
// known truth (eval_run.h).
#include <cstdio>
#include <string>

#include "common/cli.h"
#include "common/scan_folder.h"
#include "common/tool_rig.h"
#include "eval/eval_run.h"

int main(int argc, char** argv) {
    EvalRunOptions options;
    bool json = false, cloud = false, mesh = false;
    CliPtr cli = cliMake("slscan-eval",
                         "Measures a scan rendered by slscan-render against its known truth "
                         "(DIR/scene.txt): the points of DIR/pontos.txt and the per-angle files, "
                         "or with --cloud DIR/cloud.ply, or with --mesh DIR/mesh.ply.");
    CliCommand* c = cli.get();
    cliFlag(c, "--json", &json, "One line of JSON instead of the text report");
    cliFlag(c, "--cloud", &cloud, "Measure DIR/cloud.ply (slscan-cloud) instead of the point files");
    cliFlag(c, "--mesh", &mesh, "Measure DIR/mesh.ply (slscan-mesh) instead of the point files");
    cliExcludes(c, "--cloud", "--mesh");
    cliText(c, kToolRigOption, &options.rigPath, "FILE", kToolRigHelp);
    cliFlag(c, kFolderIgnoreDatesOption, &options.ignoreDates, kFolderIgnoreDatesHelp);
    cliArgument(c, "DIR", &options.dir, "The scan folder");
    if (const int status = cliParse(c, argc, argv); status >= 0) return status;
    options.what = mesh ? EvalWhat::kMesh : cloud ? EvalWhat::kCloud : EvalWhat::kPoints;

    const EvalRunReport report = evalRun(options);
    std::fputs(evalRunText(options, report, json).c_str(), stdout);
    std::fflush(stdout);
    return toolExit("slscan-eval", report.result);
}
