// slscan-cloud's job over a scan folder: DIR/pontos.txt and the per-angle
// point files become DIR/cloud.ply, a binary PLY with the object's colour
// and a normal per point, stray points removed.
#pragma once

#include <string>

#include "cloud/colour.h"
#include "cloud/outliers.h"
#include "common/tool_result.h"
#include "common/tool_rig.h"

struct CloudRunOptions {
    std::string dir;
    std::string rigPath;      // --rig; empty: DIR/rig.json, else the built-in rig
    OutlierOptions outliers;  // the built-in rig's working volume and the neighbour rule
    bool volumeGiven = false; // the working volume as given, not from a rig file
    bool keepAll = false;      // drop no point (but those that are not finite)
    bool ignoreDates = false;  // use files older than their sources
};

struct CloudRunReport {
    ToolResult result;
    std::string rig;          // the rig used: "the built-in rig" or the file
    double radius = 0, yMin = 0, yMax = 0;  // the working volume used
    long pointsRead = 0;
    OutlierResult outliers;   // the counts of the dropped points (keep: all kept with keepAll)
    ColourStats colour;
    long written = 0;         // points in cloud.ply
    std::string path;         // of cloud.ply
};

CloudRunReport cloudRun(const CloudRunOptions& options);

// What the run did, a line a step, for stdout.
std::string cloudReportText(const CloudRunOptions& options, const CloudRunReport& report);
