// slscan-mesh: turns SCAN_DIR/cloud.ply into a closed, coloured triangle
// mesh a slicer accepts as it is (SCAN_DIR/mesh.ply and SCAN_DIR/mesh.stl),
// or with --open the surface the scan saw and nothing more.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "common/cli.h"
#include "common/scan_folder.h"

#include "mesh/mesh_clean.h"
#include "mesh/mesh_close.h"
#include "mesh/mesh_input.h"
#include "mesh/mesh_io.h"
#include "mesh/mesh_surface.h"
#include "mesh/mesh_topology.h"

namespace {

struct Options {
    std::string dir;
    bool open = false;
    int depth = 8;
    double scale = 1.1;
    int normalNeighbours = 8;
    int colourNeighbours = 3;
    double merge = 0.01;
    int minPiece = 50;
    double reach = 2.5;
    int threads = 1;
    bool ignoreDates = false;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "slscan-mesh: %s\n", message.c_str());
    return 1;
}

const char* plural(long n, const char* one, const char* many) { return n == 1 ? one : many; }

}  // namespace

int main(int argc, char** argv) {
    const auto start = std::chrono::steady_clock::now();

    Options o;
    CLI::App app{"Makes a closed, coloured triangle mesh of SCAN_DIR/cloud.ply (as slscan-cloud "
                 "writes it): SCAN_DIR/mesh.ply (binary, vertex colours) and SCAN_DIR/mesh.stl "
                 "(binary, for slicers).",
                 "slscan-mesh"};
    cliSetUp(&app);
    app.add_option("SCAN_DIR", o.dir, "folder holding cloud.ply")->required();
    app.add_flag("--open", o.open,
                 "only the surface the scan saw: no closing of the unseen bottom or of holes; "
                 "triangles farther than --reach from every cloud point dropped");
    app.add_option("--reach", o.reach, "with --open: largest distance of a kept vertex to the cloud")
        ->capture_default_str()
        ->check(cliNumber(0.1, 100.0));
    app.add_option("--depth", o.depth, "octree depth of the Poisson reconstruction")
        ->capture_default_str()
        ->check(cliWhole(5, 11));
    app.add_option("--scale", o.scale, "its bounding box over the cloud's")
        ->capture_default_str()
        ->check(cliNumber(1.0, 4.0));
    app.add_option("--normal-k", o.normalNeighbours, "neighbours each normal is refitted on")
        ->capture_default_str()
        ->check(cliWhole(3, 64));
    app.add_option("--colour-k", o.colourNeighbours,
                   "cloud points whose inverse-distance mean colours a vertex")
        ->capture_default_str()
        ->check(cliWhole(1, 64));
    app.add_option("--merge", o.merge, "vertices closer than this are merged")
        ->capture_default_str()
        ->check(cliNumber(1e-6, 1.0));
    app.add_option("--min-piece", o.minPiece, "pieces of fewer triangles are dropped")
        ->capture_default_str()
        ->check(cliWhole(1, 1000000));
    app.add_option("--threads", o.threads,
                   "threads of the reconstruction (0: all cores; its threads wait busily, so "
                   "more than one only pays on an idle machine)")
        ->capture_default_str()
        ->check(cliWhole(0, 256));
    app.add_flag(kFolderIgnoreDatesOption, o.ignoreDates, kFolderIgnoreDatesHelp);
    if (const int status = cliParse(&app, argc, argv); status >= 0) return status;

    const std::string path = o.dir + "/cloud.ply";
    MeshCloud cloud;
    std::string error;
    if (!folderExists(o.dir, &error)) return fail(error);
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored))
        return fail("no \"" + path + "\": run slscan-cloud \"" + o.dir + "\" first");
    if (!o.ignoreDates && !folderCloudCurrent(o.dir, &error)) return fail(error);
    if (!meshReadCloud(path, &cloud, &error)) return fail(error);
    std::printf("slscan-mesh: %zu points read from %s\n", cloud.points.size(), path.c_str());

    const std::vector<Vec3> normals = meshRefitNormals(cloud, o.normalNeighbours);
    const int threads =
        o.threads > 0 ? o.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    Mesh mesh = meshPoisson(cloud.points, normals, o.depth, o.scale, threads);
    std::printf("  surface: screened Poisson (depth %d, scale %g, normals refitted on %d nearest "
                "points): %zu triangles\n",
                o.depth, o.scale, o.normalNeighbours, mesh.triangles.size());

    MeshCleanStats stats;
    meshClean(&mesh, o.merge, &stats);
    long seenDropped = 0;
    if (o.open) seenDropped = meshKeepSeen(cloud, o.reach, &mesh);
    meshDropFragments(&mesh, o.minPiece, &stats);
    std::printf("  repaired: %ld vertices merged (closer than %g); triangles: %ld of no area "
                "dropped, %ld flat ones split into their neighbours, %ld of double layers, %ld "
                "duplicate and %ld at edges of more than two dropped; %d %s of fewer than %d triangles dropped (%ld "
                "triangles)\n",
                stats.mergedVertices, o.merge, stats.degenerate, stats.split, stats.doubleLayer,
                stats.duplicates,
                stats.nonManifold, stats.fragments, plural(stats.fragments, "fragment", "fragments"),
                o.minPiece, stats.fragmentTriangles);
    int holes = 0;
    if (o.open) {
        std::printf("  open surface: dropped %ld triangles farther than %g from the cloud, no hole "
                    "closed\n",
                    seenDropped, o.reach);
    } else {
        holes = meshCloseHoles(&mesh);
        std::printf("  closed %d %s (a fan of triangles to its centre)\n", holes,
                    plural(holes, "hole", "holes"));
    }
    int reclosed = 0;
    const long cut = meshRepairCrossings(&mesh, 4, o.minPiece, !o.open, &reclosed);
    if (cut > 0)
        std::printf("  removed %ld triangles around triangles cutting each other%s\n", cut,
                    o.open ? ""
                           : (" and closed " + std::to_string(reclosed) + " " +
                              plural(reclosed, "hole", "holes") + " there")
                                 .c_str());
    if (!o.open) {  // an open surface encloses no volume to tell inside from out
        bool turned = false;
        const int hollows = meshOrientOutward(&mesh, &turned);
        if (turned) std::printf("  turned the mesh outward (it enclosed a negative volume)\n");
        if (hollows > 0)
            std::printf("  dropped %d hollow %s inside the object (closed inward-facing bubbles)\n",
                        hollows, plural(hollows, "piece", "pieces"));
    }
    if (mesh.triangles.empty())
        return fail("no surface left of \"" + path + "\" (every piece smaller than " +
                    std::to_string(o.minPiece) + " triangles)");

    meshColourVertices(cloud, o.colourNeighbours, &mesh);

    int pieces = 0;
    meshPieces(mesh, &pieces);
    const MeshEdgeCounts edges = meshEdgeCounts(mesh);
    const bool closed = edges.border == 0 && edges.nonManifold == 0 && edges.misoriented == 0;
    if (!o.open && !closed)
        std::fprintf(stderr,
                     "slscan-mesh: warning: the mesh is not closed: %ld border edges, %ld edges of "
                     "more than two triangles, %ld edges used twice in one direction\n",
                     edges.border, edges.nonManifold, edges.misoriented);
    if (!meshWrite(o.dir, mesh, "slscan-mesh: screened Poisson surface of cloud.ply", &error))
        return fail(error);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("  wrote %zu triangles, %zu vertices, %d %s%s to %s/mesh.ply and %s/mesh.stl "
                "in %.1f s\n",
                mesh.triangles.size(), mesh.vertices.size(), pieces, plural(pieces, "piece", "pieces"),
                o.open ? " (open)" : closed ? " (closed, facing outward)" : " (NOT closed)",
                o.dir.c_str(), o.dir.c_str(), seconds);
    return 0;
}
