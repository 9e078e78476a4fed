// slscan-mesh: turns SCAN_DIR/cloud.ply into a closed, coloured triangle mesh
// (mesh_run.h).
#include <cstdio>
#include <string>

#include "common/cli.h"
#include "common/scan_folder.h"
#include "common/tool_rig.h"
#include "mesh/mesh_run.h"

int main(int argc, char** argv) {
    MeshRunOptions o;
    CliPtr cli = cliMake("slscan-mesh",
                         "Makes a closed, coloured triangle mesh of SCAN_DIR/cloud.ply (as "
                         "slscan-cloud writes it): SCAN_DIR/mesh.ply (binary, vertex colours) and "
                         "SCAN_DIR/mesh.stl (binary, for slicers).");
    CliCommand* c = cli.get();
    cliArgument(c, "SCAN_DIR", &o.dir, "folder holding cloud.ply");
    cliFlag(c, "--open", &o.open,
            "only the surface the scan saw: no closing of the unseen bottom or of holes; "
            "triangles farther than --reach from every cloud point dropped");
    cliNumber(c, "--reach", &o.reach, 0.1, 100.0, "D",
              "with --open: largest distance of a kept vertex to the cloud");
    cliWhole(c, "--depth", &o.depth, 5, 11, "N", "octree depth of the Poisson reconstruction");
    cliNumber(c, "--scale", &o.scale, 1.0, 4.0, "S", "its bounding box over the cloud's");
    cliWhole(c, "--normal-k", &o.normalNeighbours, 3, 64, "K", "neighbours each normal is refitted on");
    cliFlag(c, "--cloud-normals", &o.cloudNormals,
            "take the cloud's normals as they are (no refit; --normal-k unused): for clouds whose "
            "normals were fitted on enough neighbours of the same side, as slscan-cloud does "
            "for slscan --dense (slscan-model: --k 64)");
    cliWhole(c, "--colour-k", &o.colourNeighbours, 1, 64, "K",
             "cloud points whose inverse-distance mean colours a vertex");
    cliNumber(c, "--merge", &o.merge, 1e-6, 1.0, "D", "vertices closer than this are merged");
    cliWhole(c, "--min-piece", &o.minPiece, 1, 1000000, "N", "pieces of fewer triangles are dropped");
    cliWhole(c, "--threads", &o.threads, 0, 256, "N",
             "threads of the reconstruction (0: all cores; its threads wait busily, so more than "
             "one only pays on an idle machine)");
    cliText(c, kToolRigOption, &o.rigPath, "FILE", kToolRigHelp);
    cliFlag(c, kFolderIgnoreDatesOption, &o.ignoreDates, kFolderIgnoreDatesHelp);
    if (const int status = cliParse(c, argc, argv); status >= 0) return status;

    const MeshRunReport report = meshRun(o);
    std::fputs(meshReportText(o, report).c_str(), stdout);
    std::fflush(stdout);
    return toolExit("slscan-mesh", report.result);
}
