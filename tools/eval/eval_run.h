// slscan-eval's job over a rendered scan folder: one of its three reports
// (the points, cloud.ply or mesh.ply against the known truth).
#pragma once

#include <string>

#include "common/tool_result.h"
#include "eval/cloud_report.h"
#include "eval/mesh_report.h"
#include "eval/report.h"

enum class EvalWhat { kPoints, kCloud, kMesh };

struct EvalRunOptions {
    std::string dir;
    std::string rigPath;  // --rig; empty: DIR/rig.json, else the built-in rig
    EvalWhat what = EvalWhat::kPoints;
    bool ignoreDates = false;
};

struct EvalRunReport {
    ToolResult result;
    std::string rig;     // the rig used: "the built-in rig" or the file
    EvalReport points;  // the one of `what` is filled
    CloudReport cloud;
    MeshReport mesh;
};

EvalRunReport evalRun(const EvalRunOptions& options);

// The report of `what` as text (with the rig it used), or as one line of JSON.
std::string evalRunText(const EvalRunOptions& options, const EvalRunReport& report, bool json);
