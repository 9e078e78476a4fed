// The scan with a rig file: slscan --rig FILE (and --angles LIST).
//
// The run of driver/scan.h for any rig: the angles are those photographed (or
// the list given), every photograph must have the rig's size, each crossing's
// pixel is undistorted before its ray is formed, the horizontal half of a
// crossing is decided as the rig says (the middle row, or the epipolar
// pairing of driver/rig_pairs.h), and the points come out in the turntable
// frame (geometry/rig.h): pontos_<angle>.txt as seen at that angle,
// pontos.txt turned back by the angle about the frame's y axis.
//
// For the built-in rig as a file the run prints and writes exactly what plain
// slscan does.
#pragma once

#include <string>

#include "driver/scan_options.h"
#include "geometry/rig.h"

// Checks the rig and the photographs before anything is written, and gives
// the angles to scan (options.angles, or those photographed). Returns 0, or
// 2 after one line on stderr when the rig has no turntable or a photograph's
// size is not the rig's, or 1 when there is no folder cavalo/ or no angle in
// it. `rigName` names the rig in messages.
int rigScanPrepare(const Rig& rig, const std::string& rigName, const ScanOptions& options,
                   std::vector<int>* angles);

// Scans `angles` (from rigScanPrepare) with the rig; returns the exit status
// as scanRun does. `pointCount` receives the number of points found.
int rigScanRun(const Rig& rig, const std::vector<int>& angles, long* pointCount);
