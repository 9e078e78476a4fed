// One render of a synthetic scan, from options to files: the photographs of
// every angle into DIR/cavalo, the rig into DIR/rig.json (a rig other than the
// built-in one), and the description into DIR/scene.txt, written last so that
// a scan cut short is never taken for whole. slscan-render's main parses the
// command line into a RenderRun and calls renderRun.
#pragma once

#include <string>
#include <vector>

#include "render/render.h"

struct RenderRun {
    RenderOptions render;     // the object, the light, the effects and the rig
    std::string dir;          // the folder to render into
    int threads = 1;
    bool reuse = false;       // keep DIR when it already holds this very scan
    std::vector<int> angles;  // rising whole degrees; empty: 0, 30, ..., 330
};

struct RenderReport {
    int status = 0;           // 0, or 1 after a fault (error says which)
    std::string error;        // one line
    bool reused = false;
    int photographs = 0;
    double seconds = 0;
};

// The angles a run renders: its own, or the built-in twelve.
std::vector<int> renderAngles(const RenderRun& run);

// Renders the scan (progress on stderr); the caller prints the outcome.
RenderReport renderRun(const RenderRun& run);
