// slscan-preview's job over a scan folder: DIR/preview.png shows, of what
// the folder holds, the first of DIR/mesh.ply (shaded, over the cloud's
// panels), DIR/cloud.ply (each point in the object's colour) and
// DIR/pontos.txt (points coloured by turntable angle), in front, side and top
// views; DIR/pontos.ply holds the points of pontos.txt.
#pragma once

#include <string>

#include "common/tool_result.h"

struct PreviewRunOptions {
    std::string dir;
    std::string rigPath;  // --rig; empty: DIR/rig.json, else the built-in rig
    bool ignoreDates = false;
};

struct PreviewRunReport {
    ToolResult result;
    std::string rig;         // the rig used: "the built-in rig" or the file
    long points = 0;         // of pontos.txt, written to pontos.ply
    long drawnPoints = 0;    // drawn (those of cloud.ply when it is drawn)
    bool cloudDrawn = false; // cloud.ply in its own colours
    bool meshDrawn = false;  // mesh.ply, shaded
    std::string png, ply;    // the files written
};

PreviewRunReport previewRun(const PreviewRunOptions& options);

// The one line that says what was drawn where, for stdout.
std::string previewReportText(const PreviewRunReport& report);
