#include "mesh/mesh_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "common/scan_folder.h"
#include "common/tool_rig.h"
#include "common/tool_threads.h"
#include "mesh/mesh_close.h"
#include "mesh/mesh_input.h"
#include "mesh/mesh_io.h"
#include "mesh/mesh_surface.h"

namespace {

const char* plural(long n, const char* one, const char* many) { return n == 1 ? one : many; }

}  // namespace

MeshRunReport meshRun(const MeshRunOptions& o) {
    const auto start = std::chrono::steady_clock::now();
    MeshRunReport report;
    const std::string path = o.dir + "/cloud.ply";
    MeshCloud cloud;
    std::string error;
    if (!folderExists(o.dir, &error)) return report.result = toolFault(error), report;
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored))
        return report.result = toolFault("no \"" + path + "\": run slscan-cloud \"" + o.dir + "\" first"),
               report;
    if (!o.ignoreDates && !folderCloudCurrent(o.dir, &error))
        return report.result = toolFault(error), report;
    // The cloud is in the rig's turntable frame, y up the axis from the
    // turntable's top: the mesh needs no number of the rig, but a rig that
    // cannot be read is a fault of the folder all the same.
    ToolRig rig;
    if (!toolRigLoad(o.dir, o.rigPath, &rig, &error)) return report.result = toolUsageFault(error), report;
    report.rig = rig.source;
    if (!meshReadCloud(path, &cloud, &error)) return report.result = toolFault(error), report;
    report.pointsRead = static_cast<long>(cloud.points.size());

    const std::vector<Vec3> normals =
        o.cloudNormals ? cloud.normals : meshRefitNormals(cloud, o.normalNeighbours);
    const int threads = o.threads > 0 ? o.threads : toolThreads();
    Mesh mesh = meshPoisson(cloud.points, normals, o.depth, o.scale, threads);
    report.surfaceTriangles = static_cast<long>(mesh.triangles.size());

    meshClean(&mesh, o.merge, &report.clean);
    if (o.open) report.seenDropped = meshKeepSeen(cloud, o.reach, &mesh);
    meshDropFragments(&mesh, o.minPiece, &report.clean);
    if (!o.open) report.holes = meshCloseHoles(&mesh);
    report.crossingsCut = meshRepairCrossings(&mesh, 4, o.minPiece, !o.open, &report.crossingsClosed);
    if (!o.open) {  // an open surface encloses no volume to tell inside from out
        report.hollows = meshOrientOutward(&mesh, &report.turned);
        report.strays = meshDropStrayPieces(&mesh, o.strayShare, o.strayGap);
    }
    if (mesh.triangles.empty())
        return report.result = toolFault("no surface left of \"" + path +
                                         "\" (every piece smaller than " +
                                         std::to_string(o.minPiece) + " triangles)"),
               report;

    meshColourVertices(cloud, o.colourNeighbours, &mesh);
    meshPieces(mesh, &report.pieces);
    report.edges = meshEdgeCounts(mesh);
    report.closed =
        report.edges.border == 0 && report.edges.nonManifold == 0 && report.edges.misoriented == 0;
    if (!o.open && !report.closed) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "warning: the mesh is not closed: %ld border edges, %ld edges of more than "
                      "two triangles, %ld edges used twice in one direction",
                      report.edges.border, report.edges.nonManifold, report.edges.misoriented);
        report.result.warnings.push_back(line);
    }
    if (!meshWrite(o.dir, mesh, "slscan-mesh: screened Poisson surface of cloud.ply", &error)) {
        report.result.status = kToolDataFault;
        report.result.reason = error;
        return report;
    }
    report.triangles = static_cast<long>(mesh.triangles.size());
    report.vertices = static_cast<long>(mesh.vertices.size());
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
}

std::string meshReportText(const MeshRunOptions& o, const MeshRunReport& r) {
    if (r.pointsRead == 0) return "";
    std::string out;
    char line[768];
    std::snprintf(line, sizeof line, "slscan-mesh: %ld points read from %s/cloud.ply (rig: %s)\n",
                  r.pointsRead, o.dir.c_str(), r.rig.c_str());
    out += line;
    const std::string normals =
        o.cloudNormals ? std::string("the cloud's normals")
                       : "normals refitted on " + std::to_string(o.normalNeighbours) + " nearest points";
    std::snprintf(line, sizeof line,
                  "  surface: screened Poisson (depth %d, scale %g, %s): %ld triangles\n", o.depth,
                  o.scale, normals.c_str(), r.surfaceTriangles);
    out += line;
    const MeshCleanStats& s = r.clean;
    std::snprintf(line, sizeof line,
                  "  repaired: %ld vertices merged (closer than %g); triangles: %ld of no area "
                  "dropped, %ld flat ones split into their neighbours, %ld of double layers, %ld "
                  "duplicate and %ld at edges of more than two dropped; %d %s of fewer than %d "
                  "triangles dropped (%ld triangles)\n",
                  s.mergedVertices, o.merge, s.degenerate, s.split, s.doubleLayer, s.duplicates,
                  s.nonManifold, s.fragments, plural(s.fragments, "fragment", "fragments"),
                  o.minPiece, s.fragmentTriangles);
    out += line;
    if (o.open) {
        std::snprintf(line, sizeof line,
                      "  open surface: dropped %ld triangles farther than %g from the cloud, no "
                      "hole closed\n",
                      r.seenDropped, o.reach);
    } else {
        std::snprintf(line, sizeof line, "  closed %d %s (a fan of triangles to its centre)\n",
                      r.holes, plural(r.holes, "hole", "holes"));
    }
    out += line;
    if (r.crossingsCut > 0) {
        std::snprintf(line, sizeof line,
                      "  removed %ld triangles around triangles cutting each other%s\n",
                      r.crossingsCut,
                      o.open ? ""
                             : (" and closed " + std::to_string(r.crossingsClosed) + " " +
                                plural(r.crossingsClosed, "hole", "holes") + " there")
                                   .c_str());
        out += line;
    }
    if (r.turned) out += "  turned the mesh outward (it enclosed a negative volume)\n";
    if (r.hollows > 0) {
        std::snprintf(line, sizeof line,
                      "  dropped %d hollow %s inside the object (closed inward-facing bubbles)\n",
                      r.hollows, plural(r.hollows, "piece", "pieces"));
        out += line;
    }
    if (r.strays > 0) {
        std::snprintf(line, sizeof line,
                      "  dropped %d small %s within %g of a larger piece (stray points wrapped "
                      "into a shell of their own)\n",
                      r.strays, plural(r.strays, "piece", "pieces"), o.strayGap);
        out += line;
    }
    if (r.triangles > 0) {
        std::snprintf(line, sizeof line,
                      "  wrote %ld triangles, %ld vertices, %d %s%s to %s/mesh.ply and "
                      "%s/mesh.stl in %.1f s\n",
                      r.triangles, r.vertices, r.pieces, plural(r.pieces, "piece", "pieces"),
                      o.open ? " (open)" : r.closed ? " (closed, facing outward)" : " (NOT closed)",
                      o.dir.c_str(), o.dir.c_str(), r.seconds);
        out += line;
    }
    return out;
}
