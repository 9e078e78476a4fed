// The calibration photographs of a rig, rendered: a printed chessboard with a
// white margin in the poses the calibration protocol asks for, seen by both
// cameras through their lenses. slscan-calibrate's tests recover a known rig
// from them, and a user can try the protocol on paper before printing a board.
//
// The folder written is what slscan-calibrate reads:
//   OUT_DIR/stereo/cam1_NN.bmp, cam2_NN.bmp       the board held in N poses
//   OUT_DIR/turntable/cam1_AAA.bmp, cam2_AAA.bmp  the board upright on the
//                                                 turntable at angle AAA
// On the turntable the board's paper stands on the turntable's top, so its
// lowest row of inner corners is square + margin above it (the height to give
// slscan-calibrate --corner-height).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/rig.h"

struct CalibrationRenderOptions {
    int columns = 9, rows = 6;   // inner corners of the board
    double square = 8.0;         // side of a square, in the rig's unit
    double margin = 8.0;         // white paper around the squares, in the rig's unit
    int stereoPoses = 15;
    double maxTilt = 35.0;       // degrees, the stereo poses' largest tilt
    std::vector<int> turntableAngles = {315, 330, 345, 0, 15, 30, 45};  // empty: none
    int antialias = 3;           // subsamples per pixel along each axis
    double noise = 0.0;          // Gaussian sensor noise, standard deviation in byte units
    uint32_t seed = 1;           // the poses' and the noise's
};

// Writes the photographs of `rig` into outDir (created when missing). False,
// with one line in *error, when the board does not fit in both cameras'
// pictures in a pose, the rig has no turntable but turntable angles are
// asked for, or a file cannot be written.
bool renderCalibration(const Rig& rig, const CalibrationRenderOptions& options,
                       const std::string& outDir, std::string* error);

// The height of the board's lowest row of inner corners above the
// turntable's top in the turntable series.
inline double renderCalibrationCornerHeight(const CalibrationRenderOptions& options) {
    return options.square + options.margin;
}
