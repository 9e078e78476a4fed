// The rig: two calibrated cameras, a turntable and (for the renderer and the
// pattern pictures) the projector, as a rig file describes them
// (geometry/rig_file.h reads and writes the file).
//
// Conventions are OpenCV's, so that a calibration from OpenCV, ROS or COLMAP
// can be pasted in: pixel (u, v) with v = 0 the top row of the picture as
// displayed and the centre of the top-left pixel at (0, 0); each camera's
// frame has x right, y down and z forward; a world point X has the camera
// coordinates R (X - C).
//
// The triangulation (geometry/camera.h) works in its own frame: rows counted
// from the first row a BMP file stores (the bottom of the picture), camera
// looking along -z. rigTriangulationCamera and rigTriangulationPixel convert
// exactly: for the built-in rig they give back the built-in records and
// pixels bit for bit, so a scan with the built-in rig as a file writes the
// very bytes of a scan without one.
#pragma once

#include <string>

#include "geometry/camera.h"
#include "geometry/vec3.h"

struct RigCamera {
    double fx = 0, fy = 0, cx = 0, cy = 0;   // camera matrix, pixels
    double distortion[5] = {0, 0, 0, 0, 0};  // k1, k2, p1, p2, k3
    double rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // world to camera, row by row
    Vec3 centre{0, 0, 0};                    // camera centre, world frame
    double rmsPx = -1;                       // calibration's reprojection error; < 0 unknown
};

// How a crossing's horizontal code is given its copy (the projector shows the
// horizontal stripes twice, a dark band between the copies).
enum class RigHalfRule {
    kEpipolar,   // the copy whose pairing with the other camera meets its epipolar line
    kMiddleRow,  // rows up to height / 2 of the stored picture: the built-in projector's band
};

struct RigTurntable {
    bool present = false;
    Vec3 axisPoint{0, 0, 0};      // a point of the axis, at the turntable's top
    Vec3 axisDirection{0, 1, 0};  // unit, pointing up into the object
    bool clockwise = false;       // the angle in a photograph's name turns the object clockwise seen from above
    double residual = -1;         // the axis fit's residual; < 0 unknown
};

// The projector: an ideal pinhole in OpenCV's conventions (pixel centres at
// whole numbers, rows from the top of the picture it shows). slscan itself
// never needs it; the renderer draws the stripes through it and
// slscan-patterns makes pictures of its size.
struct RigProjector {
    bool present = false;
    int width = 0, height = 0;                          // pixels
    double fx = 0, fy = 0, cx = 0, cy = 0;              // camera matrix
    double rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // world to projector, row by row
    Vec3 centre{0, 0, 0};
};

struct Rig {
    std::string unit = "unit";
    int width = 0, height = 0;  // every photograph of both cameras
    RigCamera cameras[2];
    RigTurntable turntable;
    RigHalfRule halfRule = RigHalfRule::kEpipolar;
    RigProjector projector;
};

// The rig slscan has built in, in the conventions above, with the projector
// the renderer has always drawn through.
Rig rigBuiltIn();

// True when every number of the two rigs is the same bit for bit (the unit
// and the residuals aside).
bool rigSameGeometry(const Rig& a, const Rig& b);

// Gives a rig without a projector the built-in one's picture (1024 x 768,
// focal length 2200) at the midpoint of the camera centres, aimed at the
// turntable's axis point with its picture's up along the axis.
void rigPlaceProjector(Rig* rig);

// True when any distortion coefficient is not zero.
bool rigHasDistortion(const RigCamera& camera);

// The triangulation's record of camera `index` (0 or 1), pixel (0, 0).
Camera rigTriangulationCamera(const Rig& rig, int index);

// Pixel (u, v) of camera `index` as the triangulation's record takes it:
// undistorted, rows counted from the bottom. Without distortion and with
// fx = fy it is (u, height - 1 - v), exactly. False when the pixel cannot be
// undistorted.
bool rigTriangulationPixel(const Rig& rig, int index, double u, double v, double* px,
                           double* py);

// The turntable frame: y along the axis (up), origin at the axis point, z from
// the axis towards the midpoint of the two camera centres (made perpendicular
// to the axis), x = y x z. For the built-in rig it is the world frame itself.
struct RigFrame {
    Vec3 origin, x, y, z;
    bool identity;  // exactly the world frame: points are passed through untouched
};
RigFrame rigTurntableFrame(const Rig& rig);

// A world point in the turntable frame.
Vec3 rigToTurntable(const RigFrame& frame, Vec3 world);
// A turntable-frame point back in the world frame.
Vec3 rigFromTurntable(const RigFrame& frame, Vec3 local);
