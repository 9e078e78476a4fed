// slscan-cloud's job over a scan folder: DIR/pontos.txt and the per-angle
// point files become DIR/cloud.ply, a binary PLY with the object's colour
// and a normal per point, stray points removed.
#pragma once

#include <string>

#include "cloud/colour.h"
#include "cloud/outliers.h"
#include "common/tool_result.h"

struct CloudRunOptions {
    std::string dir;
    OutlierOptions outliers;  // the defaults of the working volume and the neighbour rule
    bool keepAll = false;      // drop no point (but those that are not finite)
    bool ignoreDates = false;  // use files older than their sources
};

struct CloudRunReport {
    ToolResult result;
    long pointsRead = 0;
    OutlierResult outliers;   // the counts of the dropped points (keep: all kept with keepAll)
    ColourStats colour;
    long written = 0;         // points in cloud.ply
    std::string path;         // of cloud.ply
};

CloudRunReport cloudRun(const CloudRunOptions& options);

// What the run did, a line a step, for stdout.
std::string cloudReportText(const CloudRunOptions& options, const CloudRunReport& report);
