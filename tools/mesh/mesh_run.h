// slscan-mesh's job over a scan folder: DIR/cloud.ply becomes a closed,
// coloured triangle mesh a slicer accepts as it is (DIR/mesh.ply and
// DIR/mesh.stl), or with `open` the surface the scan saw and nothing more.
#pragma once

#include <string>

#include "common/tool_result.h"
#include "mesh/mesh_clean.h"
#include "mesh/mesh_topology.h"

struct MeshRunOptions {
    std::string dir;
    std::string rigPath;        // --rig; empty: DIR/rig.json, else the built-in rig
    bool open = false;          // no closing; triangles beyond `reach` of the cloud dropped
    int depth = 8;              // octree depth of the Poisson reconstruction
    double scale = 1.1;         // its bounding box over the cloud's
    int normalNeighbours = 8;   // neighbours each normal is refitted on
    bool cloudNormals = false;  // the cloud's own normals, not refitted (normalNeighbours unused)
    int colourNeighbours = 3;   // cloud points whose inverse-distance mean colours a vertex
    double merge = 0.01;        // vertices closer than this are merged
    int minPiece = 50;          // pieces of fewer triangles are dropped
    double reach = 2.5;         // with `open`: largest distance of a kept vertex to the cloud
    double strayShare = 0.01;   // closed pieces under this share of the largest's volume and
    double strayGap = 2.5;      //   this close to a larger piece are stray points, dropped
    int threads = 1;            // of the reconstruction; 0: all cores
    bool ignoreDates = false;
};

struct MeshRunReport {
    ToolResult result;
    std::string rig;            // the rig of the cloud: "the built-in rig" or the file
    long pointsRead = 0;
    long surfaceTriangles = 0;  // as the reconstruction made them
    MeshCleanStats clean;
    long seenDropped = 0;       // open: triangles beyond the reach
    int holes = 0;              // closed
    long crossingsCut = 0;      // triangles removed around self-crossings
    int crossingsClosed = 0;    //   and the holes closed there
    bool turned = false;        // turned outward
    int hollows = 0;            // hollow pieces dropped
    int strays = 0;             // small pieces beside larger ones dropped
    MeshEdgeCounts edges;
    bool closed = false;
    int pieces = 0;
    long triangles = 0, vertices = 0;  // written
    double seconds = 0;
};

MeshRunReport meshRun(const MeshRunOptions& options);

// What the run did, a line a step, for stdout.
std::string meshReportText(const MeshRunOptions& options, const MeshRunReport& report);
