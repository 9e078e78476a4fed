// slscan-mask's job over a scan folder: every camera view of SCAN_DIR/cavalo
// masked into OUT_DIR/cavalo, the originals never touched.
//
// Positives, and negatives the mask does not change, are hard links to the
// originals (copies across file systems); a changed negative is written to a
// temporary file beside its place and renamed over it, so an existing link to
// an original is replaced, never written through. A view whose photographs
// cannot all be read, are no 24-bit BMPs or differ in picture size is named
// in the report and passed through unmasked; the run then ends with status 1.
// SCAN_DIR/scene.txt, the one other file the tools read, is copied along (and
// a stale one in OUT_DIR removed when SCAN_DIR has none). Temporary files are
// removed on SIGINT and SIGTERM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/tool_result.h"

struct MaskOptions {
    std::string rigPath;  // --rig; empty: SCAN_DIR/rig.json, else the built-in rig
    int threshold = -1;  // -1: chosen per view from its contrast histogram
    int threads = 0;  // views masked at once; 0: one a core
    bool progress = true;  // "n of 24 views" on stderr
    bool condition = true;  // highlights, unmixing and switch alignment (mask_condition.h)
};

struct MaskViewReport {
    int angle = 0;
    int camera = 0;
    bool masked = false;  // false: passed through unmasked after a fault
    int threshold = 0;
    double share = 0;  // of the view's pixels masked, 0 to 1
    bool unmixed = false;  // response estimated and undone
    double response[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // rows: camera channels
    uint64_t highlights = 0, aligned = 0, cut = 0, rewritten = 0;  // pixels
};

struct MaskRunReport {
    ToolResult result;  // status 0 clean, 1 after any fault (each named), 2 folders unusable
    std::string rig;    // the rig used: "the built-in rig" or the file
    std::vector<MaskViewReport> views;  // in the order angle, camera
    int faults = 0;
    double seconds = 0;
    bool conditioned = false;  // the views' conditioning is reported
};

// Runs the mask. The result's status: 0 clean, 1 after any fault (each named
// in its warnings), 2 when the folders cannot be used at all (OUT_DIR the same
// as SCAN_DIR, no SCAN_DIR/cavalo or one of photographs in another format,
// OUT_DIR/cavalo cannot be made; OUT_DIR's missing parents are made).
MaskRunReport maskRun(const std::string& scanDir, const std::string& outDir,
                      const MaskOptions& options);

// The per-view lines and the summary.
std::string maskReportText(const MaskRunReport& report);
