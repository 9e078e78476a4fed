// slscan-calibrate's work, from a folder of chessboard photographs to a rig:
// corners, each camera, the stereo pair, the turntable's axis, the verdict,
// and the rig file written only when the calibration is not refused.
#pragma once

#include <string>
#include <vector>

#include "common/tool_result.h"
#include "geometry/rig.h"

struct CalibOptions {
    std::string dir;          // CALIB_DIR
    std::string output;       // the rig file; empty: dir/rig.json
    std::string unit = "unit";  // the unit of the square's side, written in the rig file
    int columns = 0, rows = 0;  // the board's inner corners
    double square = 0;        // a square's side, in the unit of the points
    double cornerHeight = 0;  // the lowest row of inner corners above the turntable's top
    bool camerasOnly = false; // no turntable series; the rig has no turntable
    bool fitK3 = false;       // fit the third radial coefficient too
    bool write = true;        // write the rig file (tests may only look at the report)
    std::string sheet;        // when not empty: a picture of the photographs and their corners
};

enum class CalibVerdict { kGood, kWarnings, kRefused };

// A photograph and what became of it.
struct CalibPhoto {
    std::string name;    // "stereo/cam1_01.png"
    bool used = false;
    std::string reason;  // why not used
    double errorPx = -1; // reprojection error of the view in its camera's fit
};

struct CalibCameraReport {
    std::vector<CalibPhoto> photos;
    int used = 0;
    double fx = 0, fy = 0, cx = 0, cy = 0;
    double distortion[5] = {0, 0, 0, 0, 0};
    double rms = -1;
};

struct CalibTurntablePhoto {
    std::string name;       // "turntable/cam1_315.png" (and its camera 2 partner)
    int nameAngle = 0;      // from the name
    double measured = 0;    // the angle measured, in the names' sense and origin, 0 to 360
    double difference = 0;  // measured - named, -180 to 180
};

struct CalibReport {
    CalibVerdict verdict = CalibVerdict::kRefused;
    std::string refusal;               // one line when refused
    std::vector<std::string> advice;   // what to do
    std::vector<std::string> warnings; // why not good
    std::vector<std::string> notes;    // what was done about the photographs (flips undone)
    int width = 0, height = 0;
    CalibCameraReport cameras[2];
    int stereoPairs = 0;               // pairs of the stereo series used in the stereo fit
    int turntablePairs = 0;            // and of the turntable series
    double stereoRms = -1, baseline = 0, cameraAngle = 0;
    bool turntable = false;            // the turntable was calibrated
    double axisFromUp = 0;             // degrees between the axis and the cameras' up
    double residual = -1;              // RMS distance of the corners from the fitted turn
    bool clockwise = false;
    std::vector<CalibTurntablePhoto> turntablePhotos;
    Rig rig;                           // valid unless refused
    std::string rigPath;               // the file written, if any
    double seconds = 0;
    ToolResult result;                 // status 1 and the refusal when refused
};

// Calibrates from options.dir. Never writes a file when refused (then
// result.status is 1, result.reason the refusal); a usage fault in the
// options is the caller's to catch (see calibParseBoard).
CalibReport calibRun(const CalibOptions& options);

// "9x6" -> 9, 6. False for anything else (each at least 3, at most 100).
bool calibParseBoard(const std::string& text, int* columns, int* rows);

// The report as printed: one section per camera, the stereo pair, the
// turntable and the verdict.
std::string calibFormatReport(const CalibReport& report);

