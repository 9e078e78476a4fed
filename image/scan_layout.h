// The layout of a turntable scan, in one place: which turntable angles and
// cameras there are, how the run numbers its views, and what the photographs
// and point files of a scan folder are called. The driver and every tool take
// these from here, so a scan with other angles changes one value.
//
// A scan folder holds the folder cavalo/ with eight photographs for each
// angle and camera, and receives the point files pontos.txt (every angle) and
// pontos_<angle>.txt (one an angle). A run visits its views in the order
// angle 0 camera 1, angle 0 camera 2, next angle camera 1, ...
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kScanCameras = 2;        // cameras 1 and 2
constexpr int kScanReadsPerView = 8;   // photographs of one camera at one angle
constexpr int32_t kScanFullTurn = 360; // angles are whole degrees below this

// The folder of the photographs inside a scan folder, and the point file that
// gathers every angle.
extern const char* const kScanPhotographFolder;  // "cavalo"
extern const char* const kScanAllPointFile;      // "pontos.txt"

// The turntable angles of a scan, whole degrees 0 to 359, rising.
struct ScanLayout {
    std::vector<int32_t> angles;
};

// The built-in scan: 0, 30, ..., 330.
ScanLayout scanLayoutBuiltIn();

// The number of views (angles x cameras).
int scanViewCount(const ScanLayout& layout);

// The camera (1 or 2) and the angle of view `view` (0 to scanViewCount - 1).
inline int scanViewCamera(int view) { return view % kScanCameras + 1; }
int32_t scanViewAngle(const ScanLayout& layout, int view);

// The path of photograph `read` (1 to 8, in the order the camera sequence
// reads them: pattern 1 and 2 of the vertical stripes, then of the
// horizontal ones, the positive exposure of each pair first) of `camera`
// (1 or 2) at `angle` degrees, relative to the scan folder:
// "cavalo/Cavalo Positivo 1 Camera 1 Rotacao 000 Vertical.bmp" and so on.
std::string scanPhotographPath(int read, int camera, int32_t angle);

// The point file of one angle, relative to the scan folder: "pontos_30.txt".
std::string scanAnglePointFile(int32_t angle);

// The angles, rising, at which scan folder `dir` holds the first photograph
// of camera 1 (cavalo/Cavalo Positivo 1 Camera 1 Rotacao AAA Vertical.bmp,
// AAA three digits 000 to 359). False, with one line naming the folder in
// *error, when dir/cavalo is missing or cannot be listed.
bool scanFindAngles(const std::string& dir, std::vector<int32_t>* angles, std::string* error);
