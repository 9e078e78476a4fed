// The accuracy report of DIR/mesh.ply against the known truth of a rendered
// scan: whether a slicer would take it (closed, facing outward, not cutting
// through itself, one piece per part), how far its surface lies from the
// true one, how much of the surface the scan saw it covers, and how close its
// colours are to the albedo the renderer used.
//
// The mesh is measured by points spread evenly over its triangles (a fixed
// number per unit of area); the true surface by points spread evenly over the
// object's parts, where they lie on the outside of the union. "Seen" and
// "near the scan" mean within kMeshEvalNear units of a point of cloud.ply,
// the cloud the mesh was made from.
#pragma once

#include <string>

constexpr double kMeshEvalNear = 2.0;

struct MeshReport {
    long triangles = 0, vertices = 0;
    int pieces = 0, parts = 0;   // pieces of the mesh; separate parts of the true object
    long border = 0, nonManifold = 0, misoriented = 0;  // edges (see mesh_topology.h)
    long intersecting = 0, degenerate = 0;              // triangle pairs; triangles
    int inward = 0;              // pieces enclosing a negative volume
    bool watertight = false;     // all six counts above zero
    long samples = 0;            // points spread over the mesh
    double median = 0, p95 = 0;  // their distance to the true surface
    double beyond1 = 0, beyond5 = 0;  // shares
    double nearShare = 0;        // share of them near the scan
    double nearP95 = 0;          // 95th percentile of the distance of those
    long trueSamples = 0;        // points of the true surface the scan saw
    double seenWithin1 = 0;      // share of them within 1 unit of the mesh
    double chromaMean = 0, chroma95 = 0;  // vertex colour error (see cloud_report.h), within 1 unit
    long colourVertices = 0;
};

// False, with one line in *error, when a file cannot be read.
bool evalMesh(const std::string& dir, MeshReport* report, std::string* error);

std::string evalMeshText(const MeshReport& report);
std::string evalMeshJson(const MeshReport& report);
