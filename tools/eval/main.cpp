// slscan-eval: how close the points of a synthetic scan lie to its true
// surface, and whether pontos.txt is the per-angle files turned back; with
// --cloud, how clean, well oriented and well coloured DIR/cloud.ply is; with
// --mesh, how closed and how close to the truth DIR/mesh.ply is.
#include <cstdio>
#include <cstring>

#include "eval/cloud_report.h"
#include "eval/mesh_report.h"
#include "eval/report.h"

int main(int argc, char** argv) {
    bool json = false, cloud = false, mesh = false;
    const char* dir = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--cloud") == 0) {
            cloud = true;
        } else if (std::strcmp(argv[i], "--mesh") == 0) {
            mesh = true;
        } else if (argv[i][0] != '-' && dir == nullptr) {
            dir = argv[i];
        } else {
            dir = nullptr;
            break;
        }
    }
    if (dir == nullptr) {
        std::fputs("usage: slscan-eval [--json] [--cloud | --mesh] DIR\n", stderr);
        return 2;
    }
    if (mesh) {  // DIR/mesh.ply instead of the point files
        MeshReport report;
        std::string error;
        if (!evalMesh(dir, &report, &error)) {
            std::fprintf(stderr, "slscan-eval: %s\n", error.c_str());
            return 1;
        }
        std::fputs((json ? evalMeshJson(report) : evalMeshText(report)).c_str(), stdout);
        return 0;
    }
    if (cloud) {  // DIR/cloud.ply instead of the point files
        CloudReport report;
        std::string error;
        if (!evalCloud(dir, &report, &error)) {
            std::fprintf(stderr, "slscan-eval: %s\n", error.c_str());
            return 1;
        }
        std::fputs((json ? evalCloudJson(report) : evalCloudText(report)).c_str(), stdout);
        return 0;
    }
    EvalReport report;
    std::string error;
    if (!evalScan(dir, &report, &error)) {
        std::fprintf(stderr, "slscan-eval: %s\n", error.c_str());
        return 1;
    }
    std::fputs((json ? evalJson(report) : evalText(report)).c_str(), stdout);
    return 0;
}
